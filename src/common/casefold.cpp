// Letter case folding for Shift-JIS text.
#include "common/casefold.h"

#include <cstring>

namespace common {

namespace {
inline unsigned char lower(unsigned char c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; }

// Calls f(folded byte) for every byte of text.
template <class F>
inline void forEachFolded(std::string_view text, F f) {
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            f(lower(c));
        } else if (isLeadByte(c) && i + 1 < n) {
            f(c);
            f(p[++i]);
        } else {
            f(c);
        }
    }
}
}  // namespace

std::string foldCase(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    forEachFolded(text, [&](unsigned char c) { out.push_back(static_cast<char>(c)); });
    return out;
}

bool foldedEqual(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a.empty()) return true;  // an empty field may be a view without data, which memcmp must not get
    if (std::memcmp(a.data(), b.data(), a.size()) == 0) return true;  // the usual case in a log
    const auto* p = reinterpret_cast<const unsigned char*>(a.data());
    const auto* q = reinterpret_cast<const unsigned char*>(b.data());
    const std::size_t n = a.size();
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char c = p[i], d = q[i];
        if (c == d) {
            // Equal bytes stay equal after folding, but a lead byte decides how the next one folds.
            if (isLeadByte(c) && i + 1 < n) {
                if (p[i + 1] != q[i + 1]) return false;
                ++i;
            }
            continue;
        }
        if (c >= 0x80 || d >= 0x80 || lower(c) != lower(d)) return false;
    }
    return true;
}

namespace {
// ASCII upper-case letters of eight bytes below 0x80 made lower case, all at once.
inline std::uint64_t lowerAscii8(std::uint64_t x) {
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    const std::uint64_t geA = x + ones * (0x80 - 'A');
    const std::uint64_t gtZ = x + ones * (0x7F - 'Z');
    return x | ((geA & ~gtZ & ones * 0x80) >> 2);
}
inline std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
    h = (h ^ v) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 32);
}
}  // namespace

std::uint64_t foldedHash(std::string_view text) {
    const char* p = text.data();
    std::size_t n = text.size();
    std::uint64_t h = 0xcbf29ce484222325ull ^ n;
    // Eight bytes at a time while they are all ASCII; from the first other byte on, byte by byte.
    while (n >= 8) {
        std::uint64_t v;
        std::memcpy(&v, p, 8);
        if (v & 0x8080808080808080ull) break;
        h = mix(h, lowerAscii8(v));
        p += 8;
        n -= 8;
    }
    if (n < 8) {
        // The short ASCII rest of most hosts and paths: one word, folded at once.
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < n; ++i)
            v |= static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
        if (!(v & 0x8080808080808080ull)) return mix(h, lowerAscii8(v));
    }
    std::uint64_t tail = 0;
    int shift = 0;
    forEachFolded(std::string_view(p, n), [&](unsigned char c) {
        tail |= static_cast<std::uint64_t>(c) << shift;
        shift += 8;
        if (shift == 64) {
            h = mix(h, tail);
            tail = 0;
            shift = 0;
        }
    });
    return mix(h, tail);
}

}  // namespace common
