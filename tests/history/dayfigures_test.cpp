// The days of a log: what each day gets, and that the days add up to what the pass counted.
#include "history/dayfigures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <set>

#include "analysis/logcounting.h"
#include "analysis/logfile.h"
#include "analysis/logline.h"
#include "common/fileio.h"
#include "history/loglines.h"

using namespace historytest;
using history::LogDays;

namespace {

analysis::LogTally passOver(const std::shared_ptr<const analysis::LogText>& log,
                            const analysis::ReferenceLists& lists) {
    analysis::LogTally t(log);
    analysis::countLines(t, lists, nullptr, 2);
    return t;
}

// A log of n lines over three days, with every kind of line the counters tell apart.
std::string mixedLog(std::size_t n, unsigned seed) {
    std::mt19937 rng(seed);
    const char* requests[] = {"GET /",           "GET /favicon.ico", "POST /form.cgi",
                              "GET /robots.txt", "HEAD /",           "GET /Index.html"};
    const char* agents[] = {"Mozilla/4.0 (compatible; MSIE 6.0)", "Googlebot/2.1", "curl/8", "Mozilla/5.0"};
    const int statuses[] = {200, 200, 200, 403, 404, 301};
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < n; ++i) {
        const int day = 8 + static_cast<int>(rng() % 3);
        lines.push_back(line((rng() % 2 ? "host" : "HOST") + std::to_string(rng() % 40), at(day, rng() % 86400),
                             requests[rng() % 6], statuses[rng() % 6], agents[rng() % 4],
                             static_cast<int>(rng() % 5000)));
    }
    return join(lines);
}

void expectAddsUp(const std::shared_ptr<const analysis::LogText>& log, const analysis::ReferenceLists& lists) {
    const analysis::LogTally t = passOver(log, lists);
    for (unsigned threads : {1u, 3u}) {
        const LogDays days = history::splitIntoDays(log, lists, threads);
        EXPECT_EQ(days.undated, 0);
        EXPECT_EQ(history::differenceFromTally(days, t), std::nullopt) << threads << " threads";
    }
}

}  // namespace

TEST(DayTime, ReadsRealDatesOnly) {
    const auto d = history::dayTimeOf("[29/Feb/2024:23:59:58 +0900]");
    ASSERT_TRUE(d);
    EXPECT_EQ(d->day, 20240229);
    EXPECT_EQ(d->second, 86398);
    for (const char* bad : {"[29/Feb/2023:10:00:00 +0900]", "[10/Oct/2004:24:00:00 +0900]", "[10/oct/2004:10:00:00",
                            "[1/Oct/2004:10:00:00 +0900]", "", "[10/Oct/2004 10:00:00 +0900]"})
        EXPECT_FALSE(history::dayTimeOf(bad)) << bad;
    EXPECT_EQ(history::dayText(20261209), "2026-12-09");
    EXPECT_EQ(history::dayText(20261200), "2026-12");
    EXPECT_EQ(history::parseDay("2026-12"), 20261201);
    EXPECT_EQ(history::parseDay("2026-02-30"), std::nullopt);
}

TEST(Days, ALogAcrossMidnightGivesTwoDays) {
    const LogDays days = daysOf(
        join({line("a", "09/Dec/2026:23:59:58", "GET /x"), line("b", "10/Dec/2026:00:00:01", "POST /f", 404),
              line("a", "09/Dec/2026:23:59:59", "GET /y", 200, "Mozilla/5.0", 7)}));
    ASSERT_EQ(days.days.size(), 2u);
    const auto& first = days.days[0];
    EXPECT_EQ(first.day, 20261209);
    EXPECT_EQ(first.counts.lines, 2);
    EXPECT_EQ(first.counts.bytes, 107);
    EXPECT_EQ(first.counts.hourConnections[23], 2);
    EXPECT_EQ(first.firstSecond, 86398);
    EXPECT_EQ(first.lastSecond, 86399);
    EXPECT_EQ(first.hosts.size(), 1u);
    const auto& second = days.days[1];
    EXPECT_EQ(second.day, 20261210);
    EXPECT_EQ(second.counts.post, 1);
    EXPECT_EQ(second.counts.status404, 1);
    EXPECT_EQ(second.counts.hourPosts[0], 1);
    EXPECT_EQ(second.firstSecond, 1);
}

TEST(Days, LinesWithoutADateBelongToNoDay) {
    const std::string text = join({line("a", "09/Dec/2026:10:00:00"), line("a", "31/Nov/2026:10:00:00")});
    const LogDays days = daysOf(text);
    EXPECT_EQ(days.undated, 1);
    ASSERT_EQ(days.days.size(), 1u);
    // The lines without a day still count towards the log's lines, so the check holds on those.
    const auto log = logOf(text);
    EXPECT_EQ(history::differenceFromTally(days, passOver(log, noLists())), std::nullopt);
}

