// SHA-256 and base64: the digests and texts the report's policy and the key fingerprints rest on.
#include "common/sha256.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "common/base64.h"

namespace {

std::string hex(const std::string& h) {
    std::string s;
    char b[3];
    for (char c : h) {
        std::snprintf(b, sizeof b, "%02x", static_cast<unsigned char>(c));
        s += b;
    }
    return s;
}

}  // namespace

TEST(Sha256, KnownDigestsAcrossTheBlockBoundary) {
    using common::sha256;
    EXPECT_EQ(hex(sha256("")), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hex(sha256("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits in the first block.
    EXPECT_EQ(hex(sha256("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(hex(sha256(std::string(1000, 'a'))), "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3");
    const auto h = sha256("abc");
    EXPECT_EQ(common::base64(h), "ungWv48Bz+pBQUDeXa4iI7ADYaOWF3qctBD/YfIAFa0=");
    EXPECT_EQ(common::base64("ab"), "YWI=");
}

TEST(Base64, UnpaddedAndBackAgain) {
    EXPECT_EQ(common::base64("ab", false), "YWI");
    EXPECT_EQ(common::unbase64("YWI"), "ab");
    EXPECT_EQ(common::unbase64("YWI="), "ab");
    EXPECT_EQ(common::unbase64(common::base64(std::string("\0\xff\x80", 3))), std::string("\0\xff\x80", 3));
    EXPECT_EQ(common::unbase64("!!notbase64"), "");
}
