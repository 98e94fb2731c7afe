#include "common/apperror.h"

#include <gtest/gtest.h>

#include "common/cp932.h"

TEST(ErrorText, PeriodIsAppendedOnlyAfterBytesSortingAboveIt) {
    EXPECT_EQ(common::withPeriod(common::msg::divByZero()), common::cp932(u8"ゼロによる除算."));
    EXPECT_EQ(common::withPeriod("ends)"), "ends)");
    EXPECT_EQ(common::withPeriod("ends."), "ends.");
    EXPECT_EQ(common::withPeriod("x-"), "x-");  // '-' sorts before '.'
    EXPECT_EQ(common::withPeriod("x/"), "x/.");
    EXPECT_EQ(common::withPeriod(""), "");
}

TEST(ErrorText, PlaceholdersAreFilledInOrder) {
    EXPECT_EQ(common::formatMessage("a %s b %s c", {"1", "2"}), "a 1 b 2 c");
    EXPECT_EQ(common::formatMessage("%s%s", {"x"}), "x%s");
    EXPECT_EQ(common::formatMessage(common::msg::cannotOpen(), {"/p", "No such file or directory"}),
              common::cp932(u8"ファイル \"/p\". No such file or directory は開けません"));
}
