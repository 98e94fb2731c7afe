#include "analysis/rankings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "analysis/behaviour.h"
#include "analysis/logcounting.h"
#include "analysis/logfile.h"
#include "common/apperror.h"
#include "common/cp932.h"
#include "common/fileio.h"
#include "support/recordingview.h"
#include "support/tempdir.h"

using namespace analysis;
using common::cp932;
using common::StringList;
using testing::ElementsAre;

namespace {

std::string line(const std::string& host, const std::string& request, const std::string& status,
                 const std::string& bytes = "100", const std::string& referrer = "-",
                 const std::string& agent = "Mozilla/5.0") {
    return host + " - - [10/Oct/2004:13:55:36 +0900] \"" + request + "\" " + status + " " + bytes + " \"" + referrer +
           "\" \"" + agent + "\"\n";
}

std::string get(const std::string& path) { return "GET " + path + " HTTP/1.1"; }

struct Pass {
    LogTally tally;
    explicit Pass(const std::string& log, const ReferenceLists& lists = {{}, {}, {}})
        : tally(logFromBytes(log, "log")) {
        countLines(tally, lists, nullptr);
    }
    const Rankings& r() const { return *tally.rankings; }
};

// A table as "item hits bytes" rows in ranking order.
std::vector<std::string> rows(const Rankings& r, RankTable t) {
    std::vector<std::string> out;
    for (const RankRow& row : r.sorted(t))
        out.push_back(std::string(row.item) + " " + std::to_string(row.hits) + " " + std::to_string(row.bytes));
    return out;
}

// Every table with its rows in first-seen order: what merge must reproduce exactly.
std::vector<std::string> everything(const Rankings& r) {
    std::vector<std::string> out;
    for (std::size_t t = 0; t < kRankTableCount; ++t) {
        out.push_back(std::string(kRankTableNames[t]) + ":");
        for (const RankRow& row : r.table(rankTable(t)).rows())
            out.push_back(std::string(row.item) + " " + std::to_string(row.hits) + " " + std::to_string(row.bytes));
    }
    return out;
}

const std::string kSmallLog = line("a.example", get("/Index.html"), "200", "1000",
                                   "http://www.google.co.jp/search?q=%E6%97%A5%E6%9C%AC&ie=UTF-8") +
                              line("A.EXAMPLE", get("/index.html"), "200", "500", "http://mysite.jp/top.html") +
                              line("b", get("/index.html"), "304", "-", "http://WWW.Google.co.jp/search?q=apache+log") +
                              line("b", get("/missing"), "404", "210") + line("c", get("/secret"), "403", "0") +
                              line("c", "POST /form.cgi HTTP/1.1", "404", "0") +
                              line("d", get("/robots.txt"), "200", "26", "-", "ExampleBot/1.0") +
                              line("d", get("/ROBOTS.TXT"), "200", "26", "-", "curl/7") +
                              line("e", get("/b"), "500", "0") + line("e", get("/a"), "500", "0") +
                              "junk [10/Oct/2004:13:55:36 +0900] no status\n";

}  // namespace

