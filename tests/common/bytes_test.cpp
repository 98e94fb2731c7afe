// The byte tests and the share of a total that every folder uses.
#include "common/bytes.h"

#include <gtest/gtest.h>

#include <string>

#include "common/share.h"

TEST(Bytes, AsciiWhereverTheHighByteStands) {
    EXPECT_TRUE(common::isAscii(""));
    EXPECT_TRUE(common::isAscii(std::string(40, 'a')));
    // Before, inside and after the 16-byte blocks the fast scan reads.
    for (std::size_t at : {0u, 7u, 15u, 16u, 31u, 32u, 39u}) {
        std::string s(40, 'a');
        s[at] = '\x80';
        EXPECT_FALSE(common::isAscii(s)) << at;
        s[at] = '\x7f';
        EXPECT_TRUE(common::isAscii(s)) << at;
    }
}

TEST(Bytes, LeadBytesAndHexDigits) {
    EXPECT_FALSE(common::isLeadByte(0x80));
    EXPECT_TRUE(common::isLeadByte(0x81));
    EXPECT_TRUE(common::isLeadByte(0x9F));
    EXPECT_FALSE(common::isLeadByte(0xA0));  // a half-width katakana stands alone
    EXPECT_FALSE(common::isLeadByte(0xDF));
    EXPECT_TRUE(common::isLeadByte(0xE0));
    EXPECT_TRUE(common::isLeadByte(0xFC));
    EXPECT_FALSE(common::isLeadByte(0xFD));
    EXPECT_EQ(common::hexValue('0'), 0);
    EXPECT_EQ(common::hexValue('9'), 9);
    EXPECT_EQ(common::hexValue('a'), 10);
    EXPECT_EQ(common::hexValue('F'), 15);
    EXPECT_EQ(common::hexValue('g'), -1);
    EXPECT_EQ(common::hexValue('/'), -1);
}

TEST(Share, OneDecimalAndNothingOfNothing) {
    EXPECT_EQ(common::shareText(1, 3), "33.3%");
    EXPECT_EQ(common::shareText(2, 3), "66.7%");
    EXPECT_EQ(common::shareText(3, 3), "100.0%");
    EXPECT_EQ(common::shareText(5, 0), "0.0%");
    EXPECT_EQ(common::shareText(0, -1), "0.0%");
}
