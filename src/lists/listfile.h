// The three reference list files in materia/: one entry per line, CR LF after each.
#pragma once
#include <functional>
#include <string>

#include "common/stringlist.h"

namespace lists {

// Names in materia/ (common::materiaFile gives their paths).
inline constexpr const char* kDomeinList = "DomeinList.dat";            // own domains
inline constexpr const char* kCheckDomeinList = "CheckDomeinList.dat";  // watched domains
inline constexpr const char* kSERobotsList = "SERobotsList.dat";        // robot strings
// Lists of the behaviour tables, read only where they exist.
inline constexpr const char* kExcludeList = "ExcludeList.dat";  // addresses left out of visitors and hosts
inline constexpr const char* kAssetList = "AssetList.dat";      // suffixes of assets (".css")

// Reads a list file: lines at CR LF, lone CR or lone LF; a zero byte ends the text.
// A file that cannot be read throws "ファイル "%s". %s は開けません".
common::StringList loadList(const std::string& path);

// Replaces the file atomically (see common::writeFileAtomic for the errors).
void saveList(const std::string& path, const common::StringList& list);

// Changes the file as it is now, so that what another program or the user wrote since it was last
// read is kept: under the directory's lock the file is read again (a missing file is an empty list),
// edit applies the change and the result is written back atomically. Returns what was written.
// A file that exists but cannot be read throws its open error and is not written.
common::StringList updateList(const std::string& path, const std::function<void(common::StringList&)>& edit);

}  // namespace lists
