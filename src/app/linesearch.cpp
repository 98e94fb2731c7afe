// Finding text in a pane.
#include "app/linesearch.h"

#include <algorithm>
#include <bitset>
#include <chrono>
#include <cstring>
#include <re2/re2.h>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "common/bytes.h"
#include "common/cp932.h"
#include "qtedge/qtext.h"

namespace {

using common::isAscii;
using common::isLeadByte;

// The pairs of a lead and a trail byte that the decoder showing the text reads as one character. A lead
// byte before a byte that completes no character is shown alone (as U+FFFD), and that byte is then a
// character of its own: a space, say, or a letter the query may match.
class CharPairs {
public:
    CharPairs() {
        for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
            if (!isLeadByte(static_cast<unsigned char>(lead))) continue;
            for (unsigned trail = 0; trail < 256; ++trail) {
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                bits_[lead << 8 | trail] =
                    !common::utf8FromCp932(std::string_view(pair, 2)).starts_with("\xEF\xBF\xBD");
            }
        }
    }
    bool operator()(unsigned char lead, unsigned char trail) const {
        return bits_[static_cast<unsigned>(lead) << 8 | trail];
    }

private:
    std::bitset<65536> bits_;
};

const CharPairs& charPairs() {
    static const CharPairs pairs;
    return pairs;
}

bool isAscii(const QString& s) {
    for (QChar c : s)
        if (c.unicode() >= 0x80) return false;
    return true;
}

constexpr unsigned char lowerAscii(unsigned char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

}  // namespace

LineMatcher::LineMatcher(FindQuery query) : query_(std::move(query)) {
    if (query_.text.isEmpty()) return;
    if (query_.regex) {
        re2::RE2::Options options;
        options.set_case_sensitive(query_.caseSensitive);
        options.set_log_errors(false);
        const QByteArray pattern = query_.text.toUtf8();
        auto re = std::make_shared<re2::RE2>(re2::StringPiece(pattern.data(), static_cast<std::size_t>(pattern.size())),
                                             options);
        if (!re->ok()) {
            const bool tooBig = re->error_code() == re2::RE2::ErrorPatternTooLarge ||
                                re->error_code() == re2::RE2::ErrorRepeatSize;
            error_ = tooBig ? QStringLiteral("この正規表現は複雑すぎます") : QString::fromStdString(re->error());
            return;
        }
        re_ = std::move(re);
    } else if (!isAscii(query_.text)) {
        // ASCII characters fold to ASCII ones: a character that folds to one beyond ASCII matches none.
        for (QChar c : query_.text)
            if (c.unicode() >= 0x80 && (query_.caseSensitive || c.toCaseFolded().unicode() >= 0x80))
                needsNonAscii_ = true;
    } else {
        byteWise_ = true;
        for (int b = 0; b < 256; ++b)
            fold_[static_cast<std::size_t>(b)] = query_.caseSensitive ? static_cast<unsigned char>(b)
                                                                      : lowerAscii(static_cast<unsigned char>(b));
        needle_ = query_.text.toStdString();
        for (char& c : needle_) c = static_cast<char>(fold_[static_cast<unsigned char>(c)]);
        const std::size_t n = needle_.size();
        skip_.fill(n);
        for (std::size_t i = 0; i + 1 < n; ++i) skip_[static_cast<unsigned char>(needle_[i])] = n - 1 - i;
        const auto letterBit = [&](char c) -> unsigned char {
            return !query_.caseSensitive && c >= 'a' && c <= 'z' ? 0x20 : 0;
        };
        letterBit_ = {letterBit(needle_.front()), letterBit(needle_.back())};
    }
    usable_ = true;
}

// The needle's bytes between the first and the last, compared at a candidate place.
bool LineMatcher::restMatches(const unsigned char* at) const {
    const std::size_t n = needle_.size();
    if (n <= 2) return true;
    if (query_.caseSensitive) return std::memcmp(at + 1, needle_.data() + 1, n - 2) == 0;
    const auto* needle = reinterpret_cast<const unsigned char*>(needle_.data());
    for (std::size_t i = 1; i + 1 < n; ++i)
        if (fold_[at[i]] != needle[i]) return false;
    return true;
}

const char* LineMatcher::findBytes(const char* begin, const char* end) const {
    const std::size_t n = needle_.size();
    if (static_cast<std::size_t>(end - begin) < n) return nullptr;
    const auto* p = reinterpret_cast<const unsigned char*>(begin);
    const auto* stop = reinterpret_cast<const unsigned char*>(end);
#ifdef __SSE2__
    // Sixteen places at once: where both the first and the last byte of the needle are in place (a
    // letter's case bit set on both sides when the case is ignored), the rest is compared.
    const __m128i firstBit = _mm_set1_epi8(static_cast<char>(letterBit_[0]));
    const __m128i lastBit = _mm_set1_epi8(static_cast<char>(letterBit_[1]));
    const __m128i first = _mm_set1_epi8(needle_.front());
    const __m128i last = _mm_set1_epi8(needle_.back());
    while (static_cast<std::size_t>(stop - p) >= n + 15) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + n - 1));
        const __m128i both = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstBit), first),
                                           _mm_cmpeq_epi8(_mm_or_si128(b, lastBit), last));
        for (auto mask = static_cast<unsigned>(_mm_movemask_epi8(both)); mask != 0; mask &= mask - 1) {
            const unsigned char* at = p + __builtin_ctz(mask);
            if (restMatches(at)) return reinterpret_cast<const char*>(at);
        }
        p += 16;
    }
