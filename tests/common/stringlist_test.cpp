#include "common/stringlist.h"

#include <gtest/gtest.h>

#include "common/casefold.h"

using common::splitLines;
using common::StringList;

TEST(SplitLines, EveryBreakStyleGivesTheSameLines) {
    const StringList want{"a", "b", "c"};
    EXPECT_EQ(splitLines("a\r\nb\r\nc\r\n"), want);
    EXPECT_EQ(splitLines("a\rb\rc\r"), want);
    EXPECT_EQ(splitLines("a\nb\nc\n"), want);
    EXPECT_EQ(splitLines("a\rb\r\nc"), want);  // mixed, no final break
}

TEST(SplitLines, EmptyLinesInsideStayButNoneAtTheEnd) {
    EXPECT_EQ(splitLines("a\r\n\r\nb"), (StringList{"a", "", "b"}));
    EXPECT_EQ(splitLines("a\n\r"), (StringList{"a", ""}));  // LF then a lone CR: two breaks
    EXPECT_EQ(splitLines(""), StringList{});
    EXPECT_EQ(splitLines("\r\n"), StringList{""});
}

TEST(SplitLines, ZeroByteEndsTheText) {
    EXPECT_EQ(splitLines(std::string("a\r\nb\0c\r\nd", 9)), (StringList{"a", "b"}));
    EXPECT_EQ(splitLines(std::string("\0abc", 4)), StringList{});
}

TEST(CaseFold, FoldsAsciiLettersOnly) {
    EXPECT_TRUE(common::foldedEqual("PROXY1", "proxy1"));
    EXPECT_TRUE(common::foldedEqual("/Index.HTML", "/index.html"));
    EXPECT_FALSE(common::foldedEqual("a", "b"));
    EXPECT_FALSE(common::foldedEqual("ab", "a"));
    EXPECT_EQ(common::foldedHash("ProXy"), common::foldedHash("proxy"));
}

TEST(CaseFold, NeverFoldsTheTrailByteOfADoubleByteCharacter) {
    // 0x82 0x60 is full-width "Ａ" and 0x82 0x81 is "ａ"; 0x83 0x41 ("ア") has trail byte 'A'.
    EXPECT_FALSE(common::foldedEqual("\x83\x41", "\x83\x61"));
    EXPECT_EQ(common::foldCase("\x83\x41"
                               "A"),
              "\x83\x41"
              "a");
    EXPECT_NE(common::foldedHash("\x83\x41"), common::foldedHash("\x83\x61"));
    // A half-width katakana byte is single and stands alone.
    EXPECT_EQ(common::foldCase("\xB1"
                               "A"),
              "\xB1"
              "a");
}

TEST(StringList, IndexOfIgnoresCaseAndGivesTheFirst) {
    const StringList list{"Alpha", "beta", "ALPHA"};
    EXPECT_EQ(common::indexOf(list, "alpha"), 0u);
    EXPECT_EQ(common::indexOf(list, "BETA"), 1u);
    EXPECT_EQ(common::indexOf(list, "gamma"), std::nullopt);
}

TEST(StringList, JoinedLinesEachEndWithCrLfAndSplitBack) {
    EXPECT_EQ(common::joinLines({}), "");
    EXPECT_EQ(common::joinLines({""}), "\r\n");
    const common::StringList lines = {"a", "", "\x81\x5C"};
    EXPECT_EQ(common::joinLines(lines), "a\r\n\r\n\x81\x5C\r\n");
    EXPECT_EQ(common::splitLines(common::joinLines(lines)), lines);
}
