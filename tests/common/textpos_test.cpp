#include "common/textpos.h"

#include <gtest/gtest.h>

using common::TextCopy;
using common::TextPos;

TEST(TextPos, FindsFirstOccurrenceOneBased) {
    EXPECT_EQ(TextPos("b", "abcb"), 2);
    EXPECT_EQ(TextPos("abc", "abc"), 1);
    EXPECT_EQ(TextPos("\" 200 ", "x\" 200 \" 200 "), 2);
}

TEST(TextPos, EmptyOrAbsentGivesZero) {
    EXPECT_EQ(TextPos("", "abc"), 0);
    EXPECT_EQ(TextPos("a", ""), 0);
    EXPECT_EQ(TextPos("abcd", "abc"), 0);
    EXPECT_EQ(TextPos("GET", "get"), 0);  // case-sensitive
}

TEST(TextPos, ComparesBytesIncludingZeroAndHighBytes) {
    const std::string s("a\0b\x81\\c", 6);
    EXPECT_EQ(TextPos(std::string_view("\0b", 2), s), 2);
    EXPECT_EQ(TextPos("\\", s), 5);  // a trail byte is found like any byte
}

TEST(TextCopy, ClampsInTheDocumentedOrder) {
    EXPECT_EQ(TextCopy("", 1, 5), "");
    EXPECT_EQ(TextCopy("abcdef", 0, 2), "ab");  // start below 1 counts as 1
    EXPECT_EQ(TextCopy("abcdef", -7, 3), "abc");
    EXPECT_EQ(TextCopy("abcdef", 7, 1), "");  // past the end
    EXPECT_EQ(TextCopy("abcdef", 6, 1), "f");
    EXPECT_EQ(TextCopy("abcdef", 2, -1), "");  // negative count
    EXPECT_EQ(TextCopy("abcdef", 2, 0), "");
    EXPECT_EQ(TextCopy("abcdef", 4, 100), "def");  // runs past the end
}
