// The settings file, the day's log date and the file-name check.
#include "ftp/ftpsetting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "ftp/ftpserver.h"

using common::AppError;
using common::StringList;
using ftptest::readFile;
using ftptest::TempDir;
using ftptest::writeFile;
using testing::HasSubstr;
using testing::ThrowsMessage;
using namespace std::chrono;

namespace {

mode_t modeOf(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

TEST(FtpSetting, SavedFieldsReadBackTheSameBlanksIncluded) {
    TempDir dir;
    const std::string path = dir / "FTPSetting.dat";
    const StringList fields{" ftp.example.jp ", "", common::cp932(u8"パス①"), "logs/\t"};
    ftp::saveFtpSetting(path, fields);
    EXPECT_EQ(readFile(path), " ftp.example.jp \r\n\r\n" + fields[2] + "\r\nlogs/\t\r\n");
    EXPECT_EQ(ftp::loadFtpSetting(path), fields);
    ftp::saveFtpSetting(path, {"", "", "", ""});
    EXPECT_EQ(readFile(path), "\r\n\r\n\r\n\r\n");
    EXPECT_EQ(ftp::loadFtpSetting(path), (StringList{"", "", "", ""}));
}

TEST(FtpSetting, PasswordFileIsReadableByItsOwnerOnly) {
    TempDir dir;
    const std::string path = dir / "FTPSetting.dat";
    ftp::saveFtpSetting(path, {"a", "b", "c", "d"});
    EXPECT_EQ(modeOf(path), 0600u);
    // A file shipped or written earlier readable by all is tightened when it is rewritten.
    writeFile(path, "\r\n\r\n\r\n\r\n");
    ::chmod(path.c_str(), 0644);
    ftp::saveFtpSetting(path, {"a", "b", "c", "d"});
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_EQ(readFile(path), "a\r\nb\r\nc\r\nd\r\n");
}

TEST(FtpSetting, RelativeOrDanglingSymbolicLinkIsWrittenThroughAndStaysALink) {
    TempDir dir;
    ::mkdir((dir / "materia").c_str(), 0755);
    ::mkdir((dir / "elsewhere").c_str(), 0700);
    writeFile(dir / "elsewhere/ftp.dat", "old\r\n");
    const std::string path = dir / "materia/FTPSetting.dat";
    ASSERT_EQ(::symlink("../elsewhere/ftp.dat", path.c_str()), 0);
    ftp::saveFtpSetting(path, {"a", "b", "c", "d"});
    struct stat st {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(dir / "elsewhere/ftp.dat"), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(modeOf(dir / "elsewhere/ftp.dat"), 0600u);
    EXPECT_EQ(ftptest::listDir(dir / "elsewhere"), "ftp.dat ");  // no temporary file left there
    // A link to a file not there yet creates that file.
    ::unlink((dir / "elsewhere/ftp.dat").c_str());
    ftp::saveFtpSetting(path, {"e", "f", "g", "h"});
    EXPECT_EQ(readFile(dir / "elsewhere/ftp.dat"), "e\r\nf\r\ng\r\nh\r\n");
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
}

TEST(FtpSetting, ShippedFileIsReadableByItsOwnerOnly) {
    EXPECT_EQ(modeOf(MUNYARO_BIN_DIR "/materia/FTPSetting.dat"), 0600u);
}

TEST(FtpSetting, ASymbolicLinkIsWrittenThroughAndStays) {
    TempDir dir, elsewhere;
    const std::string target = elsewhere / "kept.dat";
    writeFile(target, "\r\n\r\n\r\n\r\n");
    ::chmod(target.c_str(), 0644);
    const std::string link = dir / "FTPSetting.dat";
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ftp::saveFtpSetting(link, {"a", "b", "c", "d"});
    struct stat st {};
    ASSERT_EQ(::lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readFile(target), "a\r\nb\r\nc\r\nd\r\n");
    EXPECT_EQ(modeOf(target), 0600u);
}

TEST(FtpSetting, WriteProtectedFileOrMissingDirectoryIsRefusedAndKept) {
    TempDir dir;
    const std::string path = dir / "FTPSetting.dat";
    writeFile(path, "old\r\n");
    ::chmod(path.c_str(), 0444);
    EXPECT_THAT([&] { ftp::saveFtpSetting(path, {"a", "b", "c", "d"}); }, ThrowsMessage<AppError>(HasSubstr(path)));
    EXPECT_EQ(readFile(path), "old\r\n");
    EXPECT_EQ(modeOf(path), 0444u);
    const std::string missing = dir / "materia/FTPSetting.dat";
    EXPECT_THAT(
        [&] {
            ftp::saveFtpSetting(missing, {"a", "b", "c", "d"});
        },
        ThrowsMessage<AppError>(HasSubstr(missing)));
}

TEST(FtpSetting, AnyLineEndsAreReadAndExtraLinesIgnored) {
    TempDir dir;
    const std::string path = dir / "FTPSetting.dat";
    writeFile(path, "host\nuser\rpass\r\n dir/ \nfifth\n");
    const auto lines = ftp::loadFtpSetting(path);
    for (std::size_t i = 0; i < 4; ++i)
        EXPECT_EQ(ftp::settingLine(lines, i), (StringList{"host", "user", "pass", " dir/ "}[i]));
}

TEST(FtpSetting, MissingLineNamesItsIndexAndMissingFileItsPath) {
    TempDir dir;
    const std::string path = dir / "FTPSetting.dat";
    writeFile(path, "host\r\nuser\r\n");
    const auto lines = ftp::loadFtpSetting(path);
    EXPECT_EQ(ftp::settingLine(lines, 1), "user");
    EXPECT_THAT([&] { ftp::settingLine(lines, 2); },
                ThrowsMessage<AppError>(common::cp932(u8"リストのインデックスが範囲を超えています (2)")));
    EXPECT_THAT([&] { ftp::settingLine({}, 0); }, ThrowsMessage<AppError>(HasSubstr("(0)")));
    EXPECT_THAT([&] { ftp::loadFtpSetting(dir / "none.dat"); }, ThrowsMessage<AppError>(HasSubstr(dir / "none.dat")));
}

TEST(LogDate, BeforeFourInTheMorningGivesTheDayBefore) {
    const auto at = [](int h, int m, int s, int ms = 0) {
        return hours(h) + minutes(m) + seconds(s) + milliseconds(ms);
    };
    EXPECT_EQ(ftp::logDate(2004y / 1 / 5, at(10, 0, 0)), "20040105");
    EXPECT_EQ(ftp::logDate(2004y / 1 / 5, at(3, 59, 59, 999)), "20040104");
    EXPECT_EQ(ftp::logDate(2004y / 1 / 5, at(4, 0, 0)), "20040105");
    EXPECT_EQ(ftp::logDate(2004y / 1 / 5, at(0, 0, 0)), "20040104");
    EXPECT_EQ(ftp::logDate(2004y / 1 / 5, at(23, 59, 59, 999)), "20040105");
    EXPECT_EQ(ftp::logDate(2004y / 3 / 1, at(3, 0, 0)), "20040229");
    EXPECT_EQ(ftp::logDate(2005y / 3 / 1, at(3, 0, 0)), "20050228");
    EXPECT_EQ(ftp::logDate(2004y / 1 / 1, at(3, 0, 0)), "20031231");
    EXPECT_EQ(ftp::logDate(2004y / 5 / 1, at(3, 0, 0)), "20040430");
}

TEST(PlainFileName, PathsAndDotNamesAreRefused) {
    for (const char* bad : {"", ".", "..", "../x", "a/b", "a\\b", "/etc/passwd", "logs/", "\\"})
        EXPECT_FALSE(ftp::isPlainFileName(bad)) << bad;
    for (const char* good :
         {"access_log_20040105", ".hidden", "a..b", "...", "\xe3\x82\xbd\xe8\xa1\xa8.log" /* ソ表.log */})
        EXPECT_TRUE(ftp::isPlainFileName(good)) << good;
}

}  // namespace
