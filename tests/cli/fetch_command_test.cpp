// munyaro-cli fetch, run as the program it is, against real servers on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>

#include "ftp/ftpserver.h"
#include "ftp/secureservers.h"
#include "fetchsite.h"
#include "support/clirun.h"
#include "support/json.h"

#include <chrono>
#include <ctime>

using ftptest::FtpServer;
using ftptest::FtpsServer;
using ftptest::listDir;
using ftptest::readFile;
using ftptest::SftpServer;
using ftptest::writeFile;
using testing::HasSubstr;
using testing::Not;

namespace {

// Runs munyaro-cli through the shell with the given environment assignments and arguments.
Result withEnv(const std::string& env, const std::string& args) { return cli(args, env + " "); }

class FetchCommand : public FetchSite {
protected:
    void SetUp() override {
        FetchSite::SetUp();
        writeFile(local / "password", "secret\n");
        ::chmod((local / "password").c_str(), 0600);
    }
    std::string passwordFile() const { return "--password-file " + local / "password "; }
};

TEST_F(FetchCommand, DownloadsIntoOutPrintsThePathAndReportsOnRequest) {
    FtpServer server(root.path(), "munya", "secret");
    auto r = withEnv("", "fetch " + common(server.port()) + passwordFile() + "--passive access_log");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, local / "logs/access_log\n");
    EXPECT_THAT(readFile(local / "logs/access_log"), testing::StartsWith("10.0.0.1 - - "));
    EXPECT_THAT(server.finishedLog(), HasSubstr("<- EPSV"));
    r = withEnv("MUNYARO_PASSWORD=secret", "fetch " + common(server.port()) + "--report access_log");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("/index.html"));
}

TEST_F(FetchCommand, UnknownCertificateFailsWithItsFingerprintUntilTrusted) {
    FtpsServer server(root.path(), "munya", "secret");
    const std::string args = "fetch --protocol ftps " + common(server.port()) + passwordFile();
    auto r = withEnv("", args + "access_log");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("--trust " + server.fingerprint()));
    EXPECT_EQ(listDir(local / "logs"), "");
    r = withEnv("", args + "--trust SHA256:AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA access_log");  // not this key
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(listDir(local / "materia"), "CheckDomeinList.dat DomeinList.dat SERobotsList.dat ");
    r = withEnv("", args + "--trust " + server.fingerprint() + " access_log");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(readFile(local / "materia/ftps_pins"), HasSubstr(server.fingerprint()));
    r = withEnv("", args + "access_log");  // pinned now
    EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(FetchCommand, SftpHostKeyTrustedOnceThenAChangedOneRefused) {
    auto first = std::make_unique<SftpServer>(root.path(), "munya", "secret", local / "key1");
    const int port = first->port();
    const std::string args = "fetch --protocol sftp " + common(port) + passwordFile() + "access_log";
    auto r = withEnv("", "fetch --protocol sftp " + common(port) + passwordFile() + "--trust " + first->fingerprint() +
                         " access_log");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(readFile(local / "materia/known_hosts"), HasSubstr("ssh-ed25519"));
    first.reset();
    SftpServer second(root.path(), "munya", "secret", local / "key2", port);
    writeFile(local / "logs/access_log", "old\n");
    r = withEnv("", "fetch --protocol sftp " + common(port) + passwordFile() + "--trust " + second.fingerprint() +
                    " access_log");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("refused"));
    EXPECT_THAT(r.err, HasSubstr(second.fingerprint()));
    EXPECT_EQ(readFile(local / "logs/access_log"), "old\n");
}

TEST_F(FetchCommand, APinAfterAZeroByteIsNotReplacedByTrust) {
    const auto [port, pins] = ftptest::pinBehindAZeroByte(root.path(), local / "materia/ftps_pins");
    FtpsServer impostor(root.path(), "munya", "secret", port);
    const auto r = withEnv("", "fetch --protocol ftps " + common(port) + passwordFile() + "--trust " +
                               impostor.fingerprint() + " access_log");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("refused"));
    EXPECT_EQ(readFile(local / "materia/ftps_pins"), pins);
    EXPECT_EQ(listDir(local / "logs"), "");
}

TEST_F(FetchCommand, APasswordFileOthersMayReadIsRefusedAndNothingSent) {
    FtpServer server(root.path(), "munya", "secret");
    for (const mode_t mode : {0640, 0604, 0660}) {
        ::chmod((local / "password").c_str(), mode);
        const auto r = withEnv("", "fetch " + common(server.port()) + passwordFile() + "access_log");
        EXPECT_EQ(r.status, 1);
        EXPECT_THAT(r.err, HasSubstr(local / "password"));
        EXPECT_THAT(r.err, HasSubstr("chmod 600"));
    }
    EXPECT_THAT(server.finishedLog(), Not(HasSubstr("<- USER")));
    EXPECT_EQ(listDir(local / "logs"), "");
}

TEST_F(FetchCommand, LineBreakInThePasswordIsRefusedAndNothingSent) {
    FtpServer server(root.path(), "munya", "secret");
    const auto r = withEnv("MUNYARO_PASSWORD=\"$(printf 'secret\\r\\nDELE dir/access_log')\"",
                       "fetch " + common(server.port()) + "access_log");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("NUL"));
    EXPECT_EQ(server.sessions(), 0);
    EXPECT_EQ(listDir(local / "logs"), "");
}

