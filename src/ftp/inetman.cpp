// The FTP transfer component over libcurl.
#include "ftp/inetman.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <curl/curl.h>
#include <optional>
#include <sys/stat.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "common/fileio.h"
#include "ftp/curlreason.h"
#include "ftp/hostkeycheck.h"
#include "ftp/partfile.h"
#include "ftp/tlsseen.h"
#include "ftp/transferurl.h"

namespace ftp {

const char* const kAgentText = "Mozilla/4.0 (compatible; MSIE 5.5; Windows 98)";

namespace {

// A dead server must not hold the program for ever: these bound every wait of one download.
constexpr long kConnectTimeoutSeconds = 15;
constexpr long kAcceptTimeoutMs = 15000;      // the server connecting back for the data (active mode)
constexpr long kResponseTimeoutSeconds = 30;  // each reply on the control connection
constexpr long kPollMs = 1000;                // a cancel wakes the wait at once; this only bounds it

using common::jp;

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
    if (hostPart(serverName_).empty())
        return common::formatMessage(jp(u8"サーバー名 \"%s\" は使えません"), {serverName_});
    if (port_ <= 0 || port_ > 65535) return jp(u8"ポート番号が正しくありません");
    if (!controlSafe(userName_) || !controlSafe(passWord_))
        return jp(u8"アカウントまたはパスワードに改行や NUL 文字は使えません");
    if (!controlSafe(remotePath)) return jp(u8"ディレクトリまたはファイル名に改行や NUL 文字は使えません");
    if (internet_ == nullptr) return jp(u8"通信ライブラリを初期化できません");
    return {};
}

namespace {

// What a transfer checks the server's key against: a pinned TLS key or the authorities (FTPS), or
// the known hosts (SFTP).
struct KeyChecks {
    TlsSeen tls;
    std::optional<std::string> pin;
    std::string pinText;  // libcurl's form of the pin, alive as long as the transfer
    std::optional<HostKeyCheck> ssh;
};

void setUpKeyChecks(CURL* curl, Protocol protocol, const std::string& keyDir, const std::string& server, int port,
                    KeyChecks& checks) {
    checks.tls.key.host = server;
    checks.tls.key.port = port;
    if (protocol == Protocol::Ftps) {
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, &setUpTls);
        curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, &checks.tls);
        checks.pin = pinnedKey(keyDir, server, port);
        if (checks.pin) {
            // A pinned key stands in for the authorities: the user has compared it.
            checks.pinText = "sha256//" + base64(unbase64(checks.pin->substr(checks.pin->find(':') + 1)), true);
            curl_easy_setopt(curl, CURLOPT_PINNEDPUBLICKEY, checks.pinText.c_str());
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
        } else {
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
            curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
        }
    }
    if (protocol == Protocol::Sftp) {
        checks.ssh.emplace(keyDir, server, port);
        checks.ssh->setUp(curl);
    }
}

// Whether the server's key ended the transfer; if so, result holds the key and the reason.
bool keyRefused(const KeyChecks& checks, Protocol protocol, CURLcode code, TransferResult& result) {
    if (checks.ssh) {
        if (std::string why = checks.ssh->refusal(code); !why.empty()) {
            result.key = checks.ssh->key();
            result.reason = std::move(why);
            return true;
        }
    }
    const bool tls = protocol == Protocol::Ftps && checks.tls.seen;
    if (tls && checks.pin && code == CURLE_SSL_PINNEDPUBKEYNOTMATCH) {
        result.key = checks.tls.key;
        result.key.status = ServerKey::Status::Changed;
        result.key.pinned = *checks.pin;
        result.reason = jp(u8"サーバーの公開鍵が記憶しているものと違います。なりすましの恐れがあるため接続しません");
        result.reason += "\n" + describeKey(result.key);
        return true;
    }
    if (tls && !checks.pin && code == CURLE_PEER_FAILED_VERIFICATION) {
        result.key = checks.tls.key;
        result.key.status = ServerKey::Status::Unknown;
        // The authorities vouch for the key, but it was made out for another name.
        if (checks.tls.chainOk)
            result.key.problem = reinterpret_cast<const char*>(u8"証明書の名前がサーバー名と一致しません");
        result.reason = jp(u8"サーバーの証明書を確認できません");
        result.reason += "\n" + describeKey(result.key);
        return true;
    }
    return false;
}

}  // namespace

int TFtpManager::run(const std::string& url, bool binary, std::size_t (*write)(char*, std::size_t, std::size_t, void*),
                     void* data, TransferResult& result, bool& tooSlow) {
    Connect();
    auto* curl = static_cast<CURL*>(internet_);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    // SFTP knows no text type: the analysis reads any line ends.
    if (protocol_ != Protocol::Sftp) curl_easy_setopt(curl, CURLOPT_TRANSFERTEXT, binary ? 0L : 1L);
    KeyChecks checks;
    setUpKeyChecks(curl, protocol_, keyDir_, serverName_, port_, checks);
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
    if (keyRefused(checks, protocol_, code, result)) return code;
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
            result.reason = common::createError(localPath, EISDIR).what();
            return result;
        }
        PartFile part(localPath, received_);
        if (!part.opened()) {
            result.reason = common::createError(localPath, part.openError()).what();
            return result;
        }
        bool tooSlow = false;
        const auto code = static_cast<CURLcode>(run(buildUrl(protocol_, hostPart(serverName_), port_, remotePath),
                                                    binary, &PartFile::write, &part, result, tooSlow));
        if (!result.reason.empty()) return result;
        if (code != CURLE_OK) {
            result.missing = code == CURLE_REMOTE_FILE_NOT_FOUND;
            result.reason = curlReason(code, reply_, part.writeErrno(), serverName_, tooSlow, lowSpeed_);
            return result;
        }
        if (const int err = part.commit(); err != 0) {
            result.reason = common::createError(localPath, err).what();
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

}  // namespace ftp