TEST(Rankings, SmallLogCountsEveryTableWithTiesAndCaseFolding) {
    const Pass p(kSmallLog, ReferenceLists({}, {"mysite"}, {"Bot/"}));
    const Rankings& r = p.r();
    // The form met first stays; bytes only from 200 lines; ties sort by item.
    EXPECT_THAT(rows(r, RankTable::Pages), ElementsAre("/Index.html 3 1500", "/robots.txt 2 52", "/a 1 0", "/b 1 0",
                                                       "/missing 1 0", "/secret 1 0"));
    EXPECT_THAT(rows(r, RankTable::Hosts),
                ElementsAre("a.example 2 1500", "b 2 0", "c 2 0", "d 2 52", "e 2 0", "junk 1 0"));
    // The own-domain referrer is not listed; sites group by scheme and host, letter case ignored.
    EXPECT_THAT(rows(r, RankTable::Referrers),
                ElementsAre("http://WWW.Google.co.jp/search?q=apache+log 1 0",
                            "http://www.google.co.jp/search?q=%E6%97%A5%E6%9C%AC&ie=UTF-8 1 0"));
    EXPECT_THAT(rows(r, RankTable::ReferrerSites), ElementsAre("http://www.google.co.jp 2 0"));
    EXPECT_THAT(rows(r, RankTable::SearchWords), ElementsAre("apache log 1 0", cp932(u8"日本") + " 1 0"));
    EXPECT_THAT(rows(r, RankTable::Robots), ElementsAre("/robots.txt 1 0", "Bot/ 1 0"));
    // 404 counts any method's request path, as the connection pane's 404 extract does.
    EXPECT_THAT(rows(r, RankTable::NotFound), ElementsAre("/form.cgi 1 0", "/missing 1 0"));
    EXPECT_THAT(rows(r, RankTable::Forbidden), ElementsAre("/secret 1 0"));
    EXPECT_THAT(rows(r, RankTable::Statuses),
                ElementsAre("200 4 0", "404 2 0", "500 2 0", "- 1 0", "304 1 0", "403 1 0"));
    EXPECT_THAT(rows(r, RankTable::UserAgents), ElementsAre("Mozilla/5.0 7 0", "ExampleBot/1.0 1 0", "curl/7 1 0"));
    EXPECT_EQ(r.table(RankTable::Pages).totalHits(), p.tally.getCount);
    EXPECT_EQ(r.table(RankTable::Statuses).totalHits(), p.tally.lineCount);
    EXPECT_EQ(r.table(RankTable::NotFound).totalHits(), static_cast<std::int64_t>(p.tally.host404Lines->size()));
    EXPECT_EQ(r.sorted(RankTable::Pages, 2).size(), 2u);
}

TEST(Rankings, MergeOfConsecutiveRunsEqualsOnePass) {
    const StringList robots{"Bot/"};
    const ReferenceLists lists({}, {"mysite"}, robots);
    const Pass whole(kSmallLog, lists);
    // Split the log after every line: the first run's forms stay, the later run's new items follow.
    std::vector<std::size_t> breaks;
    for (std::size_t i = 0; i < kSmallLog.size(); ++i)
        if (kSmallLog[i] == '\n') breaks.push_back(i + 1);
    for (std::size_t b : breaks) {
        Pass first(kSmallLog.substr(0, b), lists);
        const Pass later(kSmallLog.substr(b), lists);
        first.tally.rankings->merge(later.r());
        EXPECT_EQ(everything(first.r()), everything(whole.r())) << "split at " << b;
    }
    // Three runs, merged left to right, and a merge whose items outlive the later accumulator.
    Rankings merged;
    {
        Pass a(kSmallLog.substr(0, breaks[2]), lists), b(kSmallLog.substr(breaks[2], breaks[6] - breaks[2]), lists),
            c(kSmallLog.substr(breaks[6]), lists);
        merged.merge(a.r());
        merged.merge(b.r());
        merged.merge(c.r());
    }
    EXPECT_EQ(everything(merged), everything(whole.r()));
}

TEST(Rankings, SearchWordsDecodeUtf8ShiftJisAndEucJp) {
    const std::string nihon = cp932(u8"日本");
    EXPECT_THAT(searchWords("http://g/search?q=%E6%97%A5%E6%9C%AC"), ElementsAre(nihon));
    EXPECT_THAT(searchWords("http://y/search?p=%93%FA%96%7B&ei=Shift_JIS"), ElementsAre(nihon));
    EXPECT_THAT(searchWords("http://y/search?ie=euc-jp&p=%C6%FC%CB%DC"), ElementsAre(nihon));
    EXPECT_THAT(searchWords("http://g/?oe=SJIS&MT=%B1%B2"), ElementsAre("\xB1\xB2"));  // half-width katakana
    // "+" is a blank, "%2B" a plus; blanks around a word go, empty words are left out.
    EXPECT_THAT(searchWords("/find?query=c%2B%2B+tips+&kw=&q=+"), ElementsAre("c++ tips"));
    // Bad escapes stay as written; bytes that are no UTF-8 are kept as they are.
    EXPECT_THAT(searchWords("/s?wd=50%+off%G1%4"), ElementsAre("50% off%G1%4"));
    EXPECT_THAT(searchWords("/s?word=%FF%FEx"), ElementsAre("\xFF\xFEx"));
    EXPECT_THAT(searchWords("/s?text=%A4&ie=EUC-JP"), ElementsAre("\xA4"));  // cut-off EUC-JP
    // Only the named parameters count, by exact name; a fragment ends the query.
    EXPECT_THAT(searchWords("/s?oq=x&Q=y&keyword=a&qt=b#q=z"), ElementsAre("a", "b"));
    EXPECT_TRUE(searchWords("/no/query").empty());
    EXPECT_TRUE(searchWords("/s?q").empty());
}

