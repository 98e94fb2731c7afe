// Byte-wise search and cut with 1-based positions; every field rule of the log is written with them.
#pragma once
#include <cstddef>
#include <string_view>

namespace common {

// Position (1-based) of the first occurrence of sub in s; 0 when absent or when either text is empty.
std::ptrdiff_t TextPos(std::string_view sub, std::string_view s);

// The count bytes of s from the 1-based start, clamped: start below 1 counts as 1, a start past the
// end or a negative count gives empty text, a count running past the end stops there.
std::string_view TextCopy(std::string_view s, std::ptrdiff_t start, std::ptrdiff_t count);

}  // namespace common
