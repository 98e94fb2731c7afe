#include "analysis/behaviour.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "analysis/logcounting.h"
#include "analysis/logfile.h"
#include "common/fileio.h"

using namespace analysis;
using testing::ElementsAre;

namespace {

// A GET line at second s after 10/Oct/2004:13:00:00 +0900.
std::string at(int s, const std::string& host, const std::string& path, const std::string& referrer = "-",
               const std::string& agent = "Mozilla/5.0", const std::string& status = "200") {
    char time[40];
    std::snprintf(time, sizeof time, "[%02d/Oct/2004:%02d:%02d:%02d +0900]", 10 + s / 86400, s / 3600 % 24, s / 60 % 60,
                  s % 60);
    return host + " - - " + time + " \"GET " + path + " HTTP/1.1\" " + status + " 10 \"" + referrer + "\" \"" + agent +
           "\"\n";
}

struct Pass {
    LogTally tally;
    Pass(const std::string& log, const ReferenceLists& lists, unsigned threads = 1, bool finish = true)
        : tally(logFromBytes(log, "log")) {
        countLines(tally, lists, nullptr, threads);
        if (finish) tally.rankings->finish();
    }
    const Behaviour& b() const { return tally.rankings->behaviour(); }
};

const HostDetail& hostNamed(const Behaviour& b, std::string_view host) {
    for (const HostDetail& h : b.hostDetail())
        if (h.host == host) return h;
    throw std::runtime_error("no host " + std::string(host));
}

std::vector<std::string> rows(const Behaviour& b, BehaviourTable t) {
    std::vector<std::string> out;
    for (const RankRow& row : b.sorted(t)) out.push_back(std::string(row.item) + " " + std::to_string(row.hits));
    return out;
}

// Everything the behaviour gives, in stored order: what merging must reproduce exactly.
std::vector<std::string> everything(const Behaviour& b) {
    std::vector<std::string> out;
    for (std::size_t t = 0; t < kBehaviourTableCount; ++t) {
        out.push_back(std::string(kBehaviourTableNames[t]) + ":");
        for (const RankRow& row : b.table(static_cast<BehaviourTable>(t)).rows())
            out.push_back(std::string(row.item) + " " + std::to_string(row.hits) + " " + std::to_string(row.bytes));
    }
    out.push_back("visits " + std::to_string(b.visits().count) + " " + std::to_string(b.visits().pages) + " " +
                  std::to_string(b.visits().medianSeconds));
    for (const HostDetail& h : b.hostDetail())
        out.push_back(std::string(h.host) + " " + std::to_string(h.hits) + " " + std::to_string(h.pages) + " " +
                      std::to_string(h.bytes) + " " + std::to_string(h.notFound) + " " + isoTime(h.first) + " " +
                      isoTime(h.last) + " " + std::to_string(h.agents) + " " + (h.robotsTxt ? "t" : "-") + " " +
                      std::string(h.robotEntry) + " " + (h.robotLike ? "R" : "-"));
    return out;
}

ReferenceLists lists(std::vector<std::string> robots = {}, std::vector<std::string> excluded = {}) {
    ReferenceLists l({}, {"mysite.jp"}, std::move(robots));
    l.excludedHosts = std::move(excluded);
    return l;
}

std::string repeated(int n, int step, const std::string& host, const std::string& referrer = "-",
                     const std::string& agent = "Mozilla/5.0") {
    std::string log;
    for (int i = 0; i < n; ++i) log += at(i * step, host, "/p" + std::to_string(i), referrer, agent);
    return log;
}

}  // namespace

