// The transfer component against a real FTP server on loopback.
#include "ftp/inetman.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/cp932.h"
#include "ftp/ftpserver.h"

using ftptest::FtpServer;
using ftptest::listDir;
using ftptest::readFile;
using ftptest::TempDir;
using ftptest::writeFile;
using testing::HasSubstr;
using testing::Not;

namespace {

class FtpManagerTest : public testing::Test {
protected:
    void SetUp() override {
        ::mkdir((root / "dir").c_str(), 0755);
        ::mkdir((local / "logs").c_str(), 0755);
        writeFile(root / "dir/access_log", "line one\r\nline two\r\n");
    }
    void login(const FtpServer& server) {
        ftp.setServerName("127.0.0.1");
        ftp.setUserName("munya");
        ftp.setPassWord("secret");
        ftp.setPort(server.port());
    }
    std::string target() const { return local / "logs/access_log"; }

    TempDir root;
    TempDir local;
    ftp::TFtpManager ftp;
};

TEST_F(FtpManagerTest, AsciiDownloadInActiveModeReplacesTheOldFile) {
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    writeFile(target(), "old content\n");
    const auto result = ftp.GetFile("dir/access_log", target(), false);
    EXPECT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(result.reason, "");
    EXPECT_EQ(readFile(target()), "line one\nline two\n");   // ASCII type: local line ends
    EXPECT_EQ(listDir(local / "logs"), "access_log ");
    const std::string log = server.finishedLog();
    EXPECT_THAT(log, HasSubstr("<- TYPE A"));
    EXPECT_THAT(log, testing::ContainsRegex("<- (EPRT|PORT) "));
    EXPECT_THAT(log, Not(HasSubstr("PASV")));
    EXPECT_THAT(log, HasSubstr("<- USER munya"));
    EXPECT_THAT(log, HasSubstr("<- RETR access_log"));
}

TEST_F(FtpManagerTest, BinaryFlagKeepsEveryByte) {
    const std::string bytes = std::string("a\r\nb\rc\n\0d", 10);
    writeFile(root / "dir/raw", bytes);
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    const auto result = ftp.GetFile("dir/raw", local / "logs/raw", true);
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(readFile(local / "logs/raw"), bytes);
    EXPECT_THAT(server.finishedLog(), HasSubstr("<- TYPE I"));
}

TEST_F(FtpManagerTest, EveryDownloadHasItsOwnConnectionAndLogin) {
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    ASSERT_TRUE(ftp.GetFile("dir/access_log", target(), false).ok);
    writeFile(root / "dir/access_log", "changed\r\n");
    ASSERT_TRUE(ftp.GetFile("dir/access_log", target(), false).ok);
    EXPECT_EQ(readFile(target()), "changed\n");
    // Two sessions, both ended: the first was not kept open for the second.
    const std::string log = server.logWith("FTP session closed", 2);
    EXPECT_EQ(ftptest::occurrences(log, "FTP session opened"), 2);
    EXPECT_EQ(ftptest::occurrences(log, "FTP session closed"), 2);
    EXPECT_EQ(ftptest::occurrences(log, "<- PASS"), 2);
}

TEST_F(FtpManagerTest, ChangedServerNameTakesEffectAtTheNextDownload) {
    TempDir other;
    writeFile(other / "access_log", "from the second server\r\n");
    FtpServer first(root.path(), "munya", "secret");
    // The same port on another loopback address: only the server name tells the two apart.
    FtpServer second(other.path(), "munya", "secret", FtpServer::Kind::Normal, "127.0.0.2", first.port());
    login(first);
    ASSERT_TRUE(ftp.GetFile("dir/access_log", target(), false).ok);
    EXPECT_EQ(readFile(target()), "line one\nline two\n");
    ftp.setServerName("127.0.0.2");
    const auto result = ftp.GetFile("access_log", target(), false);
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(readFile(target()), "from the second server\n");
    EXPECT_EQ(second.sessions(), 1);
}

TEST_F(FtpManagerTest, NamesWithBlanksHashesAndAbsolutePathsReachTheServerUnchanged) {
    ::mkdir((root / "my logs").c_str(), 0755);
    writeFile(root / "my logs/a b#1%.log", "x\r\n");
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    auto result = ftp.GetFile("my logs/a b#1%.log", target(), false);
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(readFile(target()), "x\n");
    result = ftp.GetFile("/dir/access_log", local / "logs/abs", false);
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(readFile(local / "logs/abs"), "line one\nline two\n");
}

TEST_F(FtpManagerTest, EmptyAccountIsSentAsEmptyNotAsAnonymous) {
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    ftp.setUserName("");
    ftp.setPassWord("");
    const auto result = ftp.GetFile("dir/access_log", target(), false);
    EXPECT_FALSE(result.ok);
    const std::string log = server.finishedLog();
    EXPECT_THAT(log, HasSubstr("<- USER \n"));
    EXPECT_THAT(log, Not(HasSubstr("anonymous")));
    EXPECT_EQ(listDir(local / "logs"), "");
}

// Every failure: reported with its reason, the old file untouched, no partial file left behind.
class FailedDownloadTest : public FtpManagerTest {
protected:
    void expectNothingLost(const ftp::TransferResult& result, std::u8string_view reason) {
        EXPECT_FALSE(result.ok);
        EXPECT_THAT(result.reason, HasSubstr(common::cp932(reason)));
        EXPECT_EQ(readFile(target()), "yesterday's log\n");
        EXPECT_EQ(listDir(local / "logs"), "access_log ");
    }
    void SetUp() override {
        FtpManagerTest::SetUp();
        writeFile(target(), "yesterday's log\n");
    }
};

TEST_F(FailedDownloadTest, WrongPassword) {
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    ftp.setPassWord("wrong");
    expectNothingLost(ftp.GetFile("dir/access_log", target(), false), u8"ログインが拒否されました");
}

TEST_F(FailedDownloadTest, MissingRemoteFileAndDirectory) {
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    expectNothingLost(ftp.GetFile("dir/access_log_19990101", target(), false), u8"サーバーにそのファイルがありません");
    expectNothingLost(ftp.GetFile("nodir/access_log", target(), false), u8"ディレクトリ");
}

TEST_F(FailedDownloadTest, StoppedServer) {
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    server.stop();
    expectNothingLost(ftp.GetFile("dir/access_log", target(), false), u8"サーバーに接続できません");
}

TEST_F(FailedDownloadTest, TransferCutOffMidway) {
    writeFile(root / "dir/access_log", std::string(200000, 'x') + "\r\n");
    FtpServer server(root.path(), "munya", "secret", FtpServer::Kind::CutsTransfers);
    login(server);
    expectNothingLost(ftp.GetFile("dir/access_log", target(), false), u8"転送が途中で切れました");
}

TEST_F(FailedDownloadTest, UnusableServerNamesContactNoServer) {
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    ftp.setServerName("");
    expectNothingLost(ftp.GetFile("dir/access_log", target(), false), u8"サーバー名がありません");
    // Pasted into a URL, these would name another host or path.
    for (const char* name : {"127.0.0.1/dir", "user@127.0.0.1", "127.0.0.1:21", "127.0.0.1 x"}) {
        ftp.setServerName(name);
        expectNothingLost(ftp.GetFile("dir/access_log", target(), false), u8"は使えません");
    }
    EXPECT_EQ(server.sessions(), 0);
}

TEST_F(FailedDownloadTest, RemoteDirectoryInsteadOfAFileFetchesNoListing) {
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    expectNothingLost(ftp.GetFile("dir/", target(), false), u8"ファイル名がありません");
    EXPECT_EQ(server.sessions(), 0);
}

TEST_F(FtpManagerTest, MissingLocalDirectoryFailsWithoutCreatingIt) {
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    const std::string path = local / "nologs/access_log";
    const auto result = ftp.GetFile("dir/access_log", path, false);
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.reason, HasSubstr(path));
    EXPECT_EQ(listDir(local.path()), "logs ");
    EXPECT_EQ(server.sessions(), 0);
}

TEST_F(FtpManagerTest, NewFileFollowsTheUmaskAndAReplacedOneKeepsItsMode) {
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    writeFile(target(), "old");
    ::chmod(target().c_str(), 0640);
    ASSERT_TRUE(ftp.GetFile("dir/access_log", target(), false).ok);
    struct stat st {};
    ASSERT_EQ(::stat(target().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    const mode_t old = ::umask(022);
    ASSERT_TRUE(ftp.GetFile("dir/access_log", local / "logs/fresh", false).ok);
    ::umask(old);
    ASSERT_EQ(::stat((local / "logs/fresh").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);   // not the 0600 of a temporary file
}

}  // namespace
