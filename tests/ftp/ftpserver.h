// A real FTP server on loopback for the tests (Debian's pyftpdlib), started and stopped by the test.
#pragma once
#include <string>
#include <sys/types.h>

#include "support/tempdir.h"

namespace ftptest {

using ::readFile;
using ::TempDir;
using ::writeFile;

// Names in a directory, sorted, without "." and "..".
std::string listDir(const std::string& path);

class FtpServer {
public:
    enum class Kind { Normal, CutsTransfers };
    // Serves root to user/password on host; port 0 lets the server choose. Throws when it does not
    // come up, so a test never runs without its server.
    FtpServer(const std::string& root, const std::string& user, const std::string& password,
              Kind kind = Kind::Normal, const std::string& host = "127.0.0.1", int port = 0);
    ~FtpServer();
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    int port() const { return port_; }
    // Everything the server logged so far: each command it received ("<- TYPE A") and its replies.
    std::string log() const;
    // Count of sessions opened so far.
    int sessions() const;
    void stop();

private:
    TempDir logDir_;
    std::string logPath_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace ftptest
