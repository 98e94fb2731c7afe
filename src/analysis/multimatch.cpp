// Finds which groups of byte strings occur in a text.
#include "analysis/multimatch.h"

#include <cstring>

namespace analysis {

namespace {
inline std::uint32_t load4(const char* p) {
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
}  // namespace

void MultiMatcher::add(std::string_view pattern, unsigned group) {
    if (pattern.empty()) return;
    allGroups_ |= 1u << group;
    if (pattern.size() < 4) {
        short_.push_back(Short{std::string(pattern), group});
        return;
    }
    const std::uint32_t head = load4(pattern.data());
    long_.push_back(Long{std::string(pattern), head, 1u << group});
    const std::uint32_t s = slot(head);
    bits_[s >> 6] |= 1ull << (s & 63);
}

std::uint32_t MultiMatcher::match(std::string_view text) const {
    std::uint32_t found = 0;
    for (const auto& s : short_)
        if (!(found >> s.group & 1) && text.size() >= s.text.size() &&
            memmem(text.data(), text.size(), s.text.data(), s.text.size()))
            found |= 1u << s.group;
    if (long_.empty() || text.size() < 4 || found == allGroups_) return found;
    const char* p = text.data();
    const std::size_t last = text.size() - 4;
    for (std::size_t i = 0; i <= last; ++i) {
        const std::uint32_t head = load4(p + i);
        const std::uint32_t s = slot(head);
        if (!(bits_[s >> 6] >> (s & 63) & 1)) continue;
        for (const auto& l : long_) {
            if (l.head != head || (found & l.groups) == l.groups) continue;
            if (l.text.size() <= text.size() - i && std::memcmp(p + i, l.text.data(), l.text.size()) == 0) {
                found |= l.groups;
                if (found == allGroups_) return found;
            }
        }
    }
    return found;
}

}  // namespace analysis
