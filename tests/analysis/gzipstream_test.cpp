// gzip logs: each inflate library on its own, and the loader that cuts the lines while it inflates.
#include "analysis/gzipstream.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <optional>
#include <random>
#include <thread>
#include <tuple>

#include "analysis/logfile.h"
#include "common/apperror.h"
#include "common/bigmemory.h"
#include "common/cp932.h"
#include "common/fileio.h"
#include "common/stringlist.h"
#include "support/gzip.h"
#include "support/tempdir.h"

using analysis::GzipStream;
using common::cp932;
using testing::ThrowsMessage;

namespace {

constexpr GzipStream::Library kLibraries[] = {GzipStream::Library::Fastest, GzipStream::Library::Zlib};

// The whole text of gz, read in pieces of random sizes up to most, and the state it ended in.
std::pair<std::string, GzipStream::State> inflateAll(const std::string& gz, GzipStream::Library library,
                                                     std::mt19937& rng, std::size_t most) {
    GzipStream stream(gz, library);
    std::string text;
    for (;;) {
        const std::size_t room = std::uniform_int_distribution<std::size_t>(1, most)(rng);
        const std::size_t at = text.size();
        text.resize(at + room);
        std::size_t made = 0;
        const GzipStream::State state = stream.read(text.data() + at, room, made);
        text.resize(at + made);
        if (state != GzipStream::State::More) return {text, state};
        EXPECT_EQ(made, room);
    }
}

// Log lines with many distinct parts (so that they do not compress to nothing), of n bytes or a little more.
std::string logText(std::size_t n, unsigned seed, const char* breakText = "\n") {
    std::mt19937 rng(seed);
    std::string text;
    while (text.size() < n) {
        text += "10.0." + std::to_string(rng() % 256) + "." + std::to_string(rng() % 256) +
                " - - [10/Oct/2004:13:55:36 +0900] \"GET /page" + std::to_string(rng()) + ".html HTTP/1.1\" 200 " +
                std::to_string(rng() % 100000) + " \"-\" \"Agent/" + std::to_string(rng() % 1000) + "\"" + breakText;
    }
    return text;
}

std::string openError(const std::string& path, const std::string& reason) {
    return common::formatMessage(common::msg::cannotOpen(), {common::pathText(common::fullPath(path)), reason});
}
std::string damaged() { return cp932(u8"gzip 形式の展開に失敗しました"); }

struct MemoryFigure {
    explicit MemoryFigure(std::size_t bytes) { common::setAvailableMemoryForTesting(bytes); }
    ~MemoryFigure() { common::setAvailableMemoryForTesting(std::nullopt); }
};

}  // namespace

// ---- The inflate libraries, each on its own.

// Stored, fast and best levels, blocks flushed midway, several members (an empty one too) and junk
// after the last: every library gives the text whole, read in pieces of any size.
TEST(GzipStream, EveryLibraryGivesTheWholeTextOfEveryMemberInPiecesOfAnySize) {
    std::mt19937 rng(11);
    for (int round = 0; round < 40; ++round) {
        const std::string a = logText(std::uniform_int_distribution<std::size_t>(0, 200000)(rng), round);
        const std::string b = round % 3 ? logText(5000, round + 100, "\r\n") : "";
        constexpr int kLevels[] = {0, 1, 6, 9};
        const int level = kLevels[round % 4];
        std::string gz = gzipText(a, level, round % 5 == 0 ? 1000 : 0);
        if (round % 2) gz += gzipText(b, level) + gzipText("") + gzipText(b.substr(0, 7), 1);
        const std::string want = round % 2 ? a + b + b.substr(0, 7) : a;
        if (round % 7 == 0) gz += "junk";
        for (const GzipStream::Library library : kLibraries) {
            const auto [text, state] = inflateAll(gz, library, rng, round % 4 == 0 ? 100 : 300000);
            EXPECT_EQ(state, GzipStream::State::End) << "round " << round;
            ASSERT_TRUE(text == want) << "round " << round << ": " << text.size() << " bytes, want " << want.size();
        }
    }
}

