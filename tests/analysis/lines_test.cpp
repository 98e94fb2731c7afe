#include <gtest/gtest.h>

#include <random>

#include "analysis/distinctlist.h"
#include "analysis/logfile.h"
#include "analysis/multimatch.h"
#include "analysis/panecontent.h"
#include "common/textpos.h"

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

TEST(MultiMatcher, AgreesWithOneSearchPerString) {
    std::mt19937 rng(7);
    const std::string alphabet = "ab\"c ";
    auto word = [&](std::size_t maxLen) {
        std::string s;
        for (std::size_t n = rng() % (maxLen + 1); n > 0; --n) s += alphabet[rng() % alphabet.size()];
        return s;
    };
    for (int round = 0; round < 2000; ++round) {
        MultiMatcher m;
        StringList groups[2];
        for (int k = 0; k < 4; ++k) {
            const unsigned g = rng() % 2;
            groups[g].push_back(word(6));
            m.add(groups[g].back(), g);
        }
        const std::string text = word(24);
        std::uint32_t want = 0;
        for (unsigned g = 0; g < 2; ++g)
            for (const auto& p : groups[g])
                if (common::TextPos(p, text) > 0) want |= 1u << g;
        ASSERT_EQ(m.match(text), want) << "text '" << text << "'";
    }
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
