// The host's folder: the lines of a directory listing read into names, sizes and dates.
#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ftp {

// One file of a listing. The name is the server's bytes; whether it may become a local name is
// usable, and how to show it is shownName.
struct RemoteEntry {
    std::string name;
    long long size = -1;  // -1: not given
    // Seconds since 1970 of the time given (local time of the server read as UTC), and whether
    // the listing gave one; without a time of day, 00:00.
    std::int64_t time = 0;
    bool hasTime = false;
    bool usable = false;  // no "/", "\", control byte, "." or ".." and at most 255 bytes
};

// The files of a listing, newest first (those without a date last, by name), directories and the
// "total" line left out. Understood: the Unix "ls -l" lines of FTP servers and of libcurl's SFTP
// listing (times without a year are taken in the year that puts them at most a day after now),
// MS-DOS lines ("01-05-04  10:00AM  1234 name"); any other line is a name alone.
std::vector<RemoteEntry> parseListing(std::string_view text, std::chrono::sys_seconds now);

// A name as a window or a terminal may show it: control bytes and "\" as \xNN, cut after 255 bytes
// with "...".
std::string shownName(std::string_view name);

// "2004-01-05 10:00" (00:00 where only the day was given) or "-".
std::string shownTime(const RemoteEntry& entry);

// The entry of that name, if the listing has it.
const RemoteEntry* findEntry(const std::vector<RemoteEntry>& entries, std::string_view name);

}  // namespace ftp
