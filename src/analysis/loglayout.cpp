// Line layouts: the shape of a line, detection from a log's first lines, and the combined core.
#include "analysis/loglayout.h"

#include <arpa/inet.h>

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "analysis/lines.h"
#include "analysis/logline.h"
#include "common/cp932.h"

namespace analysis {

namespace {

// The classes of a byte, looked up once per byte: the prefix is tested on every line of a vhost log.
enum : std::uint8_t { kDigit = 1, kLetter = 2, kNamePunct = 4, kHexLetter = 8, kV6Punct = 16 };
constexpr std::array<std::uint8_t, 256> kClass = [] {
    std::array<std::uint8_t, 256> c{};
    for (int b = '0'; b <= '9'; ++b) c[b] = kDigit;
    for (int b = 'a'; b <= 'z'; ++b) c[b] = kLetter;
    for (int b = 'A'; b <= 'Z'; ++b) c[b] = kLetter;
    for (int b : {'a', 'b', 'c', 'd', 'e', 'f', 'A', 'B', 'C', 'D', 'E', 'F'}) c[b] |= kHexLetter;
    c['.'] = kNamePunct | kV6Punct;
    c['-'] = c['_'] = kNamePunct;
    c[':'] = c['%'] = kV6Punct;
    return c;
}();
std::uint8_t classOf(char c) { return kClass[static_cast<unsigned char>(c)]; }
bool isDigit(char c) { return classOf(c) & kDigit; }

// A host name as a server writes its own name: name bytes only, with a letter somewhere.
bool isHostName(std::string_view s) {
    unsigned seen = 0;
    for (char c : s) {
        const unsigned k = classOf(c);
        if (!(k & (kDigit | kLetter | kNamePunct))) return false;
        seen |= k;
    }
    return (seen & kLetter) != 0;
}

// Four parts of one to three digits, with a dot between each two.
bool isIpv4(std::string_view s);

#ifdef __SSE2__
// The same, for s whose buffer can be read on to end: the digits and dots of 16 bytes as masks.
bool isIpv4Within(std::string_view s, const char* end) {
    if (s.size() > 15 || s.size() < 7 || end - s.data() < 16) return isIpv4(s);
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s.data()));
    const __m128i d = _mm_sub_epi8(v, _mm_set1_epi8('0'));
    // Digits: 0 to 9 after the subtraction, as unsigned bytes (min with 9 leaves them as they are).
    const auto digits = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(d, _mm_set1_epi8(9)), d)));
    const auto dots = static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8('.'))));
    const std::uint32_t all = (std::uint32_t{1} << s.size()) - 1;
    const std::uint32_t dg = digits & all, dt = dots & all;
    if ((dg | dt) != all) return false;
    // Three dots, none first or last, none beside another; no run of four digits.
    std::uint32_t rest = dt;
    for (int k = 0; k < 3; ++k) {
        if (rest == 0) return false;
        rest &= rest - 1;
    }
    return rest == 0 && !(dt & 1) && !(dt >> (s.size() - 1)) && !(dt & (dt >> 1)) &&
           !(dg & (dg >> 1) & (dg >> 2) & (dg >> 3));
}
#else
bool isIpv4Within(std::string_view s, const char*) { return isIpv4(s); }
#endif

bool isIpv4(std::string_view s) {
    const char* p = s.data();
    const char* const end = p + s.size();
    for (int part = 0; part < 4; ++part) {
        int digits = 0;
        while (p < end && digits < 4 && static_cast<unsigned char>(*p - '0') <= 9) {
            ++p;
            ++digits;
        }
        if (digits == 0 || digits > 3) return false;
        if (part < 3) {
            if (p == end || *p != '.') return false;
            ++p;
        }
    }
    return p == end;
}

bool isIpv6(std::string_view s) {
    if (s.size() < 2 || s.find(':') == std::string_view::npos) return false;
    for (char c : s)
        if (!(classOf(c) & (kDigit | kHexLetter | kV6Punct))) return false;
    return true;
}

