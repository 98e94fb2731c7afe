// Listing the host's folder and fetching the days missed, against real servers on loopback.
#include "ftp/batchfetch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "ftp/ftpserver.h"
#include "ftp/namepattern.h"
#include "ftp/secureservers.h"
#include "ftp/serverkey.h"

using ftp::DayOutcome;
using ftptest::FtpServer;
using ftptest::listDir;
using ftptest::readFile;
using ftptest::TempDir;
using ftptest::writeFile;
using testing::HasSubstr;
using namespace std::chrono;

namespace {

const year_month_day kLast{year(2004), January, day(5)};

class BatchFetchTest : public testing::Test {
protected:
    void SetUp() override {
        ::mkdir((root / "logs").c_str(), 0755);
        ::mkdir((local / "logs").c_str(), 0755);
        ::mkdir((local / "materia").c_str(), 0755);
        // Five days ending on 5 January: the 3rd is missing, the 2nd kept only compressed.
        writeFile(root / "logs/access_log_20040101", "day one\r\n");
        writeFile(root / "logs/access_log_20040102.gz", "\x1f\x8b not really, but bytes\r\n");
        writeFile(root / "logs/access_log_20040104", "day four\r\n");
        writeFile(root / "logs/access_log_20040105", "day five\r\n");
        writeFile(root / "logs/other.txt", "x");
        ftp.setServerName("127.0.0.1");
        ftp.setUserName("munya");
        ftp.setPassWord("secret");
    }
    ftp::DaysResult fetch(const std::string& dir = "logs", const std::string& pattern = "access_log_%Y%m%d") {
        return ftp::fetchDays(ftp, dir, pattern, kLast, 5, local / "logs", stop);
    }
    static std::vector<DayOutcome::Status> statuses(const ftp::DaysResult& r) {
        std::vector<DayOutcome::Status> s;
        for (const auto& d : r.days) s.push_back(d.status);
        return s;
    }

