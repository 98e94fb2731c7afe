// SHA-256, for the hash of the report page's own style sheet in its Content Security Policy.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace report {

std::array<std::uint8_t, 32> sha256(std::string_view bytes);

}  // namespace report
