// Reading directory listings, friendly and hostile.
#include "ftp/remotelist.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace std::chrono;

namespace {

// 2004-03-01 12:00 UTC.
const sys_seconds kNow = sys_days(year_month_day{year(2004), March, day(1)}) + hours(12);

TEST(RemoteList, UnixAndDosLinesGiveNameSizeAndDateNewestFirst) {
    const std::string text =
        "total 12\r\n"
        "drwxr-xr-x   2 owner group     4096 Feb 27 09:00 old\r\n"
        "-rw-r--r--   1 owner group     1234 Feb 28 23:59 access_log_20040228\r\n"
        "-rw-r--r--   1 owner group  7654321 Mar  2 01:00 a name with  blanks\r\n"  // tomorrow: this year
        "-rw-r--r--   1 owner    5000 Dec 31 10:00 no-group\r\n"                    // later than now: last year
        "lrwxrwxrwx   1 o g 10 Jan  1  2003 current -> access_log_20040228\r\n"
        "02-29-04  01:30PM       999 dos.log\r\n"
        "02-29-04  01:30PM      <DIR> dosdir\r\n"
        "bare_name\r\n";
    const auto e = ftp::parseListing(text, kNow);
    ASSERT_EQ(e.size(), 6u);
    EXPECT_EQ(e[0].name, "a name with  blanks");
    EXPECT_EQ(e[0].size, 7654321);
    EXPECT_EQ(ftp::shownTime(e[0]), "2004-03-02 01:00");
    EXPECT_EQ(e[1].name, "dos.log");
    EXPECT_EQ(ftp::shownTime(e[1]), "2004-02-29 13:30");
    EXPECT_EQ(e[2].name, "access_log_20040228");
    EXPECT_EQ(e[2].size, 1234);
    EXPECT_EQ(e[3].name, "no-group");
    EXPECT_EQ(ftp::shownTime(e[3]), "2003-12-31 10:00");
    EXPECT_EQ(e[4].name, "current");
    EXPECT_EQ(ftp::shownTime(e[4]), "2003-01-01 00:00");
    EXPECT_EQ(e[5].name, "bare_name");
    EXPECT_EQ(e[5].size, -1);
    EXPECT_FALSE(e[5].hasTime);
    EXPECT_EQ(ftp::shownTime(e[5]), "-");
    for (const auto& entry : e) EXPECT_TRUE(entry.usable) << entry.name;
    EXPECT_EQ(ftp::findEntry(e, "dos.log"), &e[1]);
    EXPECT_EQ(ftp::findEntry(e, "dosdir"), nullptr);
}

TEST(RemoteList, HostileNamesAreShownEscapedAndNeverUsable) {
    const std::string longName(300, 'a');
    const std::string text = "-rw-r--r-- 1 o g 1 Jan  1 10:00 ../../materia/FTPSetting.dat\n"
                             "-rw-r--r-- 1 o g 1 Jan  1 10:00 sub/x\n"
                             "-rw-r--r-- 1 o g 1 Jan  1 10:00 a\\b\n"
                             "-rw-r--r-- 1 o g 1 Jan  1 10:00 bell\x07\x1b[2Jclear\r\n"
                             "-rw-r--r-- 1 o g 1 Jan  1 10:00 ..\n"
                             "-rw-r--r-- 1 o g 99999999999999999999999 Jan  1 10:00 huge\n"
                             "-rw-r--r-- 1 o g 1 Jan  1 10:00 " + longName + "\n";
    const auto e = ftp::parseListing(text, kNow);
    ASSERT_EQ(e.size(), 6u);  // ".." is no file
    for (const auto& entry : e) {
        if (entry.name == "huge") {
            EXPECT_TRUE(entry.usable);
            EXPECT_EQ(entry.size, -1);  // too big to be a file: no size rather than a wrong one
            continue;
        }
        EXPECT_FALSE(entry.usable) << ftp::shownName(entry.name);
        const std::string shown = ftp::shownName(entry.name);
        EXPECT_EQ(shown.find_first_of("\x07\x1b\r\n"), std::string::npos);
        EXPECT_LE(shown.size(), 258u);
    }
    EXPECT_EQ(ftp::shownName("bell\x07\x1b[2Jclear"), "bell\\x07\\x1B[2Jclear");
    // A CR inside a line (only the one before LF ends it) stays in the name, escaped and unusable.
    const auto cr = ftp::parseListing("bare\re\r\n", kNow);
    ASSERT_EQ(cr.size(), 1u);
    EXPECT_EQ(cr[0].name, "bare\re");
    EXPECT_FALSE(cr[0].usable);
    EXPECT_EQ(ftp::shownName(cr[0].name), "bare\\x0De");
    EXPECT_EQ(ftp::shownName("a\\b"), "a\\x5Cb");
    EXPECT_EQ(ftp::shownName(longName), std::string(255, 'a') + "...");
}

TEST(RemoteList, AHundredThousandNamesAreAllReadInOrder) {
    std::string text;
    for (int i = 0; i < 100000; ++i)
        text += "-rw-r--r-- 1 o g " + std::to_string(i) + " Jan  1  2003 log_" + std::to_string(100000 + i) + "\r\n";
    const auto e = ftp::parseListing(text, kNow);
    ASSERT_EQ(e.size(), 100000u);
    // One date for all: by name, the highest first.
    EXPECT_EQ(e.front().name, "log_199999");
    EXPECT_EQ(e.front().size, 99999);
    EXPECT_EQ(e.back().name, "log_100000");
}

}  // namespace
