// Base64 by OpenSSL's block coder.
#include "common/base64.h"

#include <openssl/evp.h>

namespace common {

std::string base64(std::string_view bytes, bool padded) {
    std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
    const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(bytes.data()), static_cast<int>(bytes.size()));
    out.resize(static_cast<std::size_t>(n));
    if (!padded)
        while (!out.empty() && out.back() == '=') out.pop_back();
    return out;
}

std::string unbase64(const std::string& text) {
    std::string in = text;
    while (in.size() % 4 != 0) in += '=';
    std::string out(in.size() / 4 * 3 + 1, '\0');
    const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                  reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size()));
    if (n < 0) return {};
    out.resize(static_cast<std::size_t>(n));
    // EVP_DecodeBlock counts the padding as zero bytes.
    for (auto it = in.rbegin(); it != in.rend() && *it == '=' && !out.empty(); ++it) out.pop_back();
    return out;
}

}  // namespace common
