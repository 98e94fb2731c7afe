// munyaro-cli decode, run as the built program with files for its standard streams.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>

#include "common/cp932.h"
#include "support/tempdir.h"

using common::cp932;
using testing::HasSubstr;

namespace {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

class DecodeCommand : public testing::Test {
protected:
    // before: shell commands run first, in the same shell.
    CliRun decode(const std::string& input, const std::string& args = "", const std::string& before = "") {
        {
            std::ofstream in(dir_ / "in", std::ios::binary);
            in << input;
        }
        const std::string command = before + std::string("'") + MUNYARO_BIN_DIR + "/munyaro-cli' decode " + args +
                                    " < '" + (dir_ / "in").string() + "' > '" + (dir_ / "out").string() + "' 2> '" +
                                    (dir_ / "err").string() + "'";
        const int raw = std::system(command.c_str());
        CliRun run;
        run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        run.out = readFile(dir_ / "out");
        run.err = readFile(dir_ / "err");
        return run;
    }

    TempDir tmp_;
    const std::filesystem::path dir_ = tmp_.path();
};

}  // namespace

TEST_F(DecodeCommand, DecodesEveryLineWhateverItsBreak) {
    const CliRun run = decode("%E3%81%82\r\nq=%E6%97%A5%E6%9C%AC\ra+b\n\n50%25");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, cp932(u8"あ") + "\n" + cp932(u8"q=日本") + "\na+b\n\n50%\n");
    EXPECT_EQ(run.err, "");
}

TEST_F(DecodeCommand, ABadLineStopsTheRunAndLeavesItAndTheRestUnchanged) {
    const CliRun run = decode("%E3%81%82\r\n%G1 x\r\nq=%41\r\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, cp932(u8"あ") + "\n%G1 x\nq=%41\n");
    EXPECT_THAT(run.err, HasSubstr("不正なURL"));
}

TEST_F(DecodeCommand, EmptyInputGivesNoLines) {
    const CliRun run = decode("");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "");
}

TEST_F(DecodeCommand, ZeroBytesAndUnconvertibleCharactersAreKept) {
    // A zero byte in the input is a character; one decoded from %00 is written as a zero byte too.
    const CliRun run = decode(std::string("a\0b%00\n", 7) + "caf%C3%A9\n" + cp932(u8"日本") + "\n");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, std::string("a\0b\0\n", 5) + "caf?\n\n");
    // A character that has no Shift-JIS form (an emoji) is substituted; the line stays.
    EXPECT_EQ(decode("/blog/%E6%97%A5%E6%9C%AC%F0%9F%98%80x\n").out, cp932(u8"/blog/日本") + "?x\n");
}

TEST_F(DecodeCommand, ArgumentsOtherThanHelpAreRefused) {
    EXPECT_EQ(decode("a\n", "extra").status, 2);
    const CliRun help = decode("", "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("munyaro-cli decode"));
}

TEST_F(DecodeCommand, LineLongerThanTheMemoryLeftGivesTheMessageAndNoOutputFile) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no address-space limit can be set";
#endif
    std::string input = "ok%41\n";
    for (int i = 0; i < 10'000'000; ++i) input += "%41";
    const CliRun run = decode(input + "\n", "", "ulimit -v 50000; ");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "メモリが足りません.\n");
    EXPECT_EQ(run.out, "");
}
