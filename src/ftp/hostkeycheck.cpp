// Judging the SSH host key.
#include "ftp/hostkeycheck.h"

#include <curl/curl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "common/cp932.h"

namespace ftp {

namespace {

using common::jp;

// Stranger's text for a window or a terminal: control characters become "?".
std::string printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

int seeHostKey(CURL*, const curl_khkey*, const curl_khkey* found, curl_khmatch, void* arg) {
    auto* check = static_cast<HostKeyCheck*>(arg);
    const std::string blob = found->len == 0 ? unbase64(found->key) : std::string(found->key, found->len);
    return check->judge(blob) ? CURLKHSTAT_FINE : CURLKHSTAT_REJECT;
}

}  // namespace

HostKeyCheck::HostKeyCheck(const std::string& keyDir, const std::string& host, int port)
    : known_(knownHostKeys(keyDir, host, port)) {
    key_.ssh = true;
    key_.host = host;
    key_.port = port;
    std::string entries;
    const std::string name = port == 22 ? host : "[" + host + "]:" + std::to_string(port);
    for (const auto& k : known_.keys)
        if (!k.revoked) entries += name + " " + k.type + " " + base64(k.blob, true) + "\n";
    copy_ = ::memfd_create("known_hosts", MFD_CLOEXEC);
    if (copy_ >= 0 && ::write(copy_, entries.data(), entries.size()) == static_cast<ssize_t>(entries.size())) {
        copyPath_ = "/proc/self/fd/" + std::to_string(copy_);
    } else {
        // Without the copy libcurl prefers no kind of key; a key of another kind is then refused
        // as changed, never taken.
        copyPath_ = "/dev/null";
    }
}

HostKeyCheck::~HostKeyCheck() {
    if (copy_ >= 0) ::close(copy_);
}

void HostKeyCheck::setUp(void* handle) {
    auto* curl = static_cast<CURL*>(handle);
    curl_easy_setopt(curl, CURLOPT_SSH_KNOWNHOSTS, copyPath_.c_str());
    curl_easy_setopt(curl, CURLOPT_SSH_KEYFUNCTION, &seeHostKey);
    curl_easy_setopt(curl, CURLOPT_SSH_KEYDATA, this);
}

bool HostKeyCheck::judge(const std::string& blob) {
    seen_ = true;
    key_.fingerprint = fingerprintOf(blob);
    key_.keyBase64 = base64(blob, true);
    // The key blob opens with its type name, preceded by the name's length (4 bytes, big-endian).
    if (blob.size() >= 4) {
        const std::size_t n = (std::size_t(static_cast<unsigned char>(blob[0])) << 24) |
                              (std::size_t(static_cast<unsigned char>(blob[1])) << 16) |
                              (std::size_t(static_cast<unsigned char>(blob[2])) << 8) |
                              static_cast<unsigned char>(blob[3]);
        if (n <= blob.size() - 4) key_.keyType = printable(blob.substr(4, n));
    }
    const TrustLookup::Key* pinned = nullptr;
    for (const auto& k : known_.keys) {
        if (k.revoked && k.blob == blob) {
            revoked_ = true;
            return false;
        }
        if (!k.revoked && (pinned == nullptr || (k.type == key_.keyType && pinned->type != key_.keyType))) pinned = &k;
    }
    for (const auto& k : known_.keys)
        if (!k.revoked && k.blob == blob) return true;
    key_.status = pinned != nullptr ? ServerKey::Status::Changed : ServerKey::Status::Unknown;
    if (pinned != nullptr) key_.pinned = fingerprintOf(pinned->blob);
    return false;
}

std::string HostKeyCheck::refusal(int curlCode) const {
    if (revoked_)
        return jp(u8"サーバーのホスト鍵は known_hosts で失効とされています。接続しません") + "\n" + describeKey(key_);
    if (key_.status == ServerKey::Status::Changed)
        return jp(u8"サーバーのホスト鍵が記憶しているものと違います。なりすましの恐れがあるため接続しません") + "\n" +
               describeKey(key_);
    if (key_.status == ServerKey::Status::Unknown)
        return jp(u8"サーバーのホスト鍵をまだ信頼していません") + "\n" + describeKey(key_);
    // libcurl asked the server for the kind of key that is trusted, and the handshake failed before any
    // key was shown: the server has none of that kind.
    std::string kinds;
    for (const auto& k : known_.keys)
        if (!k.revoked && kinds.find(k.type) == std::string::npos) kinds += (kinds.empty() ? "" : ", ") + k.type;
    if (!seen_ && curlCode == CURLE_FAILED_INIT && !kinds.empty())
        return jp(u8"サーバーが信頼している種類のホスト鍵 (") + printable(kinds) +
               jp(u8") を示しません。なりすましの恐れがあるため接続しません\nサーバー: ") + key_.host + ":" +
               std::to_string(key_.port);
    return {};
}

}  // namespace ftp
