// Letter case folding for Shift-JIS text.
#include "common/casefold.h"

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

std::uint64_t foldedHash(std::string_view text) {
    std::uint64_t h = 0xcbf29ce484222325ull;  // FNV-1a
    forEachFolded(text, [&](unsigned char c) { h = (h ^ c) * 0x100000001b3ull; });
    return h ^ (h >> 29);
}

}  // namespace common
