// A real FTP server on loopback for the tests (Debian's pyftpdlib), started and stopped by the test.
#pragma once
#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include "support/tempdir.h"

namespace ftptest {

using ::readFile;
using ::TempDir;
using ::writeFile;

// Names in a directory, sorted, without "." and "..".
std::string listDir(const std::string& path);

class FtpServer {
public:
    // CutsTransfers sends half a file and drops the line; Trickles sends a byte a second; Endless
    // never stops sending (files and listings); Hostile lists names no file may have before the real ones.
    enum class Kind { Normal, CutsTransfers, Trickles, Endless, Hostile };
    // Serves root to user/password on host; port 0 lets the server choose. Throws when it does not
    // come up, so a test never runs without its server.
    FtpServer(const std::string& root, const std::string& user, const std::string& password, Kind kind = Kind::Normal,
              const std::string& host = "127.0.0.1", int port = 0);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    int port() const { return port_; }
    // The server's log (each command it received, "<- TYPE A", and its replies) once it holds text
    // at least times times. The server writes its log after it has answered, so a client that has
    // finished may still be ahead of it: this waits, up to a deadline, and then returns the log as
    // it is, for the assertion that follows to show.
    std::string logWith(std::string_view text, int times = 1) const;
    // The log of a server whose sessions are all over: every one opened has been logged as closed.
    std::string finishedLog() const;
    // Sessions the server had accepted before this call. A probe connection is made and waited for
    // in the log; the server accepts in order, so every earlier session has been logged by then.
    int sessions() const;
    void stop();

private:
    std::string log() const;

    TempDir logDir_;
    std::string logPath_;
    std::string host_;
    pid_t pid_ = -1;
    int port_ = 0;
    mutable int probes_ = 0;
};

// Times text occurs in log.
int occurrences(std::string_view log, std::string_view text);

// Starts args (args[0] a full path) with stdout and stderr into logPath; throws when it cannot.
pid_t spawnLogged(std::vector<std::string> args, const std::string& logPath);
// Ends a process started so: SIGTERM, then SIGKILL if it lingers.
void stopProcess(pid_t& pid);
// Waits, up to a deadline, until done(the file's text) holds; false when it did not.
bool waitForFile(const std::string& path, const std::function<bool(const std::string&)>& done);
// A port on 127.0.0.1 that was free a moment ago, outside the range the system gives to outgoing
// connections: for servers that cannot choose their own, or that a test restarts on the same port.
int freePort();

}  // namespace ftptest