// A file cut short anywhere in its last 64 KB (at every 4 KB boundary, and inside its 8-byte trailer),
// or with a byte changed, is damaged: never a shorter text that ends well.
TEST(GzipStream, CutOrChangedDataIsDamaged) {
    std::mt19937 rng(3);
    const std::string text = logText(1500000, 7);
    const std::string gz = gzipText(text, 6);
    ASSERT_GT(gz.size(), 65536u + 4096u);
    std::vector<std::string> bad;
    for (std::size_t cut = 4096; cut <= 65536; cut += 4096) bad.push_back(gz.substr(0, gz.size() - cut));
    for (std::size_t cut = 1; cut <= 8; ++cut) bad.push_back(gz.substr(0, gz.size() - cut));
    for (const std::size_t at : {std::size_t(2), gz.size() / 2, gz.size() - 6}) {  // method, data, checksum
        bad.push_back(gz);
        bad.back()[at] = static_cast<char>(bad.back()[at] ^ 0x10);
    }
    bad.push_back(gz + gz.substr(0, 20));  // a second member cut short after its header
    for (const std::string& b : bad)
        for (const GzipStream::Library library : kLibraries)
            EXPECT_EQ(inflateAll(b, library, rng, 1 << 20).second, GzipStream::State::Damaged) << b.size() << " bytes";
}

// ---- The loader: lines cut while the text is inflated.

// The lines of a gzip log are those of its plain text, on one thread or two, also where a line
// break falls on the edge of what is inflated at a time (a megabyte) or between two members.
TEST(LoadGzip, LinesAreThoseOfThePlainText) {
    constexpr std::size_t kMb = std::size_t(1) << 20;
    std::string edges = logText(2 * kMb + 5000, 1);
    edges[kMb - 1] = '\r';
    edges[kMb] = '\n';
    edges[2 * kMb - 1] = '\r';
    edges[2 * kMb] = 'x';
    std::string zero = logText(3 * kMb / 2, 2, "\r");
    zero[kMb + 17] = '\0';
    const std::string crlf = logText(300000, 3, "\r\n");
    const std::size_t split = crlf.find("\r\n", 100000) + 1;  // between the CR and the LF
    struct Case {
        std::string text, gz;
    };
    const std::vector<Case> cases{
        {edges, gzipText(edges, 1)},
        {zero, gzipText(zero, 6)},
        {crlf, gzipText(crlf.substr(0, split)) + gzipText(crlf.substr(split))},
        {"a\r\n \t\r\nb", gzipText("a\r\n \t\r\nb")},
        {"", gzipText("")},
    };
    TempDir dir;
    for (const Case& c : cases) {
        const auto plain = analysis::logFromBytes(c.text, "log");
        const std::string path = dir.file("log.gz", c.gz);
        for (const unsigned threads : {1u, 2u}) {
            const auto log = analysis::loadLog(path, threads);
            ASSERT_EQ(log->size(), plain->size()) << c.text.size() << " bytes, " << threads << " threads";
            for (std::size_t i = 0; i < plain->size(); ++i) {
                ASSERT_EQ((*log)[i], (*plain)[i]) << "line " << i;
                ASSERT_EQ((*log)[i].data() - log->buffer().data(), (*plain)[i].data() - plain->buffer().data());
            }
            if (plain->size() > 0) {
                EXPECT_EQ(log->lineNumber(log->size() - 1), plain->lineNumber(plain->size() - 1));
            }
        }
    }
}

TEST(LoadGzip, DamagedFilesGiveTheirErrorOnAnyNumberOfThreads) {
    const std::string text = logText(400000, 9);
    const std::string gz = gzipText(text, 6);
    TempDir dir;
    for (std::size_t cut = 4096; cut <= 65536 && cut < gz.size(); cut += 4096) {
        const std::string path = dir.file("cut.log.gz", gz.substr(0, gz.size() - cut));
        for (const unsigned threads : {1u, 2u})
            EXPECT_THAT([&] { analysis::loadLog(path, threads); },
                        ThrowsMessage<common::AppError>(openError(path, damaged())))
                << "cut " << cut << ", " << threads << " threads";
    }
    // A zero byte ends the text, but not the check of the data after it.
    const std::string path = dir.file(
        "zero.log.gz", gzipText(text.substr(0, 1000) + std::string(1, '\0') + text).substr(0, gz.size() / 2));
    EXPECT_THAT([&] { analysis::loadLog(path, 2); }, ThrowsMessage<common::AppError>(openError(path, damaged())));
}

