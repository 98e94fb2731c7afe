// A mapped log's lines are cut from reads of its file in blocks: every block edge must give the
// lines of one reading of the text in memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

#include "analysis/logfile.h"
#include "support/tempdir.h"

namespace {

struct OpenFile {
    explicit OpenFile(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {}
    ~OpenFile() {
        if (fd >= 0) ::close(fd);
    }
    int fd;
};

// The same lines at the same places, got pointing into text and want into wantText.
void expectSameLines(const analysis::LogText::LineViews& got, const std::string& text,
                     const analysis::LogText::LineViews& want, const std::string& wantText) {
    ASSERT_EQ(got.size(), want.size()) << testing::PrintToString(text);
    for (std::size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(got[i].data() - text.data(), want[i].data() - wantText.data()) << testing::PrintToString(text);
        ASSERT_EQ(got[i].size(), want[i].size()) << testing::PrintToString(text);
    }
}

}  // namespace

TEST(CutLines, ReadsOfTheFileInBlocksGiveTheLinesOfTheTextInMemory) {
    TempDir dir;
    std::mt19937 rng(11);
    static const std::string_view pieces[] = {"ab", "c d", "\r", "\n", "\r\n", " ", "\t", std::string_view("\0", 1)};
    for (int round = 0; round < 1500; ++round) {
        std::string text;
        const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 100)(rng);
        for (std::size_t i = 0; i < n; ++i)
            text += pieces[std::uniform_int_distribution<std::size_t>(0, round % 4 == 0 ? 7 : 6)(rng)];
        const std::string path = dir.file("log", text);
        OpenFile f(path);
        ASSERT_GE(f.fd, 0);
        const auto one = analysis::cutLines(text, "log");
        // Blocks of one byte up: a CR LF and a line split at every place, on one thread and on several.
        const std::size_t block = 1 + static_cast<std::size_t>(round % 13);
        const unsigned threads = 1 + static_cast<unsigned>(round % 3);
        const std::size_t minStretch = 1 + static_cast<std::size_t>(round % 7);
        expectSameLines(analysis::cutLines(text, "log", true, threads, minStretch, f.fd, block), text, one, text);
        if (HasFatalFailure()) return;
    }
}

// A log that shrinks while it is read (rotated): what the file no longer has reads as zero bytes,
// which end the text, as the mapping shows them.
TEST(CutLines, FileThatShrankEndsWhereItsBytesEnd) {
    TempDir dir;
    const std::string text = "one\ntwo\r\nthree\nfour\n";
    for (std::size_t kept = 0; kept <= text.size(); ++kept) {
        OpenFile f(dir.file("log" + std::to_string(kept), text.substr(0, kept)));
        std::string zeroed = text;
        for (std::size_t i = kept; i < zeroed.size(); ++i) zeroed[i] = '\0';
        const auto want = analysis::cutLines(zeroed, "log");
        for (std::size_t block : {std::size_t(1), std::size_t(4), analysis::kReadBlock})
            expectSameLines(analysis::cutLines(text, "log", true, 2, 4, f.fd, block), text, want, zeroed);
    }
}
