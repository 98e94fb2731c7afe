// Loading an access log: the whole file, gzip-compressed or not, cut into lines.
#pragma once
#include <memory>
#include <string>

#include "analysis/lines.h"
#include "common/fileio.h"

namespace analysis {

// Reads the log at path. A gzip file (by its magic bytes) is read as its decompressed text. Lines end
// at CR LF, lone CR or lone LF; a zero byte ends the text; lines that are empty or hold only blanks
// and tabs are no requests and are left out. Throws "ファイル "%s". %s は開けません".
std::shared_ptr<const LogText> loadLog(const std::string& path);

// The same from bytes already in memory (path names the file in messages).
std::shared_ptr<const LogText> logFromBytes(common::ByteBuffer bytes, const std::string& path);
std::shared_ptr<const LogText> logFromBytes(std::string_view bytes, const std::string& path);

}  // namespace analysis
