// The FTP transfer component over libcurl.
#include "ftp/inetman.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <curl/curl.h>
#include <fcntl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "common/fileio.h"
#include "ftp/hostkeycheck.h"

namespace ftp {

const char* const kAgentText = "Mozilla/4.0 (compatible; MSIE 5.5; Windows 98)";

namespace {

// A dead server must not hold the program for ever: these bound every wait of one download.
constexpr long kConnectTimeoutSeconds = 15;
constexpr long kAcceptTimeoutMs = 15000;      // the server connecting back for the data (active mode)
constexpr long kResponseTimeoutSeconds = 30;  // each reply on the control connection
constexpr long kPollMs = 1000;                // a cancel wakes the wait at once; this only bounds it

// A part file is "." + the target's name + ".part" + six random letters or digits.
constexpr std::string_view kPartInfix = ".part";
constexpr std::size_t kPartSuffix = kPartInfix.size() + 6;

std::string jp(std::u8string_view utf8) { return common::cp932(utf8); }

// CR or LF would end an FTP command early and start one of the sender's choosing; NUL would cut
// the text short.
bool controlSafe(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

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
    if (colons == 1) return {};                 // "host:port" is not a server name
    if (colons > 1) return "[" + server + "]";  // an IPv6 address
    return common::utf8FromCp932(server);       // a non-ASCII name goes out as IDN
}

// "ftp://host:port/path"; an absolute remote path starts with "%2F", which libcurl takes as the root.
// SFTP paths are absolute; one relative to the login directory starts with "~/".
std::string buildUrl(Protocol protocol, const std::string& host, int port, std::string_view remote) {
    std::string url = (protocol == Protocol::Sftp ? "sftp://" : "ftp://") + host + ":" + std::to_string(port) + "/";
    if (!remote.empty() && remote.front() == '/') {
        if (protocol != Protocol::Sftp) url += "%2F";
        remote.remove_prefix(1);
    } else if (protocol == Protocol::Sftp) {
        url += "~/";
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
    return common::formatMessage(common::msg::cannotCreate(),
                                 {common::pathText(common::fullPath(path)), systemText(err)});
}

// The reason from libcurl's result code; its error buffer is not used, since in active mode it keeps
// a misleading text after every failure.
std::string curlReason(CURLcode code, long reply, int writeErrno, const std::string& server, bool tooSlow,
                       const SpeedLimit& limit) {
    std::string main;
    if (tooSlow) code = CURLE_OK;  // told apart from the time-outs of libcurl
    switch (code) {
        case CURLE_OK:
            main = common::formatMessage(jp(u8"転送が遅すぎるため中断しました（%s 秒間、毎秒 %s バイト未満）"),
                                         {std::to_string(limit.seconds), std::to_string(limit.bytesPerSecond)});
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            main = common::formatMessage(jp(u8"サーバー \"%s\" が見つかりません"), {server});
            break;
        case CURLE_COULDNT_CONNECT: main = jp(u8"サーバーに接続できません"); break;
        case CURLE_LOGIN_DENIED: main = jp(u8"ログインが拒否されました"); break;
        case CURLE_REMOTE_FILE_NOT_FOUND: main = jp(u8"サーバーにそのファイルがありません"); break;
        case CURLE_REMOTE_ACCESS_DENIED: main = jp(u8"サーバーのディレクトリまたはファイルに入れません"); break;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING: main = jp(u8"転送が途中で切れました"); break;
        case CURLE_OPERATION_TIMEDOUT: main = jp(u8"サーバーの応答が時間内にありません"); break;
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_FTP_ACCEPT_TIMEOUT:
        case CURLE_FTP_PORT_FAILED: main = jp(u8"サーバーからのデータ接続（アクティブモード）を受けられません"); break;
        case CURLE_USE_SSL_FAILED: main = jp(u8"サーバーが TLS での接続（FTPS）に応じません"); break;
        case CURLE_SSL_CONNECT_ERROR: main = jp(u8"TLS の接続を確立できません"); break;
        case CURLE_SSH: main = jp(u8"SSH の接続に失敗しました"); break;
        case CURLE_WRITE_ERROR:
            main = common::msg::writeError();
            if (writeErrno != 0) main += " (" + systemText(writeErrno) + ")";
            break;
        default: main = jp(u8"ダウンロードできません"); break;
    }
    std::string detail = curl_easy_strerror(code);
    // The last reply is often the goodbye to QUIT; only a refusal says something.
    if (reply >= 400) detail += ", FTP " + std::to_string(reply);
    return main + " (" + detail + ")";
}

// Stranger's text from a certificate, for a window or a terminal: control characters become "?".
std::string printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

std::string bioText(BIO* bio) {
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    std::string text = n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
    BIO_free(bio);
    return printable(text);
}

std::string nameText(const X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    return bioText(bio);
}

std::string timeText(const ASN1_TIME* time) {
    BIO* bio = BIO_new(BIO_s_mem());
    ASN1_TIME_print(bio, time);
    return bioText(bio);
}

std::string verifyProblem(int error) {
    switch (error) {
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN: return reinterpret_cast<const char*>(u8"自己署名の証明書です");
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
            return reinterpret_cast<const char*>(u8"信頼できる認証局の発行したものではありません");
        case X509_V_ERR_CERT_HAS_EXPIRED: return reinterpret_cast<const char*>(u8"有効期限が切れています");
        case X509_V_ERR_CERT_NOT_YET_VALID: return reinterpret_cast<const char*>(u8"まだ有効期間に入っていません");
        default: return X509_verify_cert_error_string(error);
    }
}

// The server's certificate as the TLS handshake meets it (the first one of a download), and
// whether the system's authorities vouch for it.
struct TlsSeen {
    bool seen = false;
    bool chainOk = false;
    ServerKey key;
};

int seeCertificate(X509_STORE_CTX* ctx, void* arg) {
    const int ok = X509_verify_cert(ctx);
    auto* seen = static_cast<TlsSeen*>(arg);
    X509* cert = X509_STORE_CTX_get0_cert(ctx);
    if (!seen->seen && cert != nullptr) {
        seen->seen = true;
        seen->chainOk = ok == 1;
        if (ok != 1) seen->key.problem = verifyProblem(X509_STORE_CTX_get_error(ctx));
        seen->key.subject = nameText(X509_get_subject_name(cert));
        seen->key.issuer = nameText(X509_get_issuer_name(cert));
        seen->key.notBefore = timeText(X509_get0_notBefore(cert));
        seen->key.notAfter = timeText(X509_get0_notAfter(cert));
        unsigned char* der = nullptr;
        const int n = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert), &der);
        if (n > 0)
            seen->key.fingerprint = fingerprintOf(
                std::string(reinterpret_cast<char*>(der), static_cast<std::size_t>(n)));
        OPENSSL_free(der);
    }
    return ok;
}

CURLcode setUpTls(CURL*, void* sslContext, void* seen) {
    SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(sslContext), &seeCertificate, seen);
    return CURLE_OK;
}

