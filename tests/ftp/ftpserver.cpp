// A real FTP server on loopback for the tests.
#include "ftp/ftpserver.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace ftptest {

std::string listDir(const std::string& path) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(path, ec)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    std::string out;
    for (const auto& n : names) out += n + " ";
    return out;
}

FtpServer::FtpServer(const std::string& root, const std::string& user, const std::string& password, Kind kind,
                     const std::string& host, int port)
    : logPath_(logDir_ / "server.log"), host_(host) {
    std::vector<std::string> args{"/usr/bin/python3"};
    if (kind == Kind::Normal) {
        args.insert(args.end(), {"-m", "pyftpdlib", "-D"});
    } else {
        args.insert(args.end(), {MUNYARO_SOURCE_DIR "/tests/ftp/oddftpd.py", "--mode",
                                 kind == Kind::CutsTransfers ? "cut"
                                 : kind == Kind::Trickles    ? "trickle"
                                 : kind == Kind::Hostile     ? "hostile"
                                                             : "endless"});
    }
    args.insert(args.end(), {"-i", host, "-p", std::to_string(port), "-u", user, "-P", password, "-d", root});
    pid_ = spawnLogged(args, logPath_);

    static const std::regex started(R"(starting FTP server on [0-9.]+:([0-9]+))");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (std::chrono::steady_clock::now() < deadline) {
        std::smatch m;
        const std::string text = log();
        if (std::regex_search(text, m, started)) {
            port_ = std::stoi(m[1]);
            return;
        }
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            throw std::runtime_error("the FTP server exited: " + text);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    stop();
    throw std::runtime_error("the FTP server did not come up: " + log());
}

FtpServer::~FtpServer() { stop(); }

std::string FtpServer::log() const { return readFile(logPath_); }

int occurrences(std::string_view log, std::string_view text) {
    int n = 0;
    for (auto at = log.find(text); at != std::string_view::npos; at = log.find(text, at + text.size())) ++n;
    return n;
}

namespace {

// Long enough for a loaded machine; a passing test never waits for it.
constexpr auto kLogDeadline = std::chrono::seconds(30);

template <class Done>
std::string waitForLog(const std::string& path, Done done) {
    const auto deadline = std::chrono::steady_clock::now() + kLogDeadline;
    for (;;) {
        std::string text = readFile(path);
        if (done(text) || std::chrono::steady_clock::now() >= deadline) return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace

std::string FtpServer::logWith(std::string_view text, int times) const {
    return waitForLog(logPath_, [&](const std::string& log) { return occurrences(log, text) >= times; });
}

std::string FtpServer::finishedLog() const {
    return waitForLog(logPath_, [](const std::string& log) {
        const int opened = occurrences(log, "FTP session opened");
        return opened > 0 && occurrences(log, "FTP session closed") >= opened;
    });
}

int FtpServer::sessions() const {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) throw std::runtime_error("probe socket");
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port_));
    ::inet_pton(AF_INET, host_.c_str(), &to.sin_addr);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        throw std::runtime_error("probe cannot connect to the FTP server");
    }
    sockaddr_in me{};
    socklen_t len = sizeof me;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&me), &len);
    const std::string probe = ":" + std::to_string(ntohs(me.sin_port)) + "-[] FTP session opened";
    const std::string text = logWith(probe);
    ::close(fd);
    if (occurrences(text, probe) == 0) throw std::runtime_error("the probe was not logged: " + text);
    ++probes_;
    return occurrences(text, "FTP session opened") - probes_;
}

void FtpServer::stop() { stopProcess(pid_); }

pid_t spawnLogged(std::vector<std::string> args, const std::string& logPath) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + args[0] + ": " + std::strerror(rc));
    return pid;
}

void stopProcess(pid_t& pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    for (int i = 0; i < 250; ++i) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            pid = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    pid = -1;
}

bool waitForFile(const std::string& path, const std::function<bool(const std::string&)>& done) {
    return done(waitForLog(path, done));
}

int freePort() {
    // Below the kernel's range of ports for outgoing connections, so that a port a test gives up
    // to restart a server on it is not taken meanwhile by some client's connection.
    static std::minstd_rand random(static_cast<unsigned>(::getpid()) ^
                                   static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 200; ++attempt) {
        const int port = 20000 + static_cast<int>(random() % 12000);
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0) break;
        sockaddr_in at{};
        at.sin_family = AF_INET;
        at.sin_port = htons(static_cast<uint16_t>(port));
        at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool free = ::bind(fd, reinterpret_cast<const sockaddr*>(&at), sizeof at) == 0;
        ::close(fd);
        if (free) return port;
    }
    throw std::runtime_error("no free port");
}

}  // namespace ftptest
