// The figures of an analysed log per calendar day of its time fields, read from the loaded log after
// the pass with the same field rules: what the history keeps of one log.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/lines.h"
#include "analysis/logtally.h"
#include "analysis/rankings.h"

namespace analysis {
struct ReferenceLists;
}

namespace history {

// The rows of each ranking table a day keeps, the most hits first.
inline constexpr std::size_t kTopRows = 200;

// A calendar day as 10000 * year + 100 * month + day (20261209), in the log's own time zone.
using Day = std::int32_t;
// "2026-12-09"; "2026-12" for a month (day 0).
std::string dayText(Day day);
// "2026-12-09" (or "2026-12": the month's first day); none when it is no date.
std::optional<Day> parseDay(std::string_view text);

// The date and the second of the day of a time field ("[10/Oct/2004:13:55:36 +0900]"); none when
// it does not hold a real date and time.
struct DayTime {
    Day day;
    std::int32_t second;
};
std::optional<DayTime> dayTimeOf(std::string_view timeField);

struct RankItem {
    std::string item;  // code page 932, as the ranking shows it
    std::int64_t hits = 0;
    std::int64_t bytes = 0;
};

// The counters of one day (or of a log's share of one day, or of a range), as the tally counts them.
struct DayCounts {
    std::int64_t lines = 0, get = 0, post = 0;
    std::int64_t status200 = 0, status403 = 0, status404 = 0, other = 0;
    std::int64_t bytes = 0;  // the transfer box: byte counts of the GET lines answered 200
    std::int64_t favicon = 0, faviconIe = 0, robots = 0, robotsFile = 0;
    analysis::HourCounts hourConnections{}, hourGets{}, hourPosts{};
    void add(const DayCounts& other);
};

// One log's share of one day.
struct DayShare {
    Day day = 0;
    // The first and last second of the day that the log's lines of this day fall on.
    std::int32_t firstSecond = 0, lastSecond = 0;
    DayCounts counts;
    // Distinct hosts and visitors (host and user agent) as 64-bit hashes, each once, letter case ignored
    // as the host list ignores it: the distinct counts of several days are those of the union.
    std::vector<std::uint64_t> hosts, visitors;
    // The top rows of each table, and each table's hits and rows over the whole day.
    std::array<std::vector<RankItem>, analysis::kRankTableCount> top;
    std::array<std::int64_t, analysis::kRankTableCount> tableHits{}, tableRows{};
};

struct LogDays {
    std::vector<DayShare> days;  // by date
    // Lines whose time field holds no date: counted by the analysis, kept by no day.
    std::int64_t undated = 0;
};

// Splits the log into its days. lists are those of the pass; threads as the pass takes them.
// tally, when given, is the pass's over the same log: a log of one day then takes what the pass
// counted and is only read for its time span, hosts and visitors.
LogDays splitIntoDays(const std::shared_ptr<const analysis::LogText>& log, const analysis::ReferenceLists& lists,
                      unsigned threads = 1, const analysis::LogTally* tally = nullptr);

// A log's lines counted into their days (as splitIntoDays without a tally counts them), not yet put
// together into shares: that last step, the hash lists made distinct and the ranking rows sorted, can
// go to another thread while the next log is counted. Keeps the log's text until then.
class CountedDays {
public:
    struct Runs;
    CountedDays();
    explicit CountedDays(std::unique_ptr<Runs> runs);
    CountedDays(CountedDays&&) noexcept;
    CountedDays& operator=(CountedDays&&) noexcept;
    ~CountedDays();
    // No line had a date.
    bool empty() const;
    // The days, as splitIntoDays gives them; once.
    LogDays finish();

private:
    std::unique_ptr<Runs> runs_;
};
// side, when given, is other work done on one of the threads (once, whatever the counting meets), in
// place of a thread of its own that would crowd the cores: it must not throw.
CountedDays countDays(const std::shared_ptr<const analysis::LogText>& log, const analysis::ReferenceLists& lists,
                      unsigned threads = 1, const std::function<void()>& side = {});

// A watcher for the pass (AnalysisOptions::watcher) that takes the days' time spans, hours, hosts
// and visitors as the pass goes: splitIntoDays with that pass's tally then needs not read the log
// again for them.
std::shared_ptr<analysis::LineWatcher> dayWatcher();

// Where the days of a log do not add up to what the pass counted (dated lines only count when
// nothing is undated): the first counter that differs, by name; none when they agree.
std::optional<std::string> differenceFromTally(const LogDays& days, const analysis::LogTally& tally);

// The number of distinct values in the union of hash lists (each without repeats).
std::size_t unionSize(const std::vector<const std::vector<std::uint64_t>*>& lists);

}  // namespace history
