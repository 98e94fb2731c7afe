// The directory that holds the running program.
#include "common/programdir.h"

#include <climits>
#include <unistd.h>

namespace common {

std::string programDir() {
    char buf[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "./";
    std::string path(buf, static_cast<std::size_t>(n));
    return path.substr(0, path.rfind('/') + 1);
}

}  // namespace common
