// The fields of one access-log line.
#include "analysis/logline.h"

#include <algorithm>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "common/apperror.h"
#include "common/bytes.h"
#include "common/intconv.h"
#include "common/textpos.h"

namespace analysis {

using common::TextCopy;
using common::TextPos;

namespace {

constexpr auto kWhole = static_cast<std::ptrdiff_t>(0x7fffffffffffffffLL);

bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
using common::isLeadByte;
bool isTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFC && c != 0x7F; }

// "[dd/Mmm/yyyy:" at p, with at least 13 bytes from p to end.
bool opensTimeStamp(const char* p) {
    return isDigit(p[1]) && isDigit(p[2]) && p[3] == '/' && isLetter(p[4]) && isLetter(p[5]) && isLetter(p[6]) &&
           p[7] == '/' && isDigit(p[8]) && isDigit(p[9]) && isDigit(p[10]) && isDigit(p[11]) && p[12] == ':';
}

// 1-based position in the rest that begins at line index restStart, of a line index found there.
std::ptrdiff_t inRest(std::size_t index, std::size_t restStart) {
    return index == LogLine::npos ? 0 : static_cast<std::ptrdiff_t>(index - restStart) + 1;
}

}  // namespace

void LogLine::scan(std::string_view line) {
    line_ = line;
    quotes_.clear();
    walked_ = 0;
    backslashes_ = 0;
    const char* begin = line.data();
    const std::size_t n = line.size();
    status_ = npos;
    auto quoteAt = [&](std::size_t at) {
        // Any quote, escaped or not, can be the one before the status field: " 200" and a blank or the end.
        if (status_ == npos && n - at >= 5 && begin[at + 1] == ' ' && isDigit(begin[at + 2]) &&
            isDigit(begin[at + 3]) && isDigit(begin[at + 4]) && (n - at == 5 || begin[at + 5] == ' '))
            status_ = at + 2;
        if (at == 0 || begin[at - 1] != '\\' || !escaped(at)) quotes_.push_back(at);
    };
    std::size_t i = 0;
#ifdef __SSE2__
    // A line holds a quote every 20 to 30 bytes: a block of 16 is tested at once rather than one call
    // per quote.
    const __m128i quote = _mm_set1_epi8('"');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(begin + i));
        for (auto m = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, quote))); m != 0; m &= m - 1)
            quoteAt(i + static_cast<std::size_t>(__builtin_ctz(m)));
    }
#endif
    for (; i < n; ++i)
        if (begin[i] == '"') quoteAt(i);
}

void LogLine::narrow(std::size_t begin, std::size_t end) {
    if (begin == 0 && end == line_.size()) return;
    line_ = line_.substr(begin, end - begin);
    // Quotes come in order: those after the part go from the back, the rest move by begin.
    while (!quotes_.empty() && quotes_.back() >= end) quotes_.pop_back();
    if (begin > 0) {
        std::size_t before = 0;
        while (before < quotes_.size() && quotes_[before] < begin) ++before;
        quotes_.erase(quotes_.begin(), quotes_.begin() + static_cast<std::ptrdiff_t>(before));
        for (std::size_t& q : quotes_) q -= begin;
    }
    // The status quote is the line's first one that a status follows (none lies before a core).
    status_ = status_ != npos && status_ >= begin && status_ + 3 <= end ? status_ - begin : npos;
}

// Walks the line character by character from where the last walk stopped: only there is it known
// whether a 0x5C byte is a backslash or the second byte of a Shift-JIS character. Quotes come in
// order, so the whole line is walked at most once.
bool LogLine::escaped(std::size_t quote) {
    while (walked_ < quote) {
        const auto c = static_cast<unsigned char>(line_[walked_]);
        if (isLeadByte(c) && walked_ + 1 < quote && isTrailByte(static_cast<unsigned char>(line_[walked_ + 1]))) {
            backslashes_ = 0;
            walked_ += 2;
        } else {
            backslashes_ = c == '\\' ? backslashes_ + 1 : 0;
            ++walked_;
        }
    }
    // The quote itself ends any run of backslashes.
    const bool odd = backslashes_ % 2 == 1;
    backslashes_ = 0;
    ++walked_;
    return odd;
}

std::size_t LogLine::find(std::string_view marker, std::size_t from) const {
    // Every marker is three bytes or more: its second byte rules out most quotes without a call.
    for (std::size_t q : quotes_)
        if (q >= from && line_.size() - q >= marker.size() && line_[q + 1] == marker[1] &&
            std::memcmp(line_.data() + q + 2, marker.data() + 2, marker.size() - 2) == 0)
            return q;
    return npos;
}

std::size_t LogLine::findOpener(std::size_t from) const {
    // A quote after a blank is never an escaped one, so the kept quotes hold every opener.
    for (std::size_t q : quotes_)
        if (q >= from + 1 && line_[q - 1] == ' ') return q - 1;
    return npos;
}

