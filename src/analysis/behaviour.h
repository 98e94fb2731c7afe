// What the lines tell of the people and robots behind them: visitors (host and user agent), their
// visits, the pages among the requests, and each host's detail with a mark for robot-like behaviour.
// Counted in the pass beside the rankings, merged per chunk in order like them, so the result is the
// same for any number of threads.
#pragma once
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/blockrows.h"
#include "analysis/hashslots.h"
#include "analysis/rankings.h"
#include "analysis/visitors.h"

namespace analysis {

// The tables beside the rankings, in the order every reader shows them.
enum class BehaviourTable : std::uint8_t {
    Visitors,         // host and user agent, one hit per GET line (excluded hosts left out)
    PagesOnly,        // the pages table without assets
    EntryPages,       // the first page of each visit
    NotFoundFrom,     // "[referrer] path" of the lines answered 404 that have a referrer
    RobotLikeAgents,  // user agents of robot-like hosts that no robot string matched
};
inline constexpr std::size_t kBehaviourTableCount = 5;
inline constexpr std::array<std::string_view, kBehaviourTableCount> kBehaviourTableNames = {
    "visitors", "pagesOnly", "entryPages", "notFoundReferrers", "robotLikeAgents"};
inline constexpr std::array<std::string_view, kBehaviourTableCount> kBehaviourTableCaptions = {
    "訪問者", "ページのみ", "入口ページ", "404 の参照元", "ロボットらしいブラウザ"};

// The host detail's mark, stated where the mark is shown.
inline constexpr std::string_view kRobotLikeRule =
    "ロボットらしい: robots.txt を取得した / ブラウザ名に bot, crawl, spider, slurp, archiver を含む / "
    "参照元なしのページ要求が 20 以上でアセットの要求がない / 同じ 1 分間に 60 を超えるページ要求";

// One moment of the log: seconds since 1970 (UTC) and the offset the log wrote it with, in minutes.
struct LogTime {
    std::int64_t seconds = 0;
    std::int32_t offset = 0;
    bool valid = false;
};
// Reads a time field "[10/Oct/2004:13:55:36 +0900]"; not valid when it is not one.
LogTime parseLogTime(std::string_view field);
// "2004-10-10T13:55:36+09:00"
std::string isoTime(const LogTime& t);

// Whether a user agent carries a generic robot word: bot, crawl, spider, slurp or archiver, letter
// case ignored.
bool hasRobotWord(std::string_view agent);
// The distinctive word of a robot's user agent, to propose as a robot string: the token around its
// robot word ("archive.org_bot", "Slurp", "msnbot"), else its first product name other than
// "Mozilla" ("python-requests"); empty when there is none.
std::string robotToken(std::string_view agent);

// The default asset suffixes, and the test of a GET path against a list of them (letter case and
// the query ignored).
const std::vector<std::string>& defaultAssetSuffixes();
bool isAssetPath(std::string_view path, const std::vector<std::string>& suffixes);
// Whether an entry of the excluded-address list names host: equal (letter case ignored); an entry
// ending in "." or ":" also takes the hosts that begin with it ("192.168."), one beginning with "."
// the hosts that end with it (".example.jp").
bool excludedHost(std::string_view host, const std::vector<std::string>& entries);

struct HostDetail {
    std::string_view host;
    std::int64_t hits = 0, pages = 0, bytes = 0, notFound = 0;
    LogTime first, last;
    std::int64_t agents = 0;  // distinct user agents of its GET lines
    bool robotsTxt = false;
    bool robotLike = false;       // next to robotsTxt, which spares each row 8 bytes of padding
    std::string_view robotEntry;  // the first robot string its lines matched; empty: none
};

// The host detail's rows: one for each host, in huge pages on a large log (see RankRows).
using HostDetails = std::vector<HostDetail, common::BigAllocator<HostDetail>>;

struct VisitSummary {
    std::int64_t count = 0;
    std::int64_t pages = 0;
    std::int64_t medianSeconds = 0;
    double pagesPerVisit() const { return count ? static_cast<double>(pages) / static_cast<double>(count) : 0.0; }
};

class Behaviour {
public:
    Behaviour();
    // Brings what a line of host row `host` will touch towards the cache, while the rankings count
    // the line.
    void prefetchHost(std::uint32_t host) const {
        if (host < hosts_.size()) __builtin_prefetch(&hosts_[host], 1);
    }
    // One line counted by rankings; host, page and agent are its rows in rankings' tables (pages and
    // agents only for a GET line, HashSlots::kAbsent otherwise).
    void addLine(const RankedLine& l, std::uint32_t host, std::uint32_t page, std::uint32_t agent);
    // Adds what later counted of the lines after this one's; here and there are the rankings the two
    // belong to, here already merged.
    void merge(const Behaviour& later, const Rankings& here, const Rankings& there);
    // Closes the visits still open and builds the tables; once, after the last line and merge.
    void finish(const Rankings& rankings);