bool isPartName(std::string_view name) {
    if (name.size() <= 1 + kPartSuffix || name.front() != '.') return false;
    const std::string_view tail = name.substr(name.size() - kPartSuffix);
    if (tail.substr(0, kPartInfix.size()) != kPartInfix) return false;
    for (const unsigned char c : tail.substr(kPartInfix.size()))
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))) return false;
    return true;
}

// The temporary file a download is written to, beside its target; removed unless committed. It is
// locked while the download runs, so that another start of the program can tell it from one that
// a killed program left behind.
class PartFile {
public:
    PartFile(const std::string& target, std::atomic<long long>& received) : target_(target), received_(received) {
        const auto slash = target.rfind('/');
        const std::string dir = slash == std::string::npos ? "" : target.substr(0, slash + 1);
        std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
        // A target name near the file system's limit would make the part name too long: shorten it,
        // not cutting a UTF-8 character.
        long nameMax = ::pathconf(dir.empty() ? "." : dir.c_str(), _PC_NAME_MAX);
        if (nameMax <= 0) nameMax = NAME_MAX;
        const std::size_t room = static_cast<std::size_t>(nameMax) - 1 - kPartSuffix;
        if (base.size() > room) {
            std::size_t cut = room;
            while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80) --cut;
            base.resize(cut);
        }
        path_ = dir + "." + base + std::string(kPartInfix) + "XXXXXX";
        fd_ = ::mkostemp(path_.data(), O_CLOEXEC);
        created_ = fd_ >= 0;
        if (!created_) error_ = errno;
        else ::flock(fd_, LOCK_EX | LOCK_NB);
    }
    ~PartFile() {
        if (created_ && !committed_) ::unlink(path_.c_str());
        if (fd_ >= 0) ::close(fd_);
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
                return 0;  // libcurl ends the transfer with a write error
            }
            done += static_cast<size_t>(n);
            part->received_ += n;
        }
        return total;
    }

    // Flushes the file and puts it in place of the target; 0 or the errno of the failure. The lock
    // is held until the file has its name.
    int commit() {
        struct stat st {};
        mode_t mode;
        if (::stat(target_.c_str(), &st) == 0) {
            mode = st.st_mode & 07777;  // a replaced log keeps its permissions
        } else {
            mode = ::umask(0);
            ::umask(mode);
            mode = 0666 & ~mode;
        }
        if (::fchmod(fd_, mode) != 0 || ::fsync(fd_) != 0) return errno;
        if (::rename(path_.c_str(), target_.c_str()) != 0) return errno;
        committed_ = true;
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) return errno;
        return 0;
    }

