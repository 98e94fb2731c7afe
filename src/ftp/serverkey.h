// The keys of FTPS and SFTP servers: what a download learned of a key it could not trust by itself,
// the user's pins of TLS keys and the SSH known hosts, both kept in the program's materia/.
#pragma once
#include <optional>
#include <string>

#include "common/base64.h"

namespace ftp {

// Pinned TLS public keys, one "host:port SHA256:..." a line.
inline constexpr const char* kPinFile = "ftps_pins";
// SSH host keys in OpenSSH's format.
inline constexpr const char* kKnownHosts = "known_hosts";

struct ServerKey {
    enum class Status { None, Unknown, Changed };
    Status status = Status::None;
    bool ssh = false;  // an SSH host key; otherwise a TLS certificate
    std::string host;
    int port = 0;
    std::string fingerprint;  // "SHA256:" + base64 (unpadded) of the SHA-256 of the public key
    std::string pinned;       // Changed: the fingerprint trusted until now
    std::string keyType;      // SSH: "ssh-ed25519" and the like
    std::string keyBase64;    // SSH: the key as known_hosts holds it
    // TLS, as the certificate says (UTF-8, control characters made "?"): a stranger's text.
    std::string subject, issuer, notBefore, notAfter, problem;
};

// The key and its fingerprint for a person to compare, in code page 932, several lines.
std::string describeKey(const ServerKey& key);

// "SHA256:abc", "sha256//abc=" and "abc" name the same key.
bool sameFingerprint(const std::string& a, const std::string& b);

struct TrustLookup;

// The TLS pin of host:port, if any. The file is read whole; a line that cannot be read and may
// concern host:port throws the refusal naming the file and the line, as does a file that cannot
// be read.
std::optional<std::string> pinnedKey(const std::string& materiaDir, const std::string& host, int port);
// The SSH host keys known_hosts holds for host:port, with the same refusals.
TrustLookup knownHostKeys(const std::string& materiaDir, const std::string& host, int port);
// Trusts key from now on: a TLS key is pinned for its server, an SSH key added to known_hosts. Only
// that server's plain entry is replaced, atomically and under the folder's lock; every other byte of
// the file stays, and a new file is readable by its owner only. A file that cannot be read, or that
// holds an unreadable line that may concern the server, throws and is left as it is.
void trustKey(const std::string& materiaDir, const ServerKey& key);
// Forgets the pin of host:port, or the known SSH host key of host:port (their plain entries, the rest
// of the file kept byte for byte); true if there was one.
bool forgetPin(const std::string& materiaDir, const std::string& host, int port);
bool forgetHostKey(const std::string& materiaDir, const std::string& host, int port);

// SHA-256 of bytes as a fingerprint text.
std::string fingerprintOf(const std::string& bytes);
// Known hosts and pins hold keys in base64.
using common::base64;
using common::unbase64;

}  // namespace ftp
