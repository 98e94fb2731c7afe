// Hostile input: what is no readable regular file, files that change while read, logs too large for
// memory or for the 32-bit entries, and every input the fuzz targets found to break something.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <thread>
#include <vector>

#include "analysis/logcounting.h"
#include "analysis/logfile.h"
#include "common/apperror.h"
#include "common/bigmemory.h"
#include "common/casefold.h"
#include "common/cp932.h"
#include "common/fileio.h"
#include "common/stringlist.h"
#include "lists/listfile.h"
#include "support/recordingview.h"
#include "support/tempdir.h"

using common::AppError;
using common::cp932;
using testing::AllOf;
using testing::HasSubstr;
using testing::ThrowsMessage;

namespace {

const std::string kLine =
    "10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET /index.html HTTP/1.1\" 200 2326 \"/links.html\" \"Mozilla/4.0\"";

std::string opens() { return cp932(u8" は開けません"); }
std::string openError(const std::string& path, const std::string& reason) {
    return common::formatMessage(common::msg::cannotOpen(), {common::pathText(common::fullPath(path)), reason});
}
std::string notRegular() { return cp932(u8"通常のファイルではありません"); }
std::string noMemory() { return cp932(u8"メモリが足りません"); }

// A program directory with empty lists, for whole analyses.
struct Analysis {
    TempDir dir;
    Analysis() {
        for (const char* list : {"CheckDomeinList.dat", "DomeinList.dat", "SERobotsList.dat"})
            dir.file(std::string("materia/") + list, "");
    }
    // The error box text of LogCounting on path, "" when it ended normally.
    std::string run(const std::string& path, RecordingView& view) const {
        try {
            analysis::LogCounting(path, view, analysis::AnalysisOptions{dir.path() + "/materia"});
        } catch (const AppError& e) {
            return e.what();
        }
        return "";
    }
    std::string run(const std::string& path) const {
        RecordingView view;
        return run(path, view);
    }
};

// Sets the memory figure big allocations are weighed against, for one test.
struct MemoryFigure {
    explicit MemoryFigure(std::size_t bytes) { common::setAvailableMemoryForTesting(bytes); }
    ~MemoryFigure() { common::setAvailableMemoryForTesting(std::nullopt); }
};

std::string gzip(const std::string& text) {
    uLongf size = compressBound(static_cast<uLong>(text.size())) + 64;
    std::string out(size, '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

}  // namespace

// ---- Things that are no readable regular file: the open error at once, never a wait.

TEST(HostileOpen, DirectoryFifoAndDevicesGiveTheOpenErrorForLogsAndLists) {
    Analysis a;
    const std::string fifo = a.dir.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string isDir = common::pathText(std::strerror(EISDIR));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {a.dir.path(), isDir}, {fifo, notRegular()}, {"/dev/zero", notRegular()}, {"/dev/null", notRegular()}};
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path);
        EXPECT_EQ(a.run(path), openError(path, reason));
        EXPECT_THAT([&] { lists::loadList(path); }, ThrowsMessage<AppError>(openError(path, reason)));
    }
}

TEST(HostileOpen, ReferenceListThatIsADirectoryStopsBeforeThePass) {
    Analysis a;
    std::filesystem::remove(a.dir.path() + "/materia/DomeinList.dat");
    std::filesystem::create_directory(a.dir.path() + "/materia/DomeinList.dat");
    RecordingView view;
    EXPECT_THAT(a.run(a.dir.file("log", kLine + "\n"), view),
                AllOf(HasSubstr("/materia/DomeinList.dat\""), HasSubstr(opens())));
    EXPECT_TRUE(view.pane("Memo4").empty());
}

// Root reads any file, so the unreadable file is tried by a child that has given up root.
TEST(HostileOpen, FileWithoutReadPermissionGivesTheOpenError) {
    TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    const std::string path = dir.file("secret.log", kLine + "\n");
    ASSERT_EQ(chmod(path.c_str(), 0), 0);
    const std::string expected = openError(path, common::pathText(std::strerror(EACCES)));
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        int status = 1;
        try {
            analysis::loadLog(path);
        } catch (const AppError& e) {
            status = e.what() == expected ? 0 : 2;
        }
        try {
            lists::loadList(path);
            status = 1;
        } catch (const AppError& e) {
            if (e.what() != expected) status = 2;
        }
        _exit(status);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 3) GTEST_SKIP() << "running as root without the right to become another user";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the file was read, 2: another message than " << expected;
}

