// A real FTP server on loopback for the tests.
#include "ftp/ftpserver.h"

#include <algorithm>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <regex>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
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
        args.push_back(MUNYARO_SOURCE_DIR "/tests/ftp/cuttingftpd.py");
    }
    args.insert(args.end(), {"-i", host, "-p", std::to_string(port), "-u", user, "-P", password, "-d", root});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, logPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error(std::string("cannot start the FTP server: ") + std::strerror(rc));

    static const std::regex started(R"(starting FTP server on [0-9.]+:([0-9]+))");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
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

void FtpServer::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    for (int i = 0; i < 250; ++i) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

}  // namespace ftptest