// What a server writes for %v or %v:%p: its name, or any address with a port.
std::string_view withoutPort(std::string_view s) {
    const std::size_t colon = s.rfind(':');
    if (colon == std::string_view::npos || colon + 1 == s.size() || s.size() - colon > 6) return s;
    for (std::size_t i = colon + 1; i < s.size(); ++i)
        if (!isDigit(s[i])) return s;
    return s.substr(0, colon);
}
bool isVirtualHost(std::string_view s) {
    const std::string_view name = withoutPort(s);
    if (name.empty()) return false;
    if (name.size() < s.size()) return isHostName(name) || isIpv4(name);
    return isHostName(name);
}
// What a server writes for %h: an address, or a name when it looks names up. s lies in a buffer that
// can be read on to end.
bool isClient(std::string_view s, const char* end) {
    if (s.empty()) return false;
    // One look at the first byte picks the one test that can hold: a name has a letter somewhere.
    const std::uint8_t k = classOf(s[0]);
    if (k & kDigit) return isIpv4Within(s, end) || isIpv6(s) || isHostName(s);
    if (k & (kHexLetter | kV6Punct)) return isIpv6(s) || isHostName(s);
    return isHostName(s);
}

// Whether a and b hold the same bytes; for short texts such as host names, without a call.
bool sameBytes(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    std::size_t i = 0;
    for (; i + 8 <= a.size(); i += 8) {
        std::uint64_t x, y;
        std::memcpy(&x, a.data() + i, 8);
        std::memcpy(&y, b.data() + i, 8);
        if (x != y) return false;
    }
    for (; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// The same site's name on line after line is tested once; name is then its name without the port.
bool isVirtualHostSeen(std::string_view s, std::string_view& name) {
    // Plain bytes rather than a string: a thread's own string is looked up through a call each time.
    thread_local char last[256];
    thread_local std::size_t lastSize = 0, lastName = 0;
    if (!sameBytes(s, std::string_view(last, lastSize))) {
        if (!isVirtualHost(s)) return false;
        name = withoutPort(s);
        if (s.size() > sizeof last) return true;
        std::memcpy(last, s.data(), s.size());
        lastSize = s.size();
        lastName = name.size();
        return true;
    }
    name = s.substr(0, lastName);
    return true;
}
bool isVirtualHostSeen(std::string_view s) {
    std::string_view name;
    return isVirtualHostSeen(s, name);
}

// How one line is laid out, if it has a layout of ours at all.
struct Shape {
    // The fields after the time stamp fit: request, status, byte count, then a referrer and agent or
    // nothing, then maybe more (layout.common, layout.trailing).
    bool fits = false;
    LogLayout layout;              // layout.virtualHost: the fields before the time stamp have one
    std::size_t clientAt = 0;      // where the client address begins (after a virtual host)
    std::size_t end = 0;           // where the core ends, when the fields fit
    std::string_view virtualHost;  // as written, port included
};

// The request, status and byte count after the time stamp, then a referrer and agent or nothing.
void shapeFields(const LogLine& l, std::size_t stampAt, Shape& shape) {
    const std::string_view s = l.text();
    const std::size_t open = stampAt + 29;  // "[" + 26 + "]" + " "
    if (open >= s.size() || s[open - 1] != ' ' || s[open] != '"' || s[stampAt + 27] != ']') return;
    const std::vector<std::size_t>& quotes = l.quotes();
    std::size_t q = 0;
    while (q < quotes.size() && quotes[q] < open) ++q;
    if (q + 1 >= quotes.size() || quotes[q] != open) return;
    // Status: a blank, three digits, a blank; then the byte count, digits or "-".
    std::size_t at = quotes[q + 1] + 1;
    if (s.size() - at < 6 || s[at] != ' ' || !isDigit(s[at + 1]) || !isDigit(s[at + 2]) || !isDigit(s[at + 3]) ||
        s[at + 4] != ' ')
        return;
    at += 5;
    const std::size_t bytesAt = at;
    while (at < s.size() && isDigit(s[at])) ++at;
    if (at == bytesAt && s.substr(at, 1) == "-") ++at;
    if (at == bytesAt || (at < s.size() && s[at] != ' ')) return;
    shape.fits = true;
    shape.end = at;
    shape.layout.common = true;
    if (at == s.size()) return;
    // Referrer and agent: two quoted fields with one blank between; anything else follows a common core.
    const std::size_t r = q + 2;
    if (r + 3 < quotes.size() && quotes[r] == at + 1 && s[quotes[r + 1] + 1] == ' ' &&
        quotes[r + 2] == quotes[r + 1] + 2) {
        const std::size_t close = quotes[r + 3];
        if (close + 1 == s.size() || s[close + 1] == ' ') {
            shape.layout.common = false;
            shape.end = close + 1;
            shape.layout.trailing = close + 1 < s.size();
            return;
        }
    }
    shape.layout.trailing = true;
}

// The blank-separated fields before the time stamp at stampAt (whose byte before is a blank): client,
// identity, user (a user may hold blanks), and a virtual host before them. Their number (counted up
// to four at least), the first two in first; 0 when two blanks come in a row or the line begins with one.
std::size_t fieldsBefore(std::string_view line, std::size_t stampAt, std::array<std::string_view, 2>& first) {
#ifdef __SSE2__
    // The fields of most lines lie in their first 64 bytes: their blanks are found as one mask.
    if (stampAt <= 64) {
        std::uint64_t blanks = 0;
        std::size_t i = 0;
        const __m128i blank = _mm_set1_epi8(' ');
        // The line goes on at least 13 bytes after its stamp: the last block mostly lies inside it.
        for (; i < stampAt && i + 16 <= line.size(); i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + i));
            blanks |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, blank))))
                      << i;
        }
        for (; i < stampAt; ++i)
            if (line[i] == ' ') blanks |= std::uint64_t{1} << i;
        if (stampAt < 64) blanks &= (std::uint64_t{1} << stampAt) - 1;
        if ((blanks & 1) || (blanks & (blanks >> 1))) return 0;
        const auto a = static_cast<std::size_t>(std::countr_zero(blanks));
        first[0] = std::string_view(line.data(), a);
        const std::uint64_t rest = blanks & (blanks - 1);
        if (rest)
            first[1] = std::string_view(line.data() + a + 1, static_cast<std::size_t>(std::countr_zero(rest)) - a - 1);
        // Up to four: no reader asks for more.
        std::size_t n = 0;
        for (; blanks != 0 && n < 4; ++n) blanks &= blanks - 1;
        return n;
    }
