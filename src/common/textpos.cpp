// Byte-wise search and cut with 1-based positions.
#include "common/textpos.h"

#include <cstring>

namespace common {

std::ptrdiff_t TextPos(std::string_view sub, std::string_view s) {
    if (sub.empty() || s.empty() || sub.size() > s.size()) return 0;
    const void* hit = memmem(s.data(), s.size(), sub.data(), sub.size());
    return hit ? static_cast<const char*>(hit) - s.data() + 1 : 0;
}

std::string_view TextCopy(std::string_view s, std::ptrdiff_t start, std::ptrdiff_t count) {
    if (s.empty()) return {};
    if (start < 1) start = 1;
    const auto size = static_cast<std::ptrdiff_t>(s.size());
    if (start > size || count < 0) return {};
    if (count > size - start + 1) count = size - start + 1;
    return s.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count));
}

}  // namespace common
