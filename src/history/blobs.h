// How the history keeps counts and hash lists in blobs, the same on every machine.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "history/dayfigures.h"

namespace history {

// Connections, GET and POST of each hour: 72 numbers.
std::string encodeHours(const DayCounts& c);
// Fills the hourly counts of c; false when blob is no such list.
bool decodeHours(std::string_view blob, DayCounts& c);

// Distinct hashes kept by their top 32 bits, sorted, as the gaps between them in 7-bit groups: about
// 3 bytes a visitor instead of 8. Two values that share their top 32 bits count once in a union,
// which makes the distinct count of n values short by about n / 2^33 of itself (0.01 % at a million).
std::string encodeHashes(const std::vector<std::uint64_t>& hashes);
// The kept values (each below 2^32); false when blob is no such list.
bool decodeHashes(std::string_view blob, std::vector<std::uint64_t>& out);
// The same as 32-bit values: half the memory for the unions of a range.
bool decodeHashes(std::string_view blob, std::vector<std::uint32_t>& out);

// How many distinct values lists hold together, each list sorted and each value once in it (as
// decodeHashes gives them).
std::size_t distinctCount(const std::vector<const std::vector<std::uint32_t>*>& lists);

}  // namespace history
