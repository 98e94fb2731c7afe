// Finds which groups of byte strings occur in a text, in one scan of the text.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace analysis {

// Strings of four bytes or more are found through a table of their first four bytes, looked up at
// every position of the text; shorter ones are searched one by one. Empty strings never match.
class MultiMatcher {
public:
    // Adds a string to group (0 to 31).
    void add(std::string_view pattern, unsigned group);
    // Bit g is set when some string of group g occurs in text.
    std::uint32_t match(std::string_view text) const;

private:
    struct Long {
        std::string text;
        std::uint32_t head;
        std::uint32_t groups;
    };
    struct Short {
        std::string text;
        unsigned group;
    };
    static std::uint32_t slot(std::uint32_t head) { return (head * 0x9E3779B1u) >> 16; }
    std::vector<Long> long_;
    std::vector<Short> short_;
    std::vector<std::uint64_t> bits_ = std::vector<std::uint64_t>(1024, 0);  // 65536 slots
    std::uint32_t allGroups_ = 0;
};

}  // namespace analysis
