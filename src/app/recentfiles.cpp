// The logs opened last.
#include "app/recentfiles.h"

#include <algorithm>

#include "common/apperror.h"
#include "common/fileio.h"
#include "common/sharedfile.h"
#include "common/stringlist.h"

namespace recent {

namespace {

std::vector<std::string> parse(std::string_view bytes) {
    std::vector<std::string> out;
    for (const std::string& line : common::splitLines(bytes))
        if (!line.empty() && out.size() < kMax) out.push_back(line);
    return out;
}

template <class Change>
std::vector<std::string> update(const std::string& file, Change change) {
    const auto now = common::updateSharedFile(file, [&](const std::optional<std::string>& bytes) {
        const auto before = parse(bytes.value_or(""));
        const auto after = change(before);
        return after == before && bytes ? std::nullopt : std::optional<std::string>(common::joinLines(after));
    });
    return parse(now.value_or(""));
}

}  // namespace

std::vector<std::string> load(const std::string& file) {
    try {
        return parse(common::readWholeFile(file));
    } catch (const common::AppError&) {
        // No list yet, or one that cannot be read: the menu starts empty.
        return {};
    }
}

std::vector<std::string> add(std::vector<std::string> list, const std::string& path) {
    // A path with a line break could not be read back as one entry.
    if (path.empty() || path.find_first_of("\r\n") != std::string::npos) return list;
    std::erase(list, path);
    list.insert(list.begin(), path);
    if (list.size() > kMax) list.resize(kMax);
    return list;
}

std::vector<std::string> remember(const std::string& file, const std::string& path) {
    return update(file, [&](const std::vector<std::string>& list) { return add(list, path); });
}

std::vector<std::string> forget(const std::string& file, const std::string& path) {
    return update(file, [&](std::vector<std::string> list) {
        std::erase(list, path);
        return list;
    });
}

}  // namespace recent
