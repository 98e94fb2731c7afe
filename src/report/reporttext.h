// Text helpers shared by the report writers: UTF-8 from the program's code page, numbers, times,
// HTML and CSV escaping.
#pragma once
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace report {

// Appends code page 932 text as UTF-8 (undecodable bytes become U+FFFD); plain ASCII is copied.
void appendUtf8(std::string& out, std::string_view cp932);

// Appends bytes that should be UTF-8 (a file name), every invalid sequence replaced by U+FFFD.
void appendValidUtf8(std::string& out, std::string_view bytes);

// 1234567 -> "1,234,567".
std::string groupedNumber(std::uintmax_t n);

// Local time as "2026-12-07 13:05:09".
std::string localTimeText(std::time_t when);

// Appends UTF-8 text escaped for HTML text and quoted attribute values; control characters, which
// have no business in a page, become U+FFFD.
void appendHtmlText(std::string& out, std::string_view utf8);

// Appends one CSV cell of UTF-8 text: a text that a spreadsheet would take for a formula (it starts
// with "=", "+", "-", "@", a tab, CR, LF, "|", or a full-width "＝", "＋", "－", "＠") gets a "'" in
// front; quoted when it holds a quote, comma, CR or LF.
void appendCsvText(std::string& out, std::string_view utf8);
// Ends a CSV row.
inline void endCsvRow(std::string& out) { out += "\r\n"; }

}  // namespace report
