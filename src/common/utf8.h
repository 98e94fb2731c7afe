// Strict UTF-8 reading: what counts as one valid character.
#pragma once
#include <cstddef>
#include <string_view>

namespace common {

// Length of the valid UTF-8 sequence that starts at s[i], 0 when it is not one (overlong forms,
// surrogates and values above U+10FFFF are not valid).
std::size_t utf8Length(std::string_view s, std::size_t i);

// True when the whole text is valid UTF-8.
bool isValidUtf8(std::string_view s);

}  // namespace common
