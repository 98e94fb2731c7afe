// The field routines of one log line, the integer and number conversions, text search and cut, and
// the code page conversions, on any bytes.
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/loglayout.h"
#include "analysis/logline.h"
#include "common/apperror.h"
#include "common/casefold.h"
#include "common/cp932.h"
#include "common/intconv.h"
#include "common/textpos.h"
#include "common/utf8.h"
#include "fuzzsupport.h"

namespace {

using common::TextCopy;
using common::TextPos;

// Every field is a piece of the line it was cut from (or empty).
void checkInside(std::string_view part, std::string_view line) {
    if (part.empty()) return;
    FUZZ_CHECK(part.data() >= line.data() && part.data() + part.size() <= line.data() + line.size());
}

// Plain decimal text (blanks, sign, digits) read independently, for comparison with the program's rules.
std::optional<__int128> referenceDecimal(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    if (i >= s.size() || s.size() - i > 30) return std::nullopt;
    __int128 v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        v = v * 10 + (s[i] - '0');
    }
    return negative ? -v : v;
}

void checkConversions(std::string_view text) {
    const auto v32 = common::tryToInt32(text);
    const auto v64 = common::tryToInt64(text);
    bool threw = false;
    try {
        const std::int32_t v = common::toInt(text);
        FUZZ_CHECK(v32 && v == *v32);
    } catch (const common::AppError&) {
        threw = true;
    }
    FUZZ_CHECK(threw == !v32);
    if (const auto ref = referenceDecimal(text)) {
        const bool fits32 = *ref >= INT32_MIN && *ref <= INT32_MAX;
        const bool fits64 = *ref >= INT64_MIN && *ref <= INT64_MAX;
        FUZZ_CHECK(v32.has_value() == fits32);
        FUZZ_CHECK(v64.has_value() == fits64);
        if (v32) FUZZ_CHECK(*v32 == *ref);
        if (v64) FUZZ_CHECK(*v64 == *ref);
    }
    try {
        const double d = common::toFloat(text);
        FUZZ_CHECK(d == d);  // never NaN
    } catch (const common::AppError&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);

    const std::string_view time = analysis::ExtractTime(line);
    checkInside(time, line);
    FUZZ_CHECK(time.size() <= 28);
    // The time field opens at a "[" (the first one unless a later one opens a time stamp).
    if (TextPos("[", line)) FUZZ_CHECK(time.empty() || time[0] == '[');
    try {
        const std::int32_t hour = analysis::ExtractHour(time);
        // Two characters give at most a sign and a digit, or two (hex) digits.
        FUZZ_CHECK(hour >= -255 && hour <= 255);
    } catch (const common::AppError& e) {
        FUZZ_CHECK(std::strstr(e.what(), "'") == e.what());
    }

    const std::string_view host = analysis::ExtractHost(line);
    checkInside(host, line);
    FUZZ_CHECK(host.find(' ') == std::string_view::npos);

    const analysis::LogLine l(line);
    if (const std::size_t g = l.find(analysis::kGetMarker); g != analysis::LogLine::npos) {
        FUZZ_CHECK(line.substr(g, 5) == analysis::kGetMarker);
        checkInside(analysis::GetPath(l, g), line);
        checkInside(analysis::Referrer(l, g), line);
        checkInside(analysis::UserAgent(l, g), line);
    }
    if (const std::size_t q = l.find(analysis::kPostMarker); q != analysis::LogLine::npos)
        checkInside(analysis::PostPath(l, q), line);
    checkInside(analysis::OwnRequestPath(l), line);
    try {
        analysis::ByteCount(l);
    } catch (const common::AppError&) {
    }

    checkConversions(line);
    checkConversions(line.substr(0, 24));

    // Every layout's cut stays inside the line, and the scan it leaves is the core's own.
    for (const char* name : {"combined", "vhost-combined-extra", "common-extra", "vhost-common"}) {
        analysis::LogLayout layout = *analysis::layoutNamed(name);
        layout.clientFromForwarded = (size & 1) != 0;
        analysis::LogLine scanned;
        const analysis::LogLayout::Cut c = layout.cut(line, scanned);
        checkInside(c.core, line);
        checkInside(c.host, line);
        checkInside(c.virtualHost, line);
        FUZZ_CHECK(scanned.text().data() == c.core.data() && scanned.text().size() == c.core.size());
        const analysis::LogLine fresh(c.core);
        FUZZ_CHECK(fresh.quotes() == scanned.quotes());
        FUZZ_CHECK(fresh.status() == scanned.status());
    }

    // Cut with positions taken from the input itself, extremes included.
    if (size >= 16) {
        std::int64_t start, count;
        std::memcpy(&start, data, 8);
        std::memcpy(&count, data + 8, 8);
        const std::string_view rest = line.substr(16);
        const std::string_view cut = TextCopy(rest, static_cast<std::ptrdiff_t>(start),
                                              static_cast<std::ptrdiff_t>(count));
        checkInside(cut, rest);
        if (count >= 0) FUZZ_CHECK(cut.size() <= static_cast<std::uint64_t>(count));
        const std::ptrdiff_t p = TextPos(line.substr(16, static_cast<std::size_t>(data[0] % 8)), rest);
        FUZZ_CHECK(p >= 0 && p <= static_cast<std::ptrdiff_t>(rest.size()));
    }

    // What every pane and box goes through on its way to the screen or the JSON.
    FUZZ_CHECK(common::isValidUtf8(common::utf8FromCp932(line)));
    (void)common::cp932FromUtf8(line);
    const std::string folded = common::foldCase(line);
    FUZZ_CHECK(folded.size() == line.size());
    FUZZ_CHECK(common::foldedEqual(folded, line));
    FUZZ_CHECK(common::foldedHash(folded) == common::foldedHash(line));
    return 0;
}
