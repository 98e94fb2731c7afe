// Passwords in a real Secret Service (gnome-keyring-daemon of the test's own), through the module.
#include "ftp/keyring/keyring.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>

#include "common/cp932.h"
#include "support/keyringsession.h"

namespace {

// What the Secret Service itself holds for key, read with secret-tool (libsecret) as another program
// would: proof that the password is in the keyring and not in some file of ours.
std::string lookedUp(const std::string& utf8Key) {
    const std::string cmd = "secret-tool lookup server munyaro user '" + utf8Key + "' type plaintext 2>/dev/null";
    std::string out;
    FILE* p = ::popen(cmd.c_str(), "r");
    char buf[256];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    return ::pclose(p) == 0 ? out : "<none>";
}

TEST(Keyring, StoredPasswordReadsBackAndIsTheKeyringsAsUtf8) {
    REQUIRE_KEYRING();
    // A trail byte 0x5C ("表"), a NEC row-13 character and blanks at both ends.
    const std::string password = common::cp932(u8" 表①pass\\word ");
    const std::string key = keyring::ftpKey("ftp.example.jp", common::cp932(u8"むにゃ"));
    keyring::storePassword(key, password);
    EXPECT_EQ(keyring::readPassword(key), password);
    EXPECT_EQ(lookedUp("ftp:\xe3\x82\x80\xe3\x81\xab\xe3\x82\x83@ftp.example.jp"), common::utf8FromCp932(password));
}

TEST(Keyring, StoringAgainReplacesAndEachAccountHasItsOwn) {
    REQUIRE_KEYRING();
    const std::string a = keyring::ftpKey("127.0.0.1", "alice"), b = keyring::ftpKey("127.0.0.1", "bob");
    keyring::storePassword(a, "first");
    keyring::storePassword(b, "bobs");
    keyring::storePassword(a, "second");
    EXPECT_EQ(keyring::readPassword(a), "second");
    EXPECT_EQ(keyring::readPassword(b), "bobs");
    EXPECT_EQ(lookedUp("ftp:alice@127.0.0.1"), "second");
}

TEST(Keyring, AnEmptyPasswordIsKeptAsSuchNotAsAbsent) {
    REQUIRE_KEYRING();
    const std::string key = keyring::ftpKey("127.0.0.1", "empty");
    keyring::storePassword(key, "");
    EXPECT_EQ(keyring::readPassword(key), std::optional<std::string>(""));
}

TEST(Keyring, RemovedOrNeverStoredReadsAsAbsentWithoutError) {
    REQUIRE_KEYRING();
    const std::string key = keyring::ftpKey("127.0.0.1", "carol");
    EXPECT_EQ(keyring::readPassword(key), std::nullopt);
    EXPECT_NO_THROW(keyring::removePassword(key));
    keyring::storePassword(key, "secret");
    keyring::removePassword(key);
    EXPECT_EQ(keyring::readPassword(key), std::nullopt);
    EXPECT_EQ(lookedUp("ftp:carol@127.0.0.1"), "<none>");
}

}  // namespace
