// Recording a log's days into the history and removing days, each in one transaction.
#include "history/store.h"

#include <algorithm>
#include <cstring>
#include <sys/stat.h>
#include <unordered_map>

#include "common/apperror.h"
#include "common/cp932.h"
#include "common/programdir.h"
#include "common/sha256.h"
#include "history/blobs.h"
#include "history/historyfile.h"
#include "history/sqlite.h"

namespace history {

namespace {

using common::jp;

std::string sha256Hex(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (const char c : common::sha256(bytes)) {
        const auto b = static_cast<unsigned char>(c);
        out.push_back(kHex[b >> 4]);
        out.push_back(kHex[b & 15]);
    }
    return out;
}

// Two shares of a day overlap when their times do, beyond a shared end second (one log rotated
// into the next touches it there), or when both are the same single stretch.
bool overlaps(std::int32_t firstA, std::int32_t lastA, std::int32_t firstB, std::int32_t lastB) {
    return std::max(firstA, firstB) < std::min(lastA, lastB) || (firstA == firstB && lastA == lastB);
}

}  // namespace

SourceInfo sourceOf(const std::string& path, const analysis::LogText& log) {
    SourceInfo s;
    const std::size_t slash = path.find_last_of('/');
    s.name = slash == std::string::npos ? path : path.substr(slash + 1);
    s.path = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) s.size = static_cast<std::int64_t>(st.st_size);
    s.lines = static_cast<std::int64_t>(log.size());
    s.firstLineHash = sha256Hex(log.size() ? log[0] : std::string_view());
    s.lastLineHash = sha256Hex(log.size() ? log[log.size() - 1] : std::string_view());
    return s;
}

std::string Store::defaultPath() { return common::dataDir() + "history.sqlite"; }

Store::Store(std::string path) : path_(std::move(path)) { db_ = openHistory(path_, openNotes_); }

Store::~Store() = default;

namespace {

class ShareWriter {
public:
    explicit ShareWriter(Database& db)
        : db_(db),
          share_(db.prepare("INSERT INTO share(source, day, first_second, last_second, lines, get, post, status200,"
                            " status403, status404, other, bytes, favicon, robots, hours, host_count, visitor_count,"
                            " hosts, visitors, favicon_ie, robots_file)"
                            " VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)")),
          findItem_(db.prepare("SELECT id FROM item WHERE text=?")),
          addItem_(db.prepare("INSERT INTO item(text) VALUES(?)")),
          row_(db.prepare("INSERT INTO rank_row(share, tab, item, hits, bytes) VALUES(?,?,?,?,?)"
                          " ON CONFLICT DO UPDATE SET hits=hits+excluded.hits, bytes=bytes+excluded.bytes")),
          total_(db.prepare("INSERT INTO rank_total(share, tab, hits, rows) VALUES(?,?,?,?)")) {}

    void write(std::int64_t source, const DayShare& d) {
        const DayCounts& c = d.counts;
        share_.bind(1, source).bind(2, d.day).bind(3, d.firstSecond).bind(4, d.lastSecond);
        int i = 5;
        for (std::int64_t v :
             {c.lines, c.get, c.post, c.status200, c.status403, c.status404, c.other, c.bytes, c.favicon, c.robots})
            share_.bind(i++, v);
        share_.bindBlob(15, encodeHours(c));
        share_.bind(16, static_cast<std::int64_t>(d.hosts.size()));
        share_.bind(17, static_cast<std::int64_t>(d.visitors.size()));
        share_.bindBlob(18, encodeHashes(d.hosts)).bindBlob(19, encodeHashes(d.visitors));
        share_.bind(20, c.faviconIe).bind(21, c.robotsFile);
        share_.run();
        const std::int64_t id = db_.lastInsertId();
        for (std::size_t t = 0; t < d.top.size(); ++t) {
            for (const RankItem& r : d.top[t]) {
                // Items that differ only in letter case can share a text in a table that ignores
                // case: their rows add up.
                row_.bind(1, id).bind(2, static_cast<std::int64_t>(t)).bind(3, itemId(r.item));
                row_.bind(4, r.hits).bind(5, r.bytes).run();
            }
            total_.bind(1, id).bind(2, static_cast<std::int64_t>(t)).bind(3, d.tableHits[t]).bind(4, d.tableRows[t]);
            total_.run();
        }
    }

private:
    // Most of a day's top items are another day's too: they are looked up, which writes nothing,
    // and only the new ones are added.
    std::int64_t itemId(const std::string& text) {
        if (const auto it = ids_.find(text); it != ids_.end()) return it->second;
        findItem_.bindBlob(1, text);
        std::int64_t id = 0;
        if (findItem_.step()) {
            id = findItem_.integer(0);
            findItem_.reset();
        } else {
            findItem_.reset();
            addItem_.bindBlob(1, text).run();
            id = db_.lastInsertId();
        }
        ids_.emplace(text, id);
        return id;
    }

