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

// Never destroyed: tables that outlive main() may still give their blocks back.
Spares& spares() {
    static Spares* s = new Spares;
    return *s;
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

void* SpareBlocks::map(std::size_t bytes) {
    if (void* p = take(bytes)) return p;
    void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
    return p;
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