TEST(Rankings, ItemsAreShownDecodedOnlyWhenThatGivesCleanUtf8) {
    EXPECT_EQ(decodedItem("/%E6%97%A5%E6%9C%AC.html"), cp932(u8"/日本.html"));
    EXPECT_EQ(decodedItem("/a%20b+c"), "/a b+c");
    EXPECT_EQ(decodedItem("/%93%FA"), "/%93%FA");  // no UTF-8
    EXPECT_EQ(decodedItem("/x%0Ay"), "/x%0Ay");    // a line break is not made from the log's text
    EXPECT_EQ(decodedItem("/100%"), "/100%");
    EXPECT_EQ(decodedItem("/%E6%97"), "/%E6%97");
    EXPECT_EQ(referrerSite("https://Example.jp:8080/a?b"), "https://Example.jp:8080");
    EXPECT_EQ(referrerSite("http://host"), "http://host");
    EXPECT_EQ(referrerSite("/links.html"), "/links.html");
    EXPECT_EQ(referrerSite("a b://c/d"), "a b://c/d");
}

TEST(Rankings, StoppedAnalysisHandsOverTheLinesBeforeTheError) {
    struct View : RecordingView {
        std::vector<std::shared_ptr<const Rankings>> got;
        void rankingsReady(std::shared_ptr<const Rankings> r) override { got.push_back(r); }
    } view;
    TempDir dir;
    for (const char* f : {"CheckDomeinList.dat", "DomeinList.dat", "SERobotsList.dat"})
        dir.file(std::string("materia/") + f, "");
    const std::string log = dir.file("log", line("a", get("/one"), "200") + line("b", get("/two"), "404") +
                                                "h - - [10/Oct/2004:ab:00:00 +0900] \"GET /x HTTP/1.1\" 200 1\n" +
                                                line("c", get("/three"), "200"));
    EXPECT_THROW(LogCounting(log, view, AnalysisOptions{dir.path() + "/materia"}), common::AppError);
    ASSERT_EQ(view.got.size(), 2u);
    EXPECT_EQ(view.got[0], nullptr);  // cleared at the start
    ASSERT_NE(view.got[1], nullptr);
    EXPECT_THAT(rows(*view.got[1], RankTable::Pages), ElementsAre("/one 1 100", "/two 1 0"));
    // Switched off: the window is cleared and gets nothing more.
    View off;
    AnalysisOptions noRankings{dir.path() + "/materia"};
    noRankings.rankings = false;
    EXPECT_THROW(LogCounting(log, off, noRankings), common::AppError);
    EXPECT_THAT(off.got, ElementsAre(nullptr));
}

TEST(Rankings, PassOnSeveralThreadsGivesTheRankingsOfOne) {
    const std::string log = common::readWholeFile(std::string(MUNYARO_REAL_DATA) + "/elastic-apache.log.gz");
    const ReferenceLists lists({}, {"semicomplete.com"}, {"bot", "Bot"});
    LogTally one(logFromBytes(log, "log")), three(logFromBytes(log, "log"));
    countLines(one, lists, nullptr, 1);
    countLines(three, lists, nullptr, 3);
    EXPECT_EQ(everything(*three.rankings), everything(*one.rankings));
    EXPECT_GT(one.rankings->table(RankTable::Robots).size(), 1u);
}

