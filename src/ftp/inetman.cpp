// The FTP transfer component over libcurl.
#include "ftp/inetman.h"

#include <cerrno>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "common/fileio.h"

namespace ftp {

const char* const kAgentText = "Mozilla/4.0 (compatible; MSIE 5.5; Windows 98)";

namespace {

// A dead server must not hold the program for ever: these bound every wait of one download.
constexpr long kConnectTimeoutSeconds = 15;
constexpr long kAcceptTimeoutMs = 15000;       // the server connecting back for the data (active mode)
constexpr long kResponseTimeoutSeconds = 30;   // each reply on the control connection
constexpr long kLowSpeedBytes = 1;             // less than this per second ...
constexpr long kLowSpeedSeconds = 60;          // ... for this long counts as a stalled transfer

std::string jp(std::u8string_view utf8) { return common::cp932(utf8); }

bool unreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

void percentEncode(std::string& out, std::string_view segment) {
    static const char kHex[] = "0123456789ABCDEF";
    // "." and ".." are meant for the server; a URL parser would fold them away.
    const bool dots = segment == "." || segment == "..";
    for (const unsigned char c : segment) {
        if (unreserved(c) && !(dots && c == '.')) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
}

// The host part of the URL, or empty when the server name cannot be one (a "/", "@", blank or the
// like would make libcurl read a different host, port or path out of it).
std::string hostPart(const std::string& server) {
    int colons = 0;
    for (const unsigned char c : server) {
        if (c <= 0x20 || c == 0x7F || std::strchr("/\\?#@[]%", c) != nullptr) return {};
        if (c == ':') ++colons;
    }
    if (colons == 1) return {};                        // "host:port" is not a server name
    if (colons > 1) return "[" + server + "]";         // an IPv6 address
    return common::utf8FromCp932(server);              // a non-ASCII name goes out as IDN
}

// "ftp://host:port/path"; an absolute remote path starts with "%2F", which libcurl takes as the root.
std::string buildUrl(const std::string& host, int port, std::string_view remote) {
    std::string url = "ftp://" + host + ":" + std::to_string(port) + "/";
    if (!remote.empty() && remote.front() == '/') {
        url += "%2F";
        remote.remove_prefix(1);
    }
    for (;;) {
        const auto slash = remote.find('/');
        percentEncode(url, remote.substr(0, slash));
        if (slash == std::string_view::npos) break;
        url += '/';
        remote.remove_prefix(slash + 1);
    }
    return url;
}

std::string systemText(int err) { return common::pathText(std::strerror(err)); }

std::string createError(const std::string& path, int err) {
    return common::formatMessage(common::msg::cannotCreate(), {common::pathText(common::fullPath(path)), systemText(err)});
}

// The reason from libcurl's result code; its error buffer is not used, since in active mode it keeps
// a misleading text after every failure.
std::string curlReason(CURLcode code, long reply, int writeErrno, const std::string& server) {
    std::string main;
    switch (code) {
    case CURLE_COULDNT_RESOLVE_HOST:
        main = common::formatMessage(jp(u8"サーバー \"%s\" が見つかりません"), {server});
        break;
    case CURLE_COULDNT_CONNECT:
        main = jp(u8"サーバーに接続できません");
        break;
    case CURLE_LOGIN_DENIED:
        main = jp(u8"ログインが拒否されました");
        break;
    case CURLE_REMOTE_FILE_NOT_FOUND:
        main = jp(u8"サーバーにそのファイルがありません");
        break;
    case CURLE_REMOTE_ACCESS_DENIED:
        main = jp(u8"サーバーのディレクトリまたはファイルに入れません");
        break;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
        main = jp(u8"転送が途中で切れました");
        break;
    case CURLE_OPERATION_TIMEDOUT:
        main = jp(u8"サーバーの応答が時間内にありません");
        break;
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_ACCEPT_TIMEOUT:
    case CURLE_FTP_PORT_FAILED:
        main = jp(u8"サーバーからのデータ接続（アクティブモード）を受けられません");
        break;
    case CURLE_WRITE_ERROR:
        main = common::msg::writeError();
        if (writeErrno != 0) main += " (" + systemText(writeErrno) + ")";
        break;
    default:
        main = jp(u8"ダウンロードできません");
        break;
    }
    std::string detail = curl_easy_strerror(code);
    // The last reply is often the goodbye to QUIT; only a refusal says something.
    if (reply >= 400) detail += ", FTP " + std::to_string(reply);
    return main + " (" + detail + ")";
}

// The temporary file a download is written to, beside its target; removed unless committed.
class PartFile {
public:
    explicit PartFile(const std::string& target) : target_(target) {
        const auto slash = target.rfind('/');
        const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        const std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
        path_ = dir + "." + base + ".partXXXXXX";
        fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
        created_ = fd_ >= 0;
        if (!created_) error_ = errno;
    }
    ~PartFile() {
        if (fd_ >= 0) ::close(fd_);
        if (created_ && !committed_) ::unlink(path_.c_str());
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    bool opened() const { return fd_ >= 0; }
    int openError() const { return error_; }
    int writeErrno() const { return writeErrno_; }

    static size_t write(char* data, size_t size, size_t count, void* self) {
        auto* part = static_cast<PartFile*>(self);
        const size_t total = size * count;
        size_t done = 0;
        while (done < total) {
            const ssize_t n = ::write(part->fd_, data + done, total - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                part->writeErrno_ = n < 0 ? errno : ENOSPC;
                return 0;   // libcurl ends the transfer with a write error
            }
            done += static_cast<size_t>(n);
        }
        return total;
    }

    // Flushes the file and puts it in place of the target; 0 or the errno of the failure.
    int commit() {
        struct stat st {};
        mode_t mode;
        if (::stat(target_.c_str(), &st) == 0) {
            mode = st.st_mode & 07777;   // a replaced log keeps its permissions
        } else {
            mode = ::umask(0);
            ::umask(mode);
            mode = 0666 & ~mode;
        }
        if (::fchmod(fd_, mode) != 0 || ::fsync(fd_) != 0) return errno;
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) return errno;
        if (::rename(path_.c_str(), target_.c_str()) != 0) return errno;
        committed_ = true;
        return 0;
    }

private:
    std::string target_;
    std::string path_;
    int fd_ = -1;
    int error_ = 0;     // errno of a failed creation
    bool created_ = false;
    int writeErrno_ = 0;
    bool committed_ = false;
};

}  // namespace

TInetManager::TInetManager() {
    // Reference-counted by libcurl: each component holds the library for its own life.
    if (curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) internet_ = curl_easy_init();
}

TInetManager::~TInetManager() {
    if (internet_ != nullptr) {
        curl_easy_cleanup(static_cast<CURL*>(internet_));
        curl_global_cleanup();
    }
}

TFtpManager::~TFtpManager() { Disconnect(); }

void TFtpManager::Connect() {
    auto* curl = static_cast<CURL*>(internet_);
    if (curl == nullptr) return;
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kAgentText);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "ftp");
    curl_easy_setopt(curl, CURLOPT_PROXY, "");            // direct, whatever the environment says
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Empty strings stay empty strings: libcurl only logs in anonymously when no name is given.
    curl_easy_setopt(curl, CURLOPT_USERNAME, userName_.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, passWord_.c_str());
    curl_easy_setopt(curl, CURLOPT_FTPPORT, "-");         // active mode, never PASV
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);    // one connection per download ...
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);     // ... closed when it ends
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, kAcceptTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, kResponseTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, kLowSpeedBytes);
    curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, kLowSpeedSeconds);
    connected_ = true;
}