    const RankCounts& table(BehaviourTable t) const { return tables_[static_cast<std::size_t>(t)]; }
    std::vector<RankRow> sorted(BehaviourTable t, std::size_t limit = 0) const;
    const VisitSummary& visits() const { return summary_; }
    // One row per host that is not excluded, by hits descending, then host ascending.
    const HostDetails& hostDetail() const { return detail_; }
    static bool hasBytes(BehaviourTable t) { return t == BehaviourTable::PagesOnly; }
    static bool isUrlTable(BehaviourTable t) {
        return t != BehaviourTable::Visitors && t != BehaviourTable::RobotLikeAgents;
    }

private:
    static constexpr std::uint32_t kNone = HashSlots::kAbsent;
    static constexpr std::uint32_t kNoAgent = kNone - 1;  // a line without the field (common log)
    // What the lines tell of one host, in one cache line: a line of the log touches only this and its
    // visitor. Its runs of page requests in one minute of the clock are kept like a visitor's visits:
    // the first and the last stay open for the lines before and after; only the most of those
    // closed is kept. A run is counted up to 65535 pages, far past the 60 that the mark asks about.
    struct Host {
        static constexpr std::uint8_t kSeen = 1,  // has a line that is not excluded
            kRobotsTxt = 2, kRobotWord = 4, kTimed = 8, kSeveralMinutes = 16;
        std::uint32_t pages = 0, pagesWithReferrer = 0, assets = 0, notFound = 0;
        std::int64_t first = 0, last = 0;  // seconds, when kTimed
        std::int64_t headMinute = 0, tailMinute = 0;
        std::uint32_t robotEntry = 0;                  // 1 + its row in robotEntries_; 0: none
        std::int16_t firstOffset = 0, lastOffset = 0;  // minutes, as LogTime::offset (at most 99:59)
        std::uint16_t headCount = 0, tailCount = 0, closedMost = 0;
        std::uint8_t marks = 0;
        bool has(std::uint8_t mark) const { return (marks & mark) != 0; }
        void note(const LogTime& t);
        void addMinute(std::int64_t minute);
        void follow(const Host& later);
        void followMinutes(const Host& later);
        std::uint16_t mostInAMinute() const { return std::max({closedMost, headCount, tailCount}); }
        bool robotLike() const;
    };
    static_assert(sizeof(Host) == 64);

    // What one line adds to its host, counted two lines later (as the visitors' requests are), once
    // the host's record has come into the cache.
    struct HostStep {
        static constexpr std::uint8_t kTimed = 1, kNotFound = 2, kGet = 4, kRobotsTxt = 8, kPage = 16, kReferrer = 32,
                                      kRobotWord = 64;
        std::uint32_t row = 0;
        std::uint32_t robotEntry = 0;  // as Host::robotEntry
        std::int64_t seconds = 0;
        std::int16_t offset = 0;
        std::uint8_t bits = 0;
    };
    void queueHost(const HostStep& step);
    void countHost(const HostStep& step, std::uint32_t row);
    void flushHosts();

    Host& hostAt(std::uint32_t row) {
        if (row >= hosts_.size()) hosts_.grow(std::size_t(row) + 1);
        return hosts_[row];
    }
    // The time of a line's field; a log's lines come in runs of the same second.
    const LogTime& readTime(std::string_view field);
    void makeHostDetail(const RankRows& hostRows, const std::vector<std::uint32_t>& agentsOf);
    std::uint32_t robotId(std::string_view entry);  // a value for Host::robotEntry
    std::string_view robotText(const Host& h) const;

    BlockRows<Host> hosts_;              // by row of the rankings' hosts
    std::array<HostStep, 2> hostSteps_;  // oldest first
    std::size_t hostStepCount_ = 0;
    // The robot string met last (as robotEntries_ keeps it) and its value for Host::robotEntry.
    std::string_view lastRobot_;
    std::uint32_t lastRobotId_ = 0;
    RankCounts robotEntries_{false};  // the robot strings that hosts matched first
    VisitorTable visitors_;
    std::vector<std::uint8_t> pageKinds_;   // by page row: 0 not seen, 1 page, 2 asset
    std::vector<std::uint8_t> agentWords_;  // by agent row: 0 not tested, 1 no robot word, 2 one
    TextStore store_;
    std::array<RankCounts, kBehaviourTableCount> tables_;
    std::string scratch_;
    // The time field last read and what it gave: a log's lines come in runs of the same second.
    std::string lastField_;
    LogTime lastTime_;
    bool finished_ = false;
    VisitSummary summary_;
    HostDetails detail_;
};

}  // namespace analysis

namespace analysis {

// Every table the readers show, the rankings' first and then those of behaviour, with how to show it.
struct ShownTable {
    std::string_view name, caption;
    const RankCounts* counts;
    bool bytes;                        // its rows carry bytes
    bool url;                          // its items are shown percent-decoded
    std::optional<RankTable> ranking;  // which of the rankings' tables it is, if one
};
std::vector<ShownTable> shownTables(const Rankings& rankings);

}  // namespace analysis