private:
    std::string target_;
    std::atomic<long long>& received_;
    std::string path_;
    int fd_ = -1;
    int error_ = 0;  // errno of a failed creation
    bool created_ = false;
    int writeErrno_ = 0;
    bool committed_ = false;
};

// A libcurl multi handle for one transfer, known to Cancel while it exists.
class MultiHandle {
public:
    MultiHandle(CURL* easy, std::mutex& lock, void*& slot) : easy_(easy), lock_(lock), slot_(slot) {
        multi_ = curl_multi_init();
        if (multi_ == nullptr) return;
        curl_multi_add_handle(multi_, easy_);
        const std::lock_guard<std::mutex> guard(lock_);
        slot_ = multi_;
    }
    ~MultiHandle() {
        if (multi_ == nullptr) return;
        {
            const std::lock_guard<std::mutex> guard(lock_);
            slot_ = nullptr;
        }
        curl_multi_remove_handle(multi_, easy_);  // closes a connection still open, as after a cancel
        curl_multi_cleanup(multi_);
    }
    MultiHandle(const MultiHandle&) = delete;
    MultiHandle& operator=(const MultiHandle&) = delete;
    CURLM* get() const { return multi_; }

private:
    CURL* easy_;
    CURLM* multi_ = nullptr;
    std::mutex& lock_;
    void*& slot_;
};

