// SHA-256, by OpenSSL: the report page's style sheet hash, server key fingerprints, the history's
// line hashes.
#pragma once
#include <string>
#include <string_view>

namespace common {

// The 32 bytes of the SHA-256 digest of bytes.
std::string sha256(std::string_view bytes);

}  // namespace common
