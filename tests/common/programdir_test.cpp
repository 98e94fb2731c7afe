#include "common/programdir.h"

#include <cstdlib>
#include <filesystem>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <optional>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "support/tempdir.h"

TEST(DataDir, DataFilesAreNamedInMateriaOfTheDataFolder) {
    EXPECT_EQ(common::materiaFile("setup.ini"), "materia/setup.ini");  // unset: the current directory
    common::setDataDir("/home/u/.local/share/munyaro");
    EXPECT_EQ(common::dataDir(), "/home/u/.local/share/munyaro/");
    EXPECT_EQ(common::materiaFile("DomeinList.dat"), "/home/u/.local/share/munyaro/materia/DomeinList.dat");
    common::setDataDir("/opt/m/");
    EXPECT_EQ(common::materiaFile("x"), "/opt/m/materia/x");
    common::setDataDir("");
    EXPECT_EQ(common::materiaFile("x"), "materia/x");
}

TEST(ProgramDir, IsTheTestsOwnFolder) { EXPECT_EQ(common::programDir(), std::string(MUNYARO_BIN_DIR) + "/"); }

namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the test's lifetime.
class Env {
public:
    Env(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~Env() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// What userDataDir gives, or its error, in a child process running as uid (no change when it is ours).
std::string userDataDirAs(uid_t uid) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) return "pipe failed";
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        std::string out;
        if (uid != ::getuid() && ::setuid(uid) != 0) out = "setuid failed";
        else try {
                out = common::userDataDir();
            } catch (const common::AppError& e) {
                out = std::string("error: ") + e.what();
            }
        (void)!::write(pipeFds[1], out.data(), out.size());
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    std::string got;
    char buf[512];
    for (ssize_t n; (n = ::read(pipeFds[0], buf, sizeof buf)) > 0;) got.append(buf, static_cast<std::size_t>(n));
    ::close(pipeFds[0]);
    ::waitpid(child, nullptr, 0);
    return got;
}

unsigned modeOf(const std::string& path) {
    return static_cast<unsigned>(fs::status(path).permissions() & fs::perms::all);
}

}  // namespace

TEST(DataDir, WithoutHomeTheUsersFolderComesFromThePasswordDatabase) {
    const Env xdg("XDG_DATA_HOME", nullptr);
    const passwd* me = ::getpwuid(::getuid());
    ASSERT_NE(me, nullptr);
    for (const char* home : {static_cast<const char*>(nullptr), "", "relative"}) {
        const Env unset("HOME", home);
        EXPECT_EQ(userDataDirAs(::getuid()), std::string(me->pw_dir) + "/.local/share/munyaro/");
    }
    // A user the database does not know (only root can become one): a clear error, not "/.local".
    const Env unset("HOME", nullptr);
    if (::getuid() == 0) {
        EXPECT_EQ(userDataDirAs(54321),
                  "error: " + common::cp932(u8"ホームフォルダがわかりません: 環境変数 HOME がなく、"
                                            u8"ユーザー 54321 のパスワード情報にもありません"));
    }
}

TEST(DataDir, BesideTheProgramWhenItsMateriaIsThereElseTheUsersFolder) {
    TempDir dir;
    const Env home("HOME", dir.path().c_str());
    const std::string program = dir.path() + "/bin/";
    fs::create_directories(program + "materia");
    EXPECT_EQ(common::locateDataDir(program), program);
    fs::remove(program + "materia");
    {
        const Env xdg("XDG_DATA_HOME", nullptr);
        EXPECT_EQ(common::locateDataDir(program), dir.path() + "/.local/share/munyaro/");
    }
    {
        const Env xdg("XDG_DATA_HOME", "/data/u");
        EXPECT_EQ(common::locateDataDir(program), "/data/u/munyaro/");
    }
    {
        const Env xdg("XDG_DATA_HOME", "relative/is/ignored");
        EXPECT_EQ(common::userDataDir(), dir.path() + "/.local/share/munyaro/");
    }
    // A materia that is a file, not a folder, is no data folder either.
    dir.file("bin/materia", "");
    EXPECT_EQ(common::locateDataDir(program), dir.path() + "/.local/share/munyaro/");
}

