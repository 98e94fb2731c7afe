// The day's log name from a pattern with date placeholders, the day the dialog proposes, and the
// remote path of a name in the host's folder.
#pragma once
#include <chrono>
#include <string>
#include <string_view>

#include "common/stringlist.h"

namespace ftp {

// The name the dialog has always proposed.
inline constexpr std::string_view kDefaultNamePattern = "access_log_%Y%m%d";

// The day whose log is complete at the local date and time of day: before 04:00:00 the host has not
// rotated yet, so it is the day before.
std::chrono::year_month_day proposedDay(std::chrono::year_month_day today, std::chrono::milliseconds timeOfDay);

// pattern with its placeholders replaced for day: %Y four-digit year, %y two-digit year, %m month
// 01-12, %d day 01-31, %j day of the year 001-366, %b English month abbreviation (Jan), %% a "%".
// Any other "%" (or one at the end) throws "ファイル名の形式 "%s" の "%c" は使えません (使えるのは ...)".
std::string expandPattern(std::string_view pattern, std::chrono::year_month_day day);

// Whether the pattern names a different file for each day (it holds %d or %j); a pattern without
// one cannot fetch several days. Throws for a pattern expandPattern refuses.
bool namesEachDay(std::string_view pattern);

// The remote path of name in dir: joined with one "/" unless dir is empty or already ends in one,
// so "logs" and "logs/" both give "logs/name".
std::string remoteJoin(std::string_view dir, std::string_view name);

// The pattern kept in the settings file: a line "pattern=P" after the transfer way's three lines,
// where readers of the first seven lines ignore it. No such line gives the default.
std::string namePattern(const common::StringList& lines);
// The lines with the pattern's line set (or removed, for the default); the way's three lines are
// written as defaults first when the file has only the four fields.
common::StringList withNamePattern(common::StringList lines, std::string_view pattern);

}  // namespace ftp
