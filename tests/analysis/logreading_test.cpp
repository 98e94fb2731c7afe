// A mapped log is cut into lines, and its lines counted, from reads of its file in blocks: every
// block edge must give what the text in memory gives.
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <unistd.h>

#include "analysis/logcounting.h"
#include "analysis/logfile.h"
#include "common/fileio.h"
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
void expectSameLines(const analysis::LineTable& got, const std::string& text, const analysis::LineTable& want,
                     const std::string& wantText) {
    ASSERT_EQ(got.size(), want.size()) << testing::PrintToString(text);
    for (std::size_t i = 0; i < want.size(); ++i) {
        ASSERT_EQ(got[i].data() - text.data(), want[i].data() - wantText.data()) << testing::PrintToString(text);
        ASSERT_EQ(got[i].size(), want[i].size()) << testing::PrintToString(text);
    }
}

}  // namespace

// Stretches cut on several threads, and reads of the file in blocks, give exactly the lines of one
// reading of the text in memory: breaks of every kind at stretch and block edges, blank lines, and a
// zero byte in any stretch ending the text.
TEST(CutLines, StretchesAndBlocksGiveTheLinesOfOneReading) {
    TempDir dir;
    std::mt19937 rng(5);
    static const std::string_view pieces[] = {"ab", "c d", "\r", "\n", "\r\n", " ", "\t", std::string_view("\0", 1)};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 120)(rng);
        // Zero bytes are rare, so that most texts run to their end.
        for (std::size_t i = 0; i < n; ++i)
            text += pieces[std::uniform_int_distribution<std::size_t>(0, round % 4 == 0 ? 7 : 6)(rng)];
        const auto one = analysis::cutLines(text, "log");
        const unsigned threads = 1 + static_cast<unsigned>(round % 5);
        const std::size_t minStretch = 1 + static_cast<std::size_t>(round % 9);
        // Where the text ended is told too: at its first zero byte, or its end.
        const std::size_t zero = std::min(text.find('\0'), text.size());
        std::size_t told = 0;
        expectSameLines(analysis::cutLines(text, "log", false, threads, minStretch, -1, analysis::kReadBlock, &told),
                        text, one, text);
        ASSERT_EQ(told, zero) << testing::PrintToString(text);
        if (round % 2) continue;
        OpenFile f(dir.file("log", text));
        ASSERT_GE(f.fd, 0);
        const std::size_t block = 1 + static_cast<std::size_t>(round % 13);
        told = 0;
        expectSameLines(analysis::cutLines(text, "log", true, threads, minStretch, f.fd, block, &told), text, one,
                        text);
        ASSERT_EQ(told, zero) << testing::PrintToString(text);
        if (HasFatalFailure()) return;
    }
}

