// FTPS, SFTP and passive FTP against real servers on loopback: keys asked for, pinned, refused when
// changed; nothing written on failure.
#include <cstdlib>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <memory>
#include <sys/stat.h>

#include "common/cp932.h"
#include "ftp/ftpserver.h"
#include "ftp/inetman.h"
#include "ftp/secureservers.h"

using ftp::Protocol;
using ftp::ServerKey;
using ftptest::FtpServer;
using ftptest::FtpsServer;
using ftptest::listDir;
using ftptest::readFile;
using ftptest::SftpServer;
using ftptest::TempDir;
using ftptest::writeFile;
using testing::HasSubstr;
using testing::Not;

namespace {

class SecureTest : public testing::Test {
protected:
    void SetUp() override {
        ::mkdir((root / "dir").c_str(), 0755);
        ::mkdir((local / "logs").c_str(), 0755);
        ::mkdir((local / "materia").c_str(), 0755);
        writeFile(root / "dir/access_log", "line one\r\nline two\r\n");
        writeFile(target(), "yesterday's log\n");
        ftp.setServerName("127.0.0.1");
        ftp.setUserName("munya");
        ftp.setPassWord("secret");
    }
    std::string target() const { return local / "logs/access_log"; }
    ftp::TransferResult get() { return ftp.GetFile("dir/access_log", target(), false); }
    void expectNothingWritten() {
        EXPECT_EQ(readFile(target()), "yesterday's log\n");
        EXPECT_EQ(listDir(local / "logs"), "access_log ");
    }

    TempDir root;
    TempDir local;
    ftp::TFtpManager ftp{local / "materia"};
};

TEST_F(SecureTest, FtpsUnverifiedCertificateIsShownRefusedAndOncePinnedUsed) {
    writeFile(root / "dir/access_log", "line one\nline two\n");  // pure-ftpd adds the CR of ASCII type itself
    FtpsServer server(root.path(), "munya", "secret");
    ftp.setProtocol(Protocol::Ftps);
    ftp.setPort(server.port());
    auto result = get();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.key.status, ServerKey::Status::Unknown);
    EXPECT_FALSE(result.key.ssh);
    EXPECT_EQ(result.key.fingerprint, server.fingerprint());
    EXPECT_EQ(result.key.subject, "CN=munyaro-test-server");
    EXPECT_EQ(result.key.issuer, "CN=munyaro-test-server");
    EXPECT_THAT(result.key.notAfter, HasSubstr("GMT"));
    EXPECT_THAT(result.reason, HasSubstr(common::cp932(u8"サーバーの証明書を確認できません")));
    EXPECT_THAT(result.reason, HasSubstr(common::cp932(u8"自己署名の証明書です")));
    EXPECT_THAT(result.reason, HasSubstr(server.fingerprint()));
    expectNothingWritten();
    EXPECT_EQ(listDir(local / "materia"), "");  // not trusted unless the user says so

    ftp::trustKey(local / "materia", result.key);
    EXPECT_EQ(readFile(local / "materia/ftps_pins"),
              "127.0.0.1:" + std::to_string(server.port()) + " " + server.fingerprint() + "\n");
    // The server refuses clear text on both connections, so the file proves TLS throughout.
    for (int i = 0; i < 2; ++i) {
        result = get();
        ASSERT_TRUE(result.ok) << result.reason;
        EXPECT_EQ(readFile(target()), "line one\nline two\n");  // ASCII type as with FTP
    }
}

TEST_F(SecureTest, FtpsChangedKeyIsRefusedNamingBothUntilThePinIsRemoved) {
    auto first = std::make_unique<FtpsServer>(root.path(), "munya", "secret");
    const int port = first->port();
    const std::string before = first->fingerprint();
    ftp.setProtocol(Protocol::Ftps);
    ftp.setPort(port);
    ftp::trustKey(local / "materia", get().key);
    ASSERT_TRUE(get().ok);
    writeFile(target(), "yesterday's log\n");
    first.reset();
    // Another server, another key, on the same address.
    FtpsServer second(root.path(), "munya", "secret", port);
    auto result = get();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.key.status, ServerKey::Status::Changed);
    EXPECT_EQ(result.key.pinned, before);
    EXPECT_EQ(result.key.fingerprint, second.fingerprint());
    EXPECT_THAT(result.reason, HasSubstr(common::cp932(u8"記憶しているものと違います")));
    EXPECT_THAT(result.reason, HasSubstr(before));
    EXPECT_THAT(result.reason, HasSubstr(second.fingerprint()));
    expectNothingWritten();

    EXPECT_TRUE(ftp::forgetPin(local / "materia", "127.0.0.1", port));
    EXPECT_FALSE(ftp::forgetPin(local / "materia", "127.0.0.1", port));
    EXPECT_EQ(get().key.status, ServerKey::Status::Unknown);  // asked again, not taken
    expectNothingWritten();
}

