// Whole-file reads and atomic whole-file writes with the program's messages.
#pragma once
#include <string>
#include <string_view>

namespace common {

// Reads the whole file as bytes. Only a regular file is read (a directory, FIFO or device is refused
// at once rather than blocking). Failure throws "ファイル "%s". %s は開けません" with the full path.
std::string readWholeFile(const std::string& path);

// Replaces the file by bytes: written to a temporary file beside it, flushed, renamed over it, so the
// file is always either the old or the new one. A file that cannot be created or replaced (missing
// directory, read-only target) throws "ファイル "%s". %s を作成できません"; a short write throws
// "ストリームへの書き込みエラー". mode is used for a newly created file; an existing file keeps its own.
void writeFileAtomic(const std::string& path, std::string_view bytes, unsigned mode = 0644);

// The path made absolute against the current directory (no symlink resolution).
std::string fullPath(const std::string& path);

// Throws the open error of path for errno value err.
[[noreturn]] void throwOpenError(const std::string& path, int err);
[[noreturn]] void throwOpenError(const std::string& path, std::string_view description);

}  // namespace common