TEST(Days, VisitorsAreHostsWithOneUserAgentLetterCaseIgnored) {
    const LogDays days = daysOf(
        join({line("Proxy", at(9, 10), "GET /", 200, "A"), line("proxy", at(9, 11), "GET /", 200, "B"),
              line("proxy", at(9, 12), "POST /f", 200, "A"), line("other", at(9, 13), "GET /", 200, "A")}));
    ASSERT_EQ(days.days.size(), 1u);
    EXPECT_EQ(days.days[0].hosts.size(), 2u);
    EXPECT_EQ(days.days[0].visitors.size(), 3u);
}

TEST(Days, AddUpToThePassOnAGeneratedLog) {
    const analysis::ReferenceLists lists({"host1"}, {"example"}, {"Googlebot"});
    expectAddsUp(logOf(mixedLog(20000, 7)), lists);
}

TEST(Days, AddUpToThePassOnTheRealLogs) {
    const analysis::ReferenceLists lists({}, {}, {"bot", "spider", "crawl"});
    for (const char* name : {"/hackers-home.log.gz", "/elastic-apache.log.gz"}) {
        SCOPED_TRACE(name);
        expectAddsUp(analysis::loadLog(std::string(MUNYARO_REAL_DATA) + name), lists);
    }
}

// A day's rankings are those of an analysis of that day's lines alone.
TEST(Days, RankingsOfADayAreThoseOfItsLinesAlone) {
    const analysis::ReferenceLists lists({}, {}, {"bot"});
    const auto log = analysis::loadLog(std::string(MUNYARO_REAL_DATA) + "/elastic-apache.log.gz");
    const LogDays days = history::splitIntoDays(log, lists, 2);
    ASSERT_EQ(days.days.size(), 4u);
    const history::DayShare& day = days.days[1];
    std::string alone;
    for (std::size_t i = 0; i < log->size(); ++i)
        if (history::dayTimeOf(analysis::ExtractTime((*log)[i]))->day == day.day)
            alone += std::string((*log)[i]) + "\n";
    const analysis::LogTally t = passOver(logOf(alone), lists);
    EXPECT_EQ(day.counts.lines, t.lineCount);
    EXPECT_EQ(static_cast<std::int64_t>(day.hosts.size()), t.hostCount);
    for (std::size_t k = 0; k < analysis::kRankTableCount; ++k) {
        const auto rows = t.rankings->sorted(analysis::rankTable(k), history::kTopRows);
        ASSERT_EQ(day.top[k].size(), rows.size()) << k;
        for (std::size_t r = 0; r < rows.size(); ++r) {
            EXPECT_EQ(day.top[k][r].item, rows[r].item);
            EXPECT_EQ(day.top[k][r].hits, rows[r].hits);
            EXPECT_EQ(day.top[k][r].bytes, rows[r].bytes);
        }
        EXPECT_EQ(day.tableHits[k], t.rankings->table(analysis::rankTable(k)).totalHits());
    }
}

TEST(Days, UnionSizeCountsEachHashOnce) {
    const std::vector<std::uint64_t> a{0, 1, 5, 9}, b{1, 2, 9}, c{};
    EXPECT_EQ(history::unionSize({&a, &b, &c}), 5u);
    EXPECT_EQ(history::unionSize({&b}), 3u);
    EXPECT_EQ(history::unionSize({}), 0u);
}

