// The program's string list helpers.
#include "common/stringlist.h"

#include <cstring>

#include "common/casefold.h"
#include "common/fileio.h"

namespace common {

std::string_view untilNul(std::string_view text) {
    if (text.empty()) return text;  // an empty view may have no data at all, which memchr must not get
    const void* nul = std::memchr(text.data(), '\0', text.size());
    return nul ? text.substr(0, static_cast<const char*>(nul) - text.data()) : text;
}

StringList splitLines(std::string_view text) {
    text = untilNul(text);
    StringList lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(start));
            break;
        }
        lines.emplace_back(text.substr(start, end - start));
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

std::string joinLines(const StringList& lines) {
    std::string out;
    for (const std::string& line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

void saveLines(const std::string& path, const StringList& lines, unsigned mode) {
    writeFileAtomic(path, joinLines(lines), mode);
}

std::optional<std::size_t> indexOf(const StringList& list, std::string_view text) {
    for (std::size_t i = 0; i < list.size(); ++i)
        if (foldedEqual(list[i], text)) return i;
    return std::nullopt;
}

}  // namespace common
