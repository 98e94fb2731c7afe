// Reading directory listings.
#include "ftp/remotelist.h"

#include <algorithm>
#include <cstdio>

namespace ftp {

namespace {

using namespace std::chrono;

constexpr std::size_t kNameMax = 255;

bool isDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

long long number(std::string_view s) {
    long long n = 0;
    for (const char c : s) {
        if (n > (1LL << 56)) return -1;  // no file is that big: a wrong number is worse than none
        n = n * 10 + (c - '0');
    }
    return n;
}

int monthOf(std::string_view s) {
    static const char* const kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                          "jul", "aug", "sep", "oct", "nov", "dec"};
    if (s.size() != 3) return 0;
    for (int i = 0; i < 12; ++i) {
        bool same = true;
        for (int k = 0; k < 3; ++k) same = same && (s[k] | 0x20) == kMonths[i][k];
        if (same) return i + 1;
    }
    return 0;
}

// "10:00" into minutes of the day, or -1.
int clockOf(std::string_view s) {
    const auto colon = s.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2 || s.size() != colon + 3) return -1;
    if (!isDigits(s.substr(0, colon)) || !isDigits(s.substr(colon + 1))) return -1;
    const int h = int(number(s.substr(0, colon))), m = int(number(s.substr(colon + 1)));
    return h < 24 && m < 60 ? h * 60 + m : -1;
}

std::int64_t secondsOf(int y, int mo, int d, int minutes) {
    const year_month_day ymd{year(y), month(unsigned(mo)), day(unsigned(d))};
    if (!ymd.ok()) return -1;
    return sys_seconds(sys_days(ymd)).time_since_epoch().count() + std::int64_t(minutes) * 60;
}

// The fields of a line split at runs of blanks, each with where it starts.
struct Field {
    std::string_view text;
    std::size_t at;
};

std::vector<Field> fieldsOf(std::string_view line, std::size_t most) {
    std::vector<Field> fields;
    std::size_t i = 0;
    while (fields.size() < most) {
        while (i < line.size() && line[i] == ' ') ++i;
        if (i >= line.size()) break;
        const std::size_t start = i;
        while (i < line.size() && line[i] != ' ') ++i;
        fields.push_back({line.substr(start, i - start), start});
    }
    return fields;
}

// "-rw-r--r-- 1 owner group 1234 Jan  5 10:00 name" and its forms without group or links.
bool readUnix(std::string_view line, year_month_day today, RemoteEntry& entry, bool& directory) {
    if (line.size() < 10 || std::string_view("-dlbcps").find(line[0]) == std::string_view::npos) return false;
    const auto fields = fieldsOf(line, 9);
    // The date is three fields (month, day, time or year) after the size; owner and group vary.
    for (std::size_t i = 2; i + 2 < fields.size(); ++i) {
        const int mo = monthOf(fields[i].text);
        if (mo == 0 || !isDigits(fields[i - 1].text) || !isDigits(fields[i + 1].text)) continue;
        const int d = int(number(fields[i + 1].text));
        const std::string_view when = fields[i + 2].text;
        const std::size_t nameAt = fields[i + 2].at + when.size() + 1;
        if (nameAt > line.size()) return false;
        entry.name = std::string(line.substr(nameAt));
        if (line[0] == 'l') {
            const auto arrow = entry.name.find(" -> ");
            if (arrow != std::string::npos) entry.name.resize(arrow);
        }
        entry.size = number(fields[i - 1].text);
        const int minutes = clockOf(when);
        std::int64_t t = -1;
        if (minutes >= 0) {
            // Within the last half year, without a year: this year, unless that is still to come.
            int y = int(today.year());
            t = secondsOf(y, mo, d, minutes);
            const std::int64_t tomorrow = secondsOf(int(today.year()), int(unsigned(today.month())),
                                                    int(unsigned(today.day())), 0) + 2 * 86400;
            if (t > tomorrow) t = secondsOf(y - 1, mo, d, minutes);
        } else if (when.size() == 4 && isDigits(when)) {
            t = secondsOf(int(number(when)), mo, d, 0);
        }
        entry.hasTime = t >= 0;
        entry.time = std::max<std::int64_t>(t, 0);
        directory = line[0] == 'd';
        return true;
    }
    return false;
}

