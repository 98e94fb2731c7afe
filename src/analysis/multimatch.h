// Finds which groups of byte strings occur in a text, in one scan of the text.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace analysis {

// Strings of four bytes or more are searched together (Wu-Manber: a window as long as the shortest
// of them slides over the text, jumping by what a table of two-byte blocks allows); shorter ones are
// searched one by one. Empty strings never match. The tables are built when the matcher is made and
// only read afterwards, so one matcher can serve several threads.
class MultiMatcher {
public:
    struct Pattern {
        std::string_view text;
        unsigned group;  // 0 to 31
    };
    MultiMatcher() = default;
    explicit MultiMatcher(const std::vector<Pattern>& patterns);
    // Bit g is set when some string of group g occurs in text.
    std::uint32_t match(std::string_view text) const;

private:
    void build();
    struct Long {
        std::string text;
        std::uint32_t groups;
    };
    struct Short {
        std::string text;
        unsigned group;
    };
    std::vector<Long> long_;
    std::vector<Short> short_;
    std::uint32_t allGroups_ = 0;
    // Window length, jump per block, and the strings whose window ends in a block.
    std::size_t window_ = 0;
    std::vector<std::uint8_t> shift_;
    std::vector<std::uint32_t> bucketStart_;  // 65537 offsets into bucket_
    std::vector<std::uint32_t> bucket_;
};

}  // namespace analysis