TEST_F(FetchCommand, UsageErrorsExitTwoAndContactNoServer) {
    FtpServer server(root.path(), "munya", "secret");
    const std::string base = common(server.port());
    for (const std::string& args : {"fetch " + base + "access_log",  // no password
                                    "fetch " + base + passwordFile() + "--protocol gopher access_log",
                                    "fetch " + base + passwordFile() + "../access_log",
                                    "fetch " + base + passwordFile() + "--password secret access_log",
                                    "fetch " + base + passwordFile() + "--port 70000 access_log",
                                    "fetch --protocol sftp --passive " + base + passwordFile() + "access_log"}) {
        const auto r = withEnv("env -u MUNYARO_PASSWORD", args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_THAT(r.err, HasSubstr("usage:")) << args;
    }
    EXPECT_EQ(server.sessions(), 0);
}

// libcurl is loaded only for a download: without a usable one, a report still runs, and a fetch
// fails with its reason instead of crashing or contacting anything.
TEST_F(FetchCommand, WithoutAUsableLibcurlFetchFailsCleanlyAndReportStillRuns) {
    FtpServer server(root.path(), "munya", "secret");
    ::mkdir((local / "broken").c_str(), 0755);
    writeFile(local / "broken/libcurl.so.4", "not a library\n");
    const std::string env = "LD_LIBRARY_PATH=" + local / "broken";
    auto r = withEnv(env, "fetch " + common(server.port()) + passwordFile() + "access_log");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("通信ライブラリを初期化できません"));
    EXPECT_EQ(server.sessions(), 0);
    EXPECT_EQ(listDir(local / "logs"), "");
    r = withEnv(env, "report --summary --materia " + local / "materia " + root / "dir/access_log");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("総接続数 1"));
}

// The day proposed now (before 04:00 the day before) and the days before it, as yyyymmdd.
std::string daysAgo(int n) {
    std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    if (local.tm_hour < 4) n += 1;
    local.tm_mday -= n;
    local.tm_hour = 12;
    std::mktime(&local);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d", &local);
    return text;
}

std::string logLine(const std::string& ymd) {
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    return "10.0.0.1 - - [" + ymd.substr(6, 2) + "/" + months[std::stoi(ymd.substr(4, 2)) - 1] + "/" +
           ymd.substr(0, 4) + ":13:55:36 +0900] \"GET /a HTTP/1.1\" 200 5 \"-\" \"Mozilla/4.0\"\n";
}

TEST_F(FetchCommand, ListsTheFolderAndFetchesTheMissingDaysNamingTheOnesThatFailed) {
    writeFile(root / ("dir/site.access_log_" + daysAgo(0)), logLine(daysAgo(0)));
    writeFile(root / ("dir/site.access_log_" + daysAgo(1)), logLine(daysAgo(1)));
    writeFile(root / ("dir/site.access_log_" + daysAgo(3)), logLine(daysAgo(3)));
    ::rename((root / ("dir/site.access_log_" + daysAgo(1))).c_str(),
             (root / ("dir/site.access_log_" + daysAgo(1) + ".gz")).c_str());  // a name is all the server shows
    writeFile(root / "dir/bad\x1b[31mname", "x");
    FtpServer server(root.path(), "munya", "secret");
    const std::string args = "fetch " + common(server.port()) + passwordFile() + "--passive ";

    auto r = withEnv("", args + "--list");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr(" " + std::to_string(logLine(daysAgo(0)).size()) + " site.access_log_" + daysAgo(0) + "\n"));
    EXPECT_THAT(r.out, HasSubstr("site.access_log_" + daysAgo(1) + ".gz\n"));
    EXPECT_THAT(r.out, HasSubstr("bad\\x1B[31mname"));  // no terminal escape reaches the terminal
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);

    const std::string days = args + "--days 4 --pattern 'site.access_log_%Y%m%d' ";
    r = withEnv("", days + "--record");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_THAT(r.out, HasSubstr("fetched  site.access_log_" + daysAgo(1) + ".gz\n"));
    EXPECT_THAT(r.err, HasSubstr("site.access_log_" + daysAgo(2) + ": "));
    EXPECT_THAT(r.err, Not(HasSubstr("site.access_log_" + daysAgo(3) + ": ")));
    EXPECT_EQ(listDir(local / "logs"), "site.access_log_" + daysAgo(3) + " site.access_log_" + daysAgo(1) +
                                           ".gz site.access_log_" + daysAgo(0) + " ");
    // The three days that came are in the history, a line each.
    const Result shown = withEnv("", "history show --json --materia " + local / "materia");
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_EQ(Json::parse(shown.out)["total"]["lines"].number, 3);

    r = withEnv("", days);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(ftptest::occurrences(r.out, "there "), 3);
    EXPECT_EQ(ftptest::occurrences(r.out, "fetched "), 0);
    r = withEnv("", args + "--days 1 --pattern 'site.access_log_%Y%m%d'");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(withEnv("", args + "--days 32").status, 2);
    EXPECT_EQ(withEnv("", args + "--days 2 --pattern access_log").status, 2);
    EXPECT_EQ(withEnv("", args + "--days 2 access_log").status, 2);
}

}  // namespace
