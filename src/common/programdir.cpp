// The directory that holds the running program, and the folder of the program's data files.
#include "common/programdir.h"

#include <climits>
#include <unistd.h>

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

std::string materiaFile(std::string_view name) {
    std::string path = dataDir();
    path += "materia/";
    path += name;
    return path;
}

}  // namespace common
