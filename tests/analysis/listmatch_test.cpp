#include "analysis/listmatch.h"

#include <gtest/gtest.h>

#include <random>

#include "common/textpos.h"

using analysis::ListMatcher;

namespace {

// The reference: every entry tested on its own, as the rule says.
std::size_t naiveCount(const std::vector<std::string>& entries, std::string_view text) {
    std::size_t n = 0;
    for (const auto& e : entries)
        if (common::TextPos(e, text) > 0) ++n;
    return n;
}

// Few distinct bytes, so that entries overlap, repeat and are prefixes of each other; 0x82 0xa0 and
// 0x81 0x40 are Shift-JIS characters whose second byte is also a first byte or ASCII.
std::string randomText(std::mt19937& rng, std::size_t maxLen) {
    static const char bytes[] = {'a', 'b', '@', '\x82', '\xa0', '\x81', '\x40', '\0'};
    std::size_t len = std::uniform_int_distribution<std::size_t>(0, maxLen)(rng);
    std::string s;
    for (std::size_t i = 0; i < len; ++i) s += bytes[std::uniform_int_distribution<std::size_t>(0, 7)(rng)];
    return s;
}

// The matcher as built, and copies that search every text with our own search and, where the
// program has it, every text with Hyperscan.
std::vector<ListMatcher> bothEngines(const ListMatcher& m) {
    std::vector<ListMatcher> out{m, m};
    out[1].useLibraryFrom(static_cast<std::size_t>(-1));
    if (ListMatcher::libraryAvailable()) {
        out.push_back(m);
        out.back().useLibraryFrom(0);
    }
    return out;
}

TEST(ListMatcher, AgreesWithTheOneAtATimeSearchOnRandomListsAndTexts) {
    std::mt19937 rng(12);
    for (int round = 0; round < 1500; ++round) {
        // Lists mixing one- to three-byte entries with long ones, or only long ones (the Wu-Manber path
        // alone), with empty and repeated entries.
        const std::size_t minLen = round % 3 == 0 ? 4 : 0;
        std::vector<std::string> entries;
        const std::size_t n = std::uniform_int_distribution<std::size_t>(0, round % 10 == 0 ? 300 : 12)(rng);
        for (std::size_t i = 0; i < n; ++i) {
            std::string e = randomText(rng, 9);
            if (e.size() < minLen && !e.empty()) e += std::string(minLen - e.size(), 'a');
            entries.push_back(e);
            if (i % 7 == 3) entries.push_back(entries[i / 2]);
        }
        const std::vector<ListMatcher> engines = bothEngines(ListMatcher(entries));
        for (int t = 0; t < 20; ++t) {
            const std::string text = randomText(rng, t % 4 == 0 ? 200 : 24);
            const std::size_t expected = naiveCount(entries, text);
            for (const ListMatcher& m : engines) {
                ASSERT_EQ(m.count(text), expected) << "round " << round << " text " << testing::PrintToString(text);
                ASSERT_EQ(m.any(text), expected > 0) << "round " << round;
            }
        }
    }
}

// Groups of the entries found, and the first entry in the list's order that occurs and carries group 1
// (an entry listed twice carries the groups of both), as a loop over the list finds them.
void checkGroups(const ListMatcher& m, const std::vector<std::pair<std::string, std::uint32_t>>& entries,
                 const std::string& text, int round) {
    std::uint32_t expected = 0;
    for (const auto& [e, g] : entries)
        if (common::TextPos(e, text) > 0) expected |= g;
    ASSERT_EQ(m.groups(text), expected) << "round " << round;
    std::string_view first;
    for (const auto& [e, g] : entries) {
        std::uint32_t all = 0;
        for (const auto& [f, h] : entries)
            if (f == e) all |= h;
        if ((all & 1) && common::TextPos(e, text) > 0) {
            first = e;
            break;
        }
    }
    std::string_view found;
    ASSERT_EQ(m.groups(text, 1, found), expected) << "round " << round;
    ASSERT_EQ(found, first) << "round " << round;
}

TEST(ListMatcher, GroupsAreTheUnionOfTheGroupsOfTheEntriesFound) {
    std::mt19937 rng(7);
    for (int round = 0; round < 2000; ++round) {
        ListMatcher m;
        std::vector<std::pair<std::string, std::uint32_t>> entries;
        for (int i = 0; i < 8; ++i) {
            entries.emplace_back(randomText(rng, 6), 1u << std::uniform_int_distribution<int>(0, 2)(rng));
            m.add(entries.back().first, entries.back().second);
        }
        m.build();
        const std::string text = randomText(rng, 60);
        for (const ListMatcher& engine : bothEngines(m)) checkGroups(engine, entries, text, round);
    }
}

TEST(ListMatcher, EdgeCases) {
    // Empty entries never match, not even in empty text; an empty list finds nothing.
    EXPECT_FALSE(ListMatcher({""}).any(""));
    EXPECT_FALSE(ListMatcher({"", ""}).any("abc"));
    EXPECT_EQ(ListMatcher(std::vector<std::string>{}).count("abc"), 0u);
    // Repeated entries count once per listing, however often they occur in the text.
    EXPECT_EQ(ListMatcher({"10.0", "10.0", "0.1"}).count("10.0.10.0.1"), 3u);
    // An entry longer than the text, an entry that is the whole text, a match at the very end.
    EXPECT_FALSE(ListMatcher({"example.jp."}).any("example.jp"));
    EXPECT_TRUE(ListMatcher({"example.jp"}).any("example.jp"));
    EXPECT_TRUE(ListMatcher({"xyz", "Bot/"}).any("....Bot/"));
    // Case matters; a Shift-JIS character's second byte starts a match, as with a byte search.
    EXPECT_FALSE(ListMatcher({"googlebot"}).any("Googlebot/2.1"));
    EXPECT_TRUE(ListMatcher({"\x40", "\xa0\x82"}).any("\x81\x40"));
    EXPECT_EQ(ListMatcher({"\x82\xa0", "\xa0\x82\xa0"}).count("\x82\xa0\x82\xa0"), 2u);
    // Many long entries sharing their beginnings.
    std::vector<std::string> many;
    for (int i = 0; i < 100000; ++i) many.push_back("Crawler" + std::to_string(i) + "Bot/");
    const ListMatcher big(many);
    EXPECT_TRUE(big.any("Mozilla/5.0 (compatible; Crawler99999Bot/1.0)"));
    EXPECT_FALSE(big.any("Mozilla/5.0 (compatible; Crawler100000Bot/1.0)"));
    EXPECT_EQ(big.count("Crawler1Bot/ Crawler12Bot/ Crawler1Bot/"), 2u);
}

}  // namespace
