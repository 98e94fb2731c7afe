// Minimal JSON writing for the CLI's output.
#include "cli/json.h"

#include <cmath>
#include <cstdio>

#include "common/utf8.h"

namespace cli {

void appendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
            ++i;
        } else if (c < 0x20 || c == 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
        } else if (const std::size_t n = common::utf8Length(text, i)) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    out += '"';
}

void appendJsonNumber(std::string& out, double value) {
    char buf[40];
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    if (value == std::trunc(value) && std::fabs(value) < 9e15) std::snprintf(buf, sizeof buf, "%.0f", value);
    else std::snprintf(buf, sizeof buf, "%.17g", value);
    out += buf;
}

}  // namespace cli
