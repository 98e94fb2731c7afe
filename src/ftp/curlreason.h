// The user's words for the end of a libcurl transfer.
#pragma once
#include <curl/curl.h>
#include <string>

#include "ftp/inetman.h"

namespace ftp {

// The reason from libcurl's result code; its error buffer is not used, since in active mode it keeps
// a misleading text after every failure. reply: the last FTP reply; writeErrno: why writing the file
// failed; tooSlow: stopped by the speed limit.
std::string curlReason(CURLcode code, long reply, int writeErrno, const std::string& server, bool tooSlow,
                       const SpeedLimit& limit);

}  // namespace ftp
