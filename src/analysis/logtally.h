// The result of one pass over a log: counters, hourly counts and the collected lists.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/distinctlist.h"
#include "analysis/lines.h"
#include "analysis/rankings.h"

namespace analysis {

using HourCounts = std::array<std::int64_t, 24>;

// The counters of a pass: what is left of it once its lists are shown.
struct LogCounts {
    std::int64_t lineCount = 0;
    HourCounts hourConnections{};
    HourCounts hourGets{};
    HourCounts hourPosts{};
    std::int64_t hostCount = 0;
    std::int64_t getCount = 0;
    std::int64_t getFileCount = 0;
    std::int64_t get200Count = 0;
    std::int64_t postCount = 0;
    std::int64_t postFileCount = 0;
    std::int64_t post200Count = 0;
    std::int64_t status200Count = 0;
    std::int64_t faviconCount = 0;
    std::int64_t faviconIeCount = 0;
    double bytesSent = 0;
};

// The counters by name, in the order they are declared (the hourly counts and bytesSent apart).
inline constexpr std::array<std::pair<std::string_view, std::int64_t LogCounts::*>, 11> kCounters = {{
    {"lineCount", &LogCounts::lineCount},
    {"hostCount", &LogCounts::hostCount},
    {"getCount", &LogCounts::getCount},
    {"getFileCount", &LogCounts::getFileCount},
    {"get200Count", &LogCounts::get200Count},
    {"postCount", &LogCounts::postCount},
    {"postFileCount", &LogCounts::postFileCount},
    {"post200Count", &LogCounts::post200Count},
    {"status200Count", &LogCounts::status200Count},
    {"faviconCount", &LogCounts::faviconCount},
    {"faviconIeCount", &LogCounts::faviconIeCount},
}};

// Reads each counted line beside the pass, for what a caller keeps of an analysis beyond its tally (the
// history's days), so that it need not read the log again. The pass on several threads gives each chunk
// a fresh() watcher and appends them in the order of their lines.
class LineWatcher {
public:
    virtual ~LineWatcher() = default;
    virtual std::shared_ptr<LineWatcher> fresh() const = 0;
    // A line the pass counted: its core, as the field rules read it, its time field, and its host with
    // the host's index in the tally's host list; excluded: the host is on the user's excluded list.
    // agent: the user agent the rankings took from the line (a view into core), and agentRow the row of
    // their agents' table it went to, one row for each text (0xffffffff, the view empty: the rankings
    // took none).
    virtual void counted(std::string_view core, std::string_view timeField, std::string_view host,
                         std::uint32_t hostIndex, bool excluded, std::string_view agent, std::uint32_t agentRow) = 0;
    // The same line's core and host index as soon as the pass knows them, well before counted(): what
    // the watcher will look up for it can be on its way to the cache meanwhile.
    virtual void ahead(std::string_view core, std::uint32_t hostIndex) = 0;
    // Takes in what a watcher of the lines right after this one's saw.
    virtual void append(LineWatcher& later) = 0;
};

struct LogTally : LogCounts {
    explicit LogTally(std::shared_ptr<const LogText> log);
    // A tally for a run of about `lines` lines of the log (the pass on several threads makes one per
    // chunk), whose lists take their segments from pool (see takeSegmentsFrom).
    LogTally(std::shared_ptr<const LogText> log, std::size_t lines, common::BlockPool* pool = nullptr);
    // Adds what a tally of the lines right after this one's counted, so that this one is then what a
    // single pass over both runs of lines would have counted: counts added, lists appended in order,
    // distinct lists extended by what is new to them. bytesSent stays exact: it sums whole numbers
    // far below 2^53, so the order of the additions does not matter. later gives up its collected
    // lists, which are taken over without copying.
    void append(LogTally&& later);
    // The segments that the lists start from now on come from pool (none: each its own block).
    void takeSegmentsFrom(common::BlockPool* pool);
    // The lists that take about one entry per line, which a tally reserves room in for its lines.
    static const std::array<std::shared_ptr<EntryList> LogTally::*, 4> kPerLineLists;

    std::shared_ptr<const LogText> logLines;
    DistinctList hosts, getFiles, postFiles;
    std::shared_ptr<EntryList> connectionLines, host403Lines, host404Lines, hostOtherLines;
    std::shared_ptr<EntryList> file403Lines, file404Lines, fileOtherLines;
    std::shared_ptr<EntryList> post403Lines, post404Lines, postOtherLines;
    std::shared_ptr<EntryList> watchedLines;
    // What the pass appends to the panes Memo4, Memo5, ReferrerLog, ReferrerList and RobotsLog.
    std::shared_ptr<EntryList> getExtract, postExtract, referrerLog, referrerList, robotsLog;
    // The rankings of the lines passed so far; null when they are not wanted. The tallies of
    // consecutive runs of lines combine with Rankings::merge.
    std::shared_ptr<Rankings> rankings;
    // Told of every counted line; null when nobody asked.
    std::shared_ptr<LineWatcher> watcher;
    // Indexes of the lines left out as unreadable (only when the pass is asked to go on past them).
    std::vector<std::uint32_t> skippedLines;
};

}  // namespace analysis
