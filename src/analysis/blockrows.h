// Rows of records in blocks that never move: an array that grows without copying what it holds, and
// without holding the old and the new copy at once while it grows.
#pragma once
#include <sys/mman.h>

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

#include "common/bigmemory.h"

namespace analysis {

// Blocks that tables give back while a pass on several threads runs are kept for the tables of its
// next chunks, instead of leaving the process and being mapped again: memory that the system hands
// out anew costs a page fault each 4 KB, which for a chunk's tables costs as much as counting in them.
// Once the last keeper is gone the blocks kept leave the process, and blocks given back after that
// leave at once.
class SpareBlocks {
public:
    SpareBlocks();  // a keeper: blocks given back are kept while one lives
    ~SpareBlocks();
    SpareBlocks(const SpareBlocks&) = delete;
    SpareBlocks& operator=(const SpareBlocks&) = delete;
    // A mapped block of `bytes` given back before; null when there is none.
    static void* take(std::size_t bytes) noexcept;
    // The same, or a block newly mapped when there is none (std::bad_alloc when none can be).
    static void* map(std::size_t bytes);
    // Unmaps the block unless it is kept.
    static void giveBack(void* block, std::size_t bytes) noexcept;
};

// The allocator of the arrays of a pass's tables (their hash slots): an array from 256 KB up to the
// size that the big allocator maps in huge pages is mapped on its own, and one given back while a
// pass runs goes to the next table that takes an array of its size (SpareBlocks). The others are the
// big allocator's.
template <class T>
struct SpareAllocator {
    using value_type = T;
    SpareAllocator() = default;
    template <class U>
    SpareAllocator(const SpareAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / 2 / sizeof(T)) throw std::bad_alloc();
        const std::size_t bytes = n * sizeof(T);
        if (!mappedHere(bytes)) return static_cast<T*>(common::bigAllocate(bytes));
        return static_cast<T*>(SpareBlocks::map(pages(bytes)));
    }
    void deallocate(T* p, std::size_t n) noexcept {
        const std::size_t bytes = n * sizeof(T);
        if (mappedHere(bytes)) SpareBlocks::giveBack(p, pages(bytes));
        else common::bigFree(p, bytes);
    }
    template <class U>
    bool operator==(const SpareAllocator<U>&) const noexcept {
        return true;
    }

private:
    static bool mappedHere(std::size_t bytes) {
        return bytes >= (std::size_t(256) << 10) && bytes < common::kMappedBlock;
    }
    static std::size_t pages(std::size_t bytes) { return (bytes + 4095) & ~std::size_t{4095}; }
};

template <class T, std::size_t kBlock = 4096>
class BlockRows {
    static_assert(std::is_trivially_destructible_v<T>);

public:
    std::size_t size() const { return size_; }
    T& operator[](std::size_t i) { return blocks_[i / kBlock].get()[i % kBlock]; }
    const T& operator[](std::size_t i) const { return blocks_[i / kBlock].get()[i % kBlock]; }
    // Appends rows of T{} up to size n (a smaller n changes nothing).
    void grow(std::size_t n) {
        while (blocks_.size() * kBlock < n) blocks_.push_back(newBlock());
        if (n > size_) size_ = n;
    }
    // Gives the memory back once row i, the last of its block, is of no more use.
    void releaseAfterRow(std::size_t i) {
        if ((i + 1) % kBlock == 0 || i + 1 == size_) blocks_[i / kBlock].reset();
    }
    void clear() {
        blocks_.clear();
        size_ = 0;
    }

private:
    // Each block is mapped on its own, so that a block given back leaves the process (or goes to the
    // next chunk's table, see SpareBlocks): the allocator would keep it for anything later, and the
    // tables of a pass's chunks come and go while the pass holds the most memory.
    struct Unmap {
        void operator()(T* p) const { SpareBlocks::giveBack(p, kBytes); }
    };
    static constexpr std::size_t kBytes = kBlock * sizeof(T);
    static std::unique_ptr<T, Unmap> newBlock() {
        std::unique_ptr<T, Unmap> block(static_cast<T*>(SpareBlocks::map(kBytes)));
        std::uninitialized_value_construct_n(block.get(), kBlock);
        return block;
    }
    std::vector<std::unique_ptr<T, Unmap>> blocks_;
    std::size_t size_ = 0;
};

}  // namespace analysis
