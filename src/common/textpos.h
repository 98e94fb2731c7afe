// Byte-wise search and cut with 1-based positions; every field rule of the log is written with them.
// Inline: the analysis calls them several times for every line of a log.
#pragma once
#include <cstddef>
#include <cstring>
#include <string_view>

namespace common {

// Position (1-based) of the first occurrence of sub in s; 0 when absent or when either text is empty.
inline std::ptrdiff_t TextPos(std::string_view sub, std::string_view s) {
    if (sub.empty() || s.empty() || sub.size() > s.size()) return 0;
    const void* hit = sub.size() == 1 ? std::memchr(s.data(), sub[0], s.size())
                                      : memmem(s.data(), s.size(), sub.data(), sub.size());
    return hit ? static_cast<const char*>(hit) - s.data() + 1 : 0;
}

// The count bytes of s from the 1-based start, clamped: start below 1 counts as 1, a start past the
// end or a negative count gives empty text, a count running past the end stops there.
inline std::string_view TextCopy(std::string_view s, std::ptrdiff_t start, std::ptrdiff_t count) {
    if (s.empty()) return {};
    if (start < 1) start = 1;
    const auto size = static_cast<std::ptrdiff_t>(s.size());
    if (start > size || count < 0) return {};
    if (count > size - start + 1) count = size - start + 1;
    return s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count));
}

}  // namespace common