TEST_F(SecureTest, FtpsNeverFallsBackToClearText) {
    FtpServer server(root.path(), "munya", "secret");
    ftp.setProtocol(Protocol::Ftps);
    ftp.setPort(server.port());
    const auto result = get();
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.reason, HasSubstr("TLS"));
    expectNothingWritten();
    const std::string log = server.finishedLog();
    EXPECT_THAT(log, HasSubstr("<- AUTH"));
    EXPECT_THAT(log, Not(HasSubstr("<- USER")));
    EXPECT_THAT(log, Not(HasSubstr("<- PASS")));
}

TEST_F(SecureTest, PassiveFtpAsksTheServerForTheDataPort) {
    FtpServer server(root.path(), "munya", "secret");
    ftp.setPort(server.port());
    ftp.setPassive(true);
    const auto result = get();
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(readFile(target()), "line one\nline two\n");
    const std::string log = server.finishedLog();
    EXPECT_THAT(log, testing::ContainsRegex("<- (EPSV|PASV)"));
    EXPECT_THAT(log, Not(testing::ContainsRegex("<- (EPRT|PORT) ")));
}

TEST_F(SecureTest, SftpUnknownHostKeyIsShownRefusedAndOnceKnownUsed) {
    SftpServer server(root.path(), "munya", "secret", local / "host_key");
    ftp.setProtocol(Protocol::Sftp);
    ftp.setPort(server.port());
    auto result = get();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.key.status, ServerKey::Status::Unknown);
    EXPECT_TRUE(result.key.ssh);
    EXPECT_EQ(result.key.keyType, "ssh-ed25519");
    EXPECT_EQ(result.key.fingerprint, server.fingerprint());
    EXPECT_THAT(result.reason, HasSubstr(server.fingerprint()));
    expectNothingWritten();
    EXPECT_THAT(server.logWith("session closed"), Not(HasSubstr("login")));  // the password was not sent

    ftp::trustKey(local / "materia", result.key);
    EXPECT_THAT(readFile(local / "materia/known_hosts"),
                testing::StartsWith("[127.0.0.1]:" + std::to_string(server.port()) + " ssh-ed25519 AAAA"));
    result = get();
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(readFile(target()), "line one\r\nline two\r\n");  // SFTP is binary
    // An absolute path names the server's root, not the login directory.
    result = ftp.GetFile("/dir/access_log", local / "logs/abs", false);
    ASSERT_TRUE(result.ok) << result.reason;
}

TEST_F(SecureTest, SftpWrongPasswordAndMissingFileWriteNothing) {
    SftpServer server(root.path(), "munya", "secret", local / "host_key");
    ftp.setProtocol(Protocol::Sftp);
    ftp.setPort(server.port());
    ftp::trustKey(local / "materia", get().key);
    ftp.setPassWord("wrong");
    auto result = get();
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.reason, HasSubstr(common::cp932(u8"ログインが拒否されました")));
    EXPECT_EQ(result.key.status, ServerKey::Status::None);
    expectNothingWritten();
    ftp.setPassWord("secret");
    result = ftp.GetFile("dir/none", target(), false);
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.reason, HasSubstr(common::cp932(u8"ファイルがありません")));
    expectNothingWritten();
}

