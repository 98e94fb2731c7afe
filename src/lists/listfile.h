// The three reference list files under materia/: one entry per line, CR LF after each.
#pragma once
#include <string>

#include "common/stringlist.h"

namespace lists {

inline constexpr const char* kDomeinList = "materia/DomeinList.dat";            // own domains
inline constexpr const char* kCheckDomeinList = "materia/CheckDomeinList.dat";  // watched domains
inline constexpr const char* kSERobotsList = "materia/SERobotsList.dat";        // robot strings

// Reads a list file: lines at CR LF, lone CR or lone LF; a zero byte ends the text.
// A file that cannot be read throws "ファイル "%s". %s は開けません".
common::StringList loadList(const std::string& path);

// The bytes of a list file: every entry followed by CR LF; no entries, no bytes.
std::string listFileBytes(const common::StringList& list);

// Replaces the file atomically (see common::writeFileAtomic for the errors).
void saveList(const std::string& path, const common::StringList& list);

}  // namespace lists
