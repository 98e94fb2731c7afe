// The history file: opening, checking, moving aside, and the schema by version.
#include "history/historyfile.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "history/store.h"

namespace history {

namespace {

// 'MNYR': a history of this program, whatever its version.
constexpr int kApplicationId = 0x4D4E5952;
// Two programs take turns; a recording of a month of logs is one transaction per log, so a minute
// is more than any turn takes.
constexpr int kBusyMillis = 60000;

// Each step takes the schema from version i to i + 1. Old steps never change: a file of any version
// goes through the same steps as a new one did.
const char* const kSteps[] = {
    // 1: sources, their shares of days, and the ranking rows of each share.
    "CREATE TABLE source(id INTEGER PRIMARY KEY, name TEXT NOT NULL, path TEXT NOT NULL,"
    " size INTEGER NOT NULL, lines INTEGER NOT NULL, first_line_hash TEXT NOT NULL,"
    " last_line_hash TEXT NOT NULL, recorded INTEGER NOT NULL, UNIQUE(name, first_line_hash));"
    "CREATE TABLE share(id INTEGER PRIMARY KEY,"
    " source INTEGER NOT NULL REFERENCES source(id) ON DELETE CASCADE, day INTEGER NOT NULL,"
    " first_second INTEGER NOT NULL, last_second INTEGER NOT NULL, lines INTEGER NOT NULL,"
    " get INTEGER NOT NULL, post INTEGER NOT NULL, status200 INTEGER NOT NULL, status403 INTEGER NOT NULL,"
    " status404 INTEGER NOT NULL, other INTEGER NOT NULL, bytes INTEGER NOT NULL, favicon INTEGER NOT NULL,"
    " robots INTEGER NOT NULL, hours BLOB NOT NULL, host_count INTEGER NOT NULL,"
    " visitor_count INTEGER NOT NULL, hosts BLOB NOT NULL, visitors BLOB NOT NULL, UNIQUE(source, day));"
    "CREATE INDEX share_by_day ON share(day);"
    "CREATE TABLE item(id INTEGER PRIMARY KEY, text BLOB NOT NULL UNIQUE);"
    "CREATE TABLE rank_row(share INTEGER NOT NULL REFERENCES share(id) ON DELETE CASCADE,"
    " tab INTEGER NOT NULL, item INTEGER NOT NULL REFERENCES item(id), hits INTEGER NOT NULL,"
    " bytes INTEGER NOT NULL, PRIMARY KEY(share, tab, item)) WITHOUT ROWID;"
    "CREATE INDEX rank_row_by_item ON rank_row(item);",
    // 2: the favicon lines from MSIE, the robots.txt fetches, and each table's totals of a share (the
    // rows kept are only its top ones).
    "ALTER TABLE share ADD COLUMN favicon_ie INTEGER NOT NULL DEFAULT 0;"
    "ALTER TABLE share ADD COLUMN robots_file INTEGER NOT NULL DEFAULT 0;"
    "CREATE TABLE rank_total(share INTEGER NOT NULL REFERENCES share(id) ON DELETE CASCADE,"
    " tab INTEGER NOT NULL, hits INTEGER NOT NULL, rows INTEGER NOT NULL, PRIMARY KEY(share, tab)) WITHOUT ROWID;",
};
static_assert(std::size(kSteps) == Store::kSchemaVersion);

using common::jp;

bool exists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// Moves path (and its -wal and -shm files, which belong to it) to a name that no file has yet, and
// returns that name. Nothing is overwritten: link() fails on an existing name.
std::string moveAside(const std::string& path, const char* why) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    for (int n = 0;; ++n) {
        std::string aside = path + "." + why + "-" + stamp + (n ? "-" + std::to_string(n) : "");
        if (exists(aside) || exists(aside + "-wal") || exists(aside + "-shm")) continue;
        if (::link(path.c_str(), aside.c_str()) != 0) {
            if (errno == EEXIST) continue;
            // A file system without hard links: the name is free, so a rename overwrites nothing.
            if (::rename(path.c_str(), aside.c_str()) != 0)
                throw common::AppError(common::formatMessage(
                    jp(u8"履歴 \"%s\" を \"%s\" に移せません: %s"),
                    {common::pathText(path), common::pathText(aside), common::pathText(std::strerror(errno))}));
        } else {
            ::unlink(path.c_str());
        }
        for (const char* extra : {"-wal", "-shm"})
            if (exists(path + extra)) ::rename((path + extra).c_str(), (aside + extra).c_str());
        return aside;
    }
}

// Reads of the first and last entries of every table and index, by the schema version that made it.
const std::pair<int, const char*> kProbes[] = {
    {1, "SELECT id FROM source ORDER BY id LIMIT 1"},
    {1, "SELECT id FROM source ORDER BY id DESC LIMIT 1"},
    {1, "SELECT name FROM source ORDER BY name, first_line_hash LIMIT 1"},
    {1, "SELECT name FROM source ORDER BY name DESC, first_line_hash DESC LIMIT 1"},
    {1, "SELECT id FROM share ORDER BY id LIMIT 1"},
    {1, "SELECT id FROM share ORDER BY id DESC LIMIT 1"},
    {1, "SELECT day FROM share ORDER BY day LIMIT 1"},
    {1, "SELECT day FROM share ORDER BY day DESC LIMIT 1"},
    {1, "SELECT source FROM share ORDER BY source, day LIMIT 1"},
    {1, "SELECT source FROM share ORDER BY source DESC, day DESC LIMIT 1"},
    {1, "SELECT id FROM item ORDER BY id LIMIT 1"},
    {1, "SELECT id FROM item ORDER BY id DESC LIMIT 1"},
    {1, "SELECT text FROM item ORDER BY text LIMIT 1"},
    {1, "SELECT text FROM item ORDER BY text DESC LIMIT 1"},
    {1, "SELECT share FROM rank_row ORDER BY share, tab, item LIMIT 1"},
    {1, "SELECT share FROM rank_row ORDER BY share DESC, tab DESC, item DESC LIMIT 1"},
    {1, "SELECT item FROM rank_row ORDER BY item LIMIT 1"},
    {1, "SELECT item FROM rank_row ORDER BY item DESC LIMIT 1"},
    {2, "SELECT share FROM rank_total ORDER BY share, tab LIMIT 1"},
    {2, "SELECT share FROM rank_total ORDER BY share DESC, tab DESC LIMIT 1"},
};

enum class Verdict { Ours, Fresh, Damaged, Foreign, Newer };

Verdict judge(Database& db) {
    // One snapshot for every read: a program creating the history at this moment commits its tables
    // and its mark together, and reads from two snapshots could see the tables without the mark, take
    // the new history for a foreign file and move it aside with that program's days in it.
    db.exec("BEGIN");
    struct EndRead {
        Database& db;
        ~EndRead() { sqlite3_exec(db.handle(), "ROLLBACK", nullptr, nullptr, nullptr); }
    } endRead{db};
    try {
        const auto id = db.queryInt("PRAGMA application_id").value_or(0);
        const auto version = db.queryInt("PRAGMA user_version").value_or(0);
        const auto tables = db.queryInt("SELECT count(*) FROM sqlite_master").value_or(0);
        if (id != kApplicationId) return tables == 0 && version == 0 ? Verdict::Fresh : Verdict::Foreign;
        if (version > Store::kSchemaVersion) return Verdict::Newer;
        // Each table and index read at its first and its last entry: a file whose pages were
        // overwritten fails here at once. A full check would read the whole file at every opening; a
        // damaged page met later fails the call that meets it, and the file is set aside then.
        for (const auto& [since, sql] : kProbes)
            if (version >= since) {
                Statement probe = db.prepare(sql);
                probe.step();
            }
        return Verdict::Ours;
    } catch (const SqliteError& e) {
        if (e.damaged()) return Verdict::Damaged;
        throw;
    }
}

void configure(Database& db) {
    sqlite3_busy_timeout(db.handle(), kBusyMillis);
    db.exec("PRAGMA foreign_keys=ON");
    // The switch to WAL needs the file to itself: a program that opens it at the same moment can make
    // SQLite give up at once rather than wait, so it is tried again for as long as a turn may take.
    for (int tries = 0;; ++tries) {
        try {
            Statement wal = db.prepare("PRAGMA journal_mode=WAL");
            wal.step();
            break;
        } catch (const SqliteError& e) {
            if (e.primary() != SQLITE_BUSY || tries >= kBusyMillis / 50) throw;
            ::usleep(50000);
        }
    }
    // A commit is in the log file before the recording is reported as done, so a killed program keeps
    // it; the file is flushed to the disk at each checkpoint rather than at each commit, so a power cut
    // may lose the last commits, never leave one half written.
    db.exec("PRAGMA synchronous=NORMAL");
    // A year's range reads every share and ranking row: pages read in place rather than copied by a
    // call each, and kept between the queries of one view.
    db.exec("PRAGMA mmap_size=268435456");
    db.exec("PRAGMA cache_size=-32768");
}

// Moves the file aside; the user's message saying so.
std::string setAside(const std::string& path, bool damaged) {
    const std::string aside = moveAside(path, damaged ? "damaged" : "foreign");
    return common::formatMessage(
        damaged ? jp(u8"履歴 \"%s\" は壊れていたので \"%s\" に移して残し、新しい履歴を始めました")
                : jp(u8"\"%s\" はむにゃろの履歴ではないので \"%s\" に移して残し、新しい履歴を始めました"),
        {common::pathText(path), common::pathText(aside)});
}

}  // namespace