TEST(Rankings, RealLogsAddUpToTheirLinesAndGetLines) {
    for (const char* name : {"/hackers-home.log.gz", "/elastic-apache.log.gz"}) {
        const Pass p(common::readWholeFile(std::string(MUNYARO_REAL_DATA) + name));
        const Rankings& r = p.r();
        EXPECT_EQ(r.table(RankTable::Pages).totalHits(), p.tally.getCount) << name;
        EXPECT_EQ(r.table(RankTable::Statuses).totalHits(), p.tally.lineCount) << name;
        EXPECT_EQ(r.table(RankTable::Hosts).totalHits(), p.tally.lineCount) << name;
        EXPECT_EQ(static_cast<std::int64_t>(r.table(RankTable::Hosts).size()), p.tally.hostCount) << name;
        EXPECT_EQ(static_cast<std::int64_t>(r.table(RankTable::Pages).size()), p.tally.getFileCount) << name;
        std::int64_t bytes = 0;
        for (const RankRow& row : r.table(RankTable::Pages).rows()) bytes += row.bytes;
        EXPECT_EQ(static_cast<double>(bytes), p.tally.bytesSent) << name;
        EXPECT_EQ(r.table(RankTable::NotFound).totalHits(), static_cast<std::int64_t>(p.tally.host404Lines->size()));
    }
}

TEST(Rankings, WindowOrderFiltersDecodedTextAndSortsByAnyKey) {
    const Pass p(line("a", get("/%E6%97%A5%E6%9C%AC/x"), "200", "10") + line("a", get("/Apple"), "200", "30") +
                 line("a", get("/apple"), "404") + line("a", get("/zoo"), "200", "20") +
                 line("a", get("/b%20c"), "200", "5"));
    const RankCounts& pages = p.r().table(RankTable::Pages);
    auto items = [&](const std::vector<std::uint32_t>& order) {
        std::vector<std::string> out;
        for (auto i : order) out.emplace_back(pages.rows()[i].item);
        return out;
    };
    EXPECT_THAT(items(rankOrder(pages, RankTable::Pages, "", RankSort::Hits, true)),
                ElementsAre("/Apple", "/%E6%97%A5%E6%9C%AC/x", "/b%20c", "/zoo"));
    EXPECT_THAT(items(rankOrder(pages, RankTable::Pages, "", RankSort::Bytes, false)),
                ElementsAre("/b%20c", "/%E6%97%A5%E6%9C%AC/x", "/zoo", "/Apple"));
    EXPECT_THAT(items(rankOrder(pages, RankTable::Pages, "", RankSort::Item, true)),
                ElementsAre("/zoo", "/b%20c", "/Apple", "/%E6%97%A5%E6%9C%AC/x"));
    // The filter ignores letter case and finds Japanese text in the decoded form as well as in the raw one.
    EXPECT_THAT(items(rankOrder(pages, RankTable::Pages, "APP", RankSort::Hits, true)), ElementsAre("/Apple"));
    EXPECT_THAT(items(rankOrder(pages, RankTable::Pages, cp932(u8"日本"), RankSort::Hits, true)),
                ElementsAre("/%E6%97%A5%E6%9C%AC/x"));
    EXPECT_THAT(items(rankOrder(pages, RankTable::Pages, "b c", RankSort::Hits, true)), ElementsAre("/b%20c"));
    EXPECT_THAT(items(rankOrder(pages, RankTable::Pages, "%e6%97", RankSort::Hits, true)),
                ElementsAre("/%E6%97%A5%E6%9C%AC/x"));
    EXPECT_TRUE(rankOrder(pages, RankTable::Pages, "nothing", RankSort::Hits, true).empty());
    const RankPlaces places(pages);
    EXPECT_EQ(places.rankOf(2), 1u);
    EXPECT_EQ(places.rankOf(1), 2u);  // three rows share the second place
}