void TFtpManager::Disconnect() {
    if (!connected_) return;
    // The connection was closed by libcurl at the end of the transfer (no reuse); the reset drops the
    // login that the handle still held.
    if (internet_ != nullptr) curl_easy_reset(static_cast<CURL*>(internet_));
    connected_ = false;
}

TransferResult TFtpManager::GetFile(const std::string& remotePath, const std::string& localPath,
                                    bool binary) noexcept {
    try {
        TransferResult result;
        if (serverName_.empty()) {
            result.reason = jp(u8"サーバー名がありません");
            return result;
        }
        const std::string host = hostPart(serverName_);
        if (host.empty()) {
            result.reason = common::formatMessage(jp(u8"サーバー名 \"%s\" は使えません"), {serverName_});
            return result;
        }
        if (port_ <= 0 || port_ > 65535) {
            result.reason = jp(u8"ポート番号が正しくありません");
            return result;
        }
        if (remotePath.empty() || remotePath.back() == '/') {
            // A URL ending in "/" would fetch the directory listing instead of a file.
            result.reason = jp(u8"取得するファイル名がありません");
            return result;
        }
        if (internet_ == nullptr) {
            result.reason = jp(u8"通信ライブラリを初期化できません");
            return result;
        }
        struct stat st {};
        if (::stat(localPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            result.reason = createError(localPath, EISDIR);
            return result;
        }
        PartFile part(localPath);
        if (!part.opened()) {
            result.reason = createError(localPath, part.openError());
            return result;
        }

        Connect();
        auto* curl = static_cast<CURL*>(internet_);
        const std::string url = buildUrl(host, port_, remotePath);
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &PartFile::write);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &part);
        const CURLcode code = curl_easy_perform(curl);
        long reply = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
        Disconnect();

        if (code != CURLE_OK) {
            result.reason = curlReason(code, reply, part.writeErrno(), serverName_);
            return result;
        }
        if (const int err = part.commit(); err != 0) {
            result.reason = createError(localPath, err);
            return result;
        }
        result.ok = true;
        return result;
    } catch (const std::exception& e) {
        Disconnect();
        return TransferResult{false, e.what()};
    }
}

}  // namespace ftp
