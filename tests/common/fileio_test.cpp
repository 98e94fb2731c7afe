#include "common/fileio.h"

#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "support/tempdir.h"

using common::AppError;
using testing::HasSubstr;
using testing::ThrowsMessage;

TEST(ReadWholeFile, ReadsBytesUnchanged) {
    TempDir dir;
    const std::string p = dir.file("x", std::string("a\r\n\0\xff", 5));
    EXPECT_EQ(common::readWholeFile(p), std::string("a\r\n\0\xff", 5));
}

TEST(ReadWholeFile, MissingDirectoryAndFifoGiveTheOpenErrorWithTheFullPath) {
    TempDir dir;
    const std::string opens = common::cp932(u8" は開けません");
    EXPECT_THAT([&] { common::readWholeFile(dir.path() + "/none"); },
                ThrowsMessage<AppError>(AllOf(HasSubstr("\"" + dir.path() + "/none\""), HasSubstr(opens))));
    EXPECT_THAT([&] { common::readWholeFile(dir.path()); }, ThrowsMessage<AppError>(HasSubstr(opens)));
    const std::string fifo = dir.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_THAT([&] { common::readWholeFile(fifo); }, ThrowsMessage<AppError>(HasSubstr(opens)));  // no hang
}

TEST(WriteFileAtomic, ReplacesTheWholeFileAndLeavesNoTemporary) {
    TempDir dir;
    const std::string p = dir.file("list", "old content that is longer");
    common::writeFileAtomic(p, "new");
    EXPECT_EQ(readFile(p), "new");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(WriteFileAtomic, ReadOnlyTargetIsNotReplaced) {
    TempDir dir;
    const std::string p = dir.file("list", "keep");
    chmod(p.c_str(), 0444);
    EXPECT_THAT([&] { common::writeFileAtomic(p, "new"); },
                ThrowsMessage<AppError>(HasSubstr(common::cp932(u8" を作成できません"))));
    EXPECT_EQ(readFile(p), "keep");
    struct stat st {};
    stat(p.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0444u);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(WriteFileAtomic, MissingDirectoryGivesTheCreateErrorAndNewFilesTakeTheMode) {
    TempDir dir;
    EXPECT_THAT([&] { common::writeFileAtomic(dir.path() + "/no/such/file", "x"); },
                ThrowsMessage<AppError>(
                    AllOf(HasSubstr(dir.path() + "/no/such/file"), HasSubstr(common::cp932(u8"を作成できません")))));
    const std::string p = dir.path() + "/secret";
    common::writeFileAtomic(p, "pw", 0600);
    struct stat st {};
    stat(p.c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(WriteFileAtomic, ASymbolicLinkIsWrittenThroughAndStaysALink) {
    TempDir dir;
    namespace fs = std::filesystem;
    const std::string real = dir.file("a/real", "old");
    chmod(real.c_str(), 0600);
    fs::create_directory(dir / "b");
    fs::create_symlink("../a/real", dir / "b/link");      // relative to the link's own folder
    fs::create_symlink(dir / "b/link", dir / "b/chain");  // a link to a link
    common::writeFileAtomic(dir / "b/chain", "new");
    EXPECT_EQ(readFile(real), "new");
    EXPECT_TRUE(fs::is_symlink(dir / "b/link"));
    EXPECT_TRUE(fs::is_symlink(dir / "b/chain"));
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "a"), {}), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "b"), {}), 2);
    // A link whose file does not exist yet: the file is created where it points.
    fs::create_symlink("../a/created", dir / "b/dangling");
    common::writeFileAtomic(dir / "b/dangling", "x");
    EXPECT_EQ(readFile(dir / "a/created"), "x");
    EXPECT_TRUE(fs::is_symlink(dir / "b/dangling"));
}

TEST(FileLock, OneHolderAtATimeForTheFilesOfADirectory) {
    TempDir dir;
    const std::string p = dir.file("list", "");
    std::optional<common::FileLock> held(std::in_place, p);
    // Another holder (another program, or another open of the same folder) waits, then gives up.
    EXPECT_THAT(
        [&] { common::FileLock other(dir / "other", std::chrono::milliseconds(0)); },
        ThrowsMessage<AppError>(AllOf(HasSubstr(dir / "other"), HasSubstr(common::cp932(u8"を作成できません")))));
    held.reset();
    EXPECT_NO_THROW(common::FileLock again(p, std::chrono::milliseconds(0)));
}

TEST(MapFileBytes, MapsAPlainFileAndReadsZerosWhereItShrankMeanwhile) {
    TempDir dir;
    const std::string text = std::string(3 * 4096, 'x') + "tail";
    const std::string p = dir.file("access_log", text);
    common::ByteBuffer mapped = common::mapFileBytes(p);
    ASSERT_TRUE(mapped.isMapped());
    EXPECT_EQ(mapped.view(), text);
    // A rotation that truncates the log while it is mapped: the lost pages read as zeros, no SIGBUS.
    ASSERT_EQ(truncate(p.c_str(), 4096), 0);
    EXPECT_EQ(mapped.view().substr(0, 4096), std::string(4096, 'x'));
    EXPECT_EQ(mapped.view().substr(4096), std::string(text.size() - 4096, '\0'));
    // Resizing leaves the mapping for a copy of its own; an empty file maps nothing.
    mapped.resize(2);
    EXPECT_FALSE(mapped.isMapped());
    EXPECT_EQ(mapped.view(), "xx");
    EXPECT_FALSE(common::mapFileBytes(dir.file("empty", "")).isMapped());
}

TEST(WriteFileAtomic, AShortWriteNamesTheFileAndTheCause) {
    TempDir dir;
    const std::string p = dir.file("Memo2.csv", "old");
    // A file size limit makes the write fall short (EFBIG) after the temporary was created.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string message;
    try {
        common::writeFileAtomic(p, std::string(64, 'x'));
    } catch (const AppError& e) {
        message = e.what();
    }
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(message, common::msg::writeError() + ": " + p + " (" + std::strerror(EFBIG) + ")");
    EXPECT_EQ(readFile(p), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "no temporary left";
}

TEST(WriteFileAtomic, TemporariesThatAKilledSaveLeftGoAtTheNextSaveIntoTheFolder) {
    TempDir dir;
    const std::string stale = dir.file("Memo2.csv.tmpAb3xYz", "half");
    const std::string user = dir.file("notes.tmp", "the user's");
    const std::string other = dir.file("Memo9.csv.tmp12345", "five letters: not ours");
    // A save under way in another program holds its temporary locked.
    const std::string running = dir.file("Memo4.csv.tmpQwErTy", "being written");
    const int held = ::open(running.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);
    common::writeFileAtomic(dir.path() + "/Memo8.csv", "new");
    EXPECT_FALSE(std::filesystem::exists(stale));
    EXPECT_TRUE(std::filesystem::exists(running));
    EXPECT_EQ(readFile(user), "the user's");
    EXPECT_EQ(readFile(other), "five letters: not ours");
    EXPECT_EQ(readFile(dir.path() + "/Memo8.csv"), "new");
    ::close(held);
    common::writeFileAtomic(dir.path() + "/Memo8.csv", "again");
    EXPECT_FALSE(std::filesystem::exists(running));
}
