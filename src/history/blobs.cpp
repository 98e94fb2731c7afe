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
    std::vector<std::uint32_t> top;
    top.reserve(hashes.size());
    for (std::uint64_t h : hashes) top.push_back(static_cast<std::uint32_t>(h >> 32));
    // The days hand their hashes over in order already.
    if (!std::is_sorted(top.begin(), top.end())) std::sort(top.begin(), top.end());
    top.erase(std::unique(top.begin(), top.end()), top.end());
    std::string out;
    out.reserve(top.size() * 3);
    std::uint32_t last = 0;
    for (std::uint32_t h : top) {
        // Seven bits a byte, the high bit set on every byte but the last.
        for (std::uint32_t gap = h - last;; gap >>= 7) {
            if (gap < 0x80) {
                out.push_back(static_cast<char>(gap));
                break;
            }
            out.push_back(static_cast<char>((gap & 0x7f) | 0x80));
        }
        last = h;
    }
    return out;
}

bool decodeHashes(std::string_view blob, std::vector<std::uint64_t>& out) {
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
        out.push_back(at);
        gap = 0;
        shift = 0;
    }
    return shift == 0;
}

}  // namespace history
