// The transfer component against a real FTP server on loopback.
#include "ftp/inetman.h"

#include <chrono>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "common/cp932.h"
#include "ftp/ftpserver.h"
#include "ftp/partfile.h"

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
    ftp::TFtpManager ftp{local / "materia"};
};

TEST_F(FtpManagerTest, AsciiDownloadInActiveModeReplacesTheOldFile) {
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    writeFile(target(), "old content\n");
    const auto result = ftp.GetFile("dir/access_log", target(), false);
    EXPECT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(result.reason, "");
    EXPECT_EQ(readFile(target()), "line one\nline two\n");  // ASCII type: local line ends
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

TEST_F(FailedDownloadTest, CrLfOrNulInLoginOrPathIsRefusedBeforeAnythingIsSent) {
    writeFile(root / "victim", "keep me\r\n");
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    const std::string nul("secret\0x", 8);
    for (const std::string& password :
         {std::string("secret\r\nDELE victim"), std::string("secret\nDELE victim"), nul}) {
        ftp.setPassWord(password);
        expectNothingLost(ftp.GetFile("dir/access_log", target(), false), u8"改行や NUL 文字は使えません");
    }
    login(server);
    ftp.setUserName("munya\rDELE victim");
    expectNothingLost(ftp.GetFile("dir/access_log", target(), false), u8"アカウントまたはパスワード");
    login(server);
    expectNothingLost(ftp.GetFile("dir/access_log\r\nDELE victim", target(), false), u8"ディレクトリまたはファイル名");
    EXPECT_EQ(server.sessions(), 0);
    EXPECT_EQ(readFile(root / "victim"), "keep me\r\n");
}

TEST_F(FailedDownloadTest, TricklingServerIsGivenUpWithItsReason) {
    FtpServer server(root.path(), "munya", "secret", FtpServer::Kind::Trickles);
    login(server);
    ftp.setLowSpeed({1024, 2});
    expectNothingLost(ftp.GetFile("dir/access_log", target(), false),
                      u8"転送が遅すぎるため中断しました（2 秒間、毎秒 1024 バイト未満）");
}

// Waits until the running download has received more than bytes.
bool receivedMoreThan(const ftp::Download& download, long long bytes) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (download.received() <= bytes && !download.finished() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return download.received() > bytes;
}

TEST_F(FailedDownloadTest, CancelStopsAnEndlessDownloadAndKeepsItsPartFileFromTheCleanerMeanwhile) {
    FtpServer server(root.path(), "munya", "secret", FtpServer::Kind::Endless);
    login(server);
    ftp::Download download(ftp, "dir/access_log", target(), true);
    ASSERT_TRUE(receivedMoreThan(download, 1000000)) << download.result().reason;
    // Another start of the program meanwhile leaves the running download's part file alone.
    ftp::removeStalePartFiles(local / "logs");
    EXPECT_THAT(listDir(local / "logs"), testing::MatchesRegex("\\.access_log\\.part[A-Za-z0-9]{6} access_log "));
    download.cancel();
    const auto result = download.result();
    EXPECT_TRUE(result.cancelled);
    expectNothingLost(result, u8"中止しました");
    // The component is ready for the next download.
    FtpServer normal(root.path(), "munya", "secret");
    login(normal);
    EXPECT_TRUE(ftp.GetFile("dir/access_log", target(), false).ok);
}

TEST_F(FtpManagerTest, StalePartFilesOfThisProgramAreRemovedOthersStay) {
    const std::string logs = local / "logs";
    for (const char* name : {".access_log.partAb12Cd", ".x.part000000", "access_log.partAb12Cd", ".access_log.partAb12",
                             ".access_log.part-b12Cd", "access_log", ".held.partZZZZZZ"})
        writeFile(logs + "/" + name, "x");
    ::mkdir((logs + "/.dir.partQQQQQQ").c_str(), 0755);
    ::symlink("access_log", (logs + "/.link.partLLLLLL").c_str());
    const int held = ::open((logs + "/.held.partZZZZZZ").c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);  // a download of another program still running
    ftp::removeStalePartFiles(logs);
    ::close(held);
    EXPECT_EQ(listDir(logs), ".access_log.part-b12Cd .access_log.partAb12 .dir.partQQQQQQ .held.partZZZZZZ "
                             ".link.partLLLLLL access_log access_log.partAb12Cd ");
}

TEST_F(FtpManagerTest, LocalNameAtTheFileSystemsLimitIsDownloaded) {
    FtpServer server(root.path(), "munya", "secret");
    login(server);
    std::string name;
    for (int i = 0; i < 84; ++i) name += "\xe3\x81\x82";  // あ: the part name must not cut one in two
    name += "abc";                                        // 255 bytes
    const auto result = ftp.GetFile("dir/access_log", local / "logs/" + name, false);
    ASSERT_TRUE(result.ok) << result.reason;
    EXPECT_EQ(readFile(local / "logs/" + name), "line one\nline two\n");
    EXPECT_EQ(listDir(local / "logs"), name + " ");
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
    EXPECT_EQ(st.st_mode & 0777, 0644u);  // not the 0600 of a temporary file
}

}  // namespace