std::string moveDamagedAside(const std::string& path) { return setAside(path, true); }

void migrate(Database& db, int upTo) {
    Transaction t(db);
    // Another program may have migrated the file while this one waited for the lock.
    const auto at = static_cast<int>(db.queryInt("PRAGMA user_version").value_or(0));
    for (int v = at; v < upTo; ++v) db.exec(kSteps[v]);
    if (at < upTo) {
        db.exec(("PRAGMA application_id=" + std::to_string(kApplicationId)).c_str());
        db.exec(("PRAGMA user_version=" + std::to_string(upTo)).c_str());
    }
    t.commit();
}

std::string historyMessage(const SqliteError& e, const std::string& path) {
    const std::string shown = common::pathText(path);
    switch (e.primary()) {
        case SQLITE_FULL:
            return common::formatMessage(
                jp(u8"ディスクがいっぱいで履歴 \"%s\" に書き込めません。履歴は記録の前のままです"), {shown});
        case SQLITE_READONLY:
        case SQLITE_CANTOPEN:
        case SQLITE_PERM:
            return common::formatMessage(jp(u8"履歴 \"%s\" に書き込めません (フォルダかファイルが書き込めません): %s"),
                                         {shown, common::pathText(e.what())});
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return common::formatMessage(jp(u8"履歴 \"%s\" は別のプログラムが長く使っています: %s"),
                                         {shown, common::pathText(e.what())});
        default:
            return common::formatMessage(jp(u8"履歴 \"%s\" を読み書きできません: %s"),
                                         {shown, common::pathText(e.what())});
    }
}