TEST(Behaviour, EachRobotLikeMarkAndItsAbsence) {
    std::string log = at(0, "fetcher", "/robots.txt") + at(1, "fetcher", "/") +
                      at(0, "archiver", "/", "-", "Mozilla/5.0 (compatible; archive.org_bot +http://archive.org/)") +
                      repeated(20, 100, "quiet20") + repeated(19, 100, "quiet19") + repeated(20, 100, "styled") +
                      at(5000, "styled", "/s.CSS?v=2") + repeated(61, 0, "fast61", "http://x.example/") +
                      repeated(60, 0, "fast60", "http://x.example/") + at(0, "listed", "/", "-", "ExampleAgent/1.0") +
                      at(0, "person", "/", "http://x.example/") + at(2, "person", "/a.png") +
                      at(3, "person", "/gone", "http://mysite.jp/", "Mozilla/5.0", "404") +
                      at(9, "person", "/", "-", "Other/1.0");
    const Pass p(log, lists({"ExampleAgent"}));
    const Behaviour& b = p.b();
    std::vector<std::string> marked;
    for (const HostDetail& h : b.hostDetail())
        if (h.robotLike) marked.push_back(std::string(h.host));
    EXPECT_THAT(marked, testing::UnorderedElementsAre("fetcher", "archiver", "quiet20", "fast61"));
    EXPECT_TRUE(hostNamed(b, "fetcher").robotsTxt);
    EXPECT_FALSE(hostNamed(b, "quiet20").robotsTxt);
    // The robot list's match is shown, but does not make the mark.
    EXPECT_EQ(hostNamed(b, "listed").robotEntry, "ExampleAgent");
    EXPECT_FALSE(hostNamed(b, "listed").robotLike);
    const HostDetail& person = hostNamed(b, "person");
    EXPECT_EQ(person.hits, 4);
    EXPECT_EQ(person.pages, 3);
    EXPECT_EQ(person.bytes, 30);
    EXPECT_EQ(person.notFound, 1);
    EXPECT_EQ(person.agents, 2);
    EXPECT_EQ(isoTime(person.first), "2004-10-10T00:00:00+09:00");
    EXPECT_EQ(isoTime(person.last), "2004-10-10T00:00:09+09:00");
    EXPECT_EQ(b.hostDetail().front().host, "fast61");  // by hits
    // Robot-like agents that the list does not name, and the word proposed for the list.
    EXPECT_THAT(rows(b, BehaviourTable::RobotLikeAgents),
                ElementsAre("Mozilla/5.0 83", "Mozilla/5.0 (compatible; archive.org_bot +http://archive.org/) 1"));
    EXPECT_THAT(rows(b, BehaviourTable::NotFoundFrom), ElementsAre("[http://mysite.jp/] /gone 1"));
}

TEST(Behaviour, RobotWordsAndTheProposedToken) {
    EXPECT_TRUE(hasRobotWord("Mozilla/5.0 (compatible; Yahoo! Slurp; http://help.yahoo.com/)"));
    EXPECT_TRUE(hasRobotWord("ia_archiver"));
    EXPECT_TRUE(hasRobotWord("WebCrawler/1"));
    EXPECT_FALSE(hasRobotWord("Mozilla/5.0 (Windows NT 10.0) Firefox/99"));
    EXPECT_EQ(robotToken("Mozilla/5.0 (compatible; archive.org_bot +http://www.archive.org/details/archive.org_bot)"),
              "archive.org_bot");
    EXPECT_EQ(robotToken("Mozilla/5.0 (compatible; Yahoo! Slurp; http://help.yahoo.com/help/us/ysearch/slurp)"),
              "Slurp");
    EXPECT_EQ(robotToken("msnbot/2.0b (+http://search.msn.com/msnbot.htm)"), "msnbot");
    EXPECT_EQ(robotToken("python-requests/2.31"), "python-requests");
    EXPECT_EQ(robotToken("Mozilla/5.0 (compatible)"), "");
}

TEST(Behaviour, VisitsSplitAtThirtyMinutes) {
    // One visitor: 0, 1799 (the same visit), 3599 (1800 later: a new one), then an asset only.
    std::string log = at(0, "h", "/first") + at(1799, "h", "/second") + at(3599, "h", "/third") +
                      at(3600, "h", "/x.js") + at(9000, "h", "/z.png") +
                      // Another agent on the same host is another visitor, with a visit of its own.
                      at(10, "h", "/first", "-", "Other") + at(20, "h", "/Second", "-", "Other");
    const Pass p(log, lists());
    const Behaviour& b = p.b();
    EXPECT_EQ(b.visits().count, 4);
    EXPECT_EQ(b.visits().pages, 5);
    EXPECT_DOUBLE_EQ(b.visits().pagesPerVisit(), 1.25);
    // Lengths 1799, 1, 0, 10: the median of an even count is the mean of the middle two.
    EXPECT_EQ(b.visits().medianSeconds, 5);
    EXPECT_THAT(rows(b, BehaviourTable::EntryPages), ElementsAre("/first 2", "/third 1"));
    EXPECT_THAT(rows(b, BehaviourTable::Visitors), ElementsAre("h Mozilla/5.0 5", "h Other 2"));
}

