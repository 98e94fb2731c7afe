// A list of distinct texts in first-seen order, letter case ignored.
#include "analysis/distinctlist.h"

#include "common/casefold.h"

namespace analysis {

template <typename Make>
DistinctList::Added DistinctList::insert(std::string_view text, std::uint32_t h, Make make) {
    const HashSlots::Found f = slots_.find(h, [&](std::uint32_t i) { return common::foldedEqual(key(i), text); });
    if (f.index != HashSlots::kAbsent) return {f.index, false};
    make();
    const std::size_t k = keys_.size();
    keys_.grow(k + 1);
    keys_[k] = Key{texts_.copy(text).data(), static_cast<std::uint32_t>(text.size()), h};
    const auto index = static_cast<std::uint32_t>(entries_->size() - 1);
    slots_.put(f.slot, h, index);
    return {index, true};
}

DistinctList::Added DistinctList::add(std::uint32_t line, std::string_view lineText, std::string_view text) {
    return insert(text, static_cast<std::uint32_t>(common::foldedHash(text)),
                  [&] { entries_->add(EntryForm::Span, line, lineText, text); });
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
        // Compared by the other list's copy of the text, and its entry taken as it is: the log line
        // itself may be far away by now, or its text already given back.
        if (insert(other.key(i), other.keys_[i].hash, [&] { entries_->add(from.entry(i)); })) ++added;
    }
    return added;
}

}  // namespace analysis