// Runs the transfer to its end, or until cancel is set (CURLE_ABORTED_BY_CALLBACK), or until it has
// received less than the limit's share in one of its periods since the transfer began (tooSlow set,
// CURLE_OPERATION_TIMEDOUT).
CURLcode perform(CURLM* multi, CURL* easy, const std::atomic<bool>& cancel, const std::atomic<long long>& received,
                 std::atomic<long long>& expected, const SpeedLimit& limit, bool& tooSlow) {
    using Clock = std::chrono::steady_clock;
    const auto period = std::chrono::seconds(limit.seconds);
    Clock::time_point periodStart{};
    long long periodBytes = 0;
    for (;;) {
        if (cancel) return CURLE_ABORTED_BY_CALLBACK;
        int running = 0;
        if (curl_multi_perform(multi, &running) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
        int queued = 0;
        while (CURLMsg* m = curl_multi_info_read(multi, &queued))
            if (m->msg == CURLMSG_DONE) return m->data.result;
        if (running == 0) return CURLE_GOT_NOTHING;
        curl_off_t length = -1;  // from SIZE, the 150 reply or SFTP's stat, when the server tells it
        if (curl_easy_getinfo(easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK && length >= 0)
            expected = length;
        const auto now = Clock::now();
        if (periodStart == Clock::time_point{}) {
            curl_off_t pretransfer = 0;  // set once the commands are through and the data may come
            curl_easy_getinfo(easy, CURLINFO_PRETRANSFER_TIME_T, &pretransfer);
            if (pretransfer > 0) periodStart = now;
        } else if (now - periodStart >= period) {
            if (received - periodBytes < static_cast<long long>(limit.bytesPerSecond) * limit.seconds) {
                tooSlow = true;
                return CURLE_OPERATION_TIMEDOUT;
            }
            periodStart = now;
            periodBytes = received;
        }
        if (curl_multi_poll(multi, nullptr, 0, kPollMs, nullptr) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
    }
}

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

TFtpManager::~TFtpManager() {
    Disconnect();
    EndSession();
}

void TFtpManager::Connect() {
    auto* curl = static_cast<CURL*>(internet_);
    if (curl == nullptr) return;
    curl_easy_reset(curl);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, kAgentText);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, protocol_ == Protocol::Sftp ? "sftp" : "ftp");
    curl_easy_setopt(curl, CURLOPT_PROXY, "");  // direct, whatever the environment says
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // Empty strings stay empty strings: libcurl only logs in anonymously when no name is given.
    curl_easy_setopt(curl, CURLOPT_USERNAME, userName_.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, passWord_.c_str());
    if (protocol_ == Protocol::Ftp && !passive_) curl_easy_setopt(curl, CURLOPT_FTPPORT, "-");  // active, never PASV
    if (protocol_ == Protocol::Ftps) curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    if (protocol_ == Protocol::Sftp) {
        // The password only: no key of the user's own is offered behind the user's back.
        curl_easy_setopt(curl, CURLOPT_SSH_AUTH_TYPES,
                         static_cast<long>(CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD));
    }
    if (share_ != nullptr) {
        // Several transfers of one session: the connection is kept in the share between them.
        curl_easy_setopt(curl, CURLOPT_SHARE, share_);
    } else {
        curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);  // one connection per download ...
        curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);   // ... closed when it ends
    }
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(curl, CURLOPT_ACCEPTTIMEOUT_MS, kAcceptTimeoutMs);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, kResponseTimeoutSeconds);
    connected_ = true;
}

void TFtpManager::Disconnect() {
    if (!connected_) return;
    // The connection was closed by libcurl at the end of the transfer (no reuse); the reset drops the
    // login that the handle still held.
    if (internet_ != nullptr) curl_easy_reset(static_cast<CURL*>(internet_));
    connected_ = false;
}

void TFtpManager::Cancel() {
    cancel_ = true;
    const std::lock_guard<std::mutex> guard(multiLock_);
    if (multi_ != nullptr) curl_multi_wakeup(static_cast<CURLM*>(multi_));
}

std::string TFtpManager::refusedLogin(const std::string& remotePath) const {
    if (serverName_.empty()) return jp(u8"サーバー名がありません");
    if (hostPart(serverName_).empty()) return common::formatMessage(jp(u8"サーバー名 \"%s\" は使えません"), {serverName_});
    if (port_ <= 0 || port_ > 65535) return jp(u8"ポート番号が正しくありません");
    if (!controlSafe(userName_) || !controlSafe(passWord_))
        return jp(u8"アカウントまたはパスワードに改行や NUL 文字は使えません");
    if (!controlSafe(remotePath)) return jp(u8"ディレクトリまたはファイル名に改行や NUL 文字は使えません");
    if (internet_ == nullptr) return jp(u8"通信ライブラリを初期化できません");
    return {};
}

