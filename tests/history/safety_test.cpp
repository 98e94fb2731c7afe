// Nothing lost: a program killed while it records, damaged and foreign files, two writers, older and
// newer schemas, a folder that cannot be written.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "history/loglines.h"
#include "history/sqlite.h"
#include "history/store.h"
#include "support/tempdir.h"

using namespace historytest;
using history::Store;
using testing::HasSubstr;

namespace {

history::RecordResult add(Store& store, const std::string& name, const std::string& text,
                          const std::function<void(std::size_t, std::size_t)>& progress = {}) {
    const auto log = logOf(text);
    return store.record(history::sourceOf(name, *log), history::splitIntoDays(log, noLists()), progress);
}

// A log of one line per minute over days first..last of December.
std::string daysLog(int first, int last, const std::string& host = "h") {
    std::vector<std::string> lines;
    for (int d = first; d <= last; ++d)
        for (int s = 0; s < 86400; s += 60) lines.push_back(line(host + std::to_string(s % 7), at(d, s)));
    return join(lines);
}

std::int64_t totalLines(Store& store) { return store.total(0, 99991231).counts.lines; }

std::vector<std::string> asideFiles(const TempDir& dir, const std::string& kind) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        if (e.path().filename().string().starts_with("history.sqlite." + kind)) out.push_back(e.path().string());
    return out;
}

std::string u8(const char8_t* s) { return common::cp932(s); }

}  // namespace

// The child stops inside its recording's transaction, after its first share is written, and is
// killed there.
TEST(HistorySafety, AProgramKilledWhileRecordingLeavesTheHistoryAsItWas) {
    TempDir dir;
    const std::string path = dir / "history.sqlite";
    {
        Store store(path);
        add(store, "first", daysLog(1, 1));
    }
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        try {
            Store store(path);
            add(store, "second", daysLog(2, 5), [&](std::size_t, std::size_t) {
                if (write(ready[1], "x", 1) != 1) _exit(2);
                for (;;) pause();
            });
        } catch (...) {
        }
        _exit(1);
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status));
    close(ready[0]);
    close(ready[1]);

    Store store(path);
    EXPECT_THAT(store.openNotes(), testing::IsEmpty());
    EXPECT_EQ(totalLines(store), 1440);
    ASSERT_EQ(store.days(0, 99991231).size(), 1u);
    // The lock the child held is gone with it: the next recording goes through.
    add(store, "second", daysLog(2, 3));
    EXPECT_EQ(totalLines(store), 3 * 1440);
}

TEST(HistorySafety, ADamagedFileIsMovedAsideWholeAndANewHistoryStarts) {
    TempDir dir;
    const std::string path = dir / "history.sqlite";
    {
        Store store(path);
        add(store, "log", daysLog(1, 3));
    }
    std::string bytes = readFile(path);
    ASSERT_GT(bytes.size(), 8192u);
    for (std::size_t i = 4096; i < bytes.size(); ++i) bytes[i] = static_cast<char>(0xa5);
    writeFile(path, bytes);

    Store store(path);
    const auto aside = asideFiles(dir, "damaged");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(readFile(aside[0]), bytes);
    ASSERT_EQ(store.openNotes().size(), 1u);
    EXPECT_THAT(store.openNotes()[0], HasSubstr(aside[0]));
    EXPECT_THAT(store.openNotes()[0], HasSubstr(u8(u8"壊れていた")));
    EXPECT_EQ(totalLines(store), 0);
    add(store, "log", daysLog(1, 1));
    EXPECT_EQ(totalLines(store), 1440);
}

