// EUC-JP, as search engines' query words come in it, to code page 932 (converted in cp932.cpp).
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace common {

// EUC-JP as code page 932 (iconv's "EUC-JP-MS", which knows the NEC and IBM characters), or
// nothing when the bytes are no EUC-JP (a high byte out of place, a character cut off). A
// character that has no code page 932 form (most of the supplementary set after 0x8F, unassigned
// codes) becomes "?".
std::optional<std::string> cp932FromEucJp(std::string_view eucJp);

}  // namespace common
