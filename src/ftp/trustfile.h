// The lines of the two trust files (ftps_pins, known_hosts) read strictly: every line of the whole
// file is judged, and one that cannot be read counts against the server it may concern.
#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace ftp {

// A trust file is read whole, zero bytes and all: a line that cannot be read never hides the lines
// after it. Such a line "concerns" a server when it names it, or when it cannot be told which server
// it names (no host field, a broken hashed name, binary bytes): the connection is then refused.

// What a trust file says of one server.
struct TrustLookup {
    struct Key {
        bool revoked = false;  // known_hosts "@revoked"
        std::string type;      // SSH key type; empty for a TLS pin
        std::string blob;      // SSH key bytes; a TLS pin's fingerprint
    };
    std::vector<Key> keys;
    std::size_t badLine = 0;  // 1-based: the first unreadable line that concerns the server; 0 none
};

// The pins of host:port in the bytes of ftps_pins ("host:port SHA256:..." a line, "#" comments).
TrustLookup findPins(std::string_view file, const std::string& host, int port);
// The keys known for host:port in the bytes of a known_hosts file in OpenSSH's format: hashed
// names, patterns with "*", "?" and "!", "[host]:port", "@revoked". "@cert-authority" lines trust
// no key here (certificates are not taken), though a broken one that may concern host still counts.
TrustLookup findHostKeys(std::string_view file, const std::string& host, int port);

// The refusal naming the file and its line.
std::string unreadableLineMessage(const std::string& path, std::size_t line);

// The file's lines with their own line breaks, so that a rewrite keeps every byte of the others.
std::vector<std::string_view> fileLines(std::string_view file);

// Whether a line of the file is the plain entry of one server name (its first field exactly that):
// the lines that trusting or forgetting that server replaces.
bool isPinEntryOf(std::string_view line, const std::string& name);
bool isHostKeyEntryOf(std::string_view line, const std::string& name);

// file with the lines isEntry picks replaced by newLine (given without its break) where the first
// of them stood, or at the end when there is none; an empty newLine only removes. nullopt when that
// changes nothing. Every other byte stays.
std::optional<std::string> replaceEntries(std::string_view file, const std::function<bool(std::string_view)>& isEntry,
                                          const std::string& newLine);

}  // namespace ftp
