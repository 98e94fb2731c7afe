// A list of distinct texts in first-seen order, letter case ignored, with constant-time membership.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/blockrows.h"
#include "analysis/hashslots.h"
#include "analysis/lines.h"
#include "analysis/textstore.h"

namespace analysis {

class DistinctList {
public:
    explicit DistinctList(std::shared_ptr<const LogText> log) : entries_(std::make_shared<EntryList>(std::move(log))) {}
    // What add did: the index of the entry equal to the text, and whether the text made it.
    struct Added {
        std::uint32_t index;
        bool added;
        explicit operator bool() const { return added; }
    };
    // Adds text (a span of log line `line`) unless an equal entry is there.
    Added add(std::uint32_t line, std::string_view lineText, std::string_view text);
    std::size_t size() const { return entries_->size(); }
    // Adds the entries of other (a list of the same log, of lines after these) in their order, each
    // unless an equal entry is there; returns how many were added.
    std::size_t addFrom(const DistinctList& other);
    std::shared_ptr<EntryList> entries() const { return entries_; }
    void takeSegmentsFrom(common::BlockPool* pool) { entries_->takeSegmentsFrom(pool); }

private:
    // Adds the entry that make() gives unless an entry equals text, which holds the entry's bytes.
    template <typename Make>
    Added insert(std::string_view text, std::uint32_t hash, Make make);
    std::string_view key(std::size_t i) const {
        const Key& k = keys_[i];
        return {k.text, k.size};
    }
    std::shared_ptr<EntryList> entries_;
    // A copy of every entry's text: a lookup compares with these few bytes instead of reaching back
    // into the first line that carried the text, far away in the log buffer. Keys and texts stay
    // where they are as the list grows: a list of a million hosts would otherwise be copied whole,
    // into fresh memory, each time it doubled.
    struct Key {
        const char* text;
        std::uint32_t size;  // a span of a line, which is shorter than 4 GB
        std::uint32_t hash;  // kept for the list that takes these entries over
    };
    BlockRows<Key, 1024> keys_;
    TextStore texts_;
    HashSlots slots_{1024};
};

}  // namespace analysis
