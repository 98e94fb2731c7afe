// Code page 932 (Shift-JIS with the NEC and IBM extensions) to and from UTF-8, through iconv.
#pragma once
#include <string>
#include <string_view>

namespace common {

// UTF-8 text written in our sources, as code page 932 bytes. Characters without a form become "?".
std::string cp932(std::u8string_view utf8);
// The same, short for the messages a file builds: jp(u8"…").
inline std::string jp(std::u8string_view utf8) { return cp932(utf8); }

// Code page 932 bytes as UTF-8; a byte that does not decode becomes U+FFFD.
std::string utf8FromCp932(std::string_view bytes);

// UTF-8 as code page 932; a character without a form (or invalid UTF-8) becomes "?".
std::string cp932FromUtf8(std::string_view utf8);

// A file system path (UTF-8 on this system) as text for messages and boxes.
inline std::string pathText(std::string_view path) { return cp932FromUtf8(path); }

}  // namespace common
