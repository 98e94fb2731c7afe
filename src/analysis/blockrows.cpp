// Blocks of the tables' rows kept for the next chunks while a pass runs.
#include "analysis/blockrows.h"

#include <mutex>
#include <utility>

namespace analysis {

namespace {

struct Spares {
    std::mutex mutex;
    int keepers = 0;
    std::vector<std::pair<void*, std::size_t>> blocks;
};

Spares& spares() {
    static Spares s;
    return s;
}

}  // namespace

SpareBlocks::SpareBlocks() {
    Spares& s = spares();
    std::lock_guard lock(s.mutex);
    ++s.keepers;
}

SpareBlocks::~SpareBlocks() {
    Spares& s = spares();
    std::vector<std::pair<void*, std::size_t>> gone;
    {
        std::lock_guard lock(s.mutex);
        if (--s.keepers == 0) gone.swap(s.blocks);
    }
    for (const auto& [p, bytes] : gone) ::munmap(p, bytes);
}

void* SpareBlocks::take(std::size_t bytes) noexcept {
    Spares& s = spares();
    std::lock_guard lock(s.mutex);
    for (std::size_t i = s.blocks.size(); i-- > 0;) {
        if (s.blocks[i].second != bytes) continue;
        void* p = s.blocks[i].first;
        s.blocks.erase(s.blocks.begin() + static_cast<std::ptrdiff_t>(i));
        return p;
    }
    return nullptr;
}

void SpareBlocks::giveBack(void* block, std::size_t bytes) noexcept {
    Spares& s = spares();
    {
        std::lock_guard lock(s.mutex);
        if (s.keepers > 0) {
            try {
                s.blocks.emplace_back(block, bytes);
                return;
            } catch (const std::bad_alloc&) {
                // No room to note it down: it leaves.
            }
        }
    }
    ::munmap(block, bytes);
}

}  // namespace analysis
