#include <gtest/gtest.h>


#include "analysis/distinctlist.h"
#include "analysis/logfile.h"
#include "analysis/panecontent.h"

using namespace analysis;
using common::StringList;

TEST(PaneContent, HeadersInsertedAboveReplacedContent) {
    PaneContent p;
    p.append("stale");
    p.replace(makeLines({"a", "b", "c"}));
    p.insert(0, "h1");
    p.insert(1, "h2");
    p.insert(2, "--");
    EXPECT_EQ(p.toStringList(), (StringList{"h1", "h2", "--", "a", "b", "c"}));
    p.insert(4, "mid");  // splits the source
    p.insert(99, "end");
    EXPECT_EQ(p.toStringList(), (StringList{"h1", "h2", "--", "a", "mid", "b", "c", "end"}));
    EXPECT_EQ(p.size(), 8u);
    EXPECT_EQ(p.line(5), "b");
    p.clear();
    p.insert(0, "only");
    EXPECT_EQ(p.toStringList(), StringList{"only"});
}

TEST(PaneContent, AppendKeepsOrderOfLinesAndSources) {
    PaneContent p;
    p.append("x");
    p.append(makeLines({}));
    p.append(makeLines({"y", "z"}));
    p.append("w");
    EXPECT_EQ(p.toStringList(), (StringList{"x", "y", "z", "w"}));
}

TEST(DistinctList, KeepsFirstSeenOrderThroughGrowth) {
    std::string bytes;
    for (int i = 0; i < 5000; ++i) bytes += "Host" + std::to_string(i) + "\nhost" + std::to_string(i) + "\n";
    auto log = logFromBytes(bytes, "log");
    DistinctList d(log);
    for (std::size_t i = 0; i < log->size(); ++i) d.add(static_cast<std::uint32_t>(i), (*log)[i], (*log)[i]);
    ASSERT_EQ(d.size(), 5000u);
    EXPECT_EQ(d.entries()->line(0), "Host0");
    EXPECT_EQ(d.entries()->line(4999), "Host4999");
}