#endif
    return findBytesHorspool(p, stop);
}

const char* LineMatcher::findBytesHorspool(const unsigned char* p, const unsigned char* end) const {
    // On the compared forms of the bytes: the search where no vector instructions are, and the last
    // few places of a stretch where they are.
    const std::size_t n = needle_.size();
    if (static_cast<std::size_t>(end - p) < n) return nullptr;
    const auto* needle = reinterpret_cast<const unsigned char*>(needle_.data());
    const unsigned char last = needle[n - 1];
    const unsigned char* stop = end - n;
    while (p <= stop) {
        const unsigned char c = fold_[p[n - 1]];
        if (c == last) {
            std::size_t i = 0;
            while (i + 1 < n && fold_[p[i]] == needle[i]) ++i;
            if (i + 1 >= n) return reinterpret_cast<const char*>(p);
        }
        p += skip_[c];
    }
    return nullptr;
}

bool CharWalk::startsAt(std::size_t offset) {
    // A trail byte of a two-byte character can look like an ASCII letter or sign; a match must begin
    // where a character begins. The rest of an ASCII match then holds only whole characters.
    const auto* bytes = reinterpret_cast<const unsigned char*>(line_.data());
    while (at_ < offset) {
#ifdef __SSE2__
        // Sixteen bytes without a high bit are sixteen one-byte characters.
        if (offset - at_ >= 16 &&
            _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at_))) == 0) {
            at_ += 16;
            continue;
        }
#endif
        const unsigned char c = bytes[at_];
        at_ += isLeadByte(c) && at_ + 1 < line_.size() && charPairs()(c, bytes[at_ + 1]) ? 2 : 1;
    }
    return at_ == offset;
}

bool LineMatcher::isCharStart(std::string_view line, std::size_t offset) { return CharWalk(line).startsAt(offset); }

bool LineMatcher::bytesMatch(std::string_view line) const {
    const char* end = line.data() + line.size();
    CharWalk walk(line);
    for (const char* p = findBytes(line.data(), end); p; p = findBytes(p + 1, end))
        if (walk.startsAt(static_cast<std::size_t>(p - line.data()))) return true;
    return false;
}

bool LineMatcher::matches(std::string_view cp932Line) const {
    if (!usable_) return false;
    if (byteWise_) return bytesMatch(cp932Line);
    // ASCII is UTF-8 already, as RE2 reads it.
    if (re_ && isAscii(cp932Line))
        return re2::RE2::PartialMatch(re2::StringPiece(cp932Line.data(), cp932Line.size()), *re_);
    // ASCII bytes are the same characters in Latin-1, which Qt reads faster than code page 932.
    if (!isAscii(cp932Line)) return !findAll(toQString(cp932Line)).empty();
    if (needsNonAscii_) return false;
    return !findAll(QString::fromLatin1(cp932Line.data(), static_cast<qsizetype>(cp932Line.size()))).empty();
}

QString LineMatcher::regexSyntax() {
    return QStringLiteral("RE2 の正規表現です。どんな式でも行の長さに比例した時間で調べます。"
                          "後方参照 (\\1) と先読み・後読み ((?=...) など) は使えません");
}

std::vector<TextMatch> LineMatcher::regexMatches(const QString& text) const {
    // RE2 reads UTF-8; the places are given back in the QString's UTF-16 units, counted on as the
    // matches come in order.
    std::vector<TextMatch> out;
    const QByteArray utf8 = text.toUtf8();
    const re2::StringPiece whole(utf8.data(), static_cast<std::size_t>(utf8.size()));
    std::size_t byte = 0, unit = 0;
    const auto unitsUpTo = [&](std::size_t to) {
        for (; byte < to; ++byte) {
            const auto c = static_cast<unsigned char>(whole[byte]);
            if ((c & 0xC0) != 0x80) unit += c >= 0xF0 ? 2 : 1;
        }
        return unit;
    };
    std::size_t at = 0;
    re2::StringPiece m;
    while (at <= whole.size() && re_->Match(whole, at, whole.size(), re2::RE2::UNANCHORED, &m, 1)) {
        const auto start = static_cast<std::size_t>(m.data() - whole.data());
        const std::size_t end = start + m.size();
        if (m.empty()) {
            // An empty match is no place to show; go on after the character there.
            at = start + 1;
            while (at < whole.size() && (static_cast<unsigned char>(whole[at]) & 0xC0) == 0x80) ++at;
            continue;
        }
        const std::size_t from = unitsUpTo(start);
        out.push_back({static_cast<int>(from), static_cast<int>(unitsUpTo(end) - from)});
        at = end;
    }
    return out;
}