// Items are copies held by the rankings (the long ones views into the log): they stay as they were
// read through thousands of new items, across the blocks they are kept in, and after the pass.
TEST(Rankings, ItemsKeepTheirTextThroughGrowthAndLongOnes) {
    std::string log;
    const std::string longPath = "/" + std::string(Rankings::kLongItem + 10, 'x');
    for (int i = 0; i < 20000; ++i) log += line("h" + std::to_string(i % 5000), get("/p" + std::to_string(i)), "404");
    log += line("h1", get(longPath), "404") + line("h2", get(longPath), "404");
    const Pass p(log);
    const auto& pages = p.r().table(RankTable::Pages).rows();
    ASSERT_EQ(pages.size(), 20001u);
    for (int i = 0; i < 20000; ++i) ASSERT_EQ(pages[static_cast<std::size_t>(i)].item, "/p" + std::to_string(i));
    EXPECT_EQ(pages.back().item, longPath);
    EXPECT_EQ(pages.back().hits, 2);
    const auto& notFound = p.r().table(RankTable::NotFound).rows();
    ASSERT_EQ(notFound.size(), 20001u);
    EXPECT_EQ(notFound[19999].item, "/p19999");
    EXPECT_EQ(p.r().table(RankTable::Hosts).size(), 5000u);
}

// What a referrer or a path gives the search words and sites is worked out on its first sight and
// then only counted: every later sight must count the same, also for a path that differs from its
// row's form only in letter case (whose parameter names differ too), and after merging.
TEST(Rankings, RepeatedItemsCountTheirWordsSitesAndStatusesEveryTime) {
    const std::string ref = "http://S.google.example/find?q=a+b&q=a+b&ie=UTF-8";
    std::string log;
    for (int i = 0; i < 3; ++i)
        log += line("h", get("/search?Q=low"), "200", "1", ref) + line("h", get("/SEARCH?q=LOW"), "000", "1", ref) +
               line("h", get("/xsearch?kw=%93%FA&ie=sjis"), "999", "1", "https://s.GOOGLE.example/other") +
               "junk [10/Oct/2004:13:55:36 +0900] no status\n" + line("g", get("/Gone"), "404", "1", "-", "A") +
               line("g", get("/gone"), "404", "1", "-", "B") + line("g", "POST /GONE HTTP/1.1", "404") +
               line("g", get("/GONE"), "403", "1", "-", "A");
    const ReferenceLists lists({}, {"mysite"}, {});
    const Pass whole(log, lists);
    const Rankings& r = whole.r();
    EXPECT_THAT(rows(r, RankTable::SearchWords), ElementsAre("a b 12 0", "LOW 3 0", "\x93\xFA 3 0"));
    EXPECT_THAT(rows(r, RankTable::ReferrerSites),
                ElementsAre("http://S.google.example 6 0", "https://s.GOOGLE.example 3 0"));
    EXPECT_THAT(rows(r, RankTable::Pages),
                ElementsAre("/Gone 9 0", "/search?Q=low 6 3", "/xsearch?kw=%93%FA&ie=sjis 3 0"));
    EXPECT_THAT(rows(r, RankTable::Statuses),
                ElementsAre("404 9 0", "- 3 0", "000 3 0", "200 3 0", "403 3 0", "999 3 0"));
    EXPECT_THAT(rows(r, RankTable::NotFound), ElementsAre("/Gone 9 0"));
    EXPECT_THAT(rows(r, RankTable::Forbidden), ElementsAre("/GONE 3 0"));
    EXPECT_THAT(rows(r, RankTable::UserAgents), ElementsAre("Mozilla/5.0 9 0", "A 6 0", "B 3 0"));
    for (std::size_t b = 1; b < log.size(); ++b) {
        if (log[b - 1] != '\n') continue;
        Pass first(log.substr(0, b), lists);
        const Pass later(log.substr(b), lists);
        first.tally.rankings->merge(later.r());
        // The merged accumulator goes on counting with rows it has not worked anything out for.
        const Pass again(log, lists);
        first.tally.rankings->merge(again.r());
        Pass twice(log + log, lists);
        ASSERT_EQ(everything(first.r()), everything(twice.r())) << "split at " << b;
    }
}