// A log of one day takes the pass's counts and rankings: the same as counting the day anew.
TEST(Days, ADayTakenFromTheTallyIsTheDayCountedAnew) {
    const analysis::ReferenceLists lists({}, {"example"}, {"Googlebot"});
    std::string text = mixedLog(5000, 11);
    // Every line onto the 9th.
    for (std::size_t at = 0; (at = text.find("/Dec/2026", at)) != std::string::npos; at += 9)
        text.replace(at - 2, 2, "09");
    const auto log = logOf(text);
    const analysis::LogTally t = passOver(log, lists);
    const LogDays fast = history::splitIntoDays(log, lists, 2, &t), slow = history::splitIntoDays(log, lists, 2);
    ASSERT_EQ(fast.days.size(), 1u);
    ASSERT_EQ(slow.days.size(), 1u);
    const auto &f = fast.days[0], &s = slow.days[0];
    for (auto m : {&history::DayCounts::lines, &history::DayCounts::get, &history::DayCounts::post,
                   &history::DayCounts::status200, &history::DayCounts::status403, &history::DayCounts::status404,
                   &history::DayCounts::other, &history::DayCounts::bytes, &history::DayCounts::favicon,
                   &history::DayCounts::faviconIe, &history::DayCounts::robots, &history::DayCounts::robotsFile})
        EXPECT_EQ(f.counts.*m, s.counts.*m);
    EXPECT_EQ(f.counts.hourConnections, s.counts.hourConnections);
    EXPECT_EQ(f.counts.hourGets, s.counts.hourGets);
    EXPECT_EQ(f.counts.hourPosts, s.counts.hourPosts);
    EXPECT_EQ(f.hosts.size(), s.hosts.size());
    EXPECT_EQ(f.visitors.size(), s.visitors.size());
    EXPECT_EQ(f.firstSecond, s.firstSecond);
    EXPECT_EQ(f.lastSecond, s.lastSecond);
    for (std::size_t k = 0; k < analysis::kRankTableCount; ++k) {
        ASSERT_EQ(f.top[k].size(), s.top[k].size());
        for (std::size_t r = 0; r < f.top[k].size(); ++r) EXPECT_EQ(f.top[k][r].item, s.top[k][r].item);
        EXPECT_EQ(f.tableHits[k], s.tableHits[k]);
    }
    EXPECT_GT(f.counts.robots, 0);
    EXPECT_GT(f.counts.robotsFile, 0);
}

TEST(Days, LinesThePassLeftOutAsUnreadableBelongToNoDay) {
    const std::string text = join(
        {line("a", "09/Dec/2026:10:00:00"), "# a comment", line("b", "09/Dec/2026:11:00:00")});
    const auto log = logOf(text);
    analysis::LogTally t(log);
    analysis::countLines(t, noLists(), nullptr, 1, true);
    ASSERT_EQ(t.skippedLines.size(), 1u);
    for (unsigned threads : {1u, 2u}) {
        const LogDays days = history::splitIntoDays(log, noLists(), threads, &t);
        ASSERT_EQ(days.days.size(), 1u);
        EXPECT_EQ(days.days[0].counts.lines, 2);
        EXPECT_EQ(history::differenceFromTally(days, t), std::nullopt);
    }
}

// The pass's watcher sees what reading the log again sees: the same time span, hours, hosts and
// visitors, also where hosts come back with many agents, differ in letter case, or are forwarded; and
// the hosts are those the pass counted.
TEST(Days, TheWatchedPassGivesTheDayThatReadingAgainGives) {
    std::mt19937 rng(5);
    const char* agents[] = {"Mozilla/5.0 (Windows NT 10.0; Win64; x64) Chrome/120.0",
                            "MOZILLA/5.0 (windows nt 10.0; win64; x64) chrome/120.0",
                            "Mozilla/5.0 (Windows NT 10.0; Win64; x64) Chrome/121.0",
                            "curl/8",
                            "-",
                            "Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X) Safari/604.1"};
    std::vector<std::string> lines;
    for (int i = 0; i < 6000; ++i) {
        std::string l = line((rng() % 2 ? "host" : "HOST") + std::to_string(rng() % 300), at(9, i * 14), "GET /", 200,
                             agents[rng() % 6]);
        if (i % 3 == 0) l += " \"203.0.113." + std::to_string(rng() % 50) + ", 10.0.0.1\"";
        lines.push_back(l);
    }
    const std::string text = join(lines);
    for (bool forwarded : {false, true}) {
        const auto loaded = analysis::logFromBytes(text, "log");
        analysis::LogLayout layout = *analysis::layoutNamed("combined-extra");
        layout.clientFromForwarded = forwarded;
        loaded->setLayout(layout);
        const std::shared_ptr<const analysis::LogText> log = loaded;
        for (unsigned threads : {1u, 3u}) {
            analysis::LogTally watched(log), plain(log);
            watched.watcher = history::dayWatcher();
            analysis::countLines(watched, noLists(), nullptr, threads);
            analysis::countLines(plain, noLists(), nullptr, threads);
            const LogDays a = history::splitIntoDays(log, noLists(), threads, &watched);
            const LogDays b = history::splitIntoDays(log, noLists(), threads, &plain);
            ASSERT_EQ(a.days.size(), 1u);
            ASSERT_EQ(b.days.size(), 1u);
            const auto &x = a.days[0], &y = b.days[0];
            EXPECT_EQ(x.counts.lines, 6000);
            EXPECT_EQ(x.counts.hourConnections, y.counts.hourConnections);
            EXPECT_EQ(x.firstSecond, y.firstSecond);
            EXPECT_EQ(x.lastSecond, y.lastSecond);
            EXPECT_EQ(std::set(x.hosts.begin(), x.hosts.end()), std::set(y.hosts.begin(), y.hosts.end()));
            EXPECT_EQ(std::set(x.visitors.begin(), x.visitors.end()),
                      std::set(y.visitors.begin(), y.visitors.end()));
            // Host case is one host, agent case one agent: 300 hosts, and the 50 forwarded clients where
            // the pass takes them; 5 agents each at most. Either way the days agree with the pass.
            const std::size_t hosts = forwarded ? 350u : 300u;
            EXPECT_EQ(x.hosts.size(), hosts);
            EXPECT_GT(x.visitors.size(), 1000u);
            EXPECT_LE(x.visitors.size(), hosts * 5);
            EXPECT_EQ(history::differenceFromTally(a, watched), std::nullopt);
            EXPECT_EQ(history::differenceFromTally(b, plain), std::nullopt);
        }
    }
}

