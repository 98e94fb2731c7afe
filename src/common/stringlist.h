// The program's string list: byte strings in order, and the line splitting of its file loads.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace common {

using StringList = std::vector<std::string>;

// Cuts text into lines at CR LF, lone CR and lone LF. A zero byte ends the text; a break at the very
// end adds no empty line; an empty line inside gives an empty entry.
StringList splitLines(std::string_view text);

// The bytes of a saved list: every line followed by CR LF, the last one too; no lines, no bytes.
std::string joinLines(const StringList& lines);
// Replaces the file at path by the joined lines, atomically (see writeFileAtomic for the errors).
void saveLines(const std::string& path, const StringList& lines, unsigned mode = 0644);

// The text up to its first zero byte.
std::string_view untilNul(std::string_view text);

// Index of the first entry equal to text with letter case ignored, or none.
std::optional<std::size_t> indexOf(const StringList& list, std::string_view text);

}  // namespace common