    Database& db_;
    Statement share_, findItem_, addItem_, row_, total_;
    std::unordered_map<std::string, std::int64_t> ids_;
};

// Drops sources without shares and items without rows.
void dropOrphans(Database& db, bool items) {
    db.exec("DELETE FROM source WHERE NOT EXISTS (SELECT 1 FROM share WHERE share.source = source.id)");
    if (items) db.exec("DELETE FROM item WHERE NOT EXISTS (SELECT 1 FROM rank_row WHERE rank_row.item = item.id)");
}

// The items of the ranking rows that a recording removes, kept aside (a table of the connection's
// own, outside the file) until the rows that replace them are in: only those can be left without a
// row, and a history of many days need not be read through for them.
void createGoneItems(Database& db) { db.exec("CREATE TEMP TABLE IF NOT EXISTS gone_item(id INTEGER PRIMARY KEY)"); }

// The items among them that no row names any more go.
void dropGoneItems(Database& db) {
    db.exec("DELETE FROM item WHERE id IN (SELECT id FROM temp.gone_item)"
            " AND NOT EXISTS (SELECT 1 FROM rank_row WHERE rank_row.item = item.id)");
    db.exec("DELETE FROM temp.gone_item");
}

// The same log recorded before (same name, same first line): its row, refreshed, and its shares
// gone; or a new row. again tells which.
std::int64_t sourceRow(Database& db, const SourceInfo& s, bool& again) {
    Statement find = db.prepare("SELECT id FROM source WHERE name=? AND first_line_hash=?");
    find.bindText(1, s.name).bindText(2, s.firstLineHash);
    if (find.step()) {
        const std::int64_t id = find.integer(0);
        again = true;
        Statement gone = db.prepare("INSERT OR IGNORE INTO temp.gone_item SELECT item FROM rank_row"
                                    " WHERE share IN (SELECT id FROM share WHERE source=?)");
        gone.bind(1, id).run();
        Statement drop = db.prepare("DELETE FROM share WHERE source=?");
        drop.bind(1, id).run();
        Statement update = db.prepare("UPDATE source SET path=?, size=?, lines=?, last_line_hash=?,"
                                      " recorded=strftime('%s','now') WHERE id=?");
        update.bindText(1, s.path).bind(2, s.size).bind(3, s.lines).bindText(4, s.lastLineHash).bind(5, id).run();
        return id;
    }
    Statement add = db.prepare("INSERT INTO source(name, path, size, lines, first_line_hash, last_line_hash, recorded)"
                               " VALUES(?,?,?,?,?,?,strftime('%s','now'))");
    add.bindText(1, s.name).bindText(2, s.path).bind(3, s.size).bind(4, s.lines);
    add.bindText(5, s.firstLineHash).bindText(6, s.lastLineHash).run();
    return db.lastInsertId();
}

}  // namespace

RecordResult Store::record(const SourceInfo& source, const LogDays& days,
                           const std::function<void(std::size_t, std::size_t)>& progress) {
    return guarded([&] {
        RecordResult result;
        Transaction t(*db_);
        createGoneItems(*db_);
        bool dropped = false;
        const std::int64_t id = sourceRow(*db_, source, dropped);
        Statement others = db_->prepare(
            "SELECT share.id, source.name, first_second, last_second FROM share JOIN source ON source.id=share.source"
            " WHERE day=? AND source<>?");
        Statement gone = db_->prepare("INSERT OR IGNORE INTO temp.gone_item SELECT item FROM rank_row WHERE share=?");
        Statement drop = db_->prepare("DELETE FROM share WHERE id=?");
        ShareWriter writer(*db_);
        for (const DayShare& d : days.days) {
            others.bind(1, d.day).bind(2, id);
            std::vector<std::pair<std::int64_t, std::string>> replaced;
            while (others.step())
                if (overlaps(d.firstSecond, d.lastSecond, static_cast<std::int32_t>(others.integer(2)),
                             static_cast<std::int32_t>(others.integer(3))))
                    replaced.emplace_back(others.integer(0), others.text(1));
            others.reset();
            dropped = dropped || !replaced.empty();
            for (const auto& [share, name] : replaced) {
                gone.bind(1, share).run();
                drop.bind(1, share).run();
                result.notes.push_back(common::formatMessage(
                    jp(u8"%s: \"%s\" の記録は \"%s\" と時間が重なるので、\"%s\" の分に置き換えました"),
                    {dayText(d.day), common::pathText(name), common::pathText(source.name),
                     common::pathText(source.name)}));
            }
            writer.write(id, d);
            ++result.days;
            if (progress) progress(result.days, days.days.size());
        }
        if (dropped) {
            dropOrphans(*db_, false);
            dropGoneItems(*db_);
        }
        t.commit();
        return result;
    });
}

std::size_t Store::remove(Day from, Day to) {
    return guarded([&] {
        Transaction t(*db_);
        createGoneItems(*db_);
        Statement count = db_->prepare("SELECT count(DISTINCT day) FROM share WHERE day BETWEEN ? AND ?");
        count.bind(1, from).bind(2, to);
        count.step();
        const auto n = static_cast<std::size_t>(count.integer(0));
        count.reset();
        Statement gone = db_->prepare("INSERT OR IGNORE INTO temp.gone_item SELECT item FROM rank_row"
                                      " WHERE share IN (SELECT id FROM share WHERE day BETWEEN ? AND ?)");
        gone.bind(1, from).bind(2, to).run();
        Statement drop = db_->prepare("DELETE FROM share WHERE day BETWEEN ? AND ?");
        drop.bind(1, from).bind(2, to).run();
        dropOrphans(*db_, false);
        dropGoneItems(*db_);
        t.commit();
        return n;
    });
}

}  // namespace history
