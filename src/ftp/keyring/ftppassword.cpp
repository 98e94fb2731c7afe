// Where the download dialog keeps the FTP password.
#include "ftp/keyring/ftppassword.h"

#include <sys/stat.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "common/fileio.h"
#include "common/stringlist.h"
#include "ftp/keyring/keyring.h"

namespace keyring {

bool keyringChosen(const std::string& path) {
    try {
        const common::StringList lines = common::splitLines(common::readWholeFile(path));
        return !lines.empty() && lines.front() == "keyring";
    } catch (const common::AppError&) {
        return false;
    }
}

PasswordLine placePassword(const std::string& choicePath, bool useKeyring, const std::string& server,
                           const std::string& account, const std::string& password) {
    struct stat st {};
    const bool choiceMade = ::stat(choicePath.c_str(), &st) == 0;
    const std::string key = ftpKey(server, account);
    if (!useKeyring) {
        if (!choiceMade) return {password, {}};
        const bool wasKeyring = keyringChosen(choicePath);
        common::writeFileAtomic(choicePath, "file\r\n", 0600);
        // The password now lives in the file; a keyring that does not answer keeps its copy.
        if (wasKeyring) {
            try {
                removePassword(key);
            } catch (const common::AppError&) {
            }
        }
        return {password, {}};
    }
    // The choice first: should the program stop before the settings file is written, the next start
    // still finds the password, in the keyring or in the old file.
    common::writeFileAtomic(choicePath, "keyring\r\n", 0600);
    try {
        storePassword(key, password);
    } catch (const common::AppError& e) {
        return {password, e.what()};
    }
    return {std::string(), {}};
}

std::string loadPassword(bool keyringChosen, const std::string& server, const std::string& account,
                         const std::string& line) {
    if (!line.empty() || !keyringChosen) return line;
    const std::optional<std::string> password = readPassword(ftpKey(server, account));
    if (!password) {
        static const std::string pattern = common::cp932(u8"キーリングに %s@%s のパスワードがありません");
        throw common::AppError(common::formatMessage(pattern, {account, server}));
    }
    return *password;
}

}  // namespace keyring
