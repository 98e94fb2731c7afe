// Base64 (RFC 4648, "+/"), by OpenSSL.
#pragma once
#include <string>
#include <string_view>

namespace common {

// The base64 of bytes; unpadded: without the trailing "=".
std::string base64(std::string_view bytes, bool padded = true);
// The bytes of base64 text, padded or not; text that is no base64 gives an empty string.
std::string unbase64(const std::string& text);

}  // namespace common
