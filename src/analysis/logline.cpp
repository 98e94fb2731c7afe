// The fields of one access-log line.
#include "analysis/logline.h"

#include "common/apperror.h"
#include "common/intconv.h"
#include "common/textpos.h"

namespace analysis {

using common::TextCopy;
using common::TextPos;

namespace {
constexpr auto kWhole = static_cast<std::ptrdiff_t>(0x7fffffffffffffffLL);
}

std::string_view ExtractTime(std::string_view line) { return TextCopy(line, TextPos("[", line), 28); }

std::int32_t ExtractHour(std::string_view timeField) {
    const std::string_view digits = TextCopy(timeField, 14, 2);
    if (digits.size() == 2 && digits[0] >= '0' && digits[0] <= '9' && digits[1] >= '0' && digits[1] <= '9')
        return (digits[0] - '0') * 10 + (digits[1] - '0');
    return common::toInt(digits);
}

std::string_view ExtractHost(std::string_view line) { return TextCopy(line, 1, TextPos(" ", line) - 1); }

std::string_view ExtractGetPath(std::string_view line, std::string_view getRest, std::ptrdiff_t getStart) {
    return TextCopy(line, getStart + 4, TextPos(kProtocolMarker, getRest) - 5);
}

std::string_view GetRest(std::string_view line, std::ptrdiff_t getStart) { return TextCopy(line, getStart, kWhole); }

std::string_view PostRest(std::string_view line, std::ptrdiff_t postPos) { return TextCopy(line, postPos + 1, kWhole); }

std::string_view PostPath(std::string_view line, std::ptrdiff_t postPos) {
    return TextCopy(line, postPos + 6, TextPos(kProtocolMarker, PostRest(line, postPos)) - 6);
}

std::string_view Referrer(std::string_view getRest) {
    const std::ptrdiff_t s = TextPos(kReferrerOpener, getRest) + 2;
    const std::ptrdiff_t e = TextPos(kFieldSeparator, getRest);
    return TextCopy(getRest, s, e - s);
}

std::string_view UserAgent(std::string_view getRest) {
    return TextCopy(getRest, TextPos(kFieldSeparator, getRest) + 2, kWhole);
}

std::string_view OwnRequestPath(std::string_view line) {
    const std::ptrdiff_t m = TextPos("\"", line);
    if (m == 0) return {};
    const std::string_view rest = TextCopy(line, m + 1, kWhole);
    const std::ptrdiff_t b = TextPos(" ", rest);
    if (b == 0) return {};
    return TextCopy(rest, b + 1, TextPos(kProtocolMarker, rest) - b - 1);
}

std::int64_t ByteCount(std::string_view line) { return ByteCountAt(line, TextPos(k200PosMarker, line)); }

std::int64_t ByteCountAt(std::string_view line, std::ptrdiff_t pos200) {
    const std::string_view t = TextCopy(line, pos200 + 6, kWhole);
    const std::ptrdiff_t blank = TextPos(" ", t);
    // A count that ends the line (common log format) runs to the end of the line.
    const std::string_view field = blank > 0 ? TextCopy(t, 1, blank - 1) : t;
    if (field == "-") return 0;  // Apache's "no body bytes"
    if (!field.empty() && field.size() <= 18) {
        std::int64_t v = 0;  // the usual plain count, read without the general rules
        std::size_t i = 0;
        for (; i < field.size() && field[i] >= '0' && field[i] <= '9'; ++i) v = v * 10 + (field[i] - '0');
        if (i == field.size()) return v;
    }
    auto v = common::tryToInt64(field);
    if (!v) throw common::AppError(common::formatMessage(common::msg::notInteger(), {field}));
    return *v;
}

}  // namespace analysis
