// Days as the history names them (YYYYMMDD numbers): read from a date given by the user or from a
// log's time field, and written back as text.
#include <algorithm>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "history/dayfigures.h"

namespace history {

std::string dayText(Day day) {
    char out[16];
    if (day % 100 == 0) std::snprintf(out, sizeof out, "%04d-%02d", day / 10000, day / 100 % 100);
    else std::snprintf(out, sizeof out, "%04d-%02d-%02d", day / 10000, day / 100 % 100, day % 100);
    return out;
}

namespace {

bool leapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && leapYear(y) ? 29 : kDays[m - 1];
}

// The digits of s[from, from + n) as a number; -1 when one is no digit.
int digits(std::string_view s, std::size_t from, std::size_t n) {
    int v = 0;
    for (std::size_t i = from; i < from + n; ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9') return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

std::optional<Day> validDay(int y, int m, int d) {
    if (y < 1000 || m < 1 || m > 12 || d < 1 || d > daysInMonth(y, m)) return std::nullopt;
    return y * 10000 + m * 100 + d;
}

}  // namespace

std::optional<Day> parseDay(std::string_view t) {
    if (t.size() != 10 && t.size() != 7) return std::nullopt;
    if (t[4] != '-' || (t.size() == 10 && t[7] != '-')) return std::nullopt;
    const int y = digits(t, 0, 4), m = digits(t, 5, 2), d = t.size() == 10 ? digits(t, 8, 2) : 1;
    if (y < 0 || m < 0 || d < 0) return std::nullopt;
    return validDay(y, m, d);
}

std::optional<DayTime> dayTimeOf(std::string_view f) {
    static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    if (f.size() < 21 || f[0] != '[' || f[3] != '/' || f[7] != '/' || f[12] != ':' || f[15] != ':' || f[18] != ':')
        return std::nullopt;
    int month = 0;
    for (int m = 0; m < 12; ++m)
        if (f.substr(4, 3) == kMonths[m]) month = m + 1;
    const int d = digits(f, 1, 2), y = digits(f, 8, 4), h = digits(f, 13, 2), mi = digits(f, 16, 2),
              s = digits(f, 19, 2);
    if (month == 0 || d < 0 || y < 0 || h < 0 || h > 23 || mi < 0 || mi > 59 || s < 0 || s > 60) return std::nullopt;
    const auto day = validDay(y, month, d);
    if (!day) return std::nullopt;
    return DayTime{*day, h * 3600 + mi * 60 + std::min(s, 59)};
}

}  // namespace history