// The common case of a zero byte: a log cut short by a crash. The loaded log says in which line the
// reading ended, blank lines counted, whether it was read through its mapping or in blocks.
TEST(LoadLog, TellsTheLineWhoseZeroByteEndedTheText) {
    TempDir dir;
    std::string text;
    for (int i = 1; i <= 1002; ++i)
        text += i == 2 ? "\r\n" : "h - - [10/Oct/2004:13:55:36 +0900] \"GET / HTTP/1.1\" 200 1\n";
    const std::string atLine4 = std::string(text).insert(text.find('\n', text.find('\n', text.find('\n') + 1) + 1) + 5,
                                                         1, '\0');
    for (const unsigned threads : {1u, 4u}) {
        const auto log = analysis::loadLog(dir.file("a.log", atLine4), threads);
        EXPECT_EQ(log->stoppedAtZeroByte(), 4u);
        EXPECT_EQ(log->size(), 3u) << "line 2 is blank; line 4 up to its zero byte";
        EXPECT_EQ(analysis::loadLog(dir.file("b.log", text + std::string(4096, '\0')), threads)->stoppedAtZeroByte(),
                  1003u);
        EXPECT_EQ(analysis::loadLog(dir.file("c.log", text), threads)->stoppedAtZeroByte(), 0u);
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

TEST(LineReader, GivesEveryLineAsTheLogHasItWhateverTheBlock) {
    TempDir dir;
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += std::string(static_cast<std::size_t>(i % 37) + 1, char('a' + i % 26)) + "\r\n";
    text += std::string(5000, 'z');  // longer than any block, at the end without a break
    const auto log = analysis::loadLog(dir.file("log", text));
    ASSERT_TRUE(log->isMapped());
    ASSERT_GE(log->file(), 0);
    for (std::size_t block : {std::size_t(1), std::size_t(20), std::size_t(64), std::size_t(4096)}) {
        std::vector<char> buffer;
        analysis::LineReader reader(*log, buffer, block);
        for (std::size_t i = 0; i < log->size(); ++i) {
            const std::string_view got = reader.line(i, log->size());
            ASSERT_EQ(got, (*log)[i]) << "block " << block << ", line " << i;
            // A copy, so that the mapping is not read; a line longer than a block is not copied.
            ASSERT_EQ(got.data() == (*log)[i].data(), got.size() > block) << "block " << block << ", line " << i;
        }
    }
}

// The whole pass over a mapped log, read in blocks, gives what the same text in memory gives, and a
// long item of the rankings stays a view into the log rather than a copy of the block it was read in.
TEST(LineReader, PassOverAMappedLogEqualsThePassOverItsTextInMemory) {
    TempDir dir;
    std::string text = common::readWholeFile(std::string(MUNYARO_REAL_DATA) + "/elastic-apache.log.gz");
    text = std::string(analysis::logFromBytes(text, "gz")->buffer());
    const std::string longPath = "/" + std::string(analysis::Rankings::kLongItem, 'L');
    for (int i = 0; i < 3; ++i)
        text += "h - - [10/Oct/2004:13:55:36 +0900] \"GET " + longPath + " HTTP/1.1\" 200 1 \"-\" \"-\"\n";
    const analysis::ReferenceLists lists({"66.249."}, {"semicomplete.com"}, {"bot", "Bot"});
    const auto mappedLog = analysis::loadLog(dir.file("log", text));
    ASSERT_GE(mappedLog->file(), 0);
    analysis::LogTally mapped(mappedLog), memory(analysis::logFromBytes(std::string_view(text), "log"));
    analysis::countLines(mapped, lists, nullptr);
    analysis::countLines(memory, lists, nullptr);
    for (auto list :
         {&analysis::LogTally::connectionLines, &analysis::LogTally::getExtract, &analysis::LogTally::referrerList,
          &analysis::LogTally::robotsLog, &analysis::LogTally::watchedLines, &analysis::LogTally::host404Lines})
        ASSERT_EQ(analysis::toStringList(*(mapped.*list)), analysis::toStringList(*(memory.*list)));
    EXPECT_EQ(analysis::toStringList(*mapped.hosts.entries()), analysis::toStringList(*memory.hosts.entries()));
    EXPECT_EQ(mapped.getFileCount, memory.getFileCount);
    EXPECT_EQ(mapped.bytesSent, memory.bytesSent);
    for (std::size_t t = 0; t < analysis::kRankTableCount; ++t) {
        const auto& a = mapped.rankings->table(analysis::rankTable(t)).rows();
        const auto& b = memory.rankings->table(analysis::rankTable(t)).rows();
        ASSERT_EQ(a.size(), b.size()) << t;
        for (std::size_t i = 0; i < a.size(); ++i) {
            ASSERT_EQ(a[i].item, b[i].item) << t;
            ASSERT_EQ(a[i].hits, b[i].hits) << t;
        }
    }
    const auto& pages = mapped.rankings->table(analysis::RankTable::Pages).rows();
    const std::string_view buffer = mappedLog->buffer();
    ASSERT_EQ(pages.back().item, longPath);
    EXPECT_EQ(pages.back().hits, 3);
    EXPECT_TRUE(pages.back().item.data() >= buffer.data() &&
                pages.back().item.data() + longPath.size() <= buffer.data() + buffer.size());
}