std::unique_ptr<Database> openHistory(const std::string& path, std::vector<std::string>& notes) {
    try {
        for (int attempt = 0;; ++attempt) {
            auto db = std::make_unique<Database>(path, true);
            sqlite3_busy_timeout(db->handle(), kBusyMillis);
            const Verdict verdict = judge(*db);
            if (verdict == Verdict::Newer)
                throw common::AppError(common::formatMessage(
                    jp(u8"履歴 \"%s\" はこれより新しい版のむにゃろが書いたものなので、この版では使えません"),
                    {common::pathText(path)}));
            if ((verdict == Verdict::Damaged || verdict == Verdict::Foreign) && attempt == 0) {
                db.reset();
                notes.push_back(setAside(path, verdict == Verdict::Damaged));
                continue;
            }
            if (verdict == Verdict::Damaged || verdict == Verdict::Foreign)
                throw SqliteError(SQLITE_CORRUPT, "database disk image is malformed");
            configure(*db);
            migrate(*db, Store::kSchemaVersion);
            return db;
        }
    } catch (const SqliteError& e) {
        throw common::AppError(historyMessage(e, path));
    }
}

void createSchemaForTest(const std::string& path, int upTo) {
    Database db(path, true);
    configure(db);
    migrate(db, upTo);
}

}  // namespace history
