// munyaro-cli fetch --password-keyring: the password the window kept in the desktop's keyring, against a
// real FTP server and a keyring of the test's own; and where no keyring answers.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "common/cp932.h"
#include "ftp/ftpserver.h"
#include "ftp/keyring/keyring.h"
#include "fetchsite.h"
#include "support/clirun.h"
#include "support/keyringsession.h"

using ftptest::FtpServer;
using ftptest::listDir;
using testing::HasSubstr;
using testing::Not;

namespace {

// No session bus at all, as on a server or in cron without a desktop.
const std::string kNoBus = "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus ";

class FetchKeyring : public FetchSite {
protected:
    std::string fetch(int port, const std::string& user = "munya") const {
        return "fetch " + common(port, user) + "--passive --password-keyring access_log";
    }
};

TEST_F(FetchKeyring, DownloadsWithTheKeyringsPasswordBeforeAnyOther) {
    REQUIRE_KEYRING();
    // Blanks at both ends and characters a shell or a URL would take apart.
    FtpServer server(root.path(), "munya", " s'e;c@r:et ");
    keyring::storePassword(keyring::ftpKey("127.0.0.1", "munya"), " s'e;c@r:et ");
    const auto r = cli(fetch(server.port()), "MUNYARO_PASSWORD=wrong ");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, local / "logs/access_log\n");
    EXPECT_THAT(readFile(local / "logs/access_log"), testing::StartsWith("10.0.0.1 - - "));
}

TEST_F(FetchKeyring, AnAccountTheKeyringDoesNotHaveIsNamedAndNothingSent) {
    REQUIRE_KEYRING();
    FtpServer server(root.path(), "munya", "secret");
    const auto r = cli(fetch(server.port(), "nobody"));
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("キーリングに nobody@127.0.0.1 のパスワードがありません"));
    EXPECT_EQ(server.sessions(), 0);
    EXPECT_EQ(listDir(local / "logs"), "");
}

TEST_F(FetchKeyring, WithoutAKeyringItSaysSoAndUsesThePasswordGivenTheOldWay) {
    FtpServer server(root.path(), "munya", "secret");
    auto r = cli(fetch(server.port()), kNoBus);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("munyaro-cli fetch: キーリングを使えません: "));
    EXPECT_EQ(server.sessions(), 0);

    r = cli(fetch(server.port()), kNoBus + "MUNYARO_PASSWORD=secret ");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("キーリングを使えません: "));
    EXPECT_THAT(r.err, HasSubstr("代わりに --password-file か MUNYARO_PASSWORD のパスワードを使います"));
    EXPECT_EQ(r.out, local / "logs/access_log\n");
}

// The keyring's libraries (Qt, QtKeychain, libsecret) come in with --password-keyring only: a
// report, and a fetch without it, start as fast as before.
TEST_F(FetchKeyring, OnlyAKeyringFetchLoadsTheKeyringsModule) {
    const std::string log = local.file("small.log", readFile(root / "dir/access_log"));
    auto loaded = [](const std::string& args, const std::string& env) {
        return cli(args, env + "LD_DEBUG=files ").err;
    };
    const std::string report = loaded("report --materia " + local / "materia " + log, "");
    EXPECT_THAT(report, HasSubstr("calling init"));  // the loader's trace is there to look at
    EXPECT_THAT(report, Not(HasSubstr("munyaro-keyring")));
    EXPECT_THAT(report, Not(HasSubstr("libQt6")));
    std::string withoutKeyring = fetch(1);
    withoutKeyring.erase(withoutKeyring.find("--password-keyring "), 19);
    const std::string plain = loaded(withoutKeyring, "MUNYARO_PASSWORD=p ");
    EXPECT_THAT(plain, HasSubstr("libcurl"));  // it did try to connect
    EXPECT_THAT(plain, Not(HasSubstr("munyaro-keyring")));
    EXPECT_THAT(loaded(fetch(1), kNoBus), HasSubstr("munyaro-keyring.so"));
}

}  // namespace
