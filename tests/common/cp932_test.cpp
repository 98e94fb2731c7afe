#include "common/cp932.h"

#include <gtest/gtest.h>

TEST(Cp932, RoundTripsJapaneseAndNecCharacters) {
    const std::string sjis = common::cp932(u8"むにゃろ①");
    EXPECT_EQ(sjis, "\x82\xde\x82\xc9\x82\xe1\x82\xeb\x87\x40");
    EXPECT_EQ(common::utf8FromCp932(sjis), "むにゃろ①");
}

TEST(Cp932, UndecodableBytesBecomeReplacementCharacters) {
    EXPECT_EQ(common::utf8FromCp932("a\x81"), "a\xEF\xBF\xBD");  // lead byte at the end
    EXPECT_EQ(common::utf8FromCp932("\xFF"
                                    "b"),
              "\xEF\xBF\xBD"
              "b");
}

TEST(Cp932, CharactersWithoutAFormBecomeQuestionMarks) {
    EXPECT_EQ(common::cp932FromUtf8("a😀b"), "a?b");
    EXPECT_EQ(common::cp932FromUtf8("x\xC3"), "x?");  // cut-off UTF-8
    EXPECT_EQ(common::cp932FromUtf8(std::string("\0a", 2)), std::string("\0a", 2));
}