int TFtpManager::run(const std::string& url, bool binary, std::size_t (*write)(char*, std::size_t, std::size_t, void*),
                          void* data, TransferResult& result, bool& tooSlow) {
    Connect();
    auto* curl = static_cast<CURL*>(internet_);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // SFTP knows no text type: the analysis reads any line ends.
    if (protocol_ != Protocol::Sftp) curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
    TlsSeen tls;
    tls.key.host = serverName_;
    tls.key.port = port_;
    std::optional<std::string> pin;
    std::string pinText;
    if (protocol_ == Protocol::Ftps) {
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &setUpTls);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &tls);
        pin = pinnedKey(keyDir_, serverName_, port_);
        if (pin) {
            // A pinned key stands in for the authorities: the user has compared it.
            pinText = "sha256//" + base64(unbase64(pin->substr(pin->find(':') + 1)), true);
            curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, pinText.c_str());
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
        } else {
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        }
    }
    std::optional<HostKeyCheck> ssh;
    if (protocol_ == Protocol::Sftp) {
        ssh.emplace(keyDir_, serverName_, port_);
        ssh->setUp(curl);
    }
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, write);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, data);
    CURLcode code;
    {
        const MultiHandle multi(curl, multiLock_, multi_);
        code = multi.get() == nullptr ? CURLE_OUT_OF_MEMORY
                                      : perform(multi.get(), curl, cancel_, received_, expected_, lowSpeed_, tooSlow);
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply_);
    Disconnect();

    if (ssh) {
        if (std::string why = ssh->refusal(code); !why.empty()) {
            result.key = ssh->key();
            result.reason = std::move(why);
            return code;
        }
    }
    if (protocol_ == Protocol::Ftps && tls.seen && pin && code == CURLE_SSL_PINNEDPUBKEYNOTMATCH) {
        result.key = tls.key;
        result.key.status = ServerKey::Status::Changed;
        result.key.pinned = *pin;
        result.reason = jp(u8"サーバーの公開鍵が記憶しているものと違います。なりすましの恐れがあるため接続しません");
        result.reason += "\n" + describeKey(result.key);
        return code;
    }
    if (protocol_ == Protocol::Ftps && tls.seen && !pin && code == CURLE_PEER_FAILED_VERIFICATION) {
        result.key = tls.key;
        result.key.status = ServerKey::Status::Unknown;
        // The authorities vouch for the key, but it was made out for another name.
        if (tls.chainOk) result.key.problem = reinterpret_cast<const char*>(u8"証明書の名前がサーバー名と一致しません");
        result.reason = jp(u8"サーバーの証明書を確認できません");
        result.reason += "\n" + describeKey(result.key);
        return code;
    }
    if (code == CURLE_ABORTED_BY_CALLBACK) {
        result.cancelled = true;
        result.reason = jp(u8"ダウンロードを中止しました");
    }
    return code;
}

namespace {

// Counters of a new transfer; a cancel is used up by the transfer it stopped.
class TransferScope {
public:
    TransferScope(std::atomic<bool>& cancel, std::atomic<long long>& received, std::atomic<long long>& expected)
        : cancel_(cancel) {
        received = 0;
        expected = -1;
    }
    ~TransferScope() { cancel_ = false; }
    TransferScope(const TransferScope&) = delete;
    TransferScope& operator=(const TransferScope&) = delete;

private:
    std::atomic<bool>& cancel_;
};

}  // namespace