// Long items are hashed a word at a time, and looked for first in the row that last had an item of
// the same length, first and last bytes: items alike in all of these stay apart.
TEST(Rankings, ItemsAlikeInLengthAndEndsStayApart) {
    std::string log;
    for (std::size_t n = 0; n <= 40; ++n)
        for (char last : {'a', 'b', 'b'}) log += line("h", get("/"), "200", "1", "-", std::string(n, 'x') + last);
    for (int round = 0; round < 3; ++round)
        for (char inside : {'A', 'B', 'C'})
            log += line("h", get("/"), "200", "1", "http://x.example/" + std::string(10, inside) + "/end.html");
    const Pass p(log);
    const auto& agents = p.r().table(RankTable::UserAgents).rows();
    ASSERT_EQ(agents.size(), 83u);  // 82 and "Mozilla/5.0" of the referred lines
    EXPECT_EQ(agents[81].item, std::string(40, 'x') + 'b');
    EXPECT_EQ(agents[81].hits, 2);
    EXPECT_THAT(rows(p.r(), RankTable::Referrers),
                ElementsAre("http://x.example/AAAAAAAAAA/end.html 3 0", "http://x.example/BBBBBBBBBB/end.html 3 0",
                            "http://x.example/CCCCCCCCCC/end.html 3 0"));
}

namespace {

// A scan: hosts of one network and numbered paths that differ only in their last bytes (a hash that
// leaves the slot to the last bytes piles them up), most of them new, some again in another case,
// with 404s, search words and a few user agents that come back.
std::string scanLog(int lines) {
    std::string log;
    char buf[64];
    for (int i = 0; i < lines; ++i) {
        const int n = i % 7 == 3 ? i / 2 : i;  // every seventh line repeats an earlier item
        std::snprintf(buf, sizeof buf, "10.%d.%d.%d", n >> 16, (n >> 8) & 255, n & 255);
        const std::string host = buf;
        std::snprintf(buf, sizeof buf, i % 5 == 0 ? "/P/%06X" : "/p/%06x", n);
        const std::string path = buf;
        const std::string referrer =
            i % 3 == 0 ? "http://s" + std::to_string(n) + ".example.com/search?q=w" + std::to_string(n % 50) : "-";
        const std::string agent = i % 4 == 0 ? "Scan/" + std::to_string(n % 9) : "Scan/" + std::to_string(n);
        log += line(host, get(path), i % 11 == 0 ? "404" : "200", std::to_string(i % 1000), referrer, agent);
    }
    return log;
}

std::vector<std::string> behaviourRows(const Rankings& r) {
    std::vector<std::string> out;
    for (std::size_t t = 0; t < kBehaviourTableCount; ++t)
        for (const RankRow& row : r.behaviour().table(static_cast<BehaviourTable>(t)).rows())
            out.push_back(std::to_string(t) + " " + std::string(row.item) + " " + std::to_string(row.hits));
    out.push_back("visits " + std::to_string(r.behaviour().visits().count));
    return out;
}

// What the pass hands over for a GET line of host, path and agent.
RankedLine ranked(const std::string& text, std::string_view host, std::string_view path, std::string_view agent) {
    RankedLine l;
    l.line = text;
    l.status = "200";
    l.host = host;
    l.requestPath = path;
    l.isGet = true;
    l.getPath = path;
    l.is200 = true;
    l.bytes = 10;
    l.agent = agent;
    l.time = "[10/Oct/2004:13:55:36 +0900]";
    return l;
}

}  // namespace

