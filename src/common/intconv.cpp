// Text to number conversions with the program's rules and messages.
#include "common/intconv.h"

#include <charconv>

#include "common/apperror.h"
#include "common/bytes.h"

namespace common {

namespace {

// bits is 32 or 64: the decimal range and the hex digit limit follow from it.
std::optional<std::int64_t> parse(std::string_view s, int bits) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    bool hex = false;
    if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        hex = true;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i >= s.size()) return std::nullopt;
    if (hex) {
        const std::size_t maxDigits = bits == 32 ? 8 : 16;
        std::uint64_t v = 0;
        std::size_t digits = 0;
        for (; i < s.size(); ++i) {
            const int d = hexValue(s[i]);
            if (d < 0 || ++digits > maxDigits) return std::nullopt;
            v = v << 4 | static_cast<unsigned>(d);
        }
        // Hex digits give the bit pattern, as a two's complement value of the width.
        std::int64_t value = bits == 32 ? static_cast<std::int32_t>(static_cast<std::uint32_t>(v))
                                        : static_cast<std::int64_t>(v);
        return negative ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(value)) : value;
    }
    const std::uint64_t limit = bits == 32 ? (negative ? 2147483648ull : 2147483647ull)
                                           : (negative ? 9223372036854775808ull : 9223372036854775807ull);
    std::uint64_t v = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return std::nullopt;
        const unsigned d = static_cast<unsigned>(s[i] - '0');
        if (v > (limit - d) / 10) return std::nullopt;
        v = v * 10 + d;
    }
    return negative ? static_cast<std::int64_t>(0 - v) : static_cast<std::int64_t>(v);
}

}  // namespace

std::optional<std::int32_t> tryToInt32(std::string_view text) {
    auto v = parse(text, 32);
    if (!v) return std::nullopt;
    return static_cast<std::int32_t>(*v);
}

std::optional<std::int64_t> tryToInt64(std::string_view text) { return parse(text, 64); }

std::int32_t toInt(std::string_view text) {
    auto v = tryToInt32(text);
    if (!v) throw AppError(formatMessage(msg::notInteger(), {text}));
    return *v;
}

double toFloat(std::string_view text) {
    std::size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    std::size_t i = b;
    auto digits = [&] {
        std::size_t n = 0;
        while (i < e && text[i] >= '0' && text[i] <= '9') ++i, ++n;
        return n;
    };
    if (i < e && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t mantissa = digits();
    if (i < e && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    bool ok = mantissa > 0;
    if (ok && i < e && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < e && (text[i] == '+' || text[i] == '-')) ++i;
        ok = digits() > 0;
    }
    if (!ok || i != e) throw AppError(formatMessage(msg::notFloat(), {text}));
    // from_chars is locale-independent (the windows run under the user's locale) but takes no "+".
    if (text[b] == '+') ++b;
    double value = 0;
    // A value beyond the range of a double is no number the box can hold.
    if (std::from_chars(text.data() + b, text.data() + e, value).ec != std::errc())
        throw AppError(formatMessage(msg::notFloat(), {text}));
    return value;
}

}  // namespace common
