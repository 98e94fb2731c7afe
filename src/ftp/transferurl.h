// The URL of a transfer, and the check of the texts that go to the server in its commands.
#pragma once
#include <string>
#include <string_view>

#include "ftp/inetman.h"

namespace ftp {

// CR or LF would end an FTP command early and start one of the sender's choosing; NUL would cut
// the text short.
bool controlSafe(std::string_view text);

// The host part of the URL, or empty when the server name cannot be one (a "/", "@", blank or the
// like would make libcurl read a different host, port or path out of it).
std::string hostPart(const std::string& server);

// "ftp://host:port/path"; an absolute remote path starts with "%2F", which libcurl takes as the root.
// SFTP paths are absolute; one relative to the login directory starts with "~/".
std::string buildUrl(Protocol protocol, const std::string& host, int port, std::string_view remote);

}  // namespace ftp