TEST_F(SecureTest, SftpChangedHostKeyIsRefusedNeverTaken) {
    auto first = std::make_unique<SftpServer>(root.path(), "munya", "secret", local / "key1");
    const int port = first->port();
    const std::string before = first->fingerprint();
    ftp.setProtocol(Protocol::Sftp);
    ftp.setPort(port);
    ftp::trustKey(local / "materia", get().key);
    first.reset();
    SftpServer second(root.path(), "munya", "secret", local / "key2", port);
    const auto result = get();
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.key.status, ServerKey::Status::Changed);
    EXPECT_EQ(result.key.pinned, before);
    EXPECT_EQ(result.key.fingerprint, second.fingerprint());
    EXPECT_THAT(result.reason, HasSubstr(common::cp932(u8"なりすましの恐れ")));
    expectNothingWritten();
    EXPECT_THAT(second.logWith("session closed"), Not(HasSubstr("login")));
    EXPECT_EQ(get().key.status, ServerKey::Status::Changed);  // still refused the next time
}

}  // namespace

namespace {

// A second server on the trusted one's address, as an impostor would stand there.
class ImpostorTest : public SecureTest {
protected:
    // Trusts the real server's key, then puts the impostor (with a key of keyType) in its place.
    std::unique_ptr<SftpServer> sftpImpostor(const std::string& keyType = "ssh-ed25519") {
        ftp.setProtocol(Protocol::Sftp);
        auto real = std::make_unique<SftpServer>(root.path(), "munya", "secret", local / "real_key");
        ftp.setPort(real->port());
        ftp::trustKey(local / "materia", get().key);
        const int port = real->port();
        real.reset();
        const std::string key = local / "impostor_key";
        const std::string make = "/usr/bin/python3 -W ignore -c \"import asyncssh; asyncssh.generate_private_key('" +
                                 keyType + "').write_private_key('" + key + "')\"";
        EXPECT_EQ(std::system(make.c_str()), 0);
        return std::make_unique<SftpServer>(root.path(), "munya", "secret", key, port);
    }
};

TEST_F(ImpostorTest, SftpUnreadableLineBeforeThePinRefusesNamingTheLineAndOthersLinesHideNothing) {
    auto impostor = sftpImpostor();
    const std::string pinned = readFile(local / "materia/known_hosts");
    // Lines of other servers, readable or not, hide nothing: the impostor's key is a changed one.
    writeFile(local / "materia/known_hosts", "other.example ssh-rsa !!broken\n" + pinned);
    auto result = get();
    EXPECT_EQ(result.key.status, ServerKey::Status::Changed);
    EXPECT_THAT(result.reason, HasSubstr(common::cp932(u8"記憶しているものと違います")));
    // A line that could be this server's refuses the connection, whatever key the server shows.
    for (const std::string& bad :
         std::vector<std::string>{"@revoked\n", "|1|broken|hash ssh-ed25519 AAAA\n", "\x01\x02\xff binary\n"}) {
        writeFile(local / "materia/known_hosts", "# mine\n" + bad + pinned);
        result = get();
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.key.status, ServerKey::Status::None) << bad;
        EXPECT_THAT(result.reason,
                    HasSubstr(local / "materia/known_hosts" + common::cp932(u8"\" の 2 行目が読めません")))
            << bad;
        EXPECT_EQ(readFile(local / "materia/known_hosts"), "# mine\n" + bad + pinned);
    }
    expectNothingWritten();
    EXPECT_THAT(impostor->log(), Not(HasSubstr("login")));
}

TEST_F(ImpostorTest, SftpServerWithoutAKeyOfTheTrustedKindIsNamedSo) {
    auto impostor = sftpImpostor("ssh-rsa");
    const auto result = get();
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.reason,
                HasSubstr(common::cp932(u8"サーバーが信頼している種類のホスト鍵 (ssh-ed25519) を示しません")));
    expectNothingWritten();
    EXPECT_THAT(impostor->log(), Not(HasSubstr("login")));
}

TEST_F(ImpostorTest, FtpsPinAfterAZeroByteStillHolds) {
    ftp.setProtocol(Protocol::Ftps);
    const auto [port, pins] = ftptest::pinBehindAZeroByte(root.path(), local / "materia/ftps_pins");
    FtpsServer impostor(root.path(), "munya", "secret", port);
    ftp.setPort(port);
    const auto result = get();
    EXPECT_EQ(result.key.status, ServerKey::Status::Changed);
    EXPECT_THAT(result.reason, HasSubstr(common::cp932(u8"記憶しているものと違います")));
    expectNothingWritten();
    EXPECT_EQ(readFile(local / "materia/ftps_pins"), pins);
}

}  // namespace
