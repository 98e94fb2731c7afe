// The certificate an FTPS server shows, printed for a window or a terminal.
#include "ftp/tlsseen.h"

#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <string>

namespace ftp {

namespace {

// Stranger's text from a certificate, for a window or a terminal: control characters become "?".
std::string printable(std::string text) {
    for (char& c : text)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
    return text;
}

std::string bioText(BIO* bio) {
    char* data = nullptr;
    const long n = BIO_get_mem_data(bio, &data);
    std::string text = n > 0 ? std::string(data, static_cast<std::size_t>(n)) : std::string();
    BIO_free(bio);
    return printable(text);
}

std::string nameText(const X509_NAME* name) {
    BIO* bio = BIO_new(BIO_s_mem());
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    return bioText(bio);
}

std::string timeText(const ASN1_TIME* time) {
    BIO* bio = BIO_new(BIO_s_mem());
    ASN1_TIME_print(bio, time);
    return bioText(bio);
}

std::string verifyProblem(int error) {
    switch (error) {
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN: return reinterpret_cast<const char*>(u8"自己署名の証明書です");
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
            return reinterpret_cast<const char*>(u8"信頼できる認証局の発行したものではありません");
        case X509_V_ERR_CERT_HAS_EXPIRED: return reinterpret_cast<const char*>(u8"有効期限が切れています");
        case X509_V_ERR_CERT_NOT_YET_VALID: return reinterpret_cast<const char*>(u8"まだ有効期間に入っていません");
        default: return X509_verify_cert_error_string(error);
    }
}

int seeCertificate(X509_STORE_CTX* ctx, void* arg) {
    const int ok = X509_verify_cert(ctx);
    auto* seen = static_cast<TlsSeen*>(arg);
    X509* cert = X509_STORE_CTX_get0_cert(ctx);
    if (!seen->seen && cert != nullptr) {
        seen->seen = true;
        seen->chainOk = ok == 1;
        if (ok != 1) seen->key.problem = verifyProblem(X509_STORE_CTX_get_error(ctx));
        seen->key.subject = nameText(X509_get_subject_name(cert));
        seen->key.issuer = nameText(X509_get_issuer_name(cert));
        seen->key.notBefore = timeText(X509_get0_notBefore(cert));
        seen->key.notAfter = timeText(X509_get0_notAfter(cert));
        unsigned char* der = nullptr;
        const int n = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(cert), &der);
        if (n > 0)
            seen->key.fingerprint = fingerprintOf(
                std::string(reinterpret_cast<char*>(der), static_cast<std::size_t>(n)));
        OPENSSL_free(der);
    }
    return ok;
}

}  // namespace

CURLcode setUpTls(CURL*, void* sslContext, void* seen) {
    SSL_CTX_set_cert_verify_callback(static_cast<SSL_CTX*>(sslContext), &seeCertificate, seen);
    return CURLE_OK;
}

}  // namespace ftp
