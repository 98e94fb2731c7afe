#include "common/sharedfile.h"

#include <algorithm>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/apperror.h"
#include "common/stringlist.h"
#include "support/tempdir.h"

namespace {

// Adds line to the file as it is now.
void appendLine(const std::string& path, const std::string& line) {
    common::updateSharedFile(path, [&](const std::optional<std::string>& now) {
        return std::optional<std::string>(now.value_or("") + line + "\n");
    });
}

TEST(UpdateSharedFile, ProgramsChangingOneFileAtOnceLoseNoneOfEachOthersChanges) {
    TempDir dir;
    const std::string path = dir / "RecentFiles.dat";
    constexpr int kWriters = 4, kEach = 25;
    std::vector<pid_t> children;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t child = ::fork();
        if (child == 0) {
            for (int i = 0; i < kEach; ++i) appendLine(path, std::to_string(w) + "-" + std::to_string(i));
            ::_exit(0);
        }
        children.push_back(child);
    }
    for (const pid_t child : children) {
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    auto lines = common::splitLines(readFile(path));
    EXPECT_EQ(lines.size(), std::size_t(kWriters * kEach));
    std::sort(lines.begin(), lines.end());
    EXPECT_EQ(std::unique(lines.begin(), lines.end()), lines.end());
}

TEST(UpdateSharedFile, MissingIsNulloptUnchangedIsNotWrittenAndUnreadableIsNeverReplaced) {
    TempDir dir;
    const std::string path = dir / "f";
    bool sawMissing = false;
    EXPECT_EQ(common::updateSharedFile(path,
                                       [&](const std::optional<std::string>& now) {
                                           sawMissing = !now;
                                           return std::optional<std::string>();
                                       }),
              std::nullopt);
    EXPECT_TRUE(sawMissing);
    EXPECT_EQ(readFile(path), "<missing>");
    appendLine(path, "a");
    struct stat before {};
    ::stat(path.c_str(), &before);
    EXPECT_EQ(
        common::updateSharedFile(path, [](const std::optional<std::string>&) { return std::optional<std::string>(); }),
        "a\n");
    struct stat after {};
    ::stat(path.c_str(), &after);
    EXPECT_EQ(before.st_ino, after.st_ino) << "not replaced";

    // A directory in the file's place: its open error, and the merge never asked.
    const std::string taken = dir / "taken";
    ::mkdir(taken.c_str(), 0700);
    bool asked = false;
    EXPECT_THAT(
        [&] {
            common::updateSharedFile(taken, [&](const std::optional<std::string>&) {
                asked = true;
                return std::optional<std::string>("x");
            });
        },
        testing::ThrowsMessage<common::AppError>(testing::HasSubstr(taken)));
    EXPECT_FALSE(asked);
    // A merge that throws writes nothing.
    EXPECT_THROW(common::updateSharedFile(path,
                                          [](const std::optional<std::string>&) -> std::optional<std::string> {
                                              throw common::AppError("no");
                                          }),
                 common::AppError);
    EXPECT_EQ(readFile(path), "a\n");
}

}  // namespace
