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
    // Room that new blocks are carved from in huge pages, once the blocks that a pass mapped come to
    // kRoomAfter: the tables of a log where nearly every item is new would otherwise take a page fault
    // each 4 KB. Smaller tables keep their blocks each on its own, where a huge page would be mostly
    // spare.
    char* room = nullptr;
    std::size_t roomLeft = 0;
    std::size_t mapped = 0;
};

constexpr std::size_t kRoomBytes = std::size_t(32) << 20;
constexpr std::size_t kRoomAfter = std::size_t(64) << 20;

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
    std::pair<void*, std::size_t> room{nullptr, 0};  // what no block was carved from leaves too
    {
        std::lock_guard lock(s.mutex);
        if (--s.keepers == 0) {
            gone.swap(s.blocks);
            room = {s.room, s.roomLeft};
            s.room = nullptr;
            s.roomLeft = 0;
            s.mapped = 0;
        }
    }
    for (const auto& [p, bytes] : gone) ::munmap(p, bytes);
    if (room.second > 0) ::munmap(room.first, room.second);
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
    Spares& s = spares();
    {
        // A block carved from a room is given back on its own all the same: unmapping part of a huge
        // page splits it.
        std::lock_guard lock(s.mutex);
        if (s.keepers > 0) s.mapped += bytes;
        if (s.keepers > 0 && s.mapped > kRoomAfter && bytes <= kRoomBytes / 8) {
            if (s.roomLeft < bytes) {
                s.room = static_cast<char*>(common::mapAligned(kRoomBytes));
                s.roomLeft = kRoomBytes;
            }
            void* p = s.room;
            s.room += bytes;
            s.roomLeft -= bytes;
            return p;
        }
    }
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
