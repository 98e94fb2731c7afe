// Which entries of a list of byte strings occur in a text, every entry at once in one scan of the text.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace analysis {

// An entry occurs in a text when its bytes appear there exactly, anywhere, case-sensitively (Shift-JIS
// text is compared byte by byte like any other, so a second byte may start a match, as with memmem);
// an empty entry never occurs. Entries of four bytes or more are found together by Wu-Manber (a window
// as long as the shortest of them slides over the text, jumping as far as a table of two-byte blocks
// allows); shorter ones by tables of their one- and two-byte beginnings, in the same pass. The tables
// are built by the constructor; the matcher is then only read, so threads may share it.
class ListMatcher {
public:
    ListMatcher() = default;
    // Each entry carries a set of group bits (group 0 to 31) and counts once per time it is listed.
    explicit ListMatcher(const std::vector<std::string>& entries, std::uint32_t groups = 1);
    void add(std::string_view entry, std::uint32_t groups = 1);  // then build() before use
    void build();

    // Some entry occurs in text.
    bool any(std::string_view text) const { return text.size() >= minLength_ && scan(text, Stop::First) != 0; }
    // How many entries of the list occur in text (an entry listed twice counts twice).
    std::size_t count(std::string_view text) const { return text.size() >= minLength_ ? scan(text, Stop::Never) : 0; }
    // The union of the group bits of the entries that occur in text.
    std::uint32_t groups(std::string_view text) const {
        return text.size() >= minLength_ ? static_cast<std::uint32_t>(scan(text, Stop::AllGroups)) : 0;
    }
    // groups(text), and in `first`, of the entries that occur in text and carry a bit of `group`, the
    // one the list holds first (an entry listed more than once carries the groups of every listing);
    // empty when there is none. One scan of the text gives both.
    std::uint32_t groups(std::string_view text, std::uint32_t group, std::string_view& first) const;
    bool empty() const { return patterns_.empty(); }
    // Texts of at least this many bytes are searched by Hyperscan where the program is built with it
    // and the processor runs it (by default 64: for shorter texts a call costs more than it saves).
    // The results are the same either way.
    void useLibraryFrom(std::size_t bytes) { libraryFrom_ = bytes; }
    static bool libraryAvailable();

private:
    // GroupsAndLowest: the groups in the low 32 bits of the result, the lowest id in the high ones.
    enum class Stop { First, Never, AllGroups, GroupsAndLowest };
    static constexpr std::uint64_t kNoId = 0xffffffffu;
    static std::size_t initialResult(Stop stop);
    std::size_t scan(std::string_view text, Stop stop, std::uint32_t group = 0) const;
    std::size_t scanWithLibrary(std::string_view text, Stop stop, std::uint32_t group) const;
    // What the reports of the entries found make of a scan's result; true when the scan can stop.
    bool report(std::uint32_t id, Stop stop, std::uint32_t group, std::size_t& result) const;

    struct Pattern {
        std::string text;
        std::uint32_t groups;
        std::uint32_t times;  // how often the list holds it
    };
    std::vector<Pattern> patterns_;                         // distinct entries
    std::unordered_map<std::string, std::uint32_t> index_;  // while entries are added
    std::size_t minLength_ = static_cast<std::size_t>(-1);
    std::uint32_t allGroups_ = 0;

    // Entries of one to three bytes: id + 1 of the one-byte entry per byte value, and a bit per
    // two-byte beginning of the two- and three-byte entries, which are then looked up by it.
    std::vector<std::uint32_t> oneByte_;
    std::vector<std::uint64_t> twoBytes_;  // 65536 bits, or none
    struct ShortEntry {
        std::uint32_t block, id;
    };
    std::vector<ShortEntry> short_;  // sorted by block
    bool hasShort_ = false;

    // Entries of four bytes or more (Wu-Manber).
    std::size_t window_ = 0;
    std::vector<std::uint8_t> shift_;  // 65536 jumps
    // The long entries by a hash of their window's bytes (up to 64): a hash table of ranges of
    // prefixIds_, probed where the window stops.
    std::size_t prefixBytes_ = 0;
    struct PrefixSlot {
        std::uint64_t key;
        std::uint32_t begin, end;  // end 0: empty slot
    };
    std::vector<PrefixSlot> prefixSlots_;
    std::vector<std::uint32_t> prefixIds_;
    std::uint64_t prefixKey(const char* p) const;
    void buildLibrary();
    std::size_t slotOf(std::uint64_t key) const;
    bool hasLong_ = false;

    struct Library;  // the compiled Hyperscan database, shared by copies of the matcher
    std::shared_ptr<const Library> library_;
    std::size_t libraryFrom_ = 64;
};

}  // namespace analysis
