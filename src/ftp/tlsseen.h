// The certificate an FTPS server shows, as the TLS handshake meets it, for the user to judge.
#pragma once
#include <curl/curl.h>

#include "ftp/serverkey.h"

namespace ftp {

// The server's certificate as the TLS handshake meets it (the first one of a download), and
// whether the system's authorities vouch for it.
struct TlsSeen {
    bool seen = false;
    bool chainOk = false;
    ServerKey key;
};

// libcurl's CURLOPT_SSL_CTX_FUNCTION: has the handshake fill the TlsSeen given as CURLOPT_SSL_CTX_DATA.
CURLcode setUpTls(CURL*, void* sslContext, void* seen);

}  // namespace ftp
