// The logs opened last.
#include "app/recentfiles.h"

#include <algorithm>

#include "common/apperror.h"
#include "common/fileio.h"
#include "common/stringlist.h"

namespace recent {

std::vector<std::string> load(const std::string& file) {
    std::vector<std::string> out;
    try {
        for (const std::string& line : common::splitLines(common::readWholeFile(file))) {
            if (!line.empty() && out.size() < kMax) out.push_back(line);
        }
    } catch (const common::AppError&) {
        // No list yet, or one that cannot be read: the menu starts empty.
    }
    return out;
}

std::vector<std::string> add(std::vector<std::string> list, const std::string& path) {
    // A path with a line break could not be read back as one entry.
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos) return list;
    std::erase(list, path);
    list.insert(list.begin(), path);
    if (list.size() > kMax) list.resize(kMax);
    return list;
}

void save(const std::string& file, const std::vector<std::string>& list) {
    std::string bytes;
    for (const std::string& path : list) bytes += path + "\r\n";
    common::writeFileAtomic(file, bytes);
}

}  // namespace recent
