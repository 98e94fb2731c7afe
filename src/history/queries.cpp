// Reading the history: days, months and ranges summed from their shares, and the ranking sums.
#include <map>

#include "history/blobs.h"
#include "history/sqlite.h"
#include "history/store.h"

namespace history {

namespace {

struct ShareRow {
    Day day = 0;
    std::int64_t source = 0;
    std::string name;
    DayCounts counts;
    std::int64_t hostCount = 0, visitorCount = 0;  // exact, as the share was recorded
    std::vector<std::uint64_t> hosts, visitors;
};

// What the shares of one group (a day, a month, a range) add up to.
class Group {
public:
    explicit Group(Day day) { out_.day = day; }
    void add(const ShareRow& s) {
        out_.counts.add(s.counts);
        single_ = hosts_.empty() ? &s : nullptr;
        hosts_.push_back(&s.hosts);
        visitors_.push_back(&s.visitors);
        if (std::find(sources_.begin(), sources_.end(), s.source) == sources_.end()) {
            sources_.push_back(s.source);
            out_.sources.push_back(s.name);
        }
    }
    // One share keeps its exact counts; a union of several is counted from their kept hashes.
    Summary finish() {
        out_.hosts = single_ ? single_->hostCount : static_cast<std::int64_t>(unionSize(hosts_));
        out_.visitors = single_ ? single_->visitorCount : static_cast<std::int64_t>(unionSize(visitors_));
        return std::move(out_);
    }

private:
    Summary out_;
    std::vector<const std::vector<std::uint64_t>*> hosts_, visitors_;
    std::vector<std::int64_t> sources_;
    const ShareRow* single_ = nullptr;
};

std::vector<ShareRow> loadShares(Database& db, Day from, Day to) {
    Statement st = db.prepare(
        "SELECT s.day, s.source, source.name, s.lines, s.get, s.post, s.status200, s.status403, s.status404, s.other,"
        " s.bytes, s.favicon, s.favicon_ie, s.robots, s.robots_file, s.hours, s.hosts, s.visitors, s.host_count,"
        " s.visitor_count"
        " FROM share s JOIN source ON source.id = s.source"
        " WHERE s.day BETWEEN ? AND ? ORDER BY s.day, s.source");
    st.bind(1, from).bind(2, to);
    std::vector<ShareRow> rows;
    while (st.step()) {
        ShareRow& r = rows.emplace_back();
        r.day = static_cast<Day>(st.integer(0));
        r.source = st.integer(1);
        r.name = st.text(2);
        DayCounts& c = r.counts;
        int col = 3;
        for (std::int64_t* v : {&c.lines, &c.get, &c.post, &c.status200, &c.status403, &c.status404, &c.other, &c.bytes,
                                &c.favicon, &c.faviconIe, &c.robots, &c.robotsFile})
            *v = st.integer(col++);
        if (!decodeHours(st.blob(col++), c) || !decodeHashes(st.blob(col++), r.hosts) ||
            !decodeHashes(st.blob(col++), r.visitors))
            throw SqliteError(11 /* SQLITE_CORRUPT */, "a share's counts are damaged");
        r.hostCount = st.integer(col++);
        r.visitorCount = st.integer(col);
    }
    return rows;
}

}  // namespace

std::vector<Summary> Store::summaries(Day from, Day to, bool byMonth) {
    return guarded([&] {
        const std::vector<ShareRow> rows = loadShares(*db_, from, to);
        std::vector<Summary> out;
        std::optional<Group> group;
        Day at = -1;
        for (const ShareRow& r : rows) {
            const Day key = byMonth ? r.day / 100 * 100 : r.day;
            if (key != at) {
                if (group) out.push_back(group->finish());
                group.emplace(key);
                at = key;
            }
            group->add(r);
        }
        if (group) out.push_back(group->finish());
        return out;
    });
}

std::vector<Summary> Store::days(Day from, Day to) { return summaries(from, to, false); }
std::vector<Summary> Store::months(Day from, Day to) { return summaries(from, to, true); }

Summary Store::total(Day from, Day to) {
    return guarded([&] {
        const std::vector<ShareRow> rows = loadShares(*db_, from, to);
        Group all(0);
        for (const ShareRow& r : rows) all.add(r);
        return all.finish();
    });
}

std::optional<std::pair<Day, Day>> Store::span() {
    return guarded([&]() -> std::optional<std::pair<Day, Day>> {
        Statement st = db_->prepare("SELECT min(day), max(day) FROM share");
        if (!st.step() || st.isNull(0)) return std::nullopt;
        return std::pair{static_cast<Day>(st.integer(0)), static_cast<Day>(st.integer(1))};
    });
}

RangeRankings Store::rankings(Day from, Day to, std::size_t top) {
    return guarded([&] {
        RangeRankings out;
        Statement rows = db_->prepare(
            "SELECT item.text, sum(r.hits) AS h, sum(r.bytes) FROM rank_row r JOIN share s ON s.id = r.share"
            " JOIN item ON item.id = r.item WHERE s.day BETWEEN ?1 AND ?2 AND r.tab = ?3"
            " GROUP BY r.item ORDER BY h DESC, item.text LIMIT ?4");
        for (std::size_t t = 0; t < analysis::kRankTableCount; ++t) {
            rows.bind(1, from).bind(2, to).bind(3, static_cast<std::int64_t>(t));
            rows.bind(4, top == 0 ? -1 : static_cast<std::int64_t>(top));
            while (rows.step())
                out.tables[t].push_back(RankingRow{std::string(rows.blob(0)), rows.integer(1), rows.integer(2)});
            rows.reset();
        }
        Statement totals = db_->prepare("SELECT tab, sum(hits) FROM rank_total JOIN share s ON s.id = rank_total.share"
                                        " WHERE s.day BETWEEN ? AND ? GROUP BY tab");
        totals.bind(1, from).bind(2, to);
        while (totals.step()) {
            const auto t = static_cast<std::size_t>(totals.integer(0));
            if (t < out.tableHits.size()) out.tableHits[t] = totals.integer(1);
        }
        return out;
    });
}

}  // namespace history