#endif
    std::size_t fields = 0, from = 0;
    const char* begin = line.data();
    for (const char* p = begin; p < begin + stampAt; ++p) {
        p = static_cast<const char*>(std::memchr(p, ' ', stampAt - static_cast<std::size_t>(p - begin)));
        if (!p) break;
        const auto i = static_cast<std::size_t>(p - begin);
        if (i == from) return 0;  // two blanks in a row, or a blank first
        if (fields < first.size()) first[fields] = line.substr(from, i - from);
        ++fields;
        from = i + 1;
    }
    return fields;
}

// l is left holding line scanned, or untouched when the line has no time stamp or fields before it.
Shape shapeOf(std::string_view line, LogLine& l, bool& scanned) {
    Shape shape;
    scanned = false;
    const std::size_t stampAt = timeStampAt(line);
    if (stampAt == LogLine::npos || stampAt < 6 || line[stampAt - 1] != ' ') return shape;
    std::array<std::string_view, 2> first;
    const std::size_t fields = fieldsBefore(line, stampAt, first);
    if (fields < 3) return shape;
    l.scan(line);
    scanned = true;
    shapeFields(l, stampAt, shape);
    // The prefix is told apart by the fields before the time stamp alone, so that a line whose end
    // is cut off still counts for the visitor rather than for the site.
    if (fields >= 4 && isVirtualHostSeen(first[0]) && isClient(first[1], line.data() + line.size())) {
        shape.layout.virtualHost = true;
        shape.virtualHost = first[0];
        shape.clientAt = first[0].size() + 1;
    }
    return shape;
}

struct Named {
    std::string_view name;
    LogLayout layout;
};
constexpr std::array<Named, 8> kLayouts = {{
    {"combined", {false, false, false}},
    {"common", {false, true, false}},
    {"vhost-combined", {true, false, false}},
    {"vhost-common", {true, true, false}},
    {"combined-extra", {false, false, true}},
    {"common-extra", {false, true, true}},
    {"vhost-combined-extra", {true, false, true}},
    {"vhost-common-extra", {true, true, true}},
}};

bool isValidAddress(std::string_view s) {
    if (s.empty() || s.size() > 45) return false;
    const std::string text(s);
    unsigned char out[16];
    return inet_pton(AF_INET, text.c_str(), out) == 1 || inet_pton(AF_INET6, text.c_str(), out) == 1;
}

// The first address of the first trailing field that is an address list ("203.0.113.5, 10.0.0.1"),
// quoted or bare; empty when none is.
std::string_view forwardedClient(std::string_view trailing) {
    std::size_t at = 0;
    while (at < trailing.size()) {
        while (at < trailing.size() && trailing[at] == ' ') ++at;
        const bool quoted = at < trailing.size() && trailing[at] == '"';
        const std::size_t from = at + (quoted ? 1 : 0);
        std::size_t end = trailing.find(quoted ? '"' : ' ', from);
        if (end == std::string_view::npos) end = trailing.size();
        std::string_view first = trailing.substr(from, end - from);
        first = first.substr(0, first.find(','));
        if (isValidAddress(first)) return first;
        at = end + 1;
    }
    return {};
}

}  // namespace

