// SHA-256 through OpenSSL's one-shot digest.
#include "common/sha256.h"

#include <openssl/evp.h>

namespace common {

std::string sha256(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(bytes.data(), bytes.size(), digest, &size, EVP_sha256(), nullptr);
    return std::string(reinterpret_cast<const char*>(digest), size);
}

}  // namespace common
