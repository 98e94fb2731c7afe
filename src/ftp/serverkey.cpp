// Server keys: fingerprints, TLS pins and SSH known hosts.
#include "ftp/serverkey.h"

#include <sys/stat.h>

#include <cerrno>
#include <functional>

#include "common/apperror.h"
#include "common/cp932.h"
#include "common/fileio.h"
#include "common/sha256.h"
#include "common/sharedfile.h"
#include "ftp/trustfile.h"

namespace ftp {

namespace {

using common::jp;

std::string bareFingerprint(std::string text) {
    for (const char* prefix : {"SHA256:", "sha256//", "sha256:"})
        if (text.rfind(prefix, 0) == 0) {
            text.erase(0, std::char_traits<char>::length(prefix));
            break;
        }
    while (!text.empty() && text.back() == '=') text.pop_back();
    return text;
}

std::string serverName(const std::string& host, int port) { return host + ":" + std::to_string(port); }

// known_hosts names a server on another port than 22 as "[host]:port".
std::string knownHostName(const std::string& host, int port) {
    return port == 22 ? host : "[" + host + "]:" + std::to_string(port);
}

// A trust file's bytes, all of them; a missing file holds nothing. One that cannot be read throws
// its open error: what it might say of a server is not known.
std::string readTrustFile(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && errno == ENOENT) return {};
    return common::readWholeFile(path);
}

// Replaces or removes the entries of one server, under the lock, in the file as it is now; every
// other byte stays. A file that cannot be read is not rewritten.
bool changeEntries(const std::string& path, const std::function<bool(std::string_view)>& isEntry,
                   const std::string& newLine, const std::function<void(std::string_view)>& check = {}) {
    bool changed = false;
    common::updateSharedFile(
        path,
        [&](const std::optional<std::string>& now) -> std::optional<std::string> {
            const std::string_view bytes = now ? std::string_view(*now) : std::string_view();
            if (check) check(bytes);
            auto next = replaceEntries(bytes, isEntry, newLine);
            changed = next.has_value();
            return next;
        },
        0600);
    return changed;
}

}  // namespace

std::string fingerprintOf(const std::string& bytes) { return "SHA256:" + base64(common::sha256(bytes), false); }

bool sameFingerprint(const std::string& a, const std::string& b) {
    const std::string x = bareFingerprint(a);
    return !x.empty() && x == bareFingerprint(b);
}

std::string describeKey(const ServerKey& key) {
    std::string text = jp(u8"サーバー: ") + key.host + ":" + std::to_string(key.port) + "\n";
    if (key.ssh) {
        text += jp(u8"ホスト鍵の種類: ") + key.keyType + "\n";
    } else {
        text += jp(u8"サブジェクト: ") + common::cp932FromUtf8(key.subject) + "\n";
        text += jp(u8"発行者: ") + common::cp932FromUtf8(key.issuer) + "\n";
        text += jp(u8"有効期間: ") + key.notBefore + jp(u8" から ") + key.notAfter + "\n";
        if (!key.problem.empty()) text += jp(u8"確認できない理由: ") + common::cp932FromUtf8(key.problem) + "\n";
    }
    if (key.status == ServerKey::Status::Changed) text += jp(u8"記憶している鍵の指紋: ") + key.pinned + "\n";
    text += jp(u8"公開鍵の指紋 (SHA-256): ") + key.fingerprint;
    return text;
}

std::optional<std::string> pinnedKey(const std::string& materiaDir, const std::string& host, int port) {
    const std::string path = materiaDir + "/" + kPinFile;
    const TrustLookup found = findPins(readTrustFile(path), host, port);
    if (found.badLine != 0) throw common::AppError(unreadableLineMessage(path, found.badLine));
    if (found.keys.empty()) return std::nullopt;
    return found.keys.front().blob;
}

TrustLookup knownHostKeys(const std::string& materiaDir, const std::string& host, int port) {
    const std::string path = materiaDir + "/" + kKnownHosts;
    TrustLookup found = findHostKeys(readTrustFile(path), host, port);
    if (found.badLine != 0) throw common::AppError(unreadableLineMessage(path, found.badLine));
    return found;
}

void trustKey(const std::string& materiaDir, const ServerKey& key) {
    // A changed key replaces the old line of that server; every other line stays as it is.
    const std::string path = materiaDir + "/" + (key.ssh ? kKnownHosts : kPinFile);
    const std::string name = key.ssh ? knownHostName(key.host, key.port) : serverName(key.host, key.port);
    const auto isEntry = [&](std::string_view line) {
        return key.ssh ? isHostKeyEntryOf(line, name) : isPinEntryOf(line, name);
    };
    // A line that cannot be read and may be this server's is not outdone by a new one.
    const auto check = [&](std::string_view bytes) {
        const TrustLookup found = key.ssh ? findHostKeys(bytes, key.host, key.port)
                                          : findPins(bytes, key.host, key.port);
        if (found.badLine != 0) throw common::AppError(unreadableLineMessage(path, found.badLine));
    };
    changeEntries(path, isEntry, name + " " + (key.ssh ? key.keyType + " " + key.keyBase64 : key.fingerprint), check);
}

bool forgetPin(const std::string& materiaDir, const std::string& host, int port) {
    const std::string name = serverName(host, port);
    return changeEntries(
        materiaDir + "/" + kPinFile, [&](std::string_view l) { return isPinEntryOf(l, name); }, "");
}

bool forgetHostKey(const std::string& materiaDir, const std::string& host, int port) {
    const std::string name = knownHostName(host, port);
    return changeEntries(
        materiaDir + "/" + kKnownHosts, [&](std::string_view l) { return isHostKeyEntryOf(l, name); }, "");
}

}  // namespace ftp
