// Minimal JSON writing for the CLI's output.
#pragma once
#include <string>
#include <string_view>

namespace cli {

// text (UTF-8; invalid bytes become U+FFFD) as a quoted JSON string, appended to out.
void appendJsonString(std::string& out, std::string_view text);
// A number as JSON: integral values without a fraction, others with 17 significant digits.
void appendJsonNumber(std::string& out, double value);

}  // namespace cli