// ---- Files that change while they are read.

// A writer appends without end while the log is read: every read ends, with the log as it was when
// it was opened.
TEST(HostileOpen, LogStillBeingWrittenIsReadAsItWasWhenOpened) {
    TempDir dir;
    std::string start;
    for (int i = 0; i < 20000; ++i) start += kLine + "\n";
    const std::string path = dir.file("growing.log", start);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        std::ofstream out(path, std::ios::binary | std::ios::app);
        while (!stop) out << kLine << '\n' << std::flush;
    });
    std::shared_ptr<const analysis::LogText> log;
    for (int i = 0; i < 20; ++i) log = analysis::loadLog(path);
    stop = true;
    writer.join();
    EXPECT_GE(log->size(), 20000u);
    const std::string now = common::readWholeFile(path);
    EXPECT_TRUE(now.substr(0, log->bufferSize()) == log->buffer());  // no diff of megabytes on failure
}

// A writer keeps cutting the file short and writing it out again. A read that meets a cut may see
// zero bytes where the cut was (the system zeroes the page tail), and a zero byte ends the text; up
// to there every read gives a beginning of the one content the file ever has.
TEST(HostileOpen, FileThatShrinksWhileReadGivesWhatIsThere) {
    TempDir dir;
    std::string content;
    for (int i = 0; content.size() < (1u << 20); ++i) content += std::to_string(i) + "\n";
    const std::string path = dir.file("shrinking", content);
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        const int fd = open(path.c_str(), O_WRONLY);
        for (std::size_t k = 0; !stop; k = (k * 7 + 12345) % content.size()) {
            if (ftruncate(fd, static_cast<off_t>(k)) != 0) break;
            if (pwrite(fd, content.data() + k, content.size() - k, static_cast<off_t>(k)) < 0) break;
        }
        close(fd);
    });
    for (int i = 0; i < 20; ++i) {
        const std::string got = std::string(common::untilNul(common::readWholeFile(path)));
        ASSERT_LE(got.size(), content.size());
        ASSERT_TRUE(got == std::string_view(content).substr(0, got.size())) << "read " << i;
        const auto log = analysis::loadLog(path);
        ASSERT_LE(log->size(), common::splitLines(content).size());
    }
    stop = true;
    writer.join();
}

// ---- Logs too large for memory: refused with a reason instead of ending the program.

TEST(HostileSize, PlainLogLargerThanMemoryIsMappedAndAGzipOneRefused) {
    TempDir dir;
    const std::string path = dir.file("huge.log", kLine + "\n");
    // A sparse file of 4 TB takes no disk space and no reading. A plain log is mapped, not copied, so
    // its size needs no memory: its zero bytes end the text after the first line. Read whole, as the
    // list files are, it is weighed before it is read and refused.
    if (truncate(path.c_str(), off_t(4) << 40) != 0) GTEST_SKIP() << "no sparse files here: " << std::strerror(errno);
    Analysis a;
    RecordingView view;
    EXPECT_EQ(a.run(path, view), "");
    EXPECT_EQ(view.boxes["Edit1"], "1");
    EXPECT_THAT([&] { common::readWholeFile(path); }, ThrowsMessage<AppError>(openError(path, noMemory())));
}

TEST(HostileSize, LogsThatOutgrowTheMemoryLeftGiveTheMemoryErrorNotACrash) {
    TempDir dir;
    std::string big;
    while (big.size() < (24u << 20)) big += kLine + "\n";
    const std::string plain = dir.file("plain.log", big);
    const std::string bomb = dir.file("bomb.log.gz", gzip(big));
    ASSERT_LT(std::filesystem::file_size(bomb), 1u << 20);
    {
        // The plain log is mapped: only its line list needs memory. The gzip one must be unpacked,
        // which is refused past a third of the memory left.
        MemoryFigure figure(16u << 20);
        EXPECT_THROW(common::bigAllocate(32u << 20), std::bad_alloc);
        EXPECT_THAT(
            [&] { analysis::loadLog(bomb); },
            ThrowsMessage<AppError>(openError(bomb, cp932(u8"展開すると 5 MB (使えるメモリの 3 分の 1) を超えます"))));
        EXPECT_TRUE(analysis::loadLog(plain)->size() > 0);
    }
    {
        MemoryFigure figure(1u << 20);
        EXPECT_THAT([&] { analysis::loadLog(plain); }, ThrowsMessage<AppError>(openError(plain, noMemory())));
    }
    // With the memory there, both read alike.
    EXPECT_EQ(analysis::loadLog(bomb)->size(), analysis::loadLog(plain)->size());
}

