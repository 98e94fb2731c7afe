// The command lines munyaro-cli refuses: each class of usage error, for every command, with its text.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "support/clirun.h"

using testing::StartsWith;

namespace {

// A refused command line: status 2, nothing on stdout, the reason and then the command's usage on stderr.
void expectRefused(const std::string& args, const std::string& command, const std::string& why) {
    const Result refused = cli(args, "env -u MUNYARO_PASSWORD ");
    EXPECT_EQ(refused.status, 2) << args;
    EXPECT_EQ(refused.out, "") << args;
    EXPECT_THAT(refused.err, StartsWith("munyaro-cli " + command + ": " + why + "\nusage:\n  munyaro-cli " + command))
        << args;
}

}  // namespace

TEST(ArgParser, UnknownOptionsAreNamed) {
    expectRefused("report --bogus log", "report", "unknown option '--bogus'");
    expectRefused("report --format=combined log", "report", "unknown option '--format=combined'");
    expectRefused("fetch --host h --user u -x", "fetch", "unknown option '-x'");
    // history reads --help only in place of the action.
    expectRefused("history show --help", "history", "unknown option '--help'");
    expectRefused("decode --bogus", "decode", "unexpected argument '--bogus'");
}

TEST(ArgParser, AMissingValueIsNamed) {
    expectRefused("report log --threads", "report", "--threads needs a value");
    expectRefused("fetch --host h --user u --port", "fetch", "--port needs a value");
    expectRefused("history show --html", "history", "--html needs a value");
    // The next argument is the value, whatever it looks like: here the host is "--user".
    expectRefused("fetch --host --user x", "fetch", "--host and --user are needed");
}

TEST(ArgParser, BadNumbersAreRefused) {
    for (const char* threads : {"0", "1025", "-1", "5a", "' 5'", "''", "99999999999999999999"})
        expectRefused(std::string("report log --threads ") + threads, "report",
                      "--threads needs a number from 1 to 1024");
    expectRefused("report --rankings --top 5x log", "report", "--top needs a number of rows, not '5x'");
    expectRefused("report --rankings --top 1234567890 log", "report", "--top needs a number of rows, not '1234567890'");
    for (const char* days : {"0", "32", "123", "x"})
        expectRefused(std::string("fetch --host h --user u --days ") + days, "fetch", "--days must be 1 to 31");
    expectRefused("fetch --host h --user u --port 70000 x", "fetch", "--port must be 1 to 65535");
    expectRefused("history show --top 1234567", "history", "--top needs a number, not '1234567'");
    expectRefused("history add --threads 0 x", "history", "--threads needs at least 1");
}

TEST(ArgParser, ConflictingOptionsAreRefused) {
    expectRefused("report --json --summary log", "report", "--json, --summary and --rankings exclude each other");
    expectRefused("report --rankings --no-rankings log", "report", "--rankings and --no-rankings exclude each other");
    expectRefused("report --top 5 log", "report", "--top goes with --rankings");
    expectRefused("fetch --host h --user u --list --days 3", "fetch", "--list or --days, not both");
    expectRefused("fetch --host h --user u --protocol sftp --passive x", "fetch", "--passive is for ftp");
    expectRefused("history show --json --csv", "history", "--json, --csv and --html exclude each other");
    // --csv takes no option as its file.
    expectRefused("history show --csv --json", "history", "--json, --csv and --html exclude each other");
    expectRefused("history show --from 2024-02 --to 2024-01", "history", "--from is after --to");
}

TEST(ArgParser, HelpPrintsTheUsageThatErrorsPrint) {
    for (const std::string command : {"report", "decode", "fetch", "history"}) {
        const Result help = cli(command + " --help");
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.err, "") << command;
        const Result refused = cli(command + " --bogus");
        ASSERT_EQ(refused.status, 2) << command;
        EXPECT_EQ(help.out, refused.err.substr(refused.err.find("usage:\n"))) << command;
        EXPECT_EQ(cli(command + " -h").out, help.out) << command;
    }
}
