// Real FTPS and SFTP servers on loopback for the tests.
#include "ftp/secureservers.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <netinet/in.h>
#include <regex>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "ftp/ftpserver.h"

namespace ftptest {

namespace {

// Runs a shell command line of the test's own making; throws when it fails.
std::string run(const std::string& command) {
    std::FILE* p = ::popen(command.c_str(), "r");
    if (p == nullptr) throw std::runtime_error("cannot run " + command);
    std::string out;
    char buf[4096];
    while (const std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    if (::pclose(p) != 0) throw std::runtime_error("failed: " + command + "\n" + out);
    return out;
}

bool accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) == 0;
    if (fd >= 0) ::close(fd);
    return ok;
}

}  // namespace

FtpsServer::FtpsServer(const std::string& root, const std::string& user, const std::string& password, int port,
                       const std::string& commonName)
    : port_(port == 0 ? freePort() : port) {
    const std::string d = dir_.path();
    run("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj '/CN=" + commonName + "' -keyout " + d +
        "/key.pem -out " + d + "/cert.pem 2>&1 && cat " + d + "/key.pem " + d + "/cert.pem > " + d + "/both.pem");
    // The server runs the virtual user as "nobody" when started by root, which must be able to read.
    const bool root_ = ::getuid() == 0;
    if (root_) {
        std::filesystem::permissions(root, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                               std::filesystem::perms::group_exec |
                                               std::filesystem::perms::others_read |
                                               std::filesystem::perms::others_exec);
    }
    const std::string owner = root_ ? "nobody" : std::to_string(::getuid());
    run("printf '%s\\n%s\\n' '" + password + "' '" + password + "' | pure-pw useradd " + user + " -u " + owner +
        " -d " + root + " -f " + d + "/passwd >/dev/null");
    run("pure-pw mkdb " + d + "/db.pdb -f " + d + "/passwd");
    const int low = 10000 + static_cast<int>(::getpid() % 100) * 100;  // passive data ports
    std::vector<std::string> args{"/usr/sbin/pure-ftpd",
                                  "-S",
                                  "127.0.0.1," + std::to_string(port_),
                                  "-l",
                                  "puredb:" + d + "/db.pdb",
                                  "-Y",
                                  "3",
                                  "-2",
                                  d + "/both.pem",
                                  "-E",
                                  "-p",
                                  std::to_string(low) + ":" + std::to_string(low + 99)};
    if (root_) args.push_back("-A");
    pid_ = spawnLogged(args, d + "/server.log");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!accepts(port_)) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("pure-ftpd exited: " + readFile(d + "/server.log"));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            stop();
            throw std::runtime_error("pure-ftpd did not come up");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

FtpsServer::~FtpsServer() { stop(); }

void FtpsServer::stop() { stopProcess(pid_); }

std::string FtpsServer::fingerprint() const {
    std::string b64 = run("openssl x509 -in " + dir_.path() +
                          "/cert.pem -pubkey -noout | openssl pkey -pubin -outform der"
                          " | openssl dgst -sha256 -binary | openssl base64 -A");
    while (!b64.empty() && (b64.back() == '=' || b64.back() == '\n')) b64.pop_back();
    return "SHA256:" + b64;
}

SftpServer::SftpServer(const std::string& root, const std::string& user, const std::string& password,
                       const std::string& keyPath, int port)
    : logPath_(dir_ / "server.log") {
    pid_ = spawnLogged(
        {"/usr/bin/python3", "-W", "ignore", MUNYARO_SOURCE_DIR "/tests/ftp/sftpd.py", "-i", "127.0.0.1", "-p",
         std::to_string(port == 0 ? freePort() : port), "-u", user, "-P", password, "-d", root, "-k", keyPath},
        logPath_);
    static const std::regex listening(R"(listening on ([0-9]+))");
    std::smatch m;
    if (!waitForFile(logPath_, [](const std::string& log) { return log.find("listening on ") != std::string::npos; })) {
        stop();
        throw std::runtime_error("the SFTP server did not come up: " + readFile(logPath_));
    }
    const std::string log = readFile(logPath_);
    if (!std::regex_search(log, m, listening)) throw std::runtime_error("no port: " + log);
    port_ = std::stoi(m[1]);
}

SftpServer::~SftpServer() { stop(); }

void SftpServer::stop() { stopProcess(pid_); }

std::string SftpServer::log() const { return readFile(logPath_); }

std::string SftpServer::fingerprint() const {
    static const std::regex key(R"(host key (SHA256:[A-Za-z0-9+/]+))");
    std::smatch m;
    const std::string text = log();
    return std::regex_search(text, m, key) ? m[1].str() : std::string();
}

std::string SftpServer::logWith(const std::string& text) const {
    waitForFile(logPath_, [&](const std::string& log) { return log.find(text) != std::string::npos; });
    return readFile(logPath_);
}

PinnedPort pinBehindAZeroByte(const std::string& root, const std::string& pinsFile) {
    const FtpsServer real(root, "munya", "secret");
    PinnedPort pinned{real.port(), std::string("# note\0\n", 8) + "127.0.0.1:" + std::to_string(real.port()) + " " +
                                       real.fingerprint() + "\n"};
    writeFile(pinsFile, pinned.pins);
    return pinned;
}

}  // namespace ftptest