TEST(Behaviour, AssetsIgnoreTheQueryAndLetterCase) {
    const std::vector<std::string>& s = defaultAssetSuffixes();
    EXPECT_TRUE(isAssetPath("/s.CSS?v=2", s));
    EXPECT_TRUE(isAssetPath("/img/A.JpEg#top", s));
    EXPECT_TRUE(isAssetPath("/f.woff2", s));
    EXPECT_FALSE(isAssetPath("/page.html?x=a.css", s));
    EXPECT_FALSE(isAssetPath("/style.css.html", s));
    EXPECT_FALSE(isAssetPath("/", s));
    EXPECT_TRUE(isAssetPath("/feed.xml", {".xml"}));
    const Pass p(at(0, "h", "/") + at(1, "h", "/s.CSS?v=2") + at(2, "h", "/s.css?v=3") + at(3, "h", "/Index.php?a=1"),
                 lists());
    EXPECT_THAT(rows(p.b(), BehaviourTable::PagesOnly), ElementsAre("/ 1", "/Index.php?a=1 1"));
}

TEST(Behaviour, ExcludedAddressesAreLeftOutOfVisitorsAndHosts) {
    EXPECT_TRUE(excludedHost("192.168.1.5", {"192.168."}));
    EXPECT_TRUE(excludedHost("mon.Example.jp", {".example.jp"}));
    EXPECT_TRUE(excludedHost("ME", {"me"}));
    EXPECT_FALSE(excludedHost("192.168.1.5", {"192.168"}));
    EXPECT_FALSE(excludedHost("example.jp", {".example.jp", ""}));
    const Pass p(at(0, "me", "/") + at(1, "192.168.1.5", "/") + at(2, "you", "/"), lists({}, {"ME", "192.168."}));
    EXPECT_THAT(rows(p.b(), BehaviourTable::Visitors), ElementsAre("you Mozilla/5.0 1"));
    ASSERT_EQ(p.b().hostDetail().size(), 1u);
    EXPECT_EQ(p.b().visits().count, 1);
    // The rankings and the panes still count everything.
    EXPECT_EQ(p.tally.rankings->table(RankTable::Hosts).size(), 3u);
    EXPECT_THAT(rows(p.b(), BehaviourTable::PagesOnly), ElementsAre("/ 3"));
}

TEST(Behaviour, MergeAtEverySplitEqualsOnePass) {
    std::string log = at(0, "a", "/robots.txt", "-", "Bot") + at(10, "b", "/x", "http://r.example/") +
                      at(20, "a", "/y") + at(1900, "a", "/y") + at(1901, "B", "/z.css") +
                      at(1902, "b", "/gone", "http://r.example/", "Mozilla/5.0", "404") + at(1903, "c", "/") +
                      at(5000, "a", "/late") + at(5001, "a", "/Late") + at(5002, "a", "/x", "-", "Bot") +
                      at(5060, "c", "/") + at(9000, "c", "/again") +
                      "junk [10/Okt/2004:13:55:36 +0900] \"GET /odd HTTP/1.0\" 200 1 \"-\" \"Bot\"\n" +
                      at(9001, "b", "/x");
    const ReferenceLists l = lists({"Bot"});
    const Pass whole(log, l);
    std::vector<std::size_t> breaks;
    for (std::size_t i = 0; i < log.size(); ++i)
        if (log[i] == '\n') breaks.push_back(i + 1);
    for (std::size_t at : breaks) {
        Pass first(log.substr(0, at), l, 1, false);
        const Pass later(log.substr(at), l, 1, false);
        first.tally.rankings->merge(*later.tally.rankings);
        first.tally.rankings->finish();
        EXPECT_EQ(everything(first.b()), everything(whole.b())) << "split at " << at;
    }
    // Three runs merged left to right into an empty accumulator.
    for (std::size_t i = 1; i + 1 < breaks.size(); ++i) {
        Rankings merged;
        Pass a(log.substr(0, breaks[i - 1]), l, 1, false),
            b(log.substr(breaks[i - 1], breaks[i] - breaks[i - 1]), l, 1, false), c(log.substr(breaks[i]), l, 1, false);
        merged.merge(*a.tally.rankings);
        merged.merge(*b.tally.rankings);
        merged.merge(*c.tally.rankings);
        merged.finish();
        EXPECT_EQ(everything(merged.behaviour()), everything(whole.b())) << "middle run " << i;
    }
}