TEST(DataDir, ReadersUseTheShippedFilesUntilTheUsersFolderExists) {
    TempDir dir;
    const Env home("HOME", dir.path().c_str());
    const Env xdg("XDG_DATA_HOME", nullptr);
    const std::string program = dir.path() + "/usr/bin/";
    fs::create_directories(program);
    EXPECT_EQ(fs::path(common::locateDataDirForReading(program)).lexically_normal(),
              fs::path(dir.path() + "/usr/share/munyaro/"));
    fs::create_directories(dir.path() + "/.local/share/munyaro/materia");
    EXPECT_EQ(common::locateDataDirForReading(program), dir.path() + "/.local/share/munyaro/");
}

TEST(DataDir, ACopyOnReadOnlyMediaSeedsTheUsersFolderFromItsOwnMateria) {
    TempDir dir;
    const std::string program = dir.path() + "/stick/";
    EXPECT_EQ(fs::path(common::shippedDataDir(program)).lexically_normal(), fs::path(dir.path() + "/share/munyaro/"));
    fs::create_directories(program + "materia");
    EXPECT_EQ(common::shippedDataDir(program), program);
    fs::create_directories(dir.path() + "/share/munyaro/materia");  // an installation's files come first
    EXPECT_EQ(fs::path(common::shippedDataDir(program)).lexically_normal(), fs::path(dir.path() + "/share/munyaro/"));
}

TEST(CreateDataDir, FirstStartCopiesTheShippedFilesPrivatelyAndLaterStartsKeepTheUsers) {
    TempDir dir;
    const std::string shipped = dir.path() + "/share/munyaro/";
    dir.file("share/munyaro/materia/setup.ini", "none\r\n");
    dir.file("share/munyaro/materia/DomeinList.dat", "shipped.example\r\n");
    dir.file("share/munyaro/materia/FTPSetting.dat", "\r\n\r\n\r\n\r\n");
    dir.file("share/munyaro/logs/access_log_sample", "log\n");
    const std::string user = dir.path() + "/home/.local/share/munyaro/";
    common::createDataDir(user, shipped);
    EXPECT_EQ(readFile(user + "materia/setup.ini"), "none\r\n");
    EXPECT_EQ(readFile(user + "materia/DomeinList.dat"), "shipped.example\r\n");
    EXPECT_EQ(readFile(user + "logs/access_log_sample"), "log\n");
    EXPECT_EQ(modeOf(user + "materia/FTPSetting.dat"), 0600u);
    EXPECT_EQ(modeOf(user), 0700u);
    EXPECT_EQ(modeOf(user + "materia"), 0700u);
    EXPECT_EQ(std::distance(fs::directory_iterator(user), {}), 2);  // materia and logs, no temporary

    dir.file("home/.local/share/munyaro/materia/DomeinList.dat", "mine.example\r\n");
    fs::remove(user + "logs/access_log_sample");
    dir.file("share/munyaro/materia/DomeinList.dat", "newer.example\r\n");
    common::createDataDir(user, shipped);
    EXPECT_EQ(readFile(user + "materia/DomeinList.dat"), "mine.example\r\n");
    EXPECT_FALSE(fs::exists(user + "logs/access_log_sample"));
}

TEST(CreateDataDir, WithoutShippedFilesNothingHalfMadeStays) {
    TempDir dir;
    const std::string user = dir.path() + "/u/";
    EXPECT_THAT([&] { common::createDataDir(user, dir.path() + "/none/"); },
                testing::ThrowsMessage<common::AppError>(testing::HasSubstr(dir.path() + "/none/materia")));
    EXPECT_FALSE(fs::exists(user + "materia"));
    // Once the files are there, the next start makes the folder.
    dir.file("none/materia/setup.ini", "none\r\n");
    common::createDataDir(user, dir.path() + "/none/");
    EXPECT_EQ(readFile(user + "materia/setup.ini"), "none\r\n");
}
