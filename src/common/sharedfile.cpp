// Lock, re-read, merge, write atomically.
#include "common/sharedfile.h"

#include <cerrno>
#include <sys/stat.h>

#include "common/fileio.h"

namespace common {

std::optional<std::string> updateSharedFile(const std::string& path, const FileMerge& merge, unsigned mode) {
    const FileLock lock(path);
    std::optional<std::string> now;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 || errno != ENOENT) now = readWholeFile(path);
    std::optional<std::string> next = merge(now);
    if (!next) return now;
    writeFileAtomic(path, *next, mode);
    return next;
}

}  // namespace common
