// Loads munyaro-keyring.so on the first call and passes each call on to it.
#include "ftp/keyring/keyring.h"

#include <dlfcn.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "common/programdir.h"
#include "ftp/keyring/moduleabi.h"

namespace keyring {

namespace {

constexpr const char* kModule = "munyaro-keyring.so";

[[noreturn]] void unusable(const std::string& reasonUtf8) {
    throw common::AppError(common::cp932(u8"キーリングを使えません: ") + common::cp932FromUtf8(reasonUtf8));
}

struct Module {
    MunyaroKeyringCall call = nullptr;
    MunyaroKeyringFree free = nullptr;
    std::string error;  // why it could not be loaded (UTF-8)
};

// Beside the program in a build tree; in the installed tree under lib/munyaro/, the same way from
// bin/ as the build says. Loaded once and kept: Qt and GLib keep threads and state of their own.
const Module& module() {
    static const Module m = [] {
        Module r;
        const std::string dir = common::programDir();
        void* library = nullptr;
        for (const std::string& path :
             {dir + kModule, dir + MUNYARO_KEYRING_FROM_BIN + "/" + kModule}) {
            library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
            if (library != nullptr) break;
            // The installed path's reason is the one to tell.
            const char* why = dlerror();
            r.error = why != nullptr ? why : path;
        }
        if (library == nullptr) return r;
        r.call = reinterpret_cast<MunyaroKeyringCall>(dlsym(library, MUNYARO_KEYRING_CALL));
        r.free = reinterpret_cast<MunyaroKeyringFree>(dlsym(library, MUNYARO_KEYRING_FREE));
        if (r.call == nullptr || r.free == nullptr) r.error = std::string(kModule) + ": " + MUNYARO_KEYRING_CALL;
        return r;
    }();
    return m;
}

// The module's answer, its text taken over and given back.
struct Answer {
    int status;
    std::string text;
};

Answer call(int op, const std::string& key, const std::string& secret = {}) {
    const Module& m = module();
    if (m.call == nullptr || m.free == nullptr) unusable(m.error);
    const std::string utf8Secret = common::utf8FromCp932(secret);
    MunyaroKeyringReply r = m.call(op, common::utf8FromCp932(key).c_str(), utf8Secret.data(), utf8Secret.size());
    Answer a{r.status, r.text != nullptr ? std::string(r.text, r.size) : std::string()};
    m.free(r.text);
    if (a.status == MUNYARO_KEYRING_FAILED) unusable(a.text);
    return a;
}

}  // namespace

std::optional<std::string> readPassword(const std::string& key) {
    const Answer a = call(MUNYARO_KEYRING_READ, key);
    if (a.status == MUNYARO_KEYRING_NOT_FOUND) return std::nullopt;
    return common::cp932FromUtf8(a.text);
}

void storePassword(const std::string& key, const std::string& password) { call(MUNYARO_KEYRING_WRITE, key, password); }

void removePassword(const std::string& key) { call(MUNYARO_KEYRING_REMOVE, key); }

std::string ftpKey(const std::string& server, const std::string& account) { return "ftp:" + account + "@" + server; }

}  // namespace keyring
