// A desktop keyring of the test's own: gnome-keyring-daemon with an unlocked login keyring in a new
// D-Bus session (dbus-run-session), all under a temporary folder, so that a test never touches the
// user's keyring and two tests running at once each have theirs.
#pragma once
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/tempdir.h"

// Started once per test process and stopped when it ends: the keyring libraries keep their
// connection to the first session bus they met. Sets DBUS_SESSION_BUS_ADDRESS of this process, which
// the programs it starts inherit.
class KeyringSession {
public:
    // The running session, or a reason why the daemon cannot run on this machine (then empty).
    static const KeyringSession& get() {
        static KeyringSession session;
        return session;
    }
    const std::string& unavailable() const { return unavailable_; }
    const std::string& address() const { return address_; }

    ~KeyringSession() {
        if (pid_ <= 0) return;
        ::kill(-pid_, SIGTERM);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
    KeyringSession(const KeyringSession&) = delete;
    KeyringSession& operator=(const KeyringSession&) = delete;

private:
    KeyringSession() {
        for (const char* tool : {"dbus-run-session", "dbus-send", "gnome-keyring-daemon"}) {
            if (std::system((std::string("command -v ") + tool + " >/dev/null").c_str()) != 0) {
                unavailable_ = std::string(tool) + " is not installed";
                return;
            }
        }
        ::mkdir((dir_ / "run").c_str(), 0700);
        writeFile(dir_ / "password", "munyaro-test");
        // Ready when the login keyring is the default collection and unlocked; a daemon that ends
        // before that leaves its log in "failed". The secrets are asked for only once the daemon owns
        // their name: asking sooner would have the bus start a second daemon of its own.
        writeFile(dir_ / "start.sh", R"SH(d=$1
gnome-keyring-daemon --unlock --components=secrets --foreground <"$d/password" >"$d/daemon.log" 2>&1 &
daemon=$!
call() { to=$1; shift; dbus-send --session --print-reply --dest="$to" "$@" 2>/dev/null; }
while kill -0 $daemon 2>/dev/null; do
    call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus.NameHasOwner \
        string:org.freedesktop.secrets | grep -q 'boolean true' || { sleep 0.05; continue; }
    collection=$(call org.freedesktop.secrets /org/freedesktop/secrets org.freedesktop.Secret.Service.ReadAlias string:default |
                 sed -n 's/.*object path "\(\/org\/freedesktop\/secrets\/collection\/[^"]*\)".*/\1/p')
    if [ -n "$collection" ] && call org.freedesktop.secrets "$collection" org.freedesktop.DBus.Properties.Get \
           string:org.freedesktop.Secret.Collection string:Locked | grep -q 'boolean false'; then
        echo "$DBUS_SESSION_BUS_ADDRESS" >"$d/address.part" && mv "$d/address.part" "$d/address"
        wait $daemon
        exit 0
    fi
    sleep 0.05
done
cp "$d/daemon.log" "$d/failed.part" && mv "$d/failed.part" "$d/failed"
)SH");
        // The bus and all it starts keep their files and sockets in the test's folder. Made before the
        // fork: the child of a program with threads only calls what is safe there.
        std::vector<std::string> env{"HOME=" + dir_.path(), "XDG_DATA_HOME=" + dir_ / "data",
                                     "XDG_CONFIG_HOME=" + dir_ / "config", "XDG_CACHE_HOME=" + dir_ / "cache",
                                     "XDG_RUNTIME_DIR=" + dir_ / "run"};
        for (char** e = environ; *e != nullptr; ++e) {
            const std::string name(*e, std::strcspn(*e, "="));
            if (name != "HOME" && name.rfind("XDG_", 0) != 0 && name != "DBUS_SESSION_BUS_ADDRESS") env.push_back(*e);
        }
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string script = dir_ / "start.sh", folder = dir_.path(), busLog = dir_ / "bus.log";
        char* argv[] = {const_cast<char*>("dbus-run-session"), const_cast<char*>("--"), const_cast<char*>("sh"),
                        script.data(), folder.data(), nullptr};
        pid_ = ::fork();
        if (pid_ == 0) {
            ::setpgid(0, 0);  // its own group, so that the end takes the bus and the daemon with it
            const int log = ::open(busLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            ::dup2(log, 1);
            ::dup2(log, 2);
            ::execvpe(argv[0], argv, envp.data());
            ::_exit(127);
        }
        ::setpgid(pid_, pid_);
        // Long enough for a machine busy with builds; a daemon that fails says so at once.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
        while (std::chrono::steady_clock::now() < deadline) {
            if (const std::string a = readFile(dir_ / "address"); a != "<missing>") {
                address_ = a.substr(0, a.find('\n'));
                ::setenv("DBUS_SESSION_BUS_ADDRESS", address_.c_str(), 1);
                return;
            }
            if (const std::string f = readFile(dir_ / "failed"); f != "<missing>") {
                unavailable_ = "gnome-keyring-daemon did not start: " + f;
                return;
            }
            int status = 0;
            if (::waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                unavailable_ = "dbus-run-session did not start a session bus: " + readFile(dir_ / "bus.log");
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ADD_FAILURE() << "the test's keyring was not ready within 90 s: " << readFile(dir_ / "daemon.log");
    }

    TempDir dir_;
    pid_t pid_ = -1;
    std::string address_;
    std::string unavailable_;
};

// Skips the test, saying why, when this machine cannot run gnome-keyring-daemon; otherwise makes
// sure the test's keyring is running.
#define REQUIRE_KEYRING()                                                                    \
    do {                                                                                     \
        const KeyringSession& keyringSession = KeyringSession::get();                        \
        if (!keyringSession.unavailable().empty()) GTEST_SKIP() << keyringSession.unavailable(); \
        ASSERT_FALSE(keyringSession.address().empty());                                      \
    } while (false)
