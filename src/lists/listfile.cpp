// The reference list files.
#include "lists/listfile.h"

#include "common/fileio.h"

namespace lists {

common::StringList loadList(const std::string& path) { return common::splitLines(common::readWholeFile(path)); }

std::string listFileBytes(const common::StringList& list) {
    std::string out;
    for (const auto& entry : list) {
        out += entry;
        out += "\r\n";
    }
    return out;
}

void saveList(const std::string& path, const common::StringList& list) {
    common::writeFileAtomic(path, listFileBytes(list));
}

}  // namespace lists
