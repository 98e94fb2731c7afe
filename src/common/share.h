// The share of a part in a whole, as the reports and windows show it.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

namespace common {

// part of whole in per cent; 0 for a whole of zero (nothing counted).
constexpr double sharePercent(std::int64_t part, std::int64_t whole) {
    return whole > 0 ? 100.0 * static_cast<double>(part) / static_cast<double>(whole) : 0.0;
}

// The share with one decimal: "12.5%".
inline std::string shareText(std::int64_t part, std::int64_t whole) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f%%", sharePercent(part, whole));
    return text;
}

}  // namespace common
