// Strict reading of the trust files.
#include "ftp/trustfile.h"

#include <algorithm>
#include <cstring>
#include <openssl/evp.h>
#include <openssl/hmac.h>

#include "common/cp932.h"
#include "common/fileio.h"
#include "ftp/serverkey.h"

namespace ftp {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// The line without its break (LF, CR LF) and a stray CR before it.
std::string_view content(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    return line;
}

std::vector<std::string_view> fields(std::string_view text) {
    std::vector<std::string_view> out;
    std::size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && isBlank(text[i])) ++i;
        const std::size_t start = i;
        while (i < text.size() && !isBlank(text[i])) ++i;
        if (i > start) out.push_back(text.substr(start, i - start));
    }
    return out;
}

bool isCommentOrEmpty(std::string_view text) {
    const auto first = std::find_if_not(text.begin(), text.end(), isBlank);
    return first == text.end() || *first == '#';
}

// Printable ASCII only: anything else in a host field cannot be told apart from another name.
bool isPlainText(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// OpenSSH's wildcards: "*" any run, "?" any one character.
bool wildcardMatch(std::string_view pattern, std::string_view name) {
    std::size_t p = 0, n = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p, ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++, resume = n;
        } else if (star != std::string_view::npos) {
            p = star + 1, n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

// Whether a known_hosts host field names name ("host" or "[host]:port", lower case); nullopt when
// the field cannot be read.
std::optional<bool> hostFieldMatches(std::string_view field, const std::string& name) {
    if (!isPlainText(field)) return std::nullopt;
    if (field.rfind("|1|", 0) == 0) {
        const std::string_view rest = field.substr(3);
        const auto bar = rest.find('|');
        if (bar == std::string_view::npos) return std::nullopt;
        const std::string salt = unbase64(std::string(rest.substr(0, bar)));
        const std::string hash = unbase64(std::string(rest.substr(bar + 1)));
        if (salt.size() != 20 || hash.size() != 20) return std::nullopt;
        unsigned char mac[EVP_MAX_MD_SIZE];
        unsigned int size = 0;
        HMAC(EVP_sha1(), salt.data(), static_cast<int>(salt.size()),
             reinterpret_cast<const unsigned char*>(name.data()), name.size(), mac, &size);
        return size == hash.size() && std::memcmp(mac, hash.data(), size) == 0;
    }
    bool found = false;
    std::size_t start = 0;
    while (start <= field.size()) {
        const auto comma = std::min(field.find(',', start), field.size());
        std::string_view pattern = field.substr(start, comma - start);
        start = comma + 1;
        const bool negated = !pattern.empty() && pattern.front() == '!';
        if (negated) pattern.remove_prefix(1);
        if (pattern.empty()) return std::nullopt;
        if (wildcardMatch(lower(pattern), name)) {
            if (negated) return false;  // a negation wins over every other pattern
            found = true;
        }
    }
    return found;
}

// The key bytes of a known_hosts key field, when they are canonical base64 of a blob of that type.
std::optional<std::string> keyBlob(std::string_view type, std::string_view field) {
    const std::string blob = unbase64(std::string(field));
    if (blob.size() < 4 || base64(blob, true) != field) return std::nullopt;
    const std::size_t n = (std::size_t(static_cast<unsigned char>(blob[0])) << 24) |
                          (std::size_t(static_cast<unsigned char>(blob[1])) << 16) |
                          (std::size_t(static_cast<unsigned char>(blob[2])) << 8) | static_cast<unsigned char>(blob[3]);
    if (n > blob.size() - 4 || blob.compare(4, n, type) != 0 || blob.size() == 4 + n) return std::nullopt;
    return blob;
}

// One known_hosts line for name: a key it trusts or revokes, nothing, or unreadable (badLine set).
void judgeHostKeyLine(std::string_view line, const std::string& name, std::size_t number, TrustLookup& out) {
    const std::string_view text = content(line);
    if (isCommentOrEmpty(text)) return;
    const auto f = fields(text);
    std::size_t i = 0;
    bool revoked = false, authority = false, badMarker = false;
    if (f[0].front() == '@') {
        revoked = f[0] == "@revoked";
        authority = f[0] == "@cert-authority";
        badMarker = !revoked && !authority;
        i = 1;
    }
    const std::optional<bool> matches = i < f.size() ? hostFieldMatches(f[i], name) : std::nullopt;
    if (matches == false) return;  // another server's line, readable or not
    std::optional<std::string> blob;
    if (!badMarker && f.size() >= i + 3) blob = keyBlob(f[i + 1], f[i + 2]);
    if (!matches || !blob) {
        if (out.badLine == 0) out.badLine = number;
        return;
    }
    if (!authority) out.keys.push_back({revoked, std::string(f[i + 1]), *blob});
}

std::string serverName(const std::string& host, int port) { return host + ":" + std::to_string(port); }

std::optional<std::string_view> firstField(std::string_view line) {
    const auto f = fields(content(line));
    if (f.empty()) return std::nullopt;
    return f[0];
}

}  // namespace

std::vector<std::string_view> fileLines(std::string_view file) {
    std::vector<std::string_view> out;
    std::size_t start = 0;
    while (start < file.size()) {
        const auto end = std::min(file.find('\n', start), file.size() - 1) + 1;
        out.push_back(file.substr(start, end - start));
        start = end;
    }
    return out;
}

TrustLookup findPins(std::string_view file, const std::string& host, int port) {
    TrustLookup out;
    const std::string name = lower(serverName(host, port));
    std::size_t number = 0;
    for (const std::string_view line : fileLines(file)) {
        ++number;
        const std::string_view text = content(line);
        if (isCommentOrEmpty(text)) continue;
        const auto f = fields(text);
        if (isPlainText(f[0]) && lower(f[0]) != name) continue;  // another server's line, readable or not
        // The fingerprint as this program writes it: "SHA256:" and the unpadded base64 of 32 bytes.
        const std::string_view text64 = f.size() == 2 && f[1].rfind("SHA256:", 0) == 0 ? f[1].substr(7) : "";
        const std::string key = unbase64(std::string(text64));
        if (!isPlainText(f[0]) || key.size() != 32 || base64(key, false) != text64) {
            if (out.badLine == 0) out.badLine = number;
            continue;
        }
        out.keys.push_back({false, "", std::string(f[1])});
    }
    return out;
}

TrustLookup findHostKeys(std::string_view file, const std::string& host, int port) {
    TrustLookup out;
    const std::string name = lower(port == 22 ? host : "[" + host + "]:" + std::to_string(port));
    std::size_t number = 0;
    for (const std::string_view line : fileLines(file)) judgeHostKeyLine(line, name, ++number, out);
    return out;
}

std::string unreadableLineMessage(const std::string& path, std::size_t line) {
    return common::cp932(u8"信頼する鍵のファイル \"") + common::pathText(common::fullPath(path)) +
           common::cp932(u8"\" の ") + std::to_string(line) +
           common::cp932(u8" 行目が読めません。このサーバーの行かもしれないため接続しません。"
                         u8"その行を直すか消してください");
}

bool isPinEntryOf(std::string_view line, const std::string& name) {
    const auto first = firstField(line);
    return first && lower(*first) == lower(name);
}

bool isHostKeyEntryOf(std::string_view line, const std::string& name) {
    const auto first = firstField(line);
    return first && *first == name;
}

std::optional<std::string> replaceEntries(std::string_view file, const std::function<bool(std::string_view)>& isEntry,
                                          const std::string& newLine) {
    std::string out;
    bool replaced = false;
    for (const std::string_view line : fileLines(file)) {
        if (!isEntry(line)) {
            out += line;
            continue;
        }
        if (!replaced && !newLine.empty()) out += newLine + "\n";
        replaced = true;
    }
    if (!replaced && newLine.empty()) return std::nullopt;
    if (!replaced) {
        if (!out.empty() && out.back() != '\n') out += '\n';
        out += newLine + "\n";
    }
    return out;
}

}  // namespace ftp
