// Minimal JSON writing for the CLI's output.
#pragma once
#include <string>
#include <string_view>

namespace cli {

// text (UTF-8; invalid bytes become U+FFFD) as a quoted JSON string, appended to out.
void appendJsonString(std::string& out, std::string_view text);
// A number as JSON: integral values without a fraction, others with 17 significant digits.
void appendJsonNumber(std::string& out, double value);

// The members of one JSON array or object: next() puts the "," before each but the first.
class JsonList {
public:
    explicit JsonList(std::string& out) : out_(out) {}
    std::string& next() {
        if (!first_) out_ += ',';
        first_ = false;
        return out_;
    }

private:
    std::string& out_;
    bool first_ = true;
};

}  // namespace cli
