// Name patterns, the proposed day and the remote path join.
#include "ftp/namepattern.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/apperror.h"
#include "common/cp932.h"

using common::StringList;
using testing::HasSubstr;
using testing::ThrowsMessage;
using namespace std::chrono;

namespace {

TEST(NamePattern, EveryPlaceholderGivesItsPartOfTheDay) {
    const year_month_day day{year(2004), February, std::chrono::day(9)};
    EXPECT_EQ(ftp::expandPattern(ftp::kDefaultNamePattern, day), "access_log_20040209");
    EXPECT_EQ(ftp::expandPattern("%Y|%y|%m|%d|%j|%b|%%|x", day), "2004|04|02|09|040|Feb|%|x");
    EXPECT_EQ(ftp::expandPattern("%j", year_month_day{year(2004), December, std::chrono::day(31)}), "366");
    EXPECT_EQ(ftp::expandPattern("%j%b", year_month_day{year(2003), December, std::chrono::day(31)}), "365Dec");
    EXPECT_EQ(ftp::expandPattern("%y", year_month_day{year(2100), January, std::chrono::day(1)}), "00");
    EXPECT_EQ(ftp::expandPattern("", day), "");
    // Shift-JIS text around the placeholders is kept byte for byte.
    const std::string jp = common::cp932(u8"ログ表_");
    EXPECT_EQ(ftp::expandPattern(jp + "%d", day), jp + "09");
}

TEST(NamePattern, UnknownOrUnfinishedPlaceholderIsNamed) {
    const year_month_day day{year(2004), January, std::chrono::day(5)};
    EXPECT_THAT([&] { ftp::expandPattern("log_%Q", day); },
                ThrowsMessage<common::AppError>(HasSubstr("\"log_%Q\" \x82\xCC \"%Q\"")));
    EXPECT_THAT([&] { ftp::expandPattern("log_%", day); }, ThrowsMessage<common::AppError>(HasSubstr("\"%\"")));
    EXPECT_TRUE(ftp::namesEachDay("a_%Y%m%d"));
    EXPECT_TRUE(ftp::namesEachDay("a_%j"));
    EXPECT_FALSE(ftp::namesEachDay("access_log"));
    EXPECT_FALSE(ftp::namesEachDay("a_%Y%m"));
}

TEST(NamePattern, TheDayTurnsAtFourInTheMorning) {
    const year_month_day jan5{year(2004), January, day(5)};
    EXPECT_EQ(ftp::proposedDay(jan5, hours(3) + minutes(59) + seconds(59)), (year_month_day{year(2004), January, day(4)}));
    EXPECT_EQ(ftp::proposedDay(jan5, hours(3) + minutes(59) + seconds(59) + milliseconds(999)),
              (year_month_day{year(2004), January, day(4)}));
    EXPECT_EQ(ftp::proposedDay(jan5, hours(4)), jan5);
    EXPECT_EQ(ftp::proposedDay(year_month_day{year(2004), March, day(1)}, hours(3)),
              (year_month_day{year(2004), February, day(29)}));
    EXPECT_EQ(ftp::proposedDay(year_month_day{year(2004), January, day(1)}, hours(0)),
              (year_month_day{year(2003), December, day(31)}));
}

TEST(NamePattern, DirectoryAndNameAreJoinedWithOneSlash) {
    EXPECT_EQ(ftp::remoteJoin("", "a"), "a");
    EXPECT_EQ(ftp::remoteJoin("logs", "a"), "logs/a");
    EXPECT_EQ(ftp::remoteJoin("logs/", "a"), "logs/a");
    EXPECT_EQ(ftp::remoteJoin("/", "a"), "/a");
    EXPECT_EQ(ftp::remoteJoin("/var/log", "a"), "/var/log/a");
}

TEST(NamePattern, SettingsLineComesAfterTheWayAndOtherLinesKeepTheirPlaces) {
    const StringList four{"h", "u", "", "d"};
    EXPECT_EQ(ftp::namePattern(four), ftp::kDefaultNamePattern);
    EXPECT_EQ(ftp::withNamePattern(four, ftp::kDefaultNamePattern), four);
    const StringList withPattern = ftp::withNamePattern(four, "x_%d");
    EXPECT_EQ(withPattern, (StringList{"h", "u", "", "d", "ftp", "", "active", "pattern=x_%d"}));
    EXPECT_EQ(ftp::namePattern(withPattern), "x_%d");
    // A line of another kind after the way stays, and the pattern is replaced, not added twice.
    const StringList sftp{"h", "u", "", "d", "sftp", "2222", "active", "other", "pattern=old_%d"};
    EXPECT_EQ(ftp::withNamePattern(sftp, "new_%d"),
              (StringList{"h", "u", "", "d", "sftp", "2222", "active", "other", "pattern=new_%d"}));
    EXPECT_EQ(ftp::withNamePattern(sftp, ftp::kDefaultNamePattern),
              (StringList{"h", "u", "", "d", "sftp", "2222", "active", "other"}));
    // "pattern=" within the first seven lines is a field, not the pattern.
    EXPECT_EQ(ftp::namePattern(StringList{"pattern=x", "", "", "pattern=y"}), ftp::kDefaultNamePattern);
}

}  // namespace