// A small file that would inflate to far more than the memory left (a gzip bomb) is refused once
// its text passes a third of that memory, with the figure; what stays below is read.
TEST(LoadGzip, ABombIsRefusedAtAThirdOfTheMemoryLeft) {
    TempDir dir;
    const std::string lines = logText(4u << 20, 4);
    const std::string bomb = dir.file("bomb.log.gz", gzipText(lines, 9));
    // Zeros end the text at once, yet the file's size is what counts.
    const std::string zeros = dir.file("zeros.log.gz", gzipText(lines.substr(0, 500) + std::string(8u << 20, '\0')));
    const std::string fits = dir.file("fits.log.gz", gzipText(lines.substr(0, 900000)));
    const std::string tooBig = cp932(u8"展開すると 1 MB (使えるメモリの 3 分の 1) を超えます");
    MemoryFigure figure(3u << 20);
    for (const unsigned threads : {1u, 2u}) {
        for (const std::string& path : {bomb, zeros})
            EXPECT_THAT([&] { analysis::loadLog(path, threads); },
                        ThrowsMessage<common::AppError>(openError(path, tooBig)))
                << path << ", " << threads << " threads";
        EXPECT_EQ(analysis::loadLog(fits, threads)->size(), common::splitLines(lines.substr(0, 900000)).size());
    }
}

// The size that a member's trailer states is room reserved for the lines, never trusted: one that
// lies either way is damage, and a small last member (room for few lines) still gives every line of
// the members before it.
TEST(LoadGzip, TheSizeInTheTrailerIsCheckedNotTrusted) {
    const std::string text = logText(600000, 11);
    const std::string gz = gzipText(text, 6);
    const auto withSize = [&gz](std::uint32_t size) {
        std::string g = gz;
        for (std::size_t k = 0; k < 4; ++k) g[g.size() - 4 + k] = static_cast<char>(size >> (8 * k) & 0xff);
        return g;
    };
    TempDir dir;
    for (const std::uint32_t said : {std::uint32_t(0), std::uint32_t(text.size() - 1), std::uint32_t(text.size() + 1),
                                     std::uint32_t(0xffffffffu)}) {
        const std::string path = dir.file("lies.log.gz", withSize(said));
        for (const unsigned threads : {1u, 2u})
            EXPECT_THAT([&] { analysis::loadLog(path, threads); },
                        ThrowsMessage<common::AppError>(openError(path, damaged())))
                << said << ", " << threads << " threads";
    }
    const std::string tiny = "9.9.9.9 - - [10/Oct/2004:13:55:36 +0900] \"GET / HTTP/1.1\" 200 1\n";
    const auto plain = analysis::logFromBytes(text + tiny, "log");
    const std::string path = dir.file("members.log.gz", gz + gzipText(tiny));
    for (const unsigned threads : {1u, 2u}) {
        const auto log = analysis::loadLog(path, threads);
        ASSERT_EQ(log->size(), plain->size());
        for (std::size_t i = 0; i < plain->size(); ++i) ASSERT_EQ((*log)[i], (*plain)[i]) << "line " << i;
    }
}

// ---- A log counted as it is inflated: its lines handed out part by part, the text given back behind.

namespace {

// Takes every part of feed, checking each against the lines of plain before its text is given back
// (countEach; otherwise the feed is told at once to read on without waiting for that). Returns the
// lines handed out, and the size of each part's text into sizes where it is given.
std::size_t takeAll(analysis::GzipFeed& feed, const analysis::LogText& plain, bool countEach,
                    std::vector<std::size_t>* sizes = nullptr) {
    if (!countEach) feed.readToEnd();
    std::size_t lines = 0;
    const analysis::GzipFeed::Part* part = nullptr;
    const analysis::GzipFeed::Part* first = feed.first();
    bool isFirst = true;
    while (feed.next(part)) {
        EXPECT_TRUE(!isFirst || part == first);
        isFirst = false;
        EXPECT_EQ(part->first, lines);
        const char* base = plain.buffer().data();
        for (std::size_t i = 0; i < part->lines.size(); ++i) {
            const std::string_view want = plain[lines + i];
            EXPECT_EQ(part->lines[i], want) << "line " << lines + i;
            EXPECT_TRUE(i > 0 || part->textBegin <= static_cast<std::size_t>(want.data() - base));
        }
        const std::string_view last = plain[lines + part->lines.size() - 1];
        EXPECT_EQ(part->textEnd, static_cast<std::size_t>(last.data() + last.size() - base));
        lines += part->lines.size();
        if (sizes) sizes->push_back(part->textEnd - part->textBegin);
        if (countEach) feed.counted(*part);
    }
    EXPECT_TRUE(!isFirst || first == nullptr);
    return lines;
}

}  // namespace