TransferResult TFtpManager::GetFile(const std::string& remotePath, const std::string& localPath, bool binary) noexcept {
    const TransferScope scope(cancel_, received_, expected_);
    try {
        TransferResult result;
        result.reason = refusedLogin(remotePath);
        if (!result.reason.empty()) return result;
        if (remotePath.empty() || remotePath.back() == '/') {
            // A URL ending in "/" would fetch the directory listing instead of a file.
            result.reason = jp(u8"取得するファイル名がありません");
            return result;
        }
        struct stat st {};
        if (::stat(localPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
            result.reason = createError(localPath, EISDIR);
            return result;
        }
        PartFile part(localPath, received_);
        if (!part.opened()) {
            result.reason = createError(localPath, part.openError());
            return result;
        }
        bool tooSlow = false;
        const auto code = static_cast<CURLcode>(run(buildUrl(protocol_, hostPart(serverName_), port_, remotePath), binary,
                                  &PartFile::write, &part, result, tooSlow));
        if (!result.reason.empty()) return result;
        if (code != CURLE_OK) {
            result.missing = code == CURLE_REMOTE_FILE_NOT_FOUND;
            result.reason = curlReason(code, reply_, part.writeErrno(), serverName_, tooSlow, lowSpeed_);
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
        TransferResult failed;
        failed.reason = e.what();
        return failed;
    }
}

namespace {

// The listing text, up to a bound: a server that sends without end must not fill the memory.
struct ListingSink {
    std::string text;
    std::size_t limit;
    std::atomic<long long>& received;
    bool cut = false;
    static std::size_t write(char* data, std::size_t size, std::size_t count, void* self) {
        auto* sink = static_cast<ListingSink*>(self);
        const std::size_t total = size * count;
        if (sink->text.size() + total > sink->limit) {
            sink->cut = true;
            return 0;
        }
        sink->text.append(data, total);
        sink->received += static_cast<long long>(total);
        return total;
    }
};

}  // namespace

ListingResult TFtpManager::ListDir(const std::string& remoteDir, std::size_t maxBytes) noexcept {
    const TransferScope scope(cancel_, received_, expected_);
    ListingResult listing;
    TransferResult& result = listing.transfer;
    try {
        result.reason = refusedLogin(remoteDir);
        if (!result.reason.empty()) return listing;
        std::string url = buildUrl(protocol_, hostPart(serverName_), port_, remoteDir);
        if (url.back() != '/') url += '/';  // a URL ending in "/" asks for the listing
        ListingSink sink{{}, maxBytes, received_};
        bool tooSlow = false;
        const auto code = static_cast<CURLcode>(run(url, false, &ListingSink::write, &sink, result, tooSlow));
        listing.text = std::move(sink.text);
        if (!result.reason.empty()) return listing;
        if (sink.cut) {
            listing.cut = true;
            result.reason = common::formatMessage(jp(u8"一覧が %s バイトを超えたため、そこで打ち切りました"),
                                                  {std::to_string(maxBytes)});
            return listing;
        }
        if (code != CURLE_OK) {
            result.missing = code == CURLE_REMOTE_FILE_NOT_FOUND || code == CURLE_REMOTE_ACCESS_DENIED;
            result.reason = curlReason(code, reply_, 0, serverName_, tooSlow, lowSpeed_);
            // A listing that stopped part way is no listing: what came is kept only to be shown.
            listing.cut = tooSlow;
            return listing;
        }
        result.ok = true;
        return listing;
    } catch (const std::exception& e) {
        Disconnect();
        result.reason = e.what();
        return listing;
    }
}

void TFtpManager::BeginSession() {
    EndSession();
    share_ = curl_share_init();
    if (share_ != nullptr) curl_share_setopt(static_cast<CURLSH*>(share_), CURLSHOPT_SHARE, CURL_LOCK_DATA_CONNECT);
}

void TFtpManager::EndSession() {
    if (share_ == nullptr) return;
    // The handle lets go of the share (a reset does not), so that its cleanup closes the connection
    // kept in it.
    if (internet_ != nullptr) curl_easy_setopt(static_cast<CURL*>(internet_), CURLOPT_SHARE, nullptr);
    curl_share_cleanup(static_cast<CURLSH*>(share_));
    share_ = nullptr;
}

Download::Download(TFtpManager& manager, std::string remotePath, std::string localPath, bool binary)
    : manager_(manager) {
    manager_.cancel_ = false;
    manager_.received_ = 0;
    thread_ = std::thread([this, remote = std::move(remotePath), local = std::move(localPath), binary] {
        result_ = manager_.GetFile(remote, local, binary);
        finished_ = true;
    });
}

Download::~Download() {
    if (thread_.joinable()) {
        manager_.Cancel();
        thread_.join();
    }
}

TransferResult Download::result() {
    if (thread_.joinable()) thread_.join();
    return result_;
}

void removeStalePartFiles(const std::string& dir) { common::removeUnlockedFiles(dir, isPartName); }

}  // namespace ftp