TEST(Rankings, ScanLogGivesTheSameOnAnyNumberOfThreads) {
    // Enough lines for the pass to cut many runs, each of them full of items new to the ones before.
    const std::string log = scanLog(20000);
    const ReferenceLists lists({}, {}, {});
    LogTally one(logFromBytes(log, "log"));
    countLines(one, lists, nullptr, 1);
    one.rankings->finish();
    ASSERT_GT(one.rankings->table(RankTable::Hosts).size(), 15000u);
    ASSERT_GT(one.rankings->table(RankTable::NotFound).size(), 1000u);
    for (unsigned threads : {2u, 3u, 8u}) {
        LogTally several(logFromBytes(log, "log"));
        countLines(several, lists, nullptr, threads);
        several.rankings->finish();
        EXPECT_EQ(everything(*several.rankings), everything(*one.rankings)) << threads << " threads";
        EXPECT_EQ(behaviourRows(*several.rankings), behaviourRows(*one.rankings)) << threads << " threads";
        EXPECT_EQ(several.hostCount, one.hostCount);
        EXPECT_EQ(several.getFileCount, one.getFileCount);
    }
}

TEST(Rankings, AccumulatorTakenOverWholeLeavesAnEmptyOneBehind) {
    // Items of the same log, with the behaviour tables: the first run is taken over, not copied.
    std::vector<std::string> hosts, paths, agents, texts;
    for (int i = 0; i < 12; ++i) {
        hosts.push_back(i % 4 == 1 ? "H" + std::to_string(i / 2) : "h" + std::to_string(i / 2));
        paths.push_back("/" + std::to_string(i % 5));
        agents.push_back("A" + std::to_string(i % 3));
        texts.push_back(hosts.back() + " " + paths.back());
    }
    auto feed = [&](Rankings& r, std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i) r.addLine(ranked(texts[i], hosts[i], paths[i], agents[i]));
    };
    Rankings whole;
    feed(whole, 0, texts.size());
    whole.finish();
    for (std::size_t at = 0; at <= texts.size(); ++at) {
        Rankings merged, first, later;
        feed(first, 0, at);
        feed(later, at, texts.size());
        merged.merge(std::move(first));
        // What is left of the first run is empty, and merging it changes nothing.
        EXPECT_EQ(first.table(RankTable::Hosts).size(), 0u);
        merged.merge(first);
        merged.merge(std::move(later));
        merged.finish();
        EXPECT_EQ(everything(merged), everything(whole)) << "split at " << at;
        EXPECT_EQ(behaviourRows(merged), behaviourRows(whole)) << "split at " << at;
    }
    // Finished tables read the same however often finish runs, and take no more lines: a line or
    // merge after it would be looked up in lookups that are gone, and counted as new items.
    const std::vector<std::string> once = everything(whole);
    whole.finish();
    EXPECT_EQ(everything(whole), once);
    Rankings more;
    feed(more, 0, 3);
    EXPECT_THROW(whole.merge(more), std::logic_error);
    EXPECT_THROW(feed(whole, 0, 1), std::logic_error);
    EXPECT_EQ(everything(whole), once);
}

// Copies kept in blocks of both sizes (a store that grew large takes bigger ones) and in blocks of
// their own read back as they were given and never share a byte.
TEST(TextStore, KeptTextsStayIntactAcrossBlocksOfEverySize) {
    TextStore store;
    std::vector<std::string> texts;
    std::vector<std::string_view> kept;
    std::size_t total = 0;
    for (std::size_t i = 0; total < (std::size_t(12) << 20); ++i) {
        // Mostly short items, now and then one longer than a small block takes with others.
        const std::size_t size = i % 97 == 0 ? 20000 + i % 5000 : 1 + (i * 7919) % 300;
        std::string text(size, static_cast<char>('a' + i % 26));
        text.front() = static_cast<char>(i);
        text.back() = static_cast<char>(i >> 8);
        total += size;
        texts.push_back(std::move(text));
        kept.push_back(store.keep(texts.back()));
    }
    std::vector<std::pair<const char*, const char*>> spans;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        ASSERT_EQ(kept[i], texts[i]) << i;
        EXPECT_NE(kept[i].data(), texts[i].data());
        spans.emplace_back(kept[i].data(), kept[i].data() + kept[i].size());
    }
    std::sort(spans.begin(), spans.end());
    for (std::size_t i = 1; i < spans.size(); ++i) EXPECT_LE(spans[i - 1].second, spans[i].first) << i;
}
