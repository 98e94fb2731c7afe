// Copies of texts in blocks that never move.
#include "analysis/textstore.h"

#include <cstring>

namespace analysis {

std::string_view TextStore::keep(std::string_view text) {
    if (text.empty()) return {};
    // A line often brings one new item to several tables (a new path that was answered 404).
    if (text == last_) return last_;
    last_ = copy(text);
    return last_;
}

char* TextStore::newBlock(std::size_t bytes) {
    blocks_.reserve(blocks_.size() + 1);
    blocks_.emplace_back(static_cast<char*>(common::bigAllocate(bytes)), FreeBlock{bytes});
    return blocks_.back().get();
}

std::string_view TextStore::copy(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > kBlock / 4) {
        // A long text gets a block of its own, so the current one is not left mostly empty.
        char* p = newBlock(text.size());
        std::memcpy(p, text.data(), text.size());
        return {p, text.size()};
    }
    if (text.size() > left_) {
        left_ = blocks_.size() < kSmallBlocks ? kBlock : kBigBlock;
        free_ = newBlock(left_);
    }
    std::memcpy(free_, text.data(), text.size());
    const std::string_view kept(free_, text.size());
    free_ += text.size();
    left_ -= text.size();
    return kept;
}

}  // namespace analysis