TEST(HistorySafety, AFileThatIsNoDatabaseIsMovedAsideToo) {
    TempDir dir;
    const std::string path = dir.file("history.sqlite", "my notes, not a history\n");
    Store store(path);
    const auto aside = asideFiles(dir, "damaged");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(readFile(aside[0]), "my notes, not a history\n");
    // A second damaged file the same second gets a name of its own.
    writeFile(dir / "other.sqlite", "junk junk junk junk junk junk junk junk junk junk junk junk");
    std::filesystem::copy_file(dir / "other.sqlite", dir / "history2.sqlite");
    Store again(dir / "history2.sqlite");
    EXPECT_EQ(asideFiles(dir, "damaged").size(), 1u);
    EXPECT_EQ(again.openNotes().size(), 1u);
}

TEST(HistorySafety, AnotherProgramsSqliteFileIsMovedAsideNotUsed) {
    TempDir dir;
    const std::string path = dir / "history.sqlite";
    {
        history::Database other(path, true);
        other.exec("CREATE TABLE contacts(name TEXT); INSERT INTO contacts VALUES('someone');");
    }
    const std::string before = readFile(path);
    Store store(path);
    const auto aside = asideFiles(dir, "foreign");
    ASSERT_EQ(aside.size(), 1u);
    EXPECT_EQ(readFile(aside[0]), before);
    EXPECT_THAT(store.openNotes().at(0), HasSubstr(u8(u8"むにゃろの履歴ではない")));
    add(store, "log", daysLog(1, 1));
    EXPECT_EQ(totalLines(store), 1440);
}

TEST(HistorySafety, TwoWritersTakeTurns) {
    TempDir dir;
    const std::string path = dir / "history.sqlite";
    auto writer = [&](int first) {
        Store store(path);
        for (int d = first; d < first + 8; ++d) add(store, "log" + std::to_string(d), daysLog(d, d));
    };
    std::thread a(writer, 1), b(writer, 11);
    a.join();
    b.join();
    Store store(path);
    EXPECT_EQ(store.days(0, 99991231).size(), 16u);
    EXPECT_EQ(totalLines(store), 16 * 1440);
    // Neither took the other's new history for a foreign file.
    EXPECT_TRUE(asideFiles(dir, "").empty());
}

TEST(HistorySafety, AnOlderSchemaIsMigratedWithItsDays) {
    TempDir dir;
    const std::string path = dir / "history.sqlite";
    history::createSchemaForTest(path, 1);
    {
        history::Database db(path, false);
        db.exec("INSERT INTO source VALUES(1, 'old_log', '/logs/old_log', 10, 5, 'f', 'l', 0);"
                "INSERT INTO share(id, source, day, first_second, last_second, lines, get, post, status200,"
                " status403, status404, other, bytes, favicon, robots, hours, host_count, visitor_count, hosts,"
                " visitors) VALUES(1, 1, 20261201, 0, 10, 5, 5, 0, 5, 0, 0, 0, 500, 0, 0, zeroblob(576), 1, 1,"
                " x'01', x'02');");
    }
    Store store(path);
    EXPECT_THAT(store.openNotes(), testing::IsEmpty());
    const auto days = store.days(0, 99991231);
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].counts.lines, 5);
    EXPECT_EQ(days[0].counts.bytes, 500);
    EXPECT_EQ(days[0].hosts, 1);
    EXPECT_THAT(days[0].sources, testing::ElementsAre("old_log"));
    history::Database db(path, false);
    EXPECT_EQ(db.queryInt("PRAGMA user_version"), Store::kSchemaVersion);
    // What the later step added works on the old file.
    add(store, "new_log", daysLog(2, 2));
    EXPECT_EQ(store.rankings(20261202, 20261202, 0).tableHits[0], 1440);
}

TEST(HistorySafety, AHistoryOfANewerVersionIsLeftAlone) {
    TempDir dir;
    const std::string path = dir / "history.sqlite";
    history::createSchemaForTest(path, Store::kSchemaVersion);
    {
        history::Database db(path, false);
        db.exec("PRAGMA user_version=99");
    }
    const std::string before = readFile(path);
    EXPECT_THAT([&] { Store store(path); },
                testing::ThrowsMessage<common::AppError>(HasSubstr(u8(u8"新しい版のむにゃろ"))));
    EXPECT_EQ(readFile(path), before);
    EXPECT_TRUE(asideFiles(dir, "").empty());
}

