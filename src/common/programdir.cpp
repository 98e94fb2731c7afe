// The directory that holds the running program, and the folder of the program's data files.
#include "common/programdir.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "common/apperror.h"
#include "common/cp932.h"
#include "common/fileio.h"

namespace common {

namespace {

std::string& dataDirSetting() {
    static std::string dir;
    return dir;
}

}  // namespace

std::string programDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

const std::string& dataDir() { return dataDirSetting(); }

void setDataDir(std::string dir) {
    if (!dir.empty() && dir.back() != '/') dir += '/';
    dataDirSetting() = std::move(dir);
}

std::string locateDataDir(const std::string& programDir) {
    const std::string beside = programDir + "materia";
    struct stat st {};
    if (::stat(beside.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && ::access(beside.c_str(), W_OK) == 0)
        return programDir;
    return userDataDir();
}

std::string locateDataDirForReading(const std::string& programDir) {
    const std::string dir = locateDataDir(programDir);
    std::error_code ec;
    return dir == programDir || std::filesystem::exists(dir + "materia", ec) ? dir : shippedDataDir(programDir);
}

std::string homeDir() {
    const char* home = std::getenv("HOME");
    if (home != nullptr && home[0] == '/') return home;
    // Started without HOME (a service, "env -i", some su): the password database knows the folder.
    // Without either, "/" + ".local/..." would put the data at the root of the file system.
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_dir != nullptr && found->pw_dir[0] == '/')
        return found->pw_dir;
    throw AppError(cp932(u8"ホームフォルダがわかりません: 環境変数 HOME がなく、ユーザー ") +
                   std::to_string(::getuid()) + cp932(u8" のパスワード情報にもありません"));
}

std::string userDataDir() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && xdg[0] == '/') return std::string(xdg) + "/munyaro/";
    return homeDir() + "/.local/share/munyaro/";
}

std::string shippedDataDir(const std::string& programDir) {
    const std::string share = programDir + MUNYARO_SHARE_FROM_BIN + "/";
    std::error_code ec;
    if (!std::filesystem::is_directory(share + "materia", ec) &&
        std::filesystem::is_directory(programDir + "materia", ec))
        return programDir;
    return share;
}

namespace {

namespace fs = std::filesystem;

// Copies the regular files of from into the new folder to, each readable by the user only.
void copyFiles(const std::string& from, const std::string& to) {
    std::error_code ec;
    fs::directory_iterator it(from, ec);
    if (ec) throwOpenError(from, ec.value());
    for (const fs::directory_entry& entry : it) {
        if (!entry.is_regular_file(ec)) continue;
        const std::string target = to + "/" + entry.path().filename().string();
        writeFileAtomic(target, readWholeFile(entry.path().string()), 0600);
    }
}

void makeDirs(const std::string& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (ec) throw createError(dir, ec.value());
}

}  // namespace

void createDataDir(const std::string& dir, const std::string& shipped) {
    const std::string materia = dir + "materia";
    std::error_code ec;
    if (fs::exists(materia, ec)) return;
    // Folders the program makes for the user's data are the user's alone (0700).
    const auto oldMask = ::umask(077);
    struct Restore {
        mode_t mask;
        ~Restore() { ::umask(mask); }
    } restore{oldMask};
    makeDirs(dir);
    const std::string logs = dir + "logs";
    if (!fs::exists(logs, ec)) {
        makeDirs(logs);
        if (fs::is_directory(shipped + "logs", ec)) copyFiles(shipped + "logs", logs);
    }
    // Filled under a temporary name and renamed: materia/ is there complete or not at all.
    std::string tmp = dir + ".materia-XXXXXX";
    if (::mkdtemp(tmp.data()) == nullptr) throw createError(materia, errno);
    try {
        copyFiles(shipped + "materia", tmp);
        if (::rename(tmp.c_str(), materia.c_str()) != 0) {
            const int err = errno;
            // Another copy of the program, started at the same moment, was first: its folder stands.
            if (err != EEXIST && err != ENOTEMPTY) throw createError(materia, err);
            fs::remove_all(tmp, ec);
        }
    } catch (...) {
        fs::remove_all(tmp, ec);
        throw;
    }
}

std::string materiaDir() { return dataDir() + "materia"; }

std::string materiaFile(std::string_view name) {
    std::string path = dataDir();
    path += "materia/";
    path += name;
    return path;
}

}  // namespace common
