#include "analysis/searchengines.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "analysis/logcounting.h"
#include "analysis/logfile.h"
#include "common/cp932.h"

using namespace analysis;
using testing::ElementsAre;

TEST(SearchEngines, WordsOnlyFromKnownEnginesWithTheirParameter) {
    EXPECT_THAT(engineSearchWords("https://www.google.co.jp/search?q=apache+log&p=3"), ElementsAre("apache log"));
    EXPECT_THAT(engineSearchWords("https://search.yahoo.co.jp/search?p=%E6%97%A5%E6%9C%AC&q=x"),
                ElementsAre(common::cp932(u8"日本")));
    EXPECT_THAT(engineSearchWords("https://www.bing.com/search?q=munyaro"), ElementsAre("munyaro"));
    EXPECT_THAT(engineSearchWords("https://www.baidu.com/s?wd=abc"), ElementsAre("abc"));
    EXPECT_THAT(engineSearchWords("https://yandex.ru/search/?text=abc&q=no"), ElementsAre("abc"));
    EXPECT_THAT(engineSearchWords("https://search.goo.ne.jp/web.jsp?MT=abc"), ElementsAre("abc"));
    // A forum's post number, an engine-like name that is no engine, and a page without a query.
    EXPECT_TRUE(engineSearchWords("http://forum.example/viewtopic.php?p=217767").empty());
    EXPECT_TRUE(engineSearchWords("http://notgoogle.com/search?q=x").empty());
    EXPECT_TRUE(engineSearchWords("https://www.google.com/").empty());
    // Google's redirect names the address it leads to: no word.
    EXPECT_TRUE(engineSearchWords("https://www.google.com/url?q=http://mysite.jp/page&sa=U").empty());
    EXPECT_TRUE(engineSearchWords("https://www.google.com/url?q=mysite.jp/page").empty());
}

TEST(SearchEngines, AddressesAreNoWords) {
    EXPECT_TRUE(isAddressWord("http://example.jp/"));
    EXPECT_TRUE(isAddressWord("www.example"));
    EXPECT_TRUE(isAddressWord("example.com"));
    EXPECT_TRUE(isAddressWord("sub.example.co.jp/a/b"));
    EXPECT_FALSE(isAddressWord("www google com"));
    EXPECT_FALSE(isAddressWord("node.js"));
    EXPECT_FALSE(isAddressWord("1.5"));
    EXPECT_FALSE(isAddressWord("apache"));
}

TEST(SearchEngines, TheSitesOwnSearch) {
    EXPECT_THAT(ownSearchWords("/search?q=tips&p=2"), ElementsAre("tips"));
    EXPECT_THAT(ownSearchWords("/cgi-bin/SiteSearch.cgi?keyword=a"), ElementsAre("a"));
    EXPECT_THAT(ownSearchWords("/?s=hello+world"), ElementsAre("hello world"));
    EXPECT_TRUE(ownSearchWords("/viewtopic.php?p=217767").empty());
    EXPECT_TRUE(ownSearchWords("/page?q=x").empty());
    EXPECT_TRUE(ownSearchWords("/search?q=http://spam.example/").empty());
}

TEST(SearchEngines, RankingsTestOwnDomainsAgainstHostAndPathAndSkipEmptyReferrers) {
    auto line = [](const std::string& referrer) {
        return "h - - [10/Oct/2004:13:55:36 +0900] \"GET / HTTP/1.1\" 200 1 \"" + referrer + "\" \"A\"\n";
    };
    const std::string log = line("https://www.google.com/url?q=http://mysite.jp/&sa=U") + line("http://mysite.jp/a") +
                            line("") + line("http://other.example/?next=mysite.jp");
    LogTally t(logFromBytes(log, "log"));
    countLines(t, ReferenceLists({}, {"mysite.jp"}, {}), nullptr);
    std::vector<std::string> referrers;
    for (const RankRow& r : t.rankings->sorted(RankTable::Referrers)) referrers.push_back(std::string(r.item));
    EXPECT_THAT(referrers, ElementsAre("http://other.example/?next=mysite.jp",
                                       "https://www.google.com/url?q=http://mysite.jp/&sa=U"));
    // The pane keeps its rule: a referrer that names an own domain anywhere is not listed; the empty
    // one is.
    EXPECT_EQ(t.referrerList->size(), 1u);
}