std::vector<TextMatch> LineMatcher::findAll(const QString& text) const {
    std::vector<TextMatch> out;
    if (!usable_) return out;
    if (query_.regex) return regexMatches(text);
    const Qt::CaseSensitivity cs = query_.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const auto n = query_.text.size();
    for (qsizetype at = text.indexOf(query_.text, 0, cs); at >= 0; at = text.indexOf(query_.text, at + n, cs))
        out.push_back({static_cast<int>(at), static_cast<int>(n)});
    return out;
}

LineSearch::LineSearch(analysis::PaneContent content, LineMatcher matcher, std::size_t origin,
                       std::function<void()> notify)
    : content_(std::move(content)), matcher_(std::move(matcher)), notify_(std::move(notify)) {
    thread_ = std::thread([this, origin] {
        run(origin);
        finished_ = true;
    });
}

LineSearch::~LineSearch() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
}

void LineSearch::take(std::vector<std::uint32_t>& head, std::vector<std::uint32_t>& tail, bool& done) {
    std::lock_guard lock(mutex_);
    head.insert(head.end(), head_.begin(), head_.end());
    tail.insert(tail.end(), tail_.begin(), tail_.end());
    head_.clear();
    tail_.clear();
    done = done_;
}

void LineSearch::found(std::uint32_t line, std::vector<std::uint32_t>& into) {
    found_.push_back(line);
    if (!told_) flush(into, true);  // the first match is shown at once
}

void LineSearch::flush(std::vector<std::uint32_t>& into, bool force) {
    const auto now = std::chrono::steady_clock::now();
    if (found_.empty() || (!force && now - lastTold_ < std::chrono::milliseconds(100))) return;
    {
        std::lock_guard lock(mutex_);
        into.insert(into.end(), found_.begin(), found_.end());
    }
    found_.clear();
    told_ = true;
    lastTold_ = now;
    notify_();
}

bool LineSearch::scanLog(const analysis::LogText& log, std::size_t first, std::size_t from, std::size_t to,
                         std::vector<std::uint32_t>& into) {
    // The lines of a log lie one after another in its buffer: the bytes are searched in stretches of
    // lines, not line by line, and each hit is placed in its line.
    constexpr std::size_t kStretch = 1 << 22;
    std::size_t i = from;
    while (i < to) {
        if (cancel_.load(std::memory_order_relaxed)) return false;
        std::size_t j = i;
        const char* begin = log[i].data();
        while (j < to && static_cast<std::size_t>(log[j].data() - begin) < kStretch) ++j;
        const char* end = log[j - 1].data() + log[j - 1].size();
        std::size_t k = i;
        CharWalk walk(log[k]);
        for (const char* p = matcher_.findBytes(begin, end); p; p = matcher_.findBytes(p, end)) {
            if (k + 1 < j && log[k + 1].data() <= p) {
                while (k + 1 < j && log[k + 1].data() <= p) ++k;
                walk = CharWalk(log[k]);
            }
            const std::string_view line = log[k];
            const auto offset = static_cast<std::size_t>(p - line.data());
            // A hit across a line break, or inside a character, is none; the next one in this line may be.
            if (offset + matcher_.needleSize() <= line.size() && walk.startsAt(offset)) {
                found(static_cast<std::uint32_t>(first + k), into);
                if (k + 1 >= j) break;
                p = log[++k].data();  // one entry per line: go on with the next line
                walk = CharWalk(log[k]);
            } else {
                ++p;
            }
        }
        flush(into, false);
        i = j;
    }
    return true;
}

bool LineSearch::scan(std::size_t from, std::size_t to, std::vector<std::uint32_t>& into) {
    for (const analysis::PaneContent::Run& run : content_.runs()) {
        const std::size_t a = std::max(from, run.first), b = std::min(to, run.first + run.count);
        if (a >= b) continue;
        const auto* log = dynamic_cast<const analysis::LogText*>(run.source);
        if (log && matcher_.byteWise()) {
            if (!scanLog(*log, run.first - run.offset, a - run.first + run.offset, b - run.first + run.offset, into))
                return false;
            continue;
        }
        std::size_t n = 0;
        const bool whole = content_.forRange(a, b, [&](std::size_t i, const std::string& line) {
            if (cancel_.load(std::memory_order_relaxed)) return false;
            if (matcher_.matches(line)) found(static_cast<std::uint32_t>(i), into);
            if (++n % 4096 == 0) flush(into, false);
            return true;
        });
        if (!whole) return false;
    }
    flush(into, true);
    return true;
}

void LineSearch::run(std::size_t origin) {
    const std::size_t total = content_.size();
    if (origin > total) origin = total;
    if (!scan(origin, total, tail_) || !scan(0, origin, head_)) return;
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    notify_();
}
