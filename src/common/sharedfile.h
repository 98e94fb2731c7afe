// Changing a file that another running copy of the program may change at the same moment.
#pragma once
#include <functional>
#include <optional>
#include <string>

namespace common {

// What a change makes of a file's bytes as they are now (nullopt: there is no file yet): the new
// bytes, or nullopt to leave the file as it is.
using FileMerge = std::function<std::optional<std::string>(const std::optional<std::string>& now)>;

// Lock, re-read, merge, write atomically: the way every settings file that two windows of the
// program can write (recent files, window geometry, layouts, history settings, the lists, the
// trusted keys) is changed, so that neither undoes the other's change.
//
// Under the folder's FileLock the file is read whole, as it is at this moment, merge makes the new
// bytes from it, and they replace the file through writeFileAtomic (mode for a new file). Only a file
// that is not there reads as nullopt: one that cannot be read (no permission, a directory in its
// place) throws its open error and is never rewritten, since it may hold what the merge would lose.
// merge may throw; nothing is written then. Returns the bytes the file holds afterwards (nullopt:
// still no file). Errors: those of FileLock, readWholeFile and writeFileAtomic.
std::optional<std::string> updateSharedFile(const std::string& path, const FileMerge& merge, unsigned mode = 0644);

}  // namespace common
