// The reference list files.
#include "lists/listfile.h"

#include "common/fileio.h"
#include "common/sharedfile.h"

namespace lists {

common::StringList loadList(const std::string& path) { return common::splitLines(common::readWholeFile(path)); }

void saveList(const std::string& path, const common::StringList& list) { common::saveLines(path, list); }

common::StringList updateList(const std::string& path, const std::function<void(common::StringList&)>& edit) {
    // Only a file that is not there holds nothing to lose; anything else (a directory in its place,
    // a file the user may not read) might hold entries, so its open error stops the change.
    common::StringList list;
    common::updateSharedFile(path, [&](const std::optional<std::string>& now) -> std::optional<std::string> {
        if (now) list = common::splitLines(*now);
        edit(list);
        return common::joinLines(list);
    });
    return list;
}

}  // namespace lists
