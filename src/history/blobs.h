// How the history keeps counts and hash lists in blobs: 64-bit little-endian numbers, one after
// another, the same on every machine.
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

std::string encodeHashes(const std::vector<std::uint64_t>& hashes);
// false when blob is no list of whole numbers.
bool decodeHashes(std::string_view blob, std::vector<std::uint64_t>& out);

}  // namespace history
