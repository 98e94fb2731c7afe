// The user's words for the end of a libcurl transfer.
#include "ftp/curlreason.h"

#include <cstring>

#include "common/apperror.h"
#include "common/cp932.h"

namespace ftp {

std::string curlReason(CURLcode code, long reply, int writeErrno, const std::string& server, bool tooSlow,
                       const SpeedLimit& limit) {
    std::string main;
    if (tooSlow) code = CURLE_OK;  // told apart from the time-outs of libcurl
    switch (code) {
        case CURLE_OK:
            main = common::formatMessage(common::jp(u8"転送が遅すぎるため中断しました（%s 秒間、毎秒 %s バイト未満）"),
                                         {std::to_string(limit.seconds), std::to_string(limit.bytesPerSecond)});
            break;
        case CURLE_COULDNT_RESOLVE_HOST:
            main = common::formatMessage(common::jp(u8"サーバー \"%s\" が見つかりません"), {server});
            break;
        case CURLE_COULDNT_CONNECT: main = common::jp(u8"サーバーに接続できません"); break;
        case CURLE_LOGIN_DENIED: main = common::jp(u8"ログインが拒否されました"); break;
        case CURLE_REMOTE_FILE_NOT_FOUND: main = common::jp(u8"サーバーにそのファイルがありません"); break;
        case CURLE_REMOTE_ACCESS_DENIED: main = common::jp(u8"サーバーのディレクトリまたはファイルに入れません"); break;
        case CURLE_PARTIAL_FILE:
        case CURLE_RECV_ERROR:
        case CURLE_GOT_NOTHING: main = common::jp(u8"転送が途中で切れました"); break;
        case CURLE_OPERATION_TIMEDOUT: main = common::jp(u8"サーバーの応答が時間内にありません"); break;
        case CURLE_FTP_ACCEPT_FAILED:
        case CURLE_FTP_ACCEPT_TIMEOUT:
        case CURLE_FTP_PORT_FAILED:
            main = common::jp(u8"サーバーからのデータ接続（アクティブモード）を受けられません");
            break;
        case CURLE_USE_SSL_FAILED: main = common::jp(u8"サーバーが TLS での接続（FTPS）に応じません"); break;
        case CURLE_SSL_CONNECT_ERROR: main = common::jp(u8"TLS の接続を確立できません"); break;
        case CURLE_SSH: main = common::jp(u8"SSH の接続に失敗しました"); break;
        case CURLE_WRITE_ERROR:
            main = common::msg::writeError();
            if (writeErrno != 0) main += " (" + common::pathText(std::strerror(writeErrno)) + ")";
            break;
        default: main = common::jp(u8"ダウンロードできません"); break;
    }
    std::string detail = curl_easy_strerror(code);
    // The last reply is often the goodbye to QUIT; only a refusal says something.
    if (reply >= 400) detail += ", FTP " + std::to_string(reply);
    return main + " (" + detail + ")";
}

}  // namespace ftp
