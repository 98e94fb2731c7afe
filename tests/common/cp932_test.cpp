#include "common/cp932.h"
#include "common/eucjp.h"

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

TEST(Cp932FromEucJp, ConvertsJisKanaAndTheNecAndIbmCharacters) {
    EXPECT_EQ(common::cp932FromEucJp("q=\xC6\xFC\xCB\xDC"), "q=" + common::cp932(u8"日本"));
    EXPECT_EQ(common::cp932FromEucJp("\x8E\xB1\x8E\xDF"), "\xB1\xDF");                // half-width katakana
    EXPECT_EQ(common::cp932FromEucJp("\xAD\xA1"), common::cp932(u8"①"));            // NEC row 13
    EXPECT_EQ(common::cp932FromEucJp("\x8F\xF3\xF3"), common::cp932(u8"ⅰ"));        // IBM, in the supplementary set
    EXPECT_EQ(common::cp932FromEucJp("a\x8F\xB0\xA1z"), "a?z");                      // supplementary, no CP932 form
    EXPECT_EQ(common::cp932FromEucJp("\xA2\xAF\xA4\xA2"), "?" + common::cp932(u8"あ"));  // an unassigned code
    EXPECT_EQ(common::cp932FromEucJp(std::string("a\0b", 3)), std::string("a\0b", 3));
    EXPECT_EQ(common::cp932FromEucJp(""), "");
}

TEST(Cp932FromEucJp, BytesThatAreNoEucJpGiveNothing) {
    for (const std::string bad : {"\xA4", "a\xA4\xA2\xA4", "\x8E\x41", "\x8E\xE0", "\x8F\xA1", "\x8F\xA1\xFF", "\x80",
                                  "\xFF\xA1", "\xA4 ", "\xA4\xA2\x8E"})
        EXPECT_EQ(common::cp932FromEucJp(bad), std::nullopt) << bad;
}

// The JIS X 0208 rows map to code page 932 by the JIS arithmetic; iconv agrees on every assigned
// character there, and random bytes never bring it down.
TEST(Cp932FromEucJp, AgreesWithTheJisArithmeticAndSurvivesRandomBytes) {
    auto sjis = [](unsigned c, unsigned d) {
        const unsigned j1 = c - 0x80, j2 = d - 0x80;
        std::string out;
        out += static_cast<char>(((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0));
        out += static_cast<char>(j2 + ((j1 & 1) ? (j2 >= 0x60 ? 0x20 : 0x1F) : 0x7E));
        return out;
    };
    int assigned = 0;
    for (unsigned c = 0xB0; c <= 0xF4; ++c)  // kanji rows 16 to 84
        for (unsigned d = 0xA1; d <= 0xFE; ++d) {
            const auto got = common::cp932FromEucJp(std::string{static_cast<char>(c), static_cast<char>(d)});
            ASSERT_TRUE(got.has_value());
            if (*got == "?") continue;
            ++assigned;
            EXPECT_EQ(*got, sjis(c, d)) << std::hex << c << d;
        }
    EXPECT_GT(assigned, 6300);
    unsigned seed = 7;
    for (int n = 0; n < 2000; ++n) {
        std::string bytes(static_cast<std::size_t>(n % 13), '\0');
        for (char& b : bytes) b = static_cast<char>((seed = seed * 1103515245 + 12345) >> 16);
        if (const auto got = common::cp932FromEucJp(bytes)) {
            EXPECT_LE(got->size(), bytes.size());
        }
    }
}