std::string LogLayout::name() const {
    for (const Named& n : kLayouts)
        if (n.layout.sameLayout(*this)) return std::string(n.name);
    return "combined";
}

std::string LogLayout::description() const {
    std::u8string what;
    auto add = [&](std::u8string_view part) {
        if (!what.empty()) what += u8"、";
        what += part;
    };
    if (common) add(u8"リファラ・エージェントの欄なし");
    if (virtualHost) add(u8"先頭のバーチャルホストを除外");
    if (trailing) add(common ? u8"転送量の後の欄を除外" : u8"エージェントの後の欄を除外");
    if (clientFromForwarded) add(u8"ホストは X-Forwarded-For");
    std::string text = name();
    if (!what.empty()) text += common::cp932(u8"（" + what + u8"）");
    return text;
}

LogLayout::Cut LogLayout::cut(std::string_view line) const {
    thread_local LogLine l;
    return cut(line, l);
}

LogLayout::Cut LogLayout::cut(std::string_view line, LogLine& l) const {
    Cut c{line, {}, {}, false, {}};
    // The fields before the time stamp, as shapeOf reads them; a line that has none of ours is its
    // own core.
    const std::size_t stampAt = cuts() ? timeStampAt(line) : LogLine::npos;
    std::array<std::string_view, 2> first;
    const std::size_t fields = stampAt == LogLine::npos || stampAt < 6 || line[stampAt - 1] != ' '
                                   ? 0
                                   : fieldsBefore(line, stampAt, first);
    if (fields < 3) {
        l.scan(line);
        c.host = ExtractHost(line);
        return c;
    }
    // Only the virtual host comes before the core, and it holds no quote, backslash or Shift-JIS
    // byte: the core scanned alone is the line scanned and narrowed.
    std::size_t begin = 0;
    std::string_view client = first[0];
    std::string_view name;
    if (virtualHost && fields >= 4 && isVirtualHostSeen(first[0], name) && isClient(first[1], line.data() + line.size())) {
        begin = first[0].size() + 1;
        c.virtualHost = name;
        client = first[1];
    }
    const std::string_view rest = line.substr(begin);
    l.scan(rest);
    Shape shape;
    // Where the end of the line matters to the layout: the fields after the stamp.
    if (trailing || common || clientFromForwarded) shapeFields(l, stampAt - begin, shape);
    const bool tail = shape.fits && shape.layout.trailing;
    const std::size_t end = trailing && tail ? shape.end : rest.size();
    c.core = rest.substr(0, end);
    if (end < rest.size()) l.narrow(0, end);
    // The time stamp is the core's first, and the client its text before the first blank.
    c.time = c.core.substr(stampAt - begin, 28);
    if (clientFromForwarded && tail) c.host = forwardedClient(rest.substr(shape.end));
    c.noFields = common && shape.fits && shape.layout.common;
    if (c.host.empty()) c.host = client;
    return c;
}

std::optional<LogLayout> layoutNamed(std::string_view name) {
    if (name == "vhost") return LogLayout{true, false, false};
    for (const Named& n : kLayouts)
        if (n.name == name) return n.layout;
    return std::nullopt;
}

std::string layoutNames() {
    std::string names;
    for (const Named& n : kLayouts) names.append(names.empty() ? "" : "|").append(n.name);
    return names + "|vhost";
}

LogLayout detectLayout(const LineSource& lines, std::size_t sample) {
    std::array<std::size_t, kLayouts.size()> votes{};
    std::size_t seen = 0;
    std::string line;
    LogLine scanLine;
    for (std::size_t i = 0; i < lines.size() && seen < sample; ++i) {
        line.clear();
        lines.appendPrefix(i, line, 65536);
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        ++seen;
        bool scanned = false;
        const Shape shape = shapeOf(line, scanLine, scanned);
        if (!shape.fits) continue;  // a line of no layout of ours votes for none
        for (std::size_t k = 0; k < kLayouts.size(); ++k)
            if (kLayouts[k].layout == shape.layout) ++votes[k];
    }
    for (std::size_t k = 0; k < kLayouts.size(); ++k)
        if (seen > 0 && votes[k] * 100 >= seen * 95) return kLayouts[k].layout;
    return {};
}

}  // namespace analysis
