// A list of distinct texts in first-seen order, letter case ignored.
#include "analysis/distinctlist.h"

#include "common/casefold.h"

namespace analysis {

DistinctList::Added DistinctList::add(std::uint32_t line, std::string_view lineText, std::string_view text) {
    return insert(line, lineText, text, text, static_cast<std::uint32_t>(common::foldedHash(text)));
}

DistinctList::Added DistinctList::insert(std::uint32_t line, std::string_view lineText, std::string_view span,
                                         std::string_view text, std::uint32_t h) {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = h & mask;; i = (i + 1) & mask) {
        const std::uint64_t s = slots_[i];
        if (s == 0) {
            entries_->add(EntryForm::Span, line, lineText, span);
            keys_.push_back(Key{arena_.size(), static_cast<std::uint32_t>(text.size()), h});
            arena_.append(text);
            slots_[i] = static_cast<std::uint64_t>(h) << 32 | entries_->size();
            if (entries_->size() * 2 > slots_.size()) grow();
            return {static_cast<std::uint32_t>(entries_->size() - 1), true};
        }
        const auto index = static_cast<std::uint32_t>((s & 0xffffffffu) - 1);
        if ((s >> 32) == h && common::foldedEqual(key(index), text)) return {index, false};
    }
}

std::size_t DistinctList::addFrom(const DistinctList& other) {
    std::size_t added = 0;
    const EntryList& from = *other.entries_;
    for (std::size_t i = 0; i < from.size(); ++i) {
        // Compared by the other list's copy of the text: the log line itself may be far away by now.
        if (insert(from.lineOf(i), from.lineText(i), from.spanA(i), other.key(i), other.keys_[i].hash)) ++added;
    }
    return added;
}

void DistinctList::grow() {
    decltype(slots_) old(slots_.size() * 2, 0);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (std::uint64_t s : old) {
        if (s == 0) continue;
        std::size_t i = (s >> 32) & mask;
        while (slots_[i] != 0) i = (i + 1) & mask;
        slots_[i] = s;
    }
}

}  // namespace analysis
