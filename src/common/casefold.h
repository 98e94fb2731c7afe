// Letter case folding for Shift-JIS text: ASCII letters only, never the trail byte of a double-byte
// character (a lead byte 0x81-0x9F or 0xE0-0xFC takes the next byte with it).
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "common/bytes.h"

namespace common {

std::string foldCase(std::string_view text);
bool foldedEqual(std::string_view a, std::string_view b);
std::uint64_t foldedHash(std::string_view text);

}  // namespace common
