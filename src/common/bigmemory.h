// Memory for the big arrays of an analysis (the log buffer, the line and entry lists). Blocks of 1 MB
// and more are mapped directly, in whole huge pages of 2 MB where the system allows, because touching
// a few hundred megabytes one 4 KB page at a time costs more in page faults than the whole pass (a
// block of 1 MB may take a page of 2 MB: at most half of it is spare).
#pragma once
#include <atomic>
#include <cstddef>
#include <new>
#include <optional>

namespace common {

inline constexpr std::size_t kBigBlock = std::size_t(2) << 20;  // a huge page
inline constexpr std::size_t kMappedBlock = kBigBlock / 2;      // the least block mapped

// A block of kMappedBlock or more that is larger than what the system can still provide is refused with
// std::bad_alloc at once, rather than granted by overcommit and paid for by the out-of-memory killer
// when its pages are touched.
void* bigAllocate(std::size_t bytes);  // throws std::bad_alloc
void bigFree(void* p, std::size_t bytes) noexcept;
void* bigReallocate(void* p, std::size_t oldBytes, std::size_t newBytes);  // keeps the contents
// A mapping of size bytes (a multiple of kBigBlock) that starts on a 2 MB boundary, so that all of it
// can be huge pages; unmapped with munmap, in whole or in parts of whole pages. Throws std::bad_alloc.
void* mapAligned(std::size_t size);

// A block that grows in place up to a limit, so that what points into it stays valid while it grows:
// address space for all of it is reserved at once, and memory taken only as it grows (see grow).
class GrowingBlock {
public:
    // Reserves room for up to `most` bytes, or for as much less as the system grants (a limit on the
    // address space); throws std::bad_alloc when not even a few megabytes are granted.
    explicit GrowingBlock(std::size_t most);
    ~GrowingBlock();
    GrowingBlock(const GrowingBlock&) = delete;
    GrowingBlock& operator=(const GrowingBlock&) = delete;
    char* data() const { return data_; }
    std::size_t limit() const { return reserved_; }
    // Makes the first `bytes` (at most limit()) writable, their pages faulted in; throws std::bad_alloc.
    void grow(std::size_t bytes);
    // Makes room for the `bytes` the block is likely to hold in the end (at most limit()), for
    // fillFromEnd; nothing when the system refuses.
    void expect(std::size_t bytes) noexcept;
    // Faults in the pages of what expect() made room for, 2 MB at a time from its end back, until it
    // comes near the pages that grow() has faulted in from the front, or stop is set: on a second
    // thread, while another grows the block, the two take half of the faults each.
    void fillFromEnd(const std::atomic<bool>& stop) const noexcept;
    // The bytes whose pages have been faulted in (or moved in by reuse), from the start.
    std::size_t populated() const { return populated_; }
    // Moves the pages of [from, from + bytes), a part of the block that holds nothing needed any
    // more, to the end of those faulted in, as though grow() had faulted them in there: the memory of
    // text already read takes the text still to come, without the cost of fresh pages. from and bytes
    // are multiples of kBigBlock; what is left at from reads as zero bytes. False, with nothing moved,
    // where the system cannot (before Linux 5.13) or the room ends.
    bool reuse(char* from, std::size_t bytes) noexcept;
    // Hands the block over: its first `size` bytes stay where they are, the rest of the room goes
    // back to the system. The block is then freed by bigFree(p, keptBytes(size)).
    char* release(std::size_t size) noexcept;
    static std::size_t keptBytes(std::size_t size) { return size < kMappedBlock ? kMappedBlock : size; }

private:
    char* data_ = nullptr;
    std::size_t mapped_ = 0, reserved_ = 0, writable_ = 0;
    std::size_t populated_ = 0;          // the bytes whose pages have been faulted in
    std::atomic<std::size_t> front_{0};  // populated_, for fillFromEnd
    std::size_t expected_ = 0;
};

// Maps the first size bytes (size > 0) of the open regular file fd read-only, shared with the page
// cache instead of copied; null when the system refuses. Should the file shrink while it is mapped
// (a log truncated by its rotation), the pages past its new end read as zero bytes rather than kill
// the process with SIGBUS.
const char* mapFile(int fd, std::size_t size) noexcept;
void unmapFile(const char* p, std::size_t size) noexcept;
// Hands the whole pages within [begin, end) of a file mapping back to the page cache: they leave the
// process's resident memory and come back, unchanged, when next read.
void releaseMapped(const char* begin, const char* end) noexcept;

// Memory the system can still provide: available memory plus free swap, within the memory limit of
// the process's control group; none when the system does not tell.
std::optional<std::size_t> availableMemory();
// Address space left to the process under a limit on it (ulimit -v); none when it has no such limit.
std::optional<std::size_t> addressSpaceLeft();
// Tests put a figure in place of the system's (none: the system's again).
void setAvailableMemoryForTesting(std::optional<std::size_t> bytes);

// Pieces of memory carved one after another out of blocks in huge pages, for the many small arrays
// that one thread fills at the same time (the segments of a pass's lists): each of them would
// otherwise take 4 KB pages of its own, one page fault each. A block is unmapped once the pool has
// moved on from it and every piece of it has been given back. One thread takes pieces; any thread
// may give them back.
class BlockPool {
public:
    struct Block;
    static constexpr std::size_t kBlockBytes = 2 * kBigBlock;
    static constexpr std::size_t kLargestPiece = kMappedBlock;  // pieces are smaller
    BlockPool() = default;
    BlockPool(const BlockPool&) = delete;
    BlockPool& operator=(const BlockPool&) = delete;
    ~BlockPool();
    // bytes (below kLargestPiece), aligned for any array; the piece's block is set in block.
    void* take(std::size_t bytes, Block*& block);  // throws std::bad_alloc
    static void giveBack(Block* block) noexcept;

private:
    Block* current_ = nullptr;
    std::size_t used_ = 0;
};

template <class T>
struct BigAllocator {
    using value_type = T;
    BigAllocator() = default;
    template <class U>
    BigAllocator(const BigAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
        return static_cast<T*>(bigAllocate(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { bigFree(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const BigAllocator<U>&) const noexcept {
        return true;
    }
};

}  // namespace common
