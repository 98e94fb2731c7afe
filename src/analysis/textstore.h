// Copies of texts in blocks that never move, so views into them stay valid.
#pragma once
#include <cstddef>
#include <memory>
#include <string_view>
#include <vector>

#include "common/bigmemory.h"

namespace analysis {

class TextStore {
public:
    // A copy of text; the text kept last when it is the same.
    std::string_view keep(std::string_view text);
    // A copy of text, of texts that never come twice in a row.
    std::string_view copy(std::string_view text);

private:
    // Blocks of 64 KB; past kSmallBlocks of them, of 2 MB in huge pages (see RankRows).
    static constexpr std::size_t kBlock = std::size_t(1) << 16, kBigBlock = std::size_t(2) << 20;
    static constexpr std::size_t kSmallBlocks = 32;
    struct FreeBlock {
        std::size_t bytes;
        void operator()(char* p) const noexcept { common::bigFree(p, bytes); }
    };
    char* newBlock(std::size_t bytes);
    std::string_view last_;  // the text kept last
    std::vector<std::unique_ptr<char, FreeBlock>> blocks_;
    char* free_ = nullptr;
    std::size_t left_ = 0;
};

}  // namespace analysis
