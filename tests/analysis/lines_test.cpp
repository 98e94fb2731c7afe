#include <gtest/gtest.h>

#include <random>

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

TEST(PaneContent, PrefixIsTheStartOfTheLineInEveryForm) {
    const auto log = logFromBytes(
        std::string_view("10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET /abcdef HTTP/1.1\" 200 5\nx\n"), "a.log");
    auto entries = std::make_shared<EntryList>(log);
    const std::string_view line = (*log)[0];
    const std::string_view a = line.substr(line.find("/abc"), 7), b = line.substr(0, 8);
    for (EntryForm form : {EntryForm::Whole, EntryForm::Span, EntryForm::TimeSpan, EntryForm::TimeRefPath,
                           EntryForm::RefPath, EntryForm::Robot, EntryForm::RobotsFile, EntryForm::TimeHostSpan})
        entries->add(form, 0, line, a, b);
    PaneContent p;
    p.append("header");
    p.append(entries);
    p.append(log);
    for (std::size_t i = 0; i < p.size(); ++i) {
        const std::string whole = p.line(i);
        for (std::size_t n : {std::size_t{0}, std::size_t{3}, std::size_t{31}, whole.size(), whole.size() + 5})
            EXPECT_EQ(p.linePrefix(i, n), whole.substr(0, n)) << i << " " << n;
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

// Stretches cut on several threads give exactly the lines of one reading: breaks of every kind at
// the stretch edges, blank lines, and a zero byte in any stretch ending the text.
TEST(CutLines, StretchesOnThreadsGiveTheLinesOfOneReading) {
    std::mt19937 rng(5);
    static const std::string_view pieces[] = {"ab", "c d", "\r", "\n", "\r\n", " ", "\t", std::string_view("\0", 1)};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 120)(rng);
        for (std::size_t i = 0; i < n; ++i) {
            // Zero bytes are rare, so that most texts run to their end.
            const std::size_t k = std::uniform_int_distribution<std::size_t>(0, round % 4 == 0 ? 7 : 6)(rng);
            text += pieces[k];
        }
        const auto one = analysis::cutLines(text, "log");
        const unsigned threads = 2 + static_cast<unsigned>(round % 4);
        const std::size_t minStretch = 1 + static_cast<std::size_t>(round % 9);
        const auto many = analysis::cutLines(text, "log", false, threads, minStretch);
        ASSERT_EQ(many.size(), one.size()) << testing::PrintToString(text);
        for (std::size_t i = 0; i < one.size(); ++i) {
            ASSERT_EQ(many[i].data(), one[i].data()) << testing::PrintToString(text);
            ASSERT_EQ(many[i].size(), one[i].size()) << testing::PrintToString(text);
        }
    }
}
