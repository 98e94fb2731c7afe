// The trust files read strictly: every line judged, an unreadable one counted against the server it
// may concern, and rewrites that keep every other byte.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <sys/stat.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "ftp/serverkey.h"
#include "ftp/trustfile.h"
#include "support/tempdir.h"

using testing::HasSubstr;
using namespace std::string_literals;

namespace {

// An SSH key blob of type with some key bytes, as known_hosts holds it in base64.
std::string blob(const std::string& type, char fill) {
    std::string b = {0, 0, 0, static_cast<char>(type.size())};
    b += type;
    b += std::string{0, 0, 0, 32} + std::string(32, fill);
    return b;
}
std::string entry(const std::string& host, char fill, const std::string& type = "ssh-ed25519") {
    return host + " " + type + " " + ftp::base64(blob(type, fill), true);
}
std::string hashed(const std::string& name, const std::string& salt) {
    unsigned char mac[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    HMAC(EVP_sha1(), salt.data(), static_cast<int>(salt.size()), reinterpret_cast<const unsigned char*>(name.data()),
         name.size(), mac, &size);
    return "|1|" + ftp::base64(salt, true) + "|" + ftp::base64(std::string(reinterpret_cast<char*>(mac), size), true);
}

const std::string kHost = "127.0.0.1";
constexpr int kPort = 2222;
const std::string kName = "[127.0.0.1]:2222";

ftp::TrustLookup known(const std::string& file) { return ftp::findHostKeys(file, kHost, kPort); }

TEST(KnownHosts, EveryLineIsReadAndTheServersKeysFoundWhateverStandsBefore) {
    const std::string pinned = entry(kName, 'A') + "\n";
    // Lines that others wrote, readable or not, which name other servers: the pin after them holds.
    for (const std::string& before : std::vector<std::string>{
             "# comment with a zero byte \0 inside\n"s, "\n   \t\r\n", entry("other.example", 'B') + "\n",
             "other.example ssh-ed25519 !!notbase64\n", "[127.0.0.1]:22 garbage\n", "@revoked other.example x y\n",
             "!127.0.0.1 ssh-ed25519 AAAA\n"}) {
        const auto found = known(before + pinned);
        EXPECT_EQ(found.badLine, 0u) << before;
        ASSERT_EQ(found.keys.size(), 1u) << before;
        EXPECT_EQ(found.keys[0].blob, blob("ssh-ed25519", 'A'));
    }
    // Patterns, hashed names and letter case name this server too.
    for (const std::string& line :
         std::vector<std::string>{entry("x.example,[127.0.0.*]:2222", 'A'), entry("[127.0.0.1]:222?", 'A'),
                                  entry(hashed(kName, std::string(20, 's')), 'A'), entry("*", 'A')}) {
        EXPECT_EQ(known(line + "\n").keys.size(), 1u) << line;
    }
    EXPECT_TRUE(known(entry("*,!" + kName, 'A')).keys.empty()) << "a negation wins";
    EXPECT_TRUE(known(entry("127.0.0.1", 'A')).keys.empty()) << "port 22 only";
    EXPECT_EQ(ftp::findHostKeys(entry("Server.Example", 'A'), "server.example", 22).keys.size(), 1u);
    const auto revoked = known("@revoked * " + entry("", 'C').substr(1) + "\n" + pinned);
    ASSERT_EQ(revoked.keys.size(), 2u);
    EXPECT_TRUE(revoked.keys[0].revoked);
    EXPECT_TRUE(known("@cert-authority " + pinned).keys.empty()) << "certificates are not taken";
}

TEST(KnownHosts, AnUnreadableLineThatMayConcernTheServerIsNamed) {
    const std::string pinned = entry(kName, 'A') + "\n";
    const std::string good = entry("other.example", 'B') + "\n";
    const std::string binary = "\x01\xff\xfe\x00\x9c\x80 ssh-ed25519 AAAA\n"s;
    for (const std::string& bad : std::vector<std::string>{
             kName + " garbage with words\n", std::string("|1|broken|hash ssh-ed25519 AAAA\n"),
             std::string("|1|") + ftp::base64(std::string(20, 's'), true) + "|AAAA ssh-ed25519 AAAA\n",
             std::string("@revoked\n"), std::string("@cert-authority * ssh-ed25519 AAAAbad\n"),
             std::string("@unknown-marker * ") + entry("", 'A').substr(1) + "\n", binary,
             kName + " ssh-ed25519 " + std::string(10 << 20, 'A') + "\n",
             kName + " ssh-rsa " + ftp::base64(blob("ssh-ed25519", 'A'), true) + "\n", kName + " ssh-ed25519\n"}) {
        const auto found = known(good + bad + pinned);
        EXPECT_EQ(found.badLine, 2u) << bad.substr(0, 60);
        EXPECT_EQ(found.keys.size(), 1u) << "the readable lines still count";
    }
    const std::string message = ftp::unreadableLineMessage("/m/known_hosts", 7);
    EXPECT_EQ(message, common::cp932(u8"信頼する鍵のファイル \"/m/known_hosts\" の 7 行目が読めません。"
                                     u8"このサーバーの行かもしれないため接続しません。その行を直すか消してください"));
}

TEST(FtpsPins, ZeroBytesAndOtherServersLinesHideNoPin) {
    const std::string fp = ftp::fingerprintOf("certificate A");
    const std::string file = "# note\0\n"s + "10.0.0.9:21 SHA256:short\nbroken\n" + kHost + ":2121 " + fp + "\r\n";
    auto found = ftp::findPins(file, kHost, 2121);
    EXPECT_EQ(found.badLine, 0u);
    ASSERT_EQ(found.keys.size(), 1u);
    EXPECT_EQ(found.keys[0].blob, fp);
    for (const std::string& bad :
         std::vector<std::string>{kHost + ":2121 SHA256:tooshort\n", kHost + ":2121\n", kHost + ":2121 " + fp + " x\n",
                                  std::string("\x80\x01:2121 ") + fp + "\n"}) {
        found = ftp::findPins("# first\n" + bad, kHost, 2121);
        EXPECT_EQ(found.badLine, 2u) << bad;
        EXPECT_TRUE(found.keys.empty());
    }
}

class TrustRewrite : public testing::Test {
protected:
    void SetUp() override {
        ftpKey.host = sshKey.host = kHost;
        ftpKey.port = 2121;
        ftpKey.fingerprint = ftp::fingerprintOf("B");
        sshKey.ssh = true;
        sshKey.port = kPort;
        sshKey.keyType = "ssh-ed25519";
        sshKey.keyBase64 = ftp::base64(blob("ssh-ed25519", 'N'), true);
    }
    std::string pins() const { return readFile(dir / "ftps_pins"); }
    TempDir dir;
    ftp::ServerKey ftpKey, sshKey;
};

TEST_F(TrustRewrite, OnlyTheServersEntryChangesAndEveryOtherByteStays) {
    const std::string other = "# \0 \xff\r\n"s + "10.0.0.9:21 " + ftp::fingerprintOf("C") + "\r\n";
    writeFile(dir / "ftps_pins", other + kHost + ":2121 " + ftp::fingerprintOf("A") + "\r\nlast line, no break");
    ftp::trustKey(dir.path(), ftpKey);
    EXPECT_EQ(pins(), other + kHost + ":2121 " + ftpKey.fingerprint + "\nlast line, no break");
    EXPECT_EQ(ftp::pinnedKey(dir.path(), kHost, 2121), ftpKey.fingerprint);
    EXPECT_TRUE(ftp::forgetPin(dir.path(), kHost, 2121));
    EXPECT_EQ(pins(), other + "last line, no break");
    EXPECT_FALSE(ftp::forgetPin(dir.path(), kHost, 2121));
    ftp::trustKey(dir.path(), ftpKey);  // appended, after a break for the last line
    EXPECT_EQ(pins(), other + "last line, no break\n" + kHost + ":2121 " + ftpKey.fingerprint + "\n");

    const std::string binary = [] {
        std::string b(65536, '\0');
        for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<char>(i * 7919 % 251);
        return b;
    }();
    writeFile(dir / "known_hosts", binary);
    EXPECT_THAT([&] { ftp::trustKey(dir.path(), sshKey); },
                testing::ThrowsMessage<common::AppError>(HasSubstr(common::cp932(u8"行目が読めません"))));
    EXPECT_EQ(readFile(dir / "known_hosts"), binary) << "never rewritten";
    EXPECT_THROW(ftp::knownHostKeys(dir.path(), kHost, kPort), common::AppError);
    writeFile(dir / "known_hosts", entry("other", 'O') + "\n" + entry(kName, 'A') + "\n");
    ftp::trustKey(dir.path(), sshKey);
    EXPECT_EQ(readFile(dir / "known_hosts"),
              entry("other", 'O') + "\n" + kName + " ssh-ed25519 " + sshKey.keyBase64 + "\n");
}

TEST_F(TrustRewrite, AFileThatCannotBeReadIsNeitherTrustedNorRewritten) {
    // A directory in the place of the file (as root may read any file, no mode would do).
    ::mkdir((dir / "ftps_pins").c_str(), 0700);
    const auto cannotOpen = testing::ThrowsMessage<common::AppError>(HasSubstr(dir / "ftps_pins"));
    EXPECT_THAT([&] { ftp::pinnedKey(dir.path(), kHost, 2121); }, cannotOpen);
    EXPECT_THAT([&] { ftp::trustKey(dir.path(), ftpKey); }, cannotOpen);
    EXPECT_THAT([&] { ftp::forgetPin(dir.path(), kHost, 2121); }, cannotOpen);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "ftps_pins"));
}

}  // namespace
