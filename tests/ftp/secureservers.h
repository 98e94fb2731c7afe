// Real FTPS and SFTP servers on loopback for the tests (Debian's pure-ftpd and asyncssh), started
// and stopped by the test, each with a key the test makes.
#pragma once
#include <string>
#include <sys/types.h>

#include "support/tempdir.h"

namespace ftptest {

// pure-ftpd refusing clear text on the control and data connections (-Y 3), so a finished
// download proves TLS on both; passive mode only. A new self-signed certificate for commonName
// each time; the port is chosen unless given (to stand in for another server on the same port).
class FtpsServer {
public:
    FtpsServer(const std::string& root, const std::string& user, const std::string& password, int port = 0,
               const std::string& commonName = "munyaro-test-server");
    ~FtpsServer();
    FtpsServer(const FtpsServer&) = delete;
    FtpsServer& operator=(const FtpsServer&) = delete;
    int port() const { return port_; }
    // "SHA256:..." of the certificate's public key, as openssl computes it.
    std::string fingerprint() const;
    void stop();

private:
    TempDir dir_;
    pid_t pid_ = -1;
    int port_ = 0;
};

// The pin a first FTPS server's key left in pinsFile, behind a comment that holds a zero byte (as the
// user might have written it); the server is stopped again, so that an impostor can take its port.
struct PinnedPort {
    int port;
    std::string pins;  // the file's bytes
};
PinnedPort pinBehindAZeroByte(const std::string& root, const std::string& pinsFile);

// asyncssh with password login; the host key is made in keyPath unless it is there (so a test can
// restart the same server, or one with a new key).
class SftpServer {
public:
    SftpServer(const std::string& root, const std::string& user, const std::string& password,
               const std::string& keyPath, int port = 0);
    ~SftpServer();
    SftpServer(const SftpServer&) = delete;
    SftpServer& operator=(const SftpServer&) = delete;
    int port() const { return port_; }
    // "SHA256:..." of the host key, as the server computes it.
    std::string fingerprint() const;
    // What the server logged: "session opened", "login USER accepted|refused", "session closed";
    // logWith waits, up to a deadline, for text to be there.
    std::string logWith(const std::string& text) const;
    std::string log() const;
    void stop();

private:
    TempDir dir_;
    std::string logPath_;
    pid_t pid_ = -1;
    int port_ = 0;
};

}  // namespace ftptest
