// Finds which groups of byte strings occur in a text.
#include "analysis/multimatch.h"

#include <algorithm>
#include <cstring>

namespace analysis {

namespace {
// Two bytes as one table index (in the machine's byte order: the table is built the same way).
inline std::uint32_t block(const char* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
}  // namespace

MultiMatcher::MultiMatcher(const std::vector<Pattern>& patterns) {
    for (const Pattern& p : patterns) {
        if (p.text.empty()) continue;
        allGroups_ |= 1u << p.group;
        if (p.text.size() < 4) short_.push_back(Short{std::string(p.text), p.group});
        else long_.push_back(Long{std::string(p.text), 1u << p.group});
    }
    build();
}

void MultiMatcher::build() {
    if (long_.empty()) return;
    window_ = long_.front().text.size();
    for (const auto& l : long_) window_ = std::min(window_, l.text.size());
    shift_.assign(65536, static_cast<std::uint8_t>(std::min<std::size_t>(window_ - 1, 255)));
    std::vector<std::uint32_t> count(65537, 0);
    for (const auto& l : long_) {
        // A block ending at j (0-based, within the window) allows a jump of window - 1 - j.
        for (std::size_t j = 1; j < window_; ++j) {
            auto& s = shift_[block(l.text.data() + j - 1)];
            s = static_cast<std::uint8_t>(std::min<std::size_t>(s, window_ - 1 - j));
        }
        ++count[block(l.text.data() + window_ - 2) + 1];
    }
    bucketStart_.assign(65537, 0);
    for (std::size_t b = 1; b <= 65536; ++b) bucketStart_[b] = bucketStart_[b - 1] + count[b];
    bucket_.assign(long_.size(), 0);
    std::vector<std::uint32_t> fill(bucketStart_.begin(), bucketStart_.end() - 1);
    for (std::size_t i = 0; i < long_.size(); ++i) bucket_[fill[block(long_[i].text.data() + window_ - 2)]++] = static_cast<std::uint32_t>(i);
}

std::uint32_t MultiMatcher::match(std::string_view text) const {
    std::uint32_t found = 0;
    for (const auto& s : short_)
        if (!(found >> s.group & 1) && text.size() >= s.text.size() &&
            memmem(text.data(), text.size(), s.text.data(), s.text.size()))
            found |= 1u << s.group;
    if (long_.empty() || text.size() < window_ || found == allGroups_) return found;
    const char* p = text.data();
    const std::size_t n = text.size();
    const std::uint8_t* shift = shift_.data();
    for (std::size_t end = window_ - 1; end < n;) {
        const std::uint32_t b = block(p + end - 1);
        if (const std::uint8_t s = shift[b]) {
            end += s;
            continue;
        }
        const std::size_t start = end + 1 - window_;
        for (std::uint32_t k = bucketStart_[b]; k < bucketStart_[b + 1]; ++k) {
            const Long& l = long_[bucket_[k]];
            if ((found & l.groups) == l.groups || l.text.size() > n - start) continue;
            if (p[start] == l.text[0] && std::memcmp(p + start, l.text.data(), l.text.size()) == 0) {
                found |= l.groups;
                if (found == allGroups_) return found;
            }
        }
        ++end;
    }
    return found;
}

}  // namespace analysis