// Every line in order, in parts of any size, whether or not the inflating waits for the counting
// (ahead of one byte: it waits for every part); line breaks on the edges of what is inflated at a
// time and between members; a zero byte; blank lines, which count in the line numbers.
TEST(GzipFeed, PartsAreTheLinesOfThePlainTextWithTheirNumbers) {
    constexpr std::size_t kMb = std::size_t(1) << 20;
    std::string edges = logText(2 * kMb + 5000, 1);
    edges[kMb - 1] = '\r';
    edges[kMb] = '\n';
    std::string zero = logText(3 * kMb / 2, 2, "\r");
    zero[kMb + 17] = '\0';
    std::string blanks = logText(600000, 3, "\r\n");
    for (std::size_t at = 1000; (at = blanks.find("\r\n", at)) != std::string::npos; at += 20000)
        blanks.insert(at + 2, at % 3 ? "\r\n \t\r\n" : "\n\r");
    const std::size_t split = blanks.find("\r\n", 300000) + 1;  // between the CR and the LF
    const std::vector<std::pair<std::string, std::string>> cases{
        {edges, gzipText(edges, 1)},
        {zero, gzipText(zero, 6)},
        {blanks, gzipText(blanks.substr(0, split)) + gzipText(blanks.substr(split))},
        {"a\r\n \t\r\nb", gzipText("a\r\n \t\r\nb")},
        {"\n \n", gzipText("\n \n")},
        {"", gzipText("")},
    };
    for (const auto& [text, gz] : cases) {
        const auto plain = analysis::logFromBytes(text, "log");
        common::ByteBuffer compressed(gz.size());
        std::copy(gz.begin(), gz.end(), compressed.data());
        for (const auto& [partLines, partBytes, countEach] :
             {std::tuple{std::size_t(7), std::size_t(1) << 30, true},
              std::tuple{std::size_t(65536), std::size_t(5000), true},
              std::tuple{std::size_t(1000), std::size_t(1) << 30, false}}) {
            analysis::GzipFeed feed(compressed, "log", partLines, partBytes, 1);
            ASSERT_EQ(takeAll(feed, *plain, countEach), plain->size()) << text.size() << " bytes, " << partLines;
            const auto log = feed.finish();
            ASSERT_EQ(log->size(), plain->size());
            EXPECT_EQ(log->stoppedAtZeroByte(), plain->stoppedAtZeroByte());
            if (countEach) continue;
            // The text that was never given back numbers its lines as the plain text does, from the
            // marks that its parts left.
            for (std::size_t i = 0; i < plain->size(); i += i % 1000 < 2 || i % 1000 > 997 ? 1 : 97) {
                ASSERT_EQ((*log)[i], (*plain)[i]) << "line " << i;
                ASSERT_EQ(log->lineNumber(i), plain->lineNumber(i)) << "line " << i;
            }
        }
    }
}

// Threads that take the parts inflate them in turn (produceAhead, or while they wait in next()):
// every part comes once with the lines of its place, and no thread is left waiting, also when only a
// byte may be ahead (a thread then waits for the others to count theirs) or when a thread stops
// taking parts.
TEST(GzipFeed, ThreadsThatTakeThePartsInflateThemInTurn) {
    constexpr std::size_t kMb = std::size_t(1) << 20;
    const std::string text = logText(12 * kMb, 21);
    const auto plain = analysis::logFromBytes(text, "log");
    const std::string gz = gzipText(text, 1);
    common::ByteBuffer compressed(gz.size());
    std::copy(gz.begin(), gz.end(), compressed.data());
    for (const std::size_t ahead : {std::size_t(1), 3 * kMb}) {
        for (const bool oneStops : {false, true}) {
            analysis::GzipFeed feed(compressed, "log", 1u << 30, kMb / 2, ahead);
            std::mutex mutex;
            std::vector<std::size_t> firsts;
            std::size_t lines = 0;
            std::atomic<bool> wrong{false};
            auto take = [&](std::size_t most) {
                const analysis::GzipFeed::Part* part = nullptr;
                for (std::size_t n = 0; n < most; ++n) {
                    feed.produceAhead(2);
                    if (!feed.next(part)) return;
                    for (std::size_t i = 0; i < part->lines.size(); i += 97)
                        if (part->lines[i] != (*plain)[part->first + i]) wrong = true;
                    {
                        std::lock_guard lock(mutex);
                        firsts.push_back(part->first);
                        lines += part->lines.size();
                    }
                    feed.counted(*part);
                }
            };
            std::thread a(take, oneStops ? std::size_t(3) : ~std::size_t(0)), b(take, ~std::size_t(0));
            take(~std::size_t(0));
            a.join();
            b.join();
            EXPECT_FALSE(wrong.load());
            EXPECT_EQ(lines, plain->size()) << ahead;
            std::vector<std::size_t> sorted = firsts;
            std::sort(sorted.begin(), sorted.end());
            EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end());
            EXPECT_GT(firsts.size(), 10u);
            EXPECT_EQ(feed.finish()->size(), plain->size());
        }
    }
}

