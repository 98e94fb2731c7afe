// The SSH host key a server shows, judged by the program itself against the whole of known_hosts.
#pragma once
#include <string>

#include "ftp/serverkey.h"
#include "ftp/trustfile.h"

namespace ftp {

// One SFTP transfer's check of the host key. libssh2 stops reading known_hosts at the first line it
// cannot parse, so libcurl only learns from a copy of the valid entries for this server (which also
// makes it ask the server for the trusted kind of key); the verdict is ours.
class HostKeyCheck {
public:
    // Reads known_hosts of keyDir; throws the refusal of knownHostKeys.
    HostKeyCheck(const std::string& keyDir, const std::string& host, int port);
    ~HostKeyCheck();
    HostKeyCheck(const HostKeyCheck&) = delete;
    HostKeyCheck& operator=(const HostKeyCheck&) = delete;

    // Sets the known hosts and the key callback on a libcurl easy handle.
    void setUp(void* curl);
    // After the transfer (curlCode its CURLcode): why the host key ended it, or empty when it did not.
    std::string refusal(int curlCode) const;
    // The key the server showed, with its status (Unknown, Changed) when it was not trusted.
    const ServerKey& key() const { return key_; }

    // The verdict on a key the server showed (the key blob, as in known_hosts): true to go on.
    bool judge(const std::string& blob);

private:
    ServerKey key_;
    TrustLookup known_;
    int copy_ = -1;  // the valid entries for libcurl, in memory
    std::string copyPath_;
    bool seen_ = false;
    bool revoked_ = false;
};

}  // namespace ftp