TEST(Behaviour, RealLogGivesTheSameOnAnyNumberOfThreads) {
    const std::string log = common::readWholeFile(std::string(MUNYARO_REAL_DATA) + "/elastic-apache.log.gz");
    const ReferenceLists l = lists({"Googlebot", "bingbot"});
    const Pass one(log, l, 1), three(log, l, 3);
    EXPECT_EQ(everything(three.b()), everything(one.b()));
    EXPECT_GT(one.b().visits().count, 1000);
    EXPECT_EQ(
        one.b().table(BehaviourTable::PagesOnly).totalHits() +
            [&] {
                std::int64_t assets = 0;
                for (const RankRow& r : one.tally.rankings->table(RankTable::Pages).rows())
                    if (isAssetPath(r.item, defaultAssetSuffixes())) assets += r.hits;
                return assets;
            }(),
        one.tally.getCount);
}

TEST(Behaviour, LogTimesReadAndWritten) {
    const LogTime t = parseLogTime("[29/Feb/2004:23:59:60 -0130]");
    ASSERT_TRUE(t.valid);
    EXPECT_EQ(isoTime(t), "2004-03-01T00:00:00-01:30");  // second 60 rolls over
    EXPECT_EQ(parseLogTime("[10/Oct/2004:13:55:36 +0900]").seconds, 1097384136);
    EXPECT_FALSE(parseLogTime("[10/Okt/2004:13:55:36 +0900]").valid);
    EXPECT_FALSE(parseLogTime("[10/Oct/2004:24:00:00 +0900]").valid);
    EXPECT_FALSE(parseLogTime("[10/Oct/2004:13:55:36 +0900").valid);
    EXPECT_EQ(isoTime(LogTime{}), "");
}

TEST(Behaviour, AFloodInOneMinuteStaysMarkedPastWhatARunCounts) {
    // A host's run of pages in one minute is counted up to 65535: 65537 of them, split anywhere,
    // still make the mark, and its pages are counted in full.
    std::string log = at(0, "flood", "/a.css", "http://x.example/");
    for (int i = 0; i < 65537; ++i) log += at(1, "flood", "/p", "http://x.example/");
    log += at(100, "calm", "/", "http://x.example/");
    const Pass one(log, lists()), two(log, lists(), 2);
    for (const Pass* p : {&one, &two}) {
        EXPECT_TRUE(hostNamed(p->b(), "flood").robotLike);
        EXPECT_EQ(hostNamed(p->b(), "flood").pages, 65537);
        EXPECT_FALSE(hostNamed(p->b(), "calm").robotLike);
    }
}

TEST(Behaviour, HostDetailOfManyHostsComesInTheOrderOfHits) {
    // More hosts than a block of their records holds, with hits in cycles that tie often: every host
    // once, by hits descending and then by name.
    std::string log;
    std::map<std::string, std::int64_t> hits;
    for (int i = 0; i < 9000; ++i) {
        const std::string host = "h" + std::to_string(i * 7919 % 9001);
        for (int k = 0; k <= i % 5; ++k) log += at(i, host, "/p");
        hits[host] += i % 5 + 1;
    }
    const Pass one(log, lists()), two(log, lists(), 2);
    for (const Pass* p : {&one, &two}) {
        const HostDetails& detail = p->b().hostDetail();
        ASSERT_EQ(detail.size(), hits.size());
        for (std::size_t i = 0; i < detail.size(); ++i) {
            ASSERT_EQ(detail[i].hits, hits.at(std::string(detail[i].host))) << detail[i].host;
            if (i == 0) continue;
            const HostDetail& before = detail[i - 1];
            ASSERT_TRUE(before.hits > detail[i].hits || (before.hits == detail[i].hits && before.host < detail[i].host))
                << "row " << i;
        }
    }
}
