// The history of analysed days: one SQLite file (history.sqlite in the data folder) that keeps every
// recorded log's share of each day it touches.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/apperror.h"
#include "history/dayfigures.h"
#include "history/historyfile.h"

namespace history {

class Database;

// Where a recorded log came from. A log is the same log again when its name and its first line are
// the same, also when it has grown since.
struct SourceInfo {
    std::string name;  // the file name without its folder (file system bytes)
    std::string path;
    std::int64_t size = 0;                    // of the file as read (compressed for a .gz)
    std::int64_t lines = 0;                   // lines of the log
    std::string firstLineHash, lastLineHash;  // SHA-256, hex
};
// The source of a loaded log at path.
SourceInfo sourceOf(const std::string& path, const analysis::LogText& log);

struct RecordResult {
    std::size_t days = 0;  // shares written
    // What the recording did beside adding (code page 932): shares of other logs that it replaced.
    std::vector<std::string> notes;
};

// A distinct count not made yet: the union of several shares is counted apart from the other figures.
inline constexpr std::int64_t kNotCounted = -1;

// Figures of a day, of a month (day 0 of it, see dayText) or of a range.
struct Summary {
    Day day = 0;
    DayCounts counts;
    std::int64_t hosts = 0, visitors = 0;  // exact distinct counts over everything summed, or kNotCounted
    std::vector<std::string> sources;      // names of the logs, in order of first recording
};

struct RankingRow {
    std::string item;  // code page 932
    std::int64_t hits = 0, bytes = 0;
};
// Sums over a range of the daily top rows of each table (a day keeps its kTopRows first rows only,
// so an item that was in no day's top rows is not here, and a sum can fall short of the true one).
struct RangeRankings {
    std::array<std::vector<RankingRow>, analysis::kRankTableCount> tables;
    std::array<std::int64_t, analysis::kRankTableCount> tableHits{};  // all hits of the table in the range
};

// Days or months of a range and their total.
struct RangeSummaries {
    std::vector<Summary> rows;
    Summary total;
    std::size_t shares = 0;  // shares in the range
    std::size_t hashes = 0;  // hosts and visitors those shares keep: what counting the unions reads
};

class Store {
public:
    // The history file of the data folder: history.sqlite beside materia/.
    static std::string defaultPath();

    // Opens the history at path, creating it when missing. A file that is damaged or no history of
    // this program is moved aside (never deleted) and a new history starts; openNotes() says so.
    // Throws AppError with the user's message: a folder or file that cannot be written, a full disk,
    // a history written by a newer version of the program.
    explicit Store(std::string path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    const std::string& path() const { return path_; }
    const std::vector<std::string>& openNotes() const { return openNotes_; }

    // Records a log's days in one transaction: its earlier shares (same log) are replaced, and shares
    // of other logs that overlap one of its days in time are replaced too, with a note. progress, when
    // given, is told of every share written, inside the transaction.
    RecordResult record(const SourceInfo& source, const LogDays& days,
                        const std::function<void(std::size_t done, std::size_t total)>& progress = {});

    // Days from..to (inclusive) that have a share, one Summary each, in order.
    std::vector<Summary> days(Day from, Day to);
    // The same by calendar month.
    std::vector<Summary> months(Day from, Day to);
    // Everything from..to together (day 0).
    Summary total(Day from, Day to);
    // The days or months of the range and their total, each share's hashes read once.
    RangeSummaries summaries(Day from, Day to, bool byMonth);
    // The same from the per-day figures alone, without reading any hashes: a row whose distinct
    // counts need the union of several shares has kNotCounted there, and so has the total unless the
    // range is one share.
    RangeSummaries figures(Day from, Day to, bool byMonth);
    // The first and last recorded day; none when the history is empty.
    std::optional<std::pair<Day, Day>> span();
    // The ranking sums of the range, at most top rows a table (0: all kept rows).
    RangeRankings rankings(Day from, Day to, std::size_t top);
    // Removes every share of the days from..to; returns how many days were removed.
    std::size_t remove(Day from, Day to);

    // Schema version the program writes.
    static constexpr int kSchemaVersion = 2;

private:
    template <class F>
    auto guarded(F&& f) -> decltype(f());
    RangeSummaries read(Day from, Day to, bool byMonth, bool counted);
    // A damaged page met in use: the file is moved aside and a new history opened; the user's message.
    std::string setAsideDamaged();

    std::string path_;
    std::unique_ptr<Database> db_;
    std::vector<std::string> openNotes_;
};

// SQLite's failures as the user's message.
template <class F>
auto Store::guarded(F&& f) -> decltype(f()) {
    try {
        if (!db_) db_ = openHistory(path_, openNotes_);
        return f();
    } catch (const SqliteError& e) {
        if (e.damaged()) throw common::AppError(setAsideDamaged());
        throw common::AppError(historyMessage(e, path_));
    }
}

// Opening steps for tests: applies the schema steps up to version `upTo` to a fresh file at path.
void createSchemaForTest(const std::string& path, int upTo);

}  // namespace history
