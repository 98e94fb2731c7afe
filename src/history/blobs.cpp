// Blobs of 64-bit little-endian numbers.
#include "history/blobs.h"

#include <algorithm>

namespace history {

namespace {

void put(std::string& out, std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

std::uint64_t get(std::string_view in, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
    return v;
}

}  // namespace

std::string encodeHours(const DayCounts& c) {
    std::string out;
    out.reserve(72 * 8);
    for (const auto* hours : {&c.hourConnections, &c.hourGets, &c.hourPosts})
        for (std::int64_t v : *hours) put(out, static_cast<std::uint64_t>(v));
    return out;
}

bool decodeHours(std::string_view blob, DayCounts& c) {
    if (blob.size() != 72 * 8) return false;
    std::size_t at = 0;
    for (auto* hours : {&c.hourConnections, &c.hourGets, &c.hourPosts})
        for (std::int64_t& v : *hours) {
            v = static_cast<std::int64_t>(get(blob, at));
            at += 8;
        }
    return true;
}

std::string encodeHashes(const std::vector<std::uint64_t>& hashes) {
    // The days hand their hashes over sorted already, and so their top halves too: those are read in
    // place. Others are sorted first.
    std::vector<std::uint32_t> top;
    const bool inOrder = std::is_sorted(hashes.begin(), hashes.end());
    if (!inOrder) {
        top.reserve(hashes.size());
        for (std::uint64_t h : hashes) top.push_back(static_cast<std::uint32_t>(h >> 32));
        std::sort(top.begin(), top.end());
    }
    const std::size_t n = inOrder ? hashes.size() : top.size();
    // At most five bytes a gap.
    std::string out(n * 5, '\0');
    char* p = out.data();
    std::uint32_t last = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint32_t h = inOrder ? static_cast<std::uint32_t>(hashes[i] >> 32) : top[i];
        // Each top half once (the first is written even when it is 0).
        if (h == last && p != out.data()) continue;
        // Seven bits a byte, the high bit set on every byte but the last.
        std::uint32_t gap = h - last;
        for (; gap >= 0x80; gap >>= 7) *p++ = static_cast<char>((gap & 0x7f) | 0x80);
        *p++ = static_cast<char>(gap);
        last = h;
    }
    out.resize(static_cast<std::size_t>(p - out.data()));
    return out;
}

namespace {

template <class T>
bool decodeGaps(std::string_view blob, std::vector<T>& out) {
    out.clear();
    std::uint64_t at = 0, gap = 0;
    int shift = 0;
    for (const char ch : blob) {
        const auto c = static_cast<unsigned char>(ch);
        if (shift > 28) return false;
        gap |= static_cast<std::uint64_t>(c & 0x7f) << shift;
        if (c & 0x80) {
            shift += 7;
            continue;
        }
        at += gap;
        if (at > 0xffffffffull || (gap == 0 && !out.empty())) return false;
        out.push_back(static_cast<T>(at));
        gap = 0;
        shift = 0;
    }
    return shift == 0;
}

// Values of the lists from the cursors on whose top bits are window, in a bitmap of the bits below:
// each value is tested and set, so a value in several lists counts once. clear: unset them again.
std::size_t markWindow(const std::vector<const std::vector<std::uint32_t>*>& lists,
                       std::vector<std::size_t>& cursors, std::uint32_t window, int bits,
                       std::vector<std::uint64_t>& bitmap, bool clear) {
    std::size_t fresh = 0;
    const std::uint32_t mask = (1u << bits) - 1;
    for (std::size_t i = 0; i < lists.size(); ++i) {
        const std::vector<std::uint32_t>& l = *lists[i];
        std::size_t at = cursors[i];
        for (; at < l.size() && (l[at] >> bits) == window; ++at) {
            const std::uint32_t v = l[at] & mask;
            std::uint64_t& word = bitmap[v >> 6];
            const std::uint64_t bit = std::uint64_t{1} << (v & 63);
            if (clear) {
                word &= ~bit;
            } else {
                fresh += (word & bit) == 0;
                word |= bit;
            }
        }
        if (clear) cursors[i] = at;
    }
    return fresh;
}

}  // namespace

bool decodeHashes(std::string_view blob, std::vector<std::uint64_t>& out) { return decodeGaps(blob, out); }
bool decodeHashes(std::string_view blob, std::vector<std::uint32_t>& out) { return decodeGaps(blob, out); }

std::size_t distinctCount(const std::vector<const std::vector<std::uint32_t>*>& lists) {
    std::size_t all = 0;
    for (const auto* l : lists) all += l->size();
    if (lists.size() <= 1) return all;
    if (lists.size() == 2) {
        // A day of two logs (a rotation within the day): the values both lists hold count once.
        const auto &a = *lists[0], &b = *lists[1];
        std::size_t i = 0, j = 0, both = 0;
        while (i < a.size() && j < b.size()) {
            if (a[i] < b[j]) {
                ++i;
            } else if (b[j] < a[i]) {
                ++j;
            } else {
                ++both, ++i, ++j;
            }
        }
        return all - both;
    }
    if (all <= 65536) {
        std::vector<std::uint32_t> values;
        values.reserve(all);
        for (const auto* l : lists) values.insert(values.end(), l->begin(), l->end());
        std::sort(values.begin(), values.end());
        return static_cast<std::size_t>(std::unique(values.begin(), values.end()) - values.begin());
    }
    // The value range in windows whose bitmap stays in the cache (512 KiB); the lists are sorted, so
    // each list's values of a window follow one another from its cursor.
    constexpr int kBits = 22;
    std::vector<std::uint64_t> bitmap(std::size_t{1} << (kBits - 6), 0);
    std::vector<std::size_t> cursors(lists.size(), 0);
    std::size_t distinct = 0;
    for (std::uint32_t window = 0; window < (1u << (32 - kBits)); ++window) {
        distinct += markWindow(lists, cursors, window, kBits, bitmap, false);
        markWindow(lists, cursors, window, kBits, bitmap, true);
    }
    return distinct;
}

}  // namespace history