    TempDir root;
    TempDir local;
    ftp::TFtpManager ftp{local / "materia"};
    std::atomic<bool> stop{false};
};

using S = DayOutcome::Status;

TEST_F(BatchFetchTest, DaysComeOverOneConnectionMissingOneNamedGzOneTakenAndASecondRunFetchesNothing) {
    FtpServer server(root.path(), "munya", "secret");
    ftp.setPort(server.port());
    ftp.setPassive(true);
    const auto first = fetch("logs");  // no "/": joined with one
    EXPECT_EQ(statuses(first), (std::vector<S>{S::Fetched, S::Fetched, S::Failed, S::Fetched, S::Fetched}));
    EXPECT_EQ(first.days[1].remoteName, "access_log_20040102.gz");
    EXPECT_EQ(first.days[2].remoteName, "access_log_20040103");
    EXPECT_THAT(first.days[2].reason, HasSubstr(common::cp932(u8"サーバーにありません")));
    EXPECT_EQ(first.failed(), 1);
    EXPECT_EQ(listDir(local / "logs"),
              "access_log_20040101 access_log_20040102.gz access_log_20040104 access_log_20040105 ");
    EXPECT_EQ(readFile(local / "logs/access_log_20040101"), "day one\r\n");  // binary: the bytes as they are
    EXPECT_THAT(ftp::summary(first), HasSubstr(common::cp932(u8"4 日分を取得、0 日分は取得済み、1 日分は失敗")));
    EXPECT_THAT(ftp::summary(first), HasSubstr("access_log_20040103: "));
    EXPECT_EQ(server.sessions(), 1);

    // A day changed locally (another size) is fetched again; the others are left alone.
    writeFile(local / "logs/access_log_20040104", "cut");
    const auto second = fetch("logs/");
    EXPECT_EQ(statuses(second), (std::vector<S>{S::AlreadyThere, S::AlreadyThere, S::Failed, S::Fetched, S::AlreadyThere}));
    EXPECT_EQ(readFile(local / "logs/access_log_20040104"), "day four\r\n");
    const std::string log = server.finishedLog();
    EXPECT_EQ(ftptest::occurrences(log, "<- RETR"), 5);
    EXPECT_EQ(server.sessions(), 2);
}

TEST_F(BatchFetchTest, EachProtocolListsNamesSizesAndDatesAndFetchesTheDays) {
    writeFile(root / "logs/access_log_20040101", "day one\n");  // pure-ftpd: listed size is the file's
    ftptest::FtpsServer ftps(root.path(), "munya", "secret");
    ftptest::SftpServer sftp(root.path(), "munya", "secret", local / "hostkey");
    for (const auto& [protocol, port] :
         {std::pair{ftp::Protocol::Ftps, ftps.port()}, std::pair{ftp::Protocol::Sftp, sftp.port()}}) {
        ftp.setProtocol(protocol);
        ftp.setPort(port);
        auto listing = ftp::listFolder(ftp, "logs",
                                       floor<seconds>(system_clock::now()));
        ASSERT_EQ(listing.result.transfer.key.status, ftp::ServerKey::Status::Unknown);
        ftp::trustKey(local / "materia", listing.result.transfer.key);
        listing = ftp::listFolder(ftp, "logs",
                                  floor<seconds>(system_clock::now()));
        ASSERT_TRUE(listing.result.transfer.ok) << listing.result.transfer.reason;
        const ftp::RemoteEntry* e = ftp::findEntry(listing.entries, "access_log_20040101");
        ASSERT_NE(e, nullptr) << listing.result.text;
        EXPECT_EQ(e->size, 8);
        EXPECT_TRUE(e->hasTime);
        EXPECT_EQ(listing.entries.size(), 5u);

        const auto days = fetch("logs");
        // The second protocol finds the first one's days in place, but for the one removed.
        const S before = protocol == ftp::Protocol::Ftps ? S::Fetched : S::AlreadyThere;
        EXPECT_EQ(statuses(days), (std::vector<S>{before, before, S::Failed, before, S::Fetched})) << ftp::summary(days);
        EXPECT_EQ(readFile(local / "logs/access_log_20040101"), "day one\n");
        ::unlink((local / "logs/access_log_20040105").c_str());
    }
}

TEST_F(BatchFetchTest, HostileListingIsShownEscapedAndNoNameOfItTouchesTheDisk) {
    FtpServer server(root.path(), "munya", "secret", FtpServer::Kind::Hostile);
    ftp.setPort(server.port());
    ftp.setPassive(true);
    const auto listing = ftp::listFolder(ftp, "logs", floor<seconds>(system_clock::now()));
    ASSERT_TRUE(listing.result.transfer.ok) << listing.result.transfer.reason;
    int unusable = 0;
    for (const auto& e : listing.entries) {
        if (e.usable) continue;
        ++unusable;
        EXPECT_EQ(ftp::shownName(e.name).find_first_of("\x07\x1b"), std::string::npos);
    }
    EXPECT_EQ(unusable, 3);
    EXPECT_NE(ftp::findEntry(listing.entries, "access_log_20040105"), nullptr);
    // A pattern that leads out of logs/ names no local file.
    const auto days = fetch("logs", "../../materia/FTPSetting.dat%d");
    for (const auto& d : days.days) {
        EXPECT_EQ(d.status, S::Failed);
        EXPECT_EQ(d.localPath, "");
    }
    EXPECT_EQ(listDir(local / "logs"), "");
    EXPECT_EQ(ftptest::occurrences(server.finishedLog(), "<- RETR"), 0);
}

TEST_F(BatchFetchTest, EndlessOrTricklingListingIsCutOffWithAMessage) {
    {
        FtpServer server(root.path(), "munya", "secret", FtpServer::Kind::Endless);
        ftp.setPort(server.port());
        ftp.setPassive(true);
        const auto r = ftp.ListDir("logs", 1 << 20);
        EXPECT_FALSE(r.transfer.ok);
        EXPECT_TRUE(r.cut);
        EXPECT_EQ(r.text.size() <= (1u << 20), true);
        EXPECT_THAT(r.transfer.reason, HasSubstr(common::cp932(u8"バイトを超えたため、そこで打ち切りました")));
    }
    FtpServer server(root.path(), "munya", "secret", FtpServer::Kind::Trickles);
    ftp.setPort(server.port());
    ftp.setLowSpeed({1000, 1});
    const auto r = ftp.ListDir("logs", 1 << 20);
    EXPECT_FALSE(r.transfer.ok);
    EXPECT_THAT(r.transfer.reason, HasSubstr(common::cp932(u8"転送が遅すぎるため中断しました")));
}

TEST_F(BatchFetchTest, APatternWithoutADayOrTooManyDaysIsRefusedBeforeConnecting) {
    EXPECT_THAT([&] { fetch("logs", "access_log"); },
                testing::ThrowsMessage<common::AppError>(HasSubstr("\"access_log\"")));
    EXPECT_THROW(ftp::fetchDays(ftp, "logs", "a_%d", kLast, 32, local / "logs", stop), common::AppError);
    EXPECT_THROW(ftp::fetchDays(ftp, "logs", "a_%d", kLast, 0, local / "logs", stop), common::AppError);
}

}  // namespace