// Text that was counted lends its whole huge pages to the text still to come: the parts inflated
// into them are as the plain text has them.
TEST(GzipFeed, PagesOfCountedTextTakeTheTextToCome) {
    const std::string text = logText(std::size_t(14) << 20, 12);
    const auto plain = analysis::logFromBytes(text, "log");
    const std::string gz = gzipText(text, 1);
    common::ByteBuffer compressed(gz.size());
    std::copy(gz.begin(), gz.end(), compressed.data());
    analysis::GzipFeed feed(compressed, "log", 65536, std::size_t(5) << 20, 1);
    EXPECT_EQ(takeAll(feed, *plain, true), plain->size());
    EXPECT_EQ(feed.finish()->size(), plain->size());
}

// Parts shrink towards the end that the trailer tells, down to a megabyte, so that no thread is left
// counting a big last part alone. A trailer that tells another end (that of the last of two members)
// changes only the size of the parts.
TEST(GzipFeed, TheLastPartsAreSmallTowardsTheEndTheTrailerTells) {
    constexpr std::size_t kMb = std::size_t(1) << 20;
    const std::string text = logText(24 * kMb, 13);
    const auto plain = analysis::logFromBytes(text, "log");
    const std::size_t split = text.find('\n', 20 * kMb) + 1;
    auto parts = [&](const std::string& gz) {
        common::ByteBuffer compressed(gz.size());
        std::copy(gz.begin(), gz.end(), compressed.data());
        analysis::GzipFeed feed(compressed, "log", std::size_t(1) << 30, 8 * kMb, std::size_t(1) << 40);
        std::vector<std::size_t> sizes;
        EXPECT_EQ(takeAll(feed, *plain, true, &sizes), plain->size());
        // A part ends with the piece of a megabyte inflated at a time that took it past its size.
        for (const std::size_t size : sizes) EXPECT_LE(size, 9 * kMb);
        return sizes;
    };
    const std::vector<std::size_t> one = parts(gzipText(text, 1));
    ASSERT_GE(one.size(), 6u);
    EXPECT_GE(one.front(), 4 * kMb);
    for (std::size_t k = one.size() - 4; k < one.size(); ++k) EXPECT_LE(one[k], 2 * kMb) << "part " << k;
    const std::vector<std::size_t> two = parts(gzipText(text.substr(0, split), 1) + gzipText(text.substr(split), 1));
    EXPECT_GT(*std::max_element(two.begin(), two.end()), 7 * kMb);
}

// A file that is damaged, cut short or a bomb gives loadLog's error once the lines before the failure
// have been handed out, and again when the log is made whole; what stays below the cap is read.
TEST(GzipFeed, FailuresComeAfterTheSoundPartsWithTheLoadersErrors) {
    const std::string text = logText(1500000, 9);
    const std::string gz = gzipText(text, 6);
    std::string changed = gz;
    changed[gz.size() - 6] = static_cast<char>(changed[gz.size() - 6] ^ 0x10);  // the checksum
    auto buffer = [](const std::string& s) {
        common::ByteBuffer b(s.size());
        std::copy(s.begin(), s.end(), b.data());
        return b;
    };
    auto failure = [&](const std::string& file) -> std::string {
        const common::ByteBuffer bytes = buffer(file);
        analysis::GzipFeed feed(bytes, "log.gz", 1000, std::size_t(1) << 30, 1);
        std::string error;
        const analysis::GzipFeed::Part* part = nullptr;
        try {
            while (feed.next(part)) feed.counted(*part);
        } catch (const common::AppError& e) {
            error = e.what();
        }
        EXPECT_THAT([&] { feed.finish(); }, ThrowsMessage<common::AppError>(error));
        return error;
    };
    EXPECT_EQ(failure(gz.substr(0, gz.size() - 4096)), openError("log.gz", damaged()));
    EXPECT_EQ(failure(changed), openError("log.gz", damaged()));
    MemoryFigure figure(3u << 20);
    EXPECT_EQ(failure(gz), openError("log.gz", cp932(u8"展開すると 1 MB (使えるメモリの 3 分の 1) を超えます")));
    const std::string small = text.substr(0, 900000);
    const auto plain = analysis::logFromBytes(small, "log");
    const common::ByteBuffer fits = buffer(gzipText(small));
    analysis::GzipFeed feed(fits, "log.gz", 1000, std::size_t(1) << 30, 1);
    EXPECT_EQ(takeAll(feed, *plain, true), plain->size());
}
