// Name patterns with date placeholders, the proposed day and the remote path join.
#include "ftp/namepattern.h"

#include <cstdio>

#include "common/apperror.h"
#include "common/cp932.h"

namespace ftp {

namespace {

constexpr std::string_view kPatternKey = "pattern=";
constexpr std::size_t kWayEnd = 7;  // the four fields and the transfer way's three lines

[[noreturn]] void refuse(std::string_view pattern, std::string_view what) {
    static const std::string text = common::cp932(
        u8"ファイル名の形式 \"%s\" の \"%s\" は使えません (使えるのは %Y %y %m %d %j %b %%)");
    throw common::AppError(common::formatMessage(text, {pattern, what}));
}

}  // namespace

std::chrono::year_month_day proposedDay(std::chrono::year_month_day today, std::chrono::milliseconds timeOfDay) {
    using namespace std::chrono;
    if (timeOfDay < hours(4)) return year_month_day(sys_days(today) - days(1));
    return today;
}

std::string expandPattern(std::string_view pattern, std::chrono::year_month_day day) {
    using namespace std::chrono;
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const int y = int(day.year());
    const unsigned m = unsigned(day.month()), d = unsigned(day.day());
    std::string out;
    out.reserve(pattern.size() + 8);
    char buf[16];
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%') {
            out += pattern[i];
            continue;
        }
        if (i + 1 == pattern.size()) refuse(pattern, "%");
        switch (pattern[++i]) {
            case 'Y': std::snprintf(buf, sizeof buf, "%04d", y); break;
            case 'y': std::snprintf(buf, sizeof buf, "%02d", ((y % 100) + 100) % 100); break;
            case 'm': std::snprintf(buf, sizeof buf, "%02u", m); break;
            case 'd': std::snprintf(buf, sizeof buf, "%02u", d); break;
            case 'j': {
                const auto jan1 = sys_days(year_month_day(day.year(), January, std::chrono::day(1)));
                std::snprintf(buf, sizeof buf, "%03d", int((sys_days(day) - jan1).count()) + 1);
                break;
            }
            case 'b': std::snprintf(buf, sizeof buf, "%s", kMonths[(m - 1) % 12]); break;
            case '%': std::snprintf(buf, sizeof buf, "%%"); break;
            default: refuse(pattern, pattern.substr(i - 1, 2));
        }
        out += buf;
    }
    return out;
}

bool namesEachDay(std::string_view pattern) {
    using namespace std::chrono;
    // Two days a year apart in other fields too: only a day placeholder tells them apart within a month.
    const year_month_day a{year(2004), January, day(5)}, b{year(2004), January, day(6)};
    return expandPattern(pattern, a) != expandPattern(pattern, b);
}

std::string remoteJoin(std::string_view dir, std::string_view name) {
    std::string path(dir);
    if (!path.empty() && path.back() != '/') path += '/';
    path += name;
    return path;
}

std::string namePattern(const common::StringList& lines) {
    for (std::size_t i = kWayEnd; i < lines.size(); ++i)
        if (std::string_view(lines[i]).substr(0, kPatternKey.size()) == kPatternKey)
            return lines[i].substr(kPatternKey.size());
    return std::string(kDefaultNamePattern);
}

common::StringList withNamePattern(common::StringList lines, std::string_view pattern) {
    for (std::size_t i = kWayEnd; i < lines.size();) {
        if (std::string_view(lines[i]).substr(0, kPatternKey.size()) == kPatternKey)
            lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
        else
            ++i;
    }
    if (pattern == kDefaultNamePattern) return lines;
    static const char* const kDefaultWay[] = {"ftp", "", "active"};
    while (lines.size() < kWayEnd) {
        const std::size_t i = lines.size();
        lines.push_back(i >= 4 ? kDefaultWay[i - 4] : "");
    }
    lines.push_back(std::string(kPatternKey) + std::string(pattern));
    return lines;
}

}  // namespace ftp
