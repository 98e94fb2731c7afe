// Blobs of 64-bit little-endian numbers.
#include "history/blobs.h"

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
    std::string out;
    out.reserve(hashes.size() * 8);
    for (std::uint64_t h : hashes) put(out, h);
    return out;
}

bool decodeHashes(std::string_view blob, std::vector<std::uint64_t>& out) {
    if (blob.size() % 8 != 0) return false;
    out.resize(blob.size() / 8);
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = get(blob, i * 8);
    return true;
}

}  // namespace history
