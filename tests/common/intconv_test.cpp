#include "common/intconv.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/apperror.h"
#include "common/cp932.h"

using common::AppError;
using common::toInt;
using testing::ThrowsMessage;

namespace {
std::string notInteger(const char* text) {
    return "'" + std::string(text) + "'" + common::cp932(u8" は整数ではありません");
}
}  // namespace

TEST(IntegerConversion, AcceptsDecimalWithBlanksAndSign) {
    EXPECT_EQ(toInt("13"), 13);
    EXPECT_EQ(toInt("09"), 9);
    EXPECT_EQ(toInt(" 9"), 9);
    EXPECT_EQ(toInt("  +7"), 7);
    EXPECT_EQ(toInt("-1"), -1);
    EXPECT_EQ(toInt("2147483647"), 2147483647);
    EXPECT_EQ(toInt("-2147483648"), -2147483647 - 1);
}

TEST(IntegerConversion, AcceptsEveryHexPrefix) {
    EXPECT_EQ(toInt("$F"), 15);
    EXPECT_EQ(toInt("xff"), 255);
    EXPECT_EQ(toInt("X10"), 16);
    EXPECT_EQ(toInt("0x1A"), 26);
    EXPECT_EQ(toInt("0X1a"), 26);
    EXPECT_EQ(toInt("-$10"), -16);
    EXPECT_EQ(toInt("$FFFFFFFF"), -1);  // eight digits give the bit pattern
}

TEST(IntegerConversion, RejectsEverythingElseWithTheTextInTheMessage) {
    for (const char* bad :
         {"", "-", "+", "$", "0x", "ab", "1 ", "1a", "2147483648", "-2147483649", "$123456789", "1.0", "\t1"})
        EXPECT_THAT([&] { toInt(bad); }, ThrowsMessage<AppError>(notInteger(bad))) << bad;
}

TEST(IntegerConversion, SixtyFourBitVariantTakesLargeCounts) {
    EXPECT_EQ(common::tryToInt64("4294967296"), 4294967296LL);
    EXPECT_EQ(common::tryToInt64("9223372036854775807"), 9223372036854775807LL);
    EXPECT_EQ(common::tryToInt64("9223372036854775808"), std::nullopt);
    EXPECT_EQ(common::tryToInt64("-"), std::nullopt);
}

TEST(FloatConversion, ReadsDecimalTextAndRejectsTheRest) {
    EXPECT_DOUBLE_EQ(common::toFloat("2326"), 2326.0);
    EXPECT_DOUBLE_EQ(common::toFloat("2.271484375"), 2.271484375);
    EXPECT_DOUBLE_EQ(common::toFloat("2.1662563085556E-6"), 2.1662563085556e-6);
    EXPECT_DOUBLE_EQ(common::toFloat("-.5"), -0.5);
    EXPECT_DOUBLE_EQ(common::toFloat("+1e3"), 1000.0);
    for (const char* bad : {"-", "", "1e", "abc", "1.2.3", "0x10", "1e999"})
        EXPECT_THAT(
            [&] { common::toFloat(bad); },
            ThrowsMessage<AppError>("'" + std::string(bad) + "'" + common::cp932(u8" は浮動小数点数ではありません")))
            << bad;
}