// Root writes anywhere, so the folder is tried by a child that has given up root.
TEST(HistorySafety, AFolderThatCannotBeWrittenGivesAClearMessage) {
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const std::string folder = dir / "ro";
    std::filesystem::create_directory(folder);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                                             std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    const std::string path = folder + "/history.sqlite";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        int status = 1;
        try {
            Store store(path);
        } catch (const common::AppError& e) {
            const std::string m = e.what();
            status = m.find(path) != std::string::npos && m.find(u8(u8"書き込めません")) != std::string::npos ? 0 : 2;
        }
        _exit(status);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "running as root without the right to become another user";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the history opened, 2: another message";
}

// Opening reads only the ends of each table; a page damaged in between is met by the read that needs
// it. Every page in turn: the damage is found at opening, or by the reading, which then sets the file
// aside whole and starts a new history; or the page is one the reading does not use and the figures
// are those of the intact file. Never other figures.
TEST(HistorySafety, DamageMetInUseSetsTheFileAsideThenAndNeverGivesOtherFigures) {
    TempDir dir;
    const std::string intact = dir / "intact.sqlite";
    auto figures = [](Store& store) {
        const auto s = store.summaries(0, 99991231, true);
        const auto r = store.rankings(0, 99991231, 0);
        std::string out = std::to_string(s.total.counts.lines) + " " + std::to_string(s.total.hosts);
        for (const auto& m : s.rows) out += " " + std::to_string(m.counts.lines) + "/" + std::to_string(m.visitors);
        for (const auto& t : r.tables)
            for (const auto& row : t) out += " " + row.item + ":" + std::to_string(row.hits);
        return out;
    };
    std::string expected;
    {
        Store store(intact);
        for (int d = 1; d <= 12; ++d) add(store, "log" + std::to_string(d), daysLog(d, d, "h" + std::to_string(d)));
        expected = figures(store);
    }
    const std::string bytes = readFile(intact);
    const std::size_t page = (static_cast<unsigned char>(bytes[16]) << 8 | static_cast<unsigned char>(bytes[17]));
    ASSERT_GT(bytes.size() / page, 8u);
    int atOpening = 0, inUse = 0, unused = 0;
    for (std::size_t p = 1; p < bytes.size() / page; ++p) {
        const std::string folder = dir / ("p" + std::to_string(p));
        std::filesystem::create_directory(folder);
        const std::string path = folder + "/history.sqlite";
        std::string damaged = bytes;
        std::fill(damaged.begin() + static_cast<std::ptrdiff_t>(p * page),
                  damaged.begin() + static_cast<std::ptrdiff_t>((p + 1) * page), static_cast<char>(0xa5));
        writeFile(path, damaged);
        Store store(path);
        if (!store.openNotes().empty()) {
            ++atOpening;
            continue;
        }
        try {
            EXPECT_EQ(figures(store), expected) << "page " << p;
            ++unused;
        } catch (const common::AppError& e) {
            ++inUse;
            EXPECT_THAT(e.what(), HasSubstr(u8(u8"壊れていた"))) << "page " << p;
            std::vector<std::string> aside;
            for (const auto& f : std::filesystem::directory_iterator(folder))
                if (f.path().filename().string().starts_with("history.sqlite.damaged")) aside.push_back(f.path());
            ASSERT_EQ(aside.size(), 1u) << "page " << p;
            EXPECT_THAT(e.what(), HasSubstr(aside[0]));
            EXPECT_EQ(readFile(aside[0]), damaged);
            // The same store goes on with a new, empty history.
            EXPECT_EQ(totalLines(store), 0) << "page " << p;
        }
    }
    EXPECT_GT(atOpening, 0);
    EXPECT_GT(inUse, 0);
    EXPECT_EQ(atOpening + inUse + unused, static_cast<int>(bytes.size() / page) - 1);
}
