// The fields of one access-log line, cut by position around byte markers (never split into tokens).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace analysis {

// Markers, matched byte for byte and case-sensitively.
inline constexpr std::string_view kGetMarker = "\"GET ";
inline constexpr std::string_view kPostMarker = "\"POST";
inline constexpr std::string_view kProtocolMarker = " HTTP";
inline constexpr std::string_view k200Marker = "\" 200 ";
inline constexpr std::string_view k200PosMarker = "\" 200";
inline constexpr std::string_view k403Marker = "\" 403 ";
inline constexpr std::string_view k404Marker = "\" 404 ";
inline constexpr std::string_view kNoReferrerMarker = "\"-\"";
inline constexpr std::string_view kReferrerOpener = " \"";
inline constexpr std::string_view kFieldSeparator = "\" \"";

// The 28-byte bracketed time stamp from the first "[" (the line's first 28 bytes without one).
std::string_view ExtractTime(std::string_view line);
// Bytes 14 and 15 of the time field as an integer; throws "'%s' は整数ではありません".
std::int32_t ExtractHour(std::string_view timeField);
// The text before the first blank.
std::string_view ExtractHost(std::string_view line);
// After "GET " up to the first " HTTP" of the GET rest; empty when the rest has none.
std::string_view ExtractGetPath(std::string_view line, std::string_view getRest, std::ptrdiff_t getStart);

// The rules the pass applies inline (positions 1-based as in TextPos).
std::string_view GetRest(std::string_view line, std::ptrdiff_t getStart);
std::string_view PostRest(std::string_view line, std::ptrdiff_t postPos);
std::string_view PostPath(std::string_view line, std::ptrdiff_t postPos);
std::string_view Referrer(std::string_view getRest);
std::string_view UserAgent(std::string_view getRest);
// Path of a line with neither marker: from the first blank after the first quote up to " HTTP".
std::string_view OwnRequestPath(std::string_view line);

// The byte count after the first `" 200` of the line, up to the next blank or the end of the line.
// "-" counts 0; otherwise the integer rules, 64 bits; throws "'%s' は整数ではありません".
std::int64_t ByteCount(std::string_view line);
// The same with the 1-based position of that `" 200` already known.
std::int64_t ByteCountAt(std::string_view line, std::ptrdiff_t pos200);

}  // namespace analysis