// Memory for a text of n bytes without using n bytes: one 2 MB block mapped over and over, and the
// last one from a second block, so that the final byte can differ.
class RepeatedText {
public:
    RepeatedText(std::size_t blocks, char fill, char last) : size_(blocks * kBlock) {
        base_ = mmap(nullptr, size_, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (base_ == MAP_FAILED) return;
        const int body = blockOf(fill, fill), tail = blockOf(fill, last);
        for (std::size_t i = 0; i < blocks; ++i)
            if (mmap(static_cast<char*>(base_) + i * kBlock, kBlock, PROT_READ, MAP_SHARED | MAP_FIXED,
                     i + 1 == blocks ? tail : body, 0) == MAP_FAILED)
                ok_ = false;
        close(body);
        close(tail);
    }
    ~RepeatedText() {
        if (base_ != MAP_FAILED) munmap(base_, size_);
    }
    bool ok() const { return base_ != MAP_FAILED && ok_; }
    std::string_view text() const { return {static_cast<const char*>(base_), size_}; }

private:
    static constexpr std::size_t kBlock = std::size_t(2) << 20;
    static int blockOf(char fill, char last) {
        const int fd = memfd_create("munyaro-test", 0);
        std::string bytes(kBlock, fill);
        bytes.back() = last;
        if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) return -1;
        return fd;
    }
    std::size_t size_;
    void* base_;
    bool ok_ = true;
};

// Entries keep offsets within a line in 32 bits: a line of 4 GB would wrap them, so it is refused;
// one byte less is a line like any other.
TEST(HostileSize, LineOfFourGigabytesIsRefusedAndOneByteLessIsRead) {
    const std::size_t blocks = (std::size_t(1) << 32) / (std::size_t(2) << 20);
    const std::string path = "/logs/long.log";
    {
        RepeatedText text(blocks, 'a', 'a');
        ASSERT_TRUE(text.ok());
        ASSERT_EQ(text.text().size(), analysis::kMaxLineBytes + 1);
        EXPECT_THAT([&] { analysis::cutLines(text.text(), path); },
                    ThrowsMessage<AppError>(openError(path, cp932(u8"4 GB 以上の長さの行があります"))));
    }
    RepeatedText text(blocks, 'a', '\n');
    ASSERT_TRUE(text.ok());
    const auto lines = analysis::cutLines(text.text(), path);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), analysis::kMaxLineBytes);
}

// ---- Whole analyses of logs no server writes.

TEST(HostileLog, SingleLineOfTwentyMegabytesIsAnalysed) {
    Analysis a;
    const std::string path(20u << 20, 'p');
    const std::string line = "10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET /" + path +
                             " HTTP/1.1\" 404 5 \"-\" \"-\"";
    RecordingView view;
    EXPECT_EQ(a.run(a.dir.file("long.log", line), view), "");
    EXPECT_EQ(view.boxes["Edit1"], "1");
    EXPECT_EQ(view.boxes["Edit24"], "1");
    ASSERT_EQ(view.pane("Memo4").size(), 1u);
    EXPECT_EQ(view.pane("Memo4")[0].size(), 29 + path.size() + 1);
}

