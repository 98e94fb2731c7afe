// A list of distinct texts in first-seen order, letter case ignored.
#include "analysis/distinctlist.h"

#include "common/casefold.h"

namespace analysis {

DistinctList::Added DistinctList::add(std::uint32_t line, std::string_view lineText, std::string_view text) {
    return insert(line, lineText, text, text, static_cast<std::uint32_t>(common::foldedHash(text)));
}

DistinctList::Added DistinctList::insert(std::uint32_t line, std::string_view lineText, std::string_view span,
                                         std::string_view text, std::uint32_t h) {
    const HashSlots::Found f = slots_.find(h, [&](std::uint32_t i) { return common::foldedEqual(key(i), text); });
    if (f.index != HashSlots::kAbsent) return {f.index, false};
    entries_->add(EntryForm::Span, line, lineText, span);
    const std::size_t k = keys_.size();
    keys_.grow(k + 1);
    keys_[k] = Key{texts_.copy(text).data(), static_cast<std::uint32_t>(text.size()), h};
    const auto index = static_cast<std::uint32_t>(entries_->size() - 1);
    slots_.put(f.slot, h, index);
    return {index, true};
}

std::size_t DistinctList::addFrom(const DistinctList& other) {
    std::size_t added = 0;
    const EntryList& from = *other.entries_;
    // The other list's hashes are known: the slots of the lookups a little ahead are fetched while
    // this one is done (a big list's slots lie far apart).
    constexpr std::size_t kAhead = 8;
    const std::size_t n = from.size();
    slots_.reserve(keys_.size() + n);
    for (std::size_t i = 0; i < n && i < kAhead; ++i) slots_.prefetch(other.keys_[i].hash);
    for (std::size_t i = 0; i < n; ++i) {
        if (i + kAhead < n) slots_.prefetch(other.keys_[i + kAhead].hash);
        // Compared by the other list's copy of the text: the log line itself may be far away by now.
        if (insert(from.lineOf(i), from.lineText(i), from.spanA(i), other.key(i), other.keys_[i].hash)) ++added;
    }
    return added;
}

}  // namespace analysis
