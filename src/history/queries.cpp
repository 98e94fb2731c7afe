// Reading the history: days, months and ranges summed from their shares, and the ranking sums.
#include <algorithm>
#include <unordered_map>

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
    std::vector<std::uint32_t> hosts, visitors;    // read only when unions are counted
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
    // One share keeps its exact counts; a union of several is counted from their kept hashes, when
    // they were read.
    Summary finish(bool counted) {
        out_.hosts = single_ ? single_->hostCount : counted ? static_cast<std::int64_t>(distinctCount(hosts_)) : kNotCounted;
        out_.visitors = single_   ? single_->visitorCount
                        : counted ? static_cast<std::int64_t>(distinctCount(visitors_))
                                  : kNotCounted;
        return std::move(out_);
    }

private:
    Summary out_;
    std::vector<const std::vector<std::uint32_t>*> hosts_, visitors_;
    std::vector<std::int64_t> sources_;
    const ShareRow* single_ = nullptr;
};

// The shares of the range; their hashes only when withHashes (the blobs are most of the file).
std::vector<ShareRow> loadShares(Database& db, Day from, Day to, bool withHashes) {
    Statement st = db.prepare(std::string(
                                  "SELECT s.day, s.source, source.name, s.lines, s.get, s.post, s.status200, "
                                  "s.status403, s.status404, s.other, s.bytes, s.favicon, s.favicon_ie, s.robots, "
                                  "s.robots_file, s.hours, s.host_count, s.visitor_count") +
                              (withHashes ? ", s.hosts, s.visitors" : "") +
                              " FROM share s JOIN source ON source.id = s.source"
                              " WHERE s.day BETWEEN ? AND ? ORDER BY s.day, s.source");
    st.bind(1, from).bind(2, to);
    std::vector<ShareRow> rows;
    auto damaged = [] { return SqliteError(11 /* SQLITE_CORRUPT */, "a share's counts are damaged"); };
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
        if (!decodeHours(st.blob(col++), c)) throw damaged();
        r.hostCount = st.integer(col++);
        r.visitorCount = st.integer(col++);
        if (!withHashes) continue;
        r.hosts.reserve(static_cast<std::size_t>(std::max<std::int64_t>(r.hostCount, 0)));
        r.visitors.reserve(static_cast<std::size_t>(std::max<std::int64_t>(r.visitorCount, 0)));
        if (!decodeHashes(st.blob(col++), r.hosts) || !decodeHashes(st.blob(col), r.visitors)) throw damaged();
    }
    return rows;
}

}  // namespace

RangeSummaries Store::read(Day from, Day to, bool byMonth, bool counted) {
    return guarded([&] {
        const std::vector<ShareRow> shares = loadShares(*db_, from, to, counted);
        RangeSummaries out;
        out.shares = shares.size();
        std::optional<Group> group;
        Group all(0);
        Day at = -1;
        for (const ShareRow& r : shares) {
            const Day key = byMonth ? r.day / 100 * 100 : r.day;
            if (key != at) {
                if (group) out.rows.push_back(group->finish(counted));
                group.emplace(key);
                at = key;
            }
            group->add(r);
            all.add(r);
            out.hashes += static_cast<std::size_t>(std::max<std::int64_t>(r.hostCount + r.visitorCount, 0));
        }
        if (group) out.rows.push_back(group->finish(counted));
        out.total = all.finish(counted);
        return out;
    });
}

RangeSummaries Store::summaries(Day from, Day to, bool byMonth) { return read(from, to, byMonth, true); }
RangeSummaries Store::figures(Day from, Day to, bool byMonth) { return read(from, to, byMonth, false); }
std::vector<Summary> Store::days(Day from, Day to) { return summaries(from, to, false).rows; }
std::vector<Summary> Store::months(Day from, Day to) { return summaries(from, to, true).rows; }
Summary Store::total(Day from, Day to) { return summaries(from, to, false).total; }

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
        // One pass over the range's rows, share by share (each share's rows lie together), summed
        // here: grouping in SQL walked the whole item index once for every table.
        struct Sum {
            std::int64_t hits = 0, bytes = 0;
        };
        std::array<std::unordered_map<std::int64_t, Sum>, analysis::kRankTableCount> sums;
        Statement rows = db_->prepare(
            "SELECT r.tab, r.item, r.hits, r.bytes FROM share s CROSS JOIN rank_row r ON r.share = s.id"
            " WHERE s.day BETWEEN ? AND ?");
        rows.bind(1, from).bind(2, to);
        while (rows.step()) {
            const auto t = static_cast<std::size_t>(rows.integer(0));
            if (t >= sums.size()) continue;
            Sum& s = sums[t][rows.integer(1)];
            s.hits += rows.integer(2);
            s.bytes += rows.integer(3);
        }
        Statement text = db_->prepare("SELECT text FROM item WHERE id = ?");
        for (std::size_t t = 0; t < analysis::kRankTableCount; ++t) {
            struct Entry {
                std::int64_t item;
                Sum sum;
            };
            std::vector<Entry> entries;
            entries.reserve(sums[t].size());
            for (const auto& [item, sum] : sums[t]) entries.push_back({item, sum});
            sums[t] = {};
            auto byHits = [](const Entry& a, const Entry& b) { return a.sum.hits > b.sum.hits; };
            // Only the rows that can be among the first top, ties at the last place included, need
            // their texts: the order among equal hits is by text.
            if (top != 0 && entries.size() > top) {
                std::nth_element(entries.begin(), entries.begin() + static_cast<std::ptrdiff_t>(top - 1), entries.end(),
                                 byHits);
                const std::int64_t least = entries[top - 1].sum.hits;
                entries.erase(std::partition(entries.begin(), entries.end(),
                                             [least](const Entry& e) { return e.sum.hits >= least; }),
                              entries.end());
            }
            std::vector<RankingRow>& table = out.tables[t];
            table.reserve(entries.size());
            for (const Entry& e : entries) {
                text.bind(1, e.item);
                if (!text.step()) throw SqliteError(11 /* SQLITE_CORRUPT */, "a ranking row names no item");
                table.push_back(RankingRow{std::string(text.blob(0)), e.sum.hits, e.sum.bytes});
                text.reset();
            }
            std::sort(table.begin(), table.end(), [](const RankingRow& a, const RankingRow& b) {
                return a.hits != b.hits ? a.hits > b.hits : a.item < b.item;
            });
            if (top != 0 && table.size() > top) table.resize(top);
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

std::string Store::setAsideDamaged() {
    db_.reset();
    std::string note = moveDamagedAside(path_);
    try {
        db_ = openHistory(path_, openNotes_);
    } catch (const std::exception&) {
        // Opened again at the next use, which reports why it cannot be.
    }
    return note;
}

}  // namespace history