TEST(HostileLog, BinaryJunkAndCutLinesGiveAResultOrTheLineError) {
    Analysis a;
    const std::string notInteger = cp932(u8"は整数ではありません");
    struct Case {
        std::string log;
        std::string error;  // "" when the log is analysed
    };
    const std::vector<Case> cases = {
        // Apache's record of a TLS handshake sent to the plain port.
        {"10.0.0.9 - - [10/Oct/2004:07:00:00 +0900] \"\\x16\\x03\\x01\\x00\\xa5\" 400 226 \"-\" \"-\"\n", ""},
        // Quote, marker and bracket at the very end of the line.
        {"h - - [10/Oct/2004:07:00:00 +0900] \"GET \n", ""},
        {"h - - [10/Oct/2004:07:00:00 +0900] \"POST\n", ""},
        {"h - - [10/Oct/2004:07:00:00 +0900] \"GET / HTTP/1.0\" 403 \n", ""},
        // A 200 line cut right after its status: no byte count to read.
        {"h - - [10/Oct/2004:07:00:00 +0900] \"GET / HTTP/1.0\" 200 ", notInteger},
        // A line cut inside its time field.
        {kLine + "\n" + "10.0.0.1 - - [10/Oct", notInteger},
        // Bytes of every value, NUL excepted (it ends the text), none of them a line break.
        {[] {
             std::string s = "h - - [10/Oct/2004:07:00:00 +0900] \"GET /";
             for (int c = 1; c < 256; ++c)
                 if (c != '\r' && c != '\n') s += static_cast<char>(c);
             return s + " HTTP/1.0\" 404 0 \"-\" \"-\"";
         }(),
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.log);
        RecordingView view;
        const std::string error = a.run(a.dir.file("junk.log", c.log), view);
        if (c.error.empty()) {
            EXPECT_EQ(error, "");
            EXPECT_EQ(view.pane("Memo9").size(), common::splitLines(c.log).size());
        } else {
            EXPECT_THAT(error, HasSubstr(c.error));
        }
        EXPECT_FALSE(view.progressShown);
    }
}

// ---- Inputs the fuzz targets found.

// An empty text may come as a view without any data; memchr must not be handed that null pointer
// (UBSan stopped on it in splitLines, and the log's cut into lines had the same call).
TEST(HostileFound, EmptyViewWithoutDataSplitsIntoNothing) {
    EXPECT_TRUE(common::splitLines(std::string_view{}).empty());
    EXPECT_EQ(common::untilNul(std::string_view{}), "");
    EXPECT_EQ(analysis::logFromBytes(std::string_view{}, "empty")->size(), 0u);
    EXPECT_TRUE(analysis::cutLines(std::string_view{}, "empty").empty());
}

// Two GET lines whose paths are both empty, one of them cut as a view without data: comparing them
// handed memcmp a null pointer.
TEST(HostileFound, EmptyFieldsCompareEqualWhateverTheirData) {
    EXPECT_TRUE(common::foldedEqual(std::string_view{}, ""));
    EXPECT_TRUE(common::foldedEqual("", std::string_view{}));
    Analysis a;
    RecordingView view;
    const std::string log = "h - - [10/Oct/2004:13:55:36 +0900] \"GET  HTTP/1.1\" 404 0 \"-\" \"-\"\n"
                            "h - - [10/Oct/2004:13:55:37 +0900] \"GET \" 404 0 \"-\" \"-\"\n";
    EXPECT_EQ(a.run(a.dir.file("empty-paths.log", log), view), "");
    EXPECT_EQ(view.boxes["Edit7"], "1");
}

// The log fitted, but the lists of the pass outgrow the memory left: the message says so, in place
// of "std::bad_alloc", and the progress window goes away as after any failed pass.
TEST(HostileSize, MemoryRunningOutDuringThePassGivesTheMemoryMessage) {
    // Shrinks the memory figure once the log and the lists are loaded, just before the pass.
    struct LateShortage : RecordingView {
        std::optional<MemoryFigure> figure;
        void progressMessage(std::string message) override {
            if (message == cp932(u8"データを集計しています...")) figure.emplace(1u << 20);
            RecordingView::progressMessage(std::move(message));
        }
    };
    Analysis a;
    std::string log;
    for (int i = 0; i < 250000; ++i) log += "h - - [10/Oct/2004:13:55:36 +0900] \"GET /x HTTP/1.0\" 404 0\n";
    LateShortage view;
    std::string error;
    try {
        // On one thread, so that a list grows into blocks that the figure is asked about; the chunks
        // of a pass on several threads are too small for that in a log of this size.
        analysis::LogCounting(a.dir.file("many.log", log), view,
                              analysis::AnalysisOptions{a.dir.path() + "/materia", true, 1});
    } catch (const AppError& e) {
        error = e.what();
    } catch (const std::bad_alloc&) {
        error = "std::bad_alloc";
    }
    view.figure.reset();
    EXPECT_EQ(error, noMemory());
    EXPECT_FALSE(view.progressShown);
}
