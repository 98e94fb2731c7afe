// The URL of a transfer.
#include "ftp/transferurl.h"

#include <cstring>

#include "common/cp932.h"

namespace ftp {

namespace {

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

}  // namespace

bool controlSafe(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

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

}  // namespace ftp