// "01-05-04  10:00AM       1234 name" or "... <DIR> name".
bool readDos(std::string_view line, RemoteEntry& entry, bool& directory) {
    const auto fields = fieldsOf(line, 3);
    if (fields.size() < 3) return false;
    const std::string_view date = fields[0].text, clock = fields[1].text;
    if (date.size() < 8 || date[2] != '-' || date[5] != '-') return false;
    if (!isDigits(date.substr(0, 2)) || !isDigits(date.substr(3, 2)) || !isDigits(date.substr(6))) return false;
    if (clock.size() < 6) return false;
    const std::string_view half = clock.substr(clock.size() - 2);
    int minutes = clockOf(clock.substr(0, clock.size() - 2));
    if (minutes < 0 || (half != "AM" && half != "PM")) return false;
    minutes = minutes % 720 + (half == "PM" ? 720 : 0);
    int y = int(number(date.substr(6)));
    if (date.size() == 8) y += y < 70 ? 2000 : 1900;
    const std::int64_t t = secondsOf(y, int(number(date.substr(0, 2))), int(number(date.substr(3, 2))), minutes);
    std::size_t i = fields[2].at;
    const std::size_t end = line.find(' ', i);
    if (end == std::string_view::npos) return false;
    const std::string_view sizeOrDir = line.substr(i, end - i);
    directory = sizeOrDir == "<DIR>";
    if (!directory && !isDigits(sizeOrDir)) return false;
    entry.size = directory ? -1 : number(sizeOrDir);
    i = end;
    while (i < line.size() && line[i] == ' ') ++i;
    entry.name = std::string(line.substr(i));
    entry.hasTime = t >= 0;
    entry.time = std::max<std::int64_t>(t, 0);
    return true;
}

bool usableName(std::string_view name) {
    if (name.empty() || name == "." || name == ".." || name.size() > kNameMax) return false;
    return std::none_of(name.begin(), name.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F || c == '/' || c == '\\';
    });
}

}  // namespace

std::vector<RemoteEntry> parseListing(std::string_view text, std::chrono::sys_seconds now) {
    const year_month_day today{floor<days>(now)};
    std::vector<RemoteEntry> entries;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line.substr(0, 6) == "total ") continue;
        RemoteEntry entry;
        bool directory = false;
        if (!readUnix(line, today, entry, directory) && !readDos(line, entry, directory)) {
            entry = RemoteEntry{};
            entry.name = std::string(line);
        }
        if (directory || entry.name == "." || entry.name == "..") continue;
        entry.usable = usableName(entry.name);
        entries.push_back(std::move(entry));
    }
    std::stable_sort(entries.begin(), entries.end(), [](const RemoteEntry& a, const RemoteEntry& b) {
        if (a.hasTime != b.hasTime) return a.hasTime;
        if (a.hasTime && a.time != b.time) return a.time > b.time;
        return a.name > b.name;
    });
    return entries;
}

std::string shownName(std::string_view name) {
    std::string out;
    const std::size_t shown = std::min(name.size(), kNameMax);
    out.reserve(shown + 8);
    for (std::size_t i = 0; i < shown; ++i) {
        const auto u = static_cast<unsigned char>(name[i]);
        if (u < 0x20 || u == 0x7F || u == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", u);
            out += hex;
        } else {
            out += name[i];
        }
    }
    if (name.size() > kNameMax) out += "...";
    return out;
}

std::string shownTime(const RemoteEntry& entry) {
    if (!entry.hasTime) return "-";
    const sys_seconds t{seconds(entry.time)};
    const year_month_day ymd{floor<days>(t)};
    const auto minutes = duration_cast<std::chrono::minutes>(t - floor<days>(t)).count();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d", int(ymd.year()), unsigned(ymd.month()),
                  unsigned(ymd.day()), int(minutes / 60), int(minutes % 60));
    return text;
}

const RemoteEntry* findEntry(const std::vector<RemoteEntry>& entries, std::string_view name) {
    for (const auto& e : entries)
        if (e.name == name) return &e;
    return nullptr;
}

}  // namespace ftp