std::size_t timeStampAt(std::string_view line) {
    const char* begin = line.data();
    const char* end = begin + line.size();
    for (const char* p = begin; p < end; ++p) {
        p = static_cast<const char*>(std::memchr(p, '[', static_cast<std::size_t>(end - p)));
        if (!p) break;
        if (end - p >= 13 && opensTimeStamp(p)) return static_cast<std::size_t>(p - begin);
    }
    return LogLine::npos;
}

std::string_view ExtractTime(std::string_view line) {
    const char* begin = line.data();
    const char* end = begin + line.size();
    const char* first = nullptr;
    for (const char* p = begin; p < end;) {
        const void* b = std::memchr(p, '[', static_cast<std::size_t>(end - p));
        if (!b) break;
        p = static_cast<const char*>(b);
        if (!first) first = p;
        if (end - p >= 13 && opensTimeStamp(p)) return TextCopy(line, p - begin + 1, 28);
        ++p;
    }
    return TextCopy(line, first ? first - begin + 1 : 0, 28);
}

std::int32_t ExtractHour(std::string_view timeField) {
    const std::string_view digits = TextCopy(timeField, 14, 2);
    if (digits.size() == 2 && isDigit(digits[0]) && isDigit(digits[1]))
        return (digits[0] - '0') * 10 + (digits[1] - '0');
    return common::toInt(digits);
}

std::string_view ExtractHost(std::string_view line) { return TextCopy(line, 1, TextPos(" ", line) - 1); }

std::ptrdiff_t protocolPos(std::string_view s) {
    const char* p = s.data();
    const char* end = p + s.size();
    while (end - p >= 5) {
        const void* b = std::memchr(p, ' ', static_cast<std::size_t>(end - p - 4));
        if (!b) return 0;
        p = static_cast<const char*>(b);
        if (std::memcmp(p + 1, "HTTP", 4) == 0) return p - s.data() + 1;
        ++p;
    }
    return 0;
}

std::string_view ExtractGetPath(std::string_view line, std::string_view getRest, std::ptrdiff_t getStart) {
    return TextCopy(line, getStart + 4, protocolPos(getRest) - 5);
}

std::string_view GetPath(const LogLine& line, std::size_t getQuote) {
    const auto getStart = static_cast<std::ptrdiff_t>(getQuote) + 2;
    return ExtractGetPath(line.text(), line.text().substr(getQuote + 1), getStart);
}

std::string_view Referrer(const LogLine& line, std::size_t getQuote) {
    const std::size_t restStart = getQuote + 1;
    const std::ptrdiff_t s = inRest(line.findOpener(restStart), restStart) + 2;
    const std::ptrdiff_t e = inRest(line.find(kFieldSeparator, restStart), restStart);
    return TextCopy(line.text().substr(restStart), s, e - s);
}

std::string_view UserAgent(const LogLine& line, std::size_t getQuote) {
    const std::size_t restStart = getQuote + 1;
    return TextCopy(line.text().substr(restStart), inRest(line.find(kFieldSeparator, restStart), restStart) + 2,
                    kWhole);
}

std::string_view PostPath(const LogLine& line, std::size_t postQuote) {
    // The POST rest begins after the quote; the path after the quote, "POST" and a blank.
    const auto q = static_cast<std::ptrdiff_t>(postQuote) + 1;
    return TextCopy(line.text(), q + 6, protocolPos(line.text().substr(postQuote + 1)) - 6);
}

std::string_view OwnRequestPath(const LogLine& line) {
    const std::size_t m = line.firstQuote();
    if (m == LogLine::npos) return {};
    const std::string_view rest = line.text().substr(m + 1);
    const std::ptrdiff_t b = TextPos(" ", rest);
    if (b == 0) return {};
    return TextCopy(rest, b + 1, protocolPos(rest) - b - 1);
}

std::int64_t ByteCount(const LogLine& line) {
    const std::size_t q = line.find(k200PosMarker);
    const std::string_view t = TextCopy(line.text(), q == LogLine::npos ? 6 : static_cast<std::ptrdiff_t>(q) + 7,
                                        kWhole);
    const std::ptrdiff_t blank = TextPos(" ", t);
    // A count that ends the line (common log format) runs to the end of the line.
    const std::string_view field = blank > 0 ? TextCopy(t, 1, blank - 1) : t;
    if (field == "-") return 0;  // Apache's "no body bytes"
    if (!field.empty() && field.size() <= 18) {
        std::int64_t v = 0;  // the usual plain count, read without the general rules
        std::size_t i = 0;
        for (; i < field.size() && isDigit(field[i]); ++i) v = v * 10 + (field[i] - '0');
        if (i == field.size()) return v;
    }
    auto v = common::tryToInt64(field);
    if (!v) throw common::AppError(common::formatMessage(common::msg::notInteger(), {field}));
    return *v;
}

Status statusOf(const LogLine& l) {
    if (l.find(k200Marker) != LogLine::npos) return Status::Ok;
    if (l.find(k403Marker) != LogLine::npos) return Status::Forbidden;
    if (l.find(k404Marker) != LogLine::npos) return Status::NotFound;
    return Status::Other;
}

}  // namespace analysis
