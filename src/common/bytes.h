// Byte tests every folder needs: plain ASCII, Shift-JIS lead bytes, hex digits.
#pragma once
#include <string_view>

namespace common {

// No byte of s is 0x80 or above.
bool isAscii(std::string_view s);

// A Shift-JIS lead byte (0x81-0x9F, 0xE0-0xFC): it takes the next byte with it as one character.
constexpr bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// The value of a hex digit of either case, or -1.
constexpr int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace common
