// Percent and UTF-8 decoding of single lines.
#include "decoder/urlconv.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/cp932.h"

using common::cp932;
using decoder::EConvertError;
using decoder::HexCharToInt;
using decoder::HexToInt;
using decoder::URLDecode;
using testing::ThrowsMessage;

namespace {

const std::string kBadUrl = cp932(u8"不正なURL");
const std::string kBadHex = cp932(u8"不正な16進数文字");

}  // namespace

TEST(HexToInt, DigitsOfEitherCaseMostSignificantFirst) {
    EXPECT_EQ(HexToInt(""), 0);
    EXPECT_EQ(HexToInt("0"), 0);
    EXPECT_EQ(HexToInt("9"), 9);
    EXPECT_EQ(HexToInt("A"), 10);
    EXPECT_EQ(HexToInt("f"), 15);
    EXPECT_EQ(HexToInt("e3"), 0xE3);
    EXPECT_EQ(HexToInt("Ff"), 255);
    EXPECT_EQ(HexToInt("1A2b"), 0x1A2B);
}

TEST(HexToInt, AnyOtherCharacterRaisesTheHexDigitError) {
    // The neighbours of the digit and letter ranges, blank, sign, prefix, "%" and a high byte.
    for (const std::string_view bad : {"/", ":", "@", "G", "g", " 1", "-1", "0x1", "%", "1 ", "\x82\xA0"})
        EXPECT_THAT([&] { HexToInt(bad); }, ThrowsMessage<EConvertError>(kBadHex)) << bad;
}

TEST(HexCharToInt, TakesOnlyDigitsAndUpperCaseLetters) {
    EXPECT_EQ(HexCharToInt('0'), 0);
    EXPECT_EQ(HexCharToInt('F'), 15);
    // HexToInt upper-cases before asking; the digit routine itself knows only A to F.
    EXPECT_THAT([] { HexCharToInt('a'); }, ThrowsMessage<EConvertError>(kBadHex));
    EXPECT_THAT([] { HexCharToInt('\0'); }, ThrowsMessage<EConvertError>(kBadHex));
}

struct Row {
    std::string before;
    std::string after;
};

TEST(URLDecode, DecodesEveryLineOfTheTable) {
    const Row rows[] = {
        {"%E3%81%82", cp932(u8"あ")},
        {"%e3%81%82", cp932(u8"あ")},
        {"%E3%81%82%E3%81%84", cp932(u8"あい")},
        {"q=%E6%97%A5%E6%9C%AC", cp932(u8"q=日本")},
        {"a%20b", "a b"},
        {"a+b", "a+b"},
        {"%41%42C", "ABC"},
        {"50%25", "50%"},
        {"%81%82", "B"},  // a two-byte sequence by bit 0x20, 0x01 << 6 | 0x02
        {"%E3%81", ""},
        {"%FF", ""},
        {"%F0%9F%98%80", "?"},
        {"abc%4", std::string("abc\x04")},
        {"abc%", std::string("abc\0", 4)},
        {"", ""},
    };
    for (const Row& row : rows) EXPECT_EQ(URLDecode(row.before), row.after) << row.before;
}

TEST(URLDecode, ANonHexCharacterAfterPercentRaisesBadUrl) {
    for (const std::string_view bad : {"%G1", "%4Z", "%%41", "ok%E3%81%82%8g", "%-1", "% 41", "%x"})
        EXPECT_THAT([&] { URLDecode(bad); }, ThrowsMessage<EConvertError>(kBadUrl)) << bad;
}

TEST(URLDecode, OverlongFormsAndZeroBytesAreCharacters) {
    EXPECT_EQ(URLDecode("%C1%81"), "A");
    EXPECT_EQ(URLDecode("%A3%81%82"), cp932(u8"あ"));  // A3 has bit 0x20: a three-byte sequence
    EXPECT_EQ(URLDecode("%E0%81%81"), "A");
    EXPECT_EQ(URLDecode("%C0%80x"), std::string("\0x", 2));
    EXPECT_EQ(URLDecode("%00%E3%81%82"), std::string(1, '\0') + cp932(u8"あ"));
    EXPECT_EQ(URLDecode("%0D%0A"), "\r\n");
}

TEST(URLDecode, ABadSequenceAnywhereEmptiesTheWholeLine) {
    EXPECT_EQ(URLDecode("%E3%81%82 and %E3%41%82"), "");  // second byte outside 0x80 to 0xBF
    EXPECT_EQ(URLDecode("%E3%81%82%C3"), "");             // cut off at the end
    EXPECT_EQ(URLDecode("x%BF"), "");                     // a lone continuation byte starts a sequence
}

TEST(URLDecode, CharactersWithoutAShiftJisFormBecomeQuestionMarks) {
    EXPECT_EQ(URLDecode("caf%C3%A9"), "caf?");                               // é
    EXPECT_EQ(URLDecode("%E2%82%AC%C2%A0%E3%81%82"), "??" + cp932(u8"あ"));  // € and no-break space
    EXPECT_EQ(URLDecode("%ED%A0%80x"), "?x");                                // a lone surrogate
    EXPECT_EQ(URLDecode("%EF%BF%BF"), "?");
}

TEST(URLDecode, ACharacterAboveTheBasicPlaneIsOneSubstituteAndTheLineStays) {
    EXPECT_EQ(URLDecode("/blog/%E6%97%A5%E6%9C%AC%F0%9F%98%80x"), cp932(u8"/blog/日本") + "?x");
    EXPECT_EQ(URLDecode("%F0%9F%98%80%F0%A0%80%8B%E3%81%82"), "??" + cp932(u8"あ"));  // 😀 𠀋 あ
    EXPECT_EQ(URLDecode("%ED%A0%BD%ED%B8%80."), "??.");  // the emoji as two surrogate escapes
    // Four bytes that are no four-byte sequence are still a bad sequence.
    EXPECT_EQ(URLDecode("%F0%9F%98x"), "?x") << "F0 9F 98 is three bytes by bit 0x20";
    EXPECT_EQ(URLDecode("%F0%9F%98%80%BF"), "");
}

TEST(URLDecode, ConvertsToCodePage932WithItsExtensions) {
    // An IBM extension character whose trail byte is "\": 纊 is FA 5C.
    EXPECT_EQ(URLDecode("%E7%BA%8A%E2%85%B0"), "\xFA\x5C\xFA\x40");  // 纊 ⅰ
    // NEC and IBM characters exist only in code page 932, not in plain Shift-JIS.
    EXPECT_EQ(URLDecode("%E2%91%A0"), "\x87\x40");                   // ①
    EXPECT_EQ(URLDecode("%EF%BD%9E%E2%88%92"), "\x81\x60\x81\x7C");  // ～ −
    EXPECT_EQ(URLDecode("%EF%BD%B1"), "\xB1");                       // half-width ｱ is one byte
}

TEST(URLDecode, ShiftJisInputDoesNotComeBackUnchanged) {
    // 日本 is 93 FA 96 7B: FA is no continuation byte, so the line empties.
    EXPECT_EQ(URLDecode(cp932(u8"q=日本")), "");
    EXPECT_EQ(URLDecode(cp932(u8"ｱｲ")), "");
    // あ is 82 A0, read as the two-byte form of U+00A0, which has no code page 932 form.
    EXPECT_EQ(URLDecode(cp932(u8"あ")), "?");
}

TEST(URLDecode, ASecondRunDecodesTheDecodedTextAgain) {
    const std::string once = URLDecode("50%2541%25%32%30");
    EXPECT_EQ(once, "50%41%20");
    EXPECT_EQ(URLDecode(once), "50A ");
}