// The watcher takes a GET line's agent by the rankings' row of it, and other lines' from the line:
// the same agent met both ways, in other letter case (another row), among more agents than a host's
// mask numbers, and on an excluded host, is still each visitor once, as reading the log again has it.
TEST(Days, AgentsByRowAndByLineAreTheSameVisitors) {
    std::mt19937 rng(23);
    const char* requests[] = {"GET /", "POST /form", "HEAD /", "GET /a.css"};
    std::vector<std::string> lines;
    std::set<std::string> visitors;
    for (int i = 0; i < 8000; ++i) {
        const std::string host = "h" + std::to_string(rng() % 40);
        std::string agent = "Agent/" + std::to_string(rng() % 90) + " (like \"Gecko\")";
        if (rng() % 5 == 0)
            for (char& c : agent) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        lines.push_back(line(host, at(9, i * 10), requests[rng() % 4], 200, agent));
        if (host == "h0") continue;  // excluded below
        std::string key = host + " " + agent;
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        visitors.insert(key);
    }
    analysis::ReferenceLists lists({}, {}, {});
    lists.excludedHosts = {"h0"};
    const auto log = logOf(join(lines));
    for (unsigned threads : {1u, 3u}) {
        analysis::LogTally watched(log);
        watched.watcher = history::dayWatcher();
        analysis::countLines(watched, lists, nullptr, threads);
        const LogDays fast = history::splitIntoDays(log, lists, threads, &watched);
        const LogDays slow = history::splitIntoDays(log, lists, threads);
        ASSERT_EQ(fast.days.size(), 1u);
        ASSERT_EQ(slow.days.size(), 1u);
        EXPECT_EQ(fast.days[0].visitors, slow.days[0].visitors) << threads << " threads";
        EXPECT_EQ(fast.days[0].visitors.size(), visitors.size()) << threads << " threads";
        EXPECT_EQ(fast.days[0].hosts.size(), 40u);
    }
}

// A proxy's host brings hundreds of agents, more than a host's record, its blocks and the watcher's
// agent tables hold, and some of them again in other letter case: the watched pass still gives each
// visitor once, as many as there are distinct hosts and agents with letter case ignored.
TEST(Days, AHostWithHundredsOfAgentsGivesEachVisitorOnce) {
    std::mt19937 rng(11);
    std::vector<std::string> lines;
    std::set<std::string> visitors;
    for (int i = 0; i < 12000; ++i) {
        const std::string host = (rng() % 2 ? "proxy" : "PROXY") + std::to_string(rng() % 3);
        std::string agent = "Agent/" + std::to_string(rng() % 1500) + " (a browser behind a proxy)";
        if (rng() % 4 == 0)
            for (char& c : agent) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        lines.push_back(line(host, at(9, i * 7), "GET /", 200, agent));
        std::string key = host + " " + agent;
        for (char& c : key) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        visitors.insert(key);
    }
    const auto log = logOf(join(lines));
    for (unsigned threads : {1u, 3u}) {
        analysis::LogTally watched(log);
        watched.watcher = history::dayWatcher();
        analysis::countLines(watched, noLists(), nullptr, threads);
        const LogDays fast = history::splitIntoDays(log, noLists(), threads, &watched);
        const LogDays slow = history::splitIntoDays(log, noLists(), threads);
        ASSERT_EQ(fast.days.size(), 1u);
        ASSERT_EQ(slow.days.size(), 1u);
        EXPECT_EQ(fast.days[0].visitors.size(), visitors.size()) << threads << " threads";
        EXPECT_EQ(fast.days[0].visitors, slow.days[0].visitors);
        EXPECT_EQ(fast.days[0].hosts.size(), 3u);
    }
}
