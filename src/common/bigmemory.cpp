// Memory for the big arrays of an analysis.
#include "common/bigmemory.h"
#include "common/sparememory.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>
#include <utility>

namespace common {

namespace {

std::optional<std::size_t> testFigure;

// "MemAvailable:   24102488 kB" and the like, in bytes.
std::optional<std::size_t> meminfoField(const std::string& text, const char* name) {
    const std::size_t at = text.find(name);
    if (at == std::string::npos) return std::nullopt;
    return static_cast<std::size_t>(std::strtoull(text.c_str() + at + std::strlen(name), nullptr, 10)) * 1024;
}

std::string readSmallFile(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Room left under the memory.max of the process's own control group (cgroup v2), if it has one.
std::optional<std::size_t> cgroupRoom() {
    const std::string self = readSmallFile("/proc/self/cgroup");
    const std::size_t at = self.find("0::");
    if (at == std::string::npos) return std::nullopt;
    std::string group = self.substr(at + 3);
    group = group.substr(0, group.find('\n'));
    const std::string dir = "/sys/fs/cgroup" + group;
    const std::string max = readSmallFile(dir + "/memory.max");
    if (max.empty() || max[0] < '0' || max[0] > '9') return std::nullopt;  // "max": no limit
    const auto limit = static_cast<std::size_t>(std::strtoull(max.c_str(), nullptr, 10));
    const auto used = static_cast<std::size_t>(
        std::strtoull(readSmallFile(dir + "/memory.current").c_str(), nullptr, 10));
    return limit > used ? limit - used : 0;
}

std::size_t mappedSize(std::size_t bytes) { return (bytes + kBigBlock - 1) / kBigBlock * kBigBlock; }

// The file mappings alive, for the SIGBUS handler: it reads them without locks, so each slot is a pair
// of atomics, set before the mapping is handed out and cleared before it is unmapped.
struct MappedRange {
    std::atomic<std::uintptr_t> start{0}, end{0};
};
constexpr std::size_t kMaxMappings = 64;
MappedRange mappings[kMaxMappings];
std::mutex mappingsMutex;  // between the threads that map and unmap
struct sigaction previousBus {};

void chainBus(int sig, siginfo_t* info, void* context) {
    if (previousBus.sa_flags & SA_SIGINFO) {
        if (previousBus.sa_sigaction) previousBus.sa_sigaction(sig, info, context);
        return;
    }
    if (previousBus.sa_handler == SIG_IGN) return;
    if (previousBus.sa_handler != SIG_DFL) {
        previousBus.sa_handler(sig);
        return;
    }
    // The default action: returning re-runs the faulting access, which then ends the process.
    signal(SIGBUS, SIG_DFL);
}

// A page of a mapped file that no longer exists is replaced by a page of zeros, and the read goes on.
void onBus(int sig, siginfo_t* info, void* context) {
    const auto at = reinterpret_cast<std::uintptr_t>(info->si_addr);
    for (const auto& m : mappings) {
        const std::uintptr_t start = m.start.load(std::memory_order_acquire);
        if (start != 0 && at >= start && at < m.end.load(std::memory_order_acquire)) {
            const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
            void* p = reinterpret_cast<void*>(at & ~(page - 1));
            if (::mmap(p, page, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) return;
        }
    }
    chainBus(sig, info, context);
}

void installBusHandler() {
    struct sigaction sa {};
    sa.sa_sigaction = onBus;
    sa.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGBUS, &sa, &previousBus);
}

}  // namespace

void* mapAligned(std::size_t size) {
    const std::size_t span = size + kBigBlock;
    void* raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) throw std::bad_alloc();
    const auto start = reinterpret_cast<std::uintptr_t>(raw);
    const std::uintptr_t aligned = (start + kBigBlock - 1) & ~(kBigBlock - 1);
    if (aligned > start) ::munmap(raw, aligned - start);
    const std::uintptr_t end = start + span;
    if (end > aligned + size) ::munmap(reinterpret_cast<void*>(aligned + size), end - aligned - size);
    void* p = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    ::madvise(p, size, MADV_HUGEPAGE);
#endif
    return p;
}

const char* mapFile(int fd, std::size_t size) noexcept {
    if (size == 0) return nullptr;
    static std::once_flag installed;
    std::call_once(installed, installBusHandler);
    std::lock_guard lock(mappingsMutex);
    for (auto& m : mappings) {
        if (m.start.load(std::memory_order_relaxed) != 0) continue;
        void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) return nullptr;
        // The pass reads the log from start to end: the kernel may read ahead generously.
        ::madvise(p, size, MADV_SEQUENTIAL);
        const auto start = reinterpret_cast<std::uintptr_t>(p);
        m.end.store(start + size, std::memory_order_release);
        m.start.store(start, std::memory_order_release);
        return static_cast<const char*>(p);
    }
    return nullptr;  // too many at once: the caller reads the file instead
}

void unmapFile(const char* p, std::size_t size) noexcept {
    if (!p) return;
    std::lock_guard lock(mappingsMutex);
    for (auto& m : mappings)
        if (m.start.load(std::memory_order_relaxed) == reinterpret_cast<std::uintptr_t>(p)) {
            m.start.store(0, std::memory_order_release);
            m.end.store(0, std::memory_order_release);
        }
    ::munmap(const_cast<char*>(p), size);
}

void releaseMapped(const char* begin, const char* end) noexcept {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t from = (reinterpret_cast<std::uintptr_t>(begin) + page - 1) & ~(page - 1);
    const std::uintptr_t to = reinterpret_cast<std::uintptr_t>(end) & ~(page - 1);
    if (to > from) ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
}

std::optional<std::size_t> availableMemory() {
    if (testFigure) return testFigure;
    const std::string meminfo = readSmallFile("/proc/meminfo");
    auto available = meminfoField(meminfo, "MemAvailable:");
    if (!available) return std::nullopt;
    *available += meminfoField(meminfo, "SwapFree:").value_or(0);
    if (const auto room = cgroupRoom(); room && *room < *available) return room;
    return available;
}

std::optional<std::size_t> addressSpaceLeft() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return std::nullopt;
    // The first figure of statm: the pages of address space in use.
    const auto used = static_cast<std::size_t>(std::strtoull(readSmallFile("/proc/self/statm").c_str(), nullptr, 10)) *
                      static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const auto most = static_cast<std::size_t>(limit.rlim_cur);
    return most > used ? most - used : 0;
}

void setAvailableMemoryForTesting(std::optional<std::size_t> bytes) { testFigure = bytes; }

namespace {

// The block kept by KeepFreedBlock, and how many of those live.
std::mutex spareMutex;
int keepingSpare = 0;
void* spare = nullptr;
std::size_t spareBytes = 0;

// Keeps the mapped block p of `bytes` as the spare; false when it is not kept.
bool keepAsSpare(void* p, std::size_t bytes) {
    constexpr std::size_t kLeast = std::size_t(8) << 20;
    if (bytes < kLeast || (reinterpret_cast<std::uintptr_t>(p) & (kBigBlock - 1)) != 0) return false;
    std::lock_guard lock(spareMutex);
    if (keepingSpare == 0 || (spare && spareBytes >= bytes)) return false;
    if (spare) ::munmap(spare, spareBytes);
    spare = p;
    spareBytes = bytes;
    return true;
}

std::pair<void*, std::size_t> takeSpare() {
    std::lock_guard lock(spareMutex);
    const std::pair<void*, std::size_t> taken{spare, spareBytes};
    spare = nullptr;
    spareBytes = 0;
    return taken;
}

// Moves the spare, if there is one, to the start of the room at `to` (2 MB aligned, of `room` bytes
// reserved): its pages go there as they are, written already, so none of them is cleared again.
// Returns how many bytes of the room it makes writable.
std::size_t moveSpareTo(char* to, std::size_t room) noexcept {
    const auto [p, bytes] = takeSpare();
    if (!p) return 0;
    const std::size_t n = std::min(bytes, room);
    if (n < bytes) ::munmap(static_cast<char*>(p) + n, bytes - n);
    if (::mremap(p, n, n, MREMAP_MAYMOVE | MREMAP_FIXED, to) != MAP_FAILED) return n;
    ::munmap(p, n);
    return 0;
}

}  // namespace

KeepFreedBlock::KeepFreedBlock() {
    std::lock_guard lock(spareMutex);
    ++keepingSpare;
}

KeepFreedBlock::~KeepFreedBlock() {
    std::unique_lock lock(spareMutex);
    if (--keepingSpare > 0) return;
    lock.unlock();
    const auto [p, bytes] = takeSpare();
    if (p) ::munmap(p, bytes);
}

void* bigAllocate(std::size_t bytes) {
    if (bytes < kMappedBlock) {
        void* p = std::malloc(bytes ? bytes : 1);
        if (!p) throw std::bad_alloc();
        return p;
    }
    // No address space is that large, and rounding it up to whole blocks would wrap around.
    if (bytes > (static_cast<std::size_t>(-1) >> 2)) throw std::bad_alloc();
    if (const auto available = availableMemory(); available && bytes > *available) throw std::bad_alloc();
    return mapAligned(mappedSize(bytes));
}

void bigFree(void* p, std::size_t bytes) noexcept {
    if (!p) return;
    if (bytes < kMappedBlock) std::free(p);
    else if (!keepAsSpare(p, mappedSize(bytes))) ::munmap(p, mappedSize(bytes));
}

void* bigReallocate(void* p, std::size_t oldBytes, std::size_t newBytes) {
    if (!p) return bigAllocate(newBytes);
    if (oldBytes < kMappedBlock && newBytes < kMappedBlock) {
        void* q = std::realloc(p, newBytes ? newBytes : 1);
        if (!q) throw std::bad_alloc();
        return q;
    }
    if (oldBytes >= kMappedBlock && newBytes >= kMappedBlock && mappedSize(oldBytes) == mappedSize(newBytes)) return p;
    void* q = bigAllocate(newBytes);
    std::memcpy(q, p, oldBytes < newBytes ? oldBytes : newBytes);
    bigFree(p, oldBytes);
    return q;
}

GrowingBlock::GrowingBlock(std::size_t most) {
    // Address space only: none of it is memory until it is made writable.
    constexpr std::size_t kLeast = std::size_t(8) << 20;
    std::size_t room = mappedSize(std::max(most, kLeast));
    for (;;) {
        void* raw = ::mmap(nullptr, room + kBigBlock, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (raw != MAP_FAILED) {
            const auto start = reinterpret_cast<std::uintptr_t>(raw);
            const std::uintptr_t aligned = (start + kBigBlock - 1) & ~(kBigBlock - 1);
            if (aligned > start) ::munmap(raw, aligned - start);
            const std::uintptr_t end = start + room + kBigBlock;
            if (end > aligned + room) ::munmap(reinterpret_cast<void*>(aligned + room), end - aligned - room);
            data_ = reinterpret_cast<char*>(aligned);
            mapped_ = room;
            reserved_ = std::min(room, most);
#ifdef MADV_HUGEPAGE
            ::madvise(data_, mapped_, MADV_HUGEPAGE);
#endif
            writable_ = populated_ = moveSpareTo(data_, mapped_);
            front_.store(populated_);
            return;
        }
        if (room <= kLeast) throw std::bad_alloc();
        room = mappedSize(room / 2);
    }
}

GrowingBlock::~GrowingBlock() {
    if (data_) ::munmap(data_, mapped_);
}

void GrowingBlock::grow(std::size_t bytes) {
    if (bytes > writable_) {
        if (bytes > reserved_) throw std::bad_alloc();
        // Made writable in steps of 64 MB.
        const std::size_t to = std::min(mappedSize(std::max(bytes, writable_ + (std::size_t(64) << 20))), mapped_);
        if (::mprotect(data_ + writable_, to - writable_, PROT_READ | PROT_WRITE) != 0) throw std::bad_alloc();
        writable_ = to;
    }
    // In huge pages, faulted in 2 MB at a time just before the text is written there (while the
    // cleared page is still in the cache); a system that cannot populate ahead (before Linux 5.14)
    // takes them as they are written. Fresh memory is slow in a virtual machine that hands free
    // memory back to its host (free page reporting): the host has to give it again, page by page.
    // Small pages cost that on every 4 KB the first time each is written, even after they were
    // populated: about 1.5 ms a MB, measured. A huge page costs it only when its block had gone back
    // to the host, and a block freed shortly before (the last log's, another program's) comes at
    // about a tenth of that.
    if (bytes > populated_) {
        const std::size_t to = std::min(mappedSize(bytes), writable_);
#ifdef MADV_POPULATE_WRITE
        ::madvise(data_ + populated_, to - populated_, MADV_POPULATE_WRITE);
#endif
        populated_ = to;
        front_.store(to, std::memory_order_release);
    }
}

void GrowingBlock::expect(std::size_t bytes) noexcept {
    bytes = std::min(bytes, reserved_);
    if (bytes > writable_) {
        const std::size_t to = std::min(mappedSize(bytes), mapped_);
        if (::mprotect(data_ + writable_, to - writable_, PROT_READ | PROT_WRITE) != 0) return;
        writable_ = to;
    }
    expected_ = std::min(mappedSize(bytes), writable_);
}

void GrowingBlock::fillFromEnd(const std::atomic<bool>& stop) const noexcept {
#ifdef MADV_POPULATE_WRITE
    for (std::size_t end = expected_; end >= 2 * kBigBlock && !stop.load(std::memory_order_relaxed);) {
        const std::size_t from = end - kBigBlock;
        if (from < front_.load(std::memory_order_acquire) + kBigBlock) return;
        ::madvise(data_ + from, kBigBlock, MADV_POPULATE_WRITE);
        end = from;
    }
#else
    (void)stop;
#endif
}

bool GrowingBlock::reuse(char* from, std::size_t bytes) noexcept {
#ifdef MREMAP_DONTUNMAP
    if (bytes == 0 || populated_ + bytes > reserved_) return false;
    // The pages move with their tables, a huge page at a time; the mapping they leave stays, empty.
    if (::mremap(from, bytes, bytes, MREMAP_MAYMOVE | MREMAP_FIXED | MREMAP_DONTUNMAP, data_ + populated_) ==
        MAP_FAILED)
        return false;
    populated_ += bytes;
    writable_ = std::max(writable_, populated_);
    front_.store(populated_, std::memory_order_release);
    return true;
#else
    (void)from;
    (void)bytes;
    return false;
#endif
}

char* GrowingBlock::release(std::size_t size) noexcept {
    const std::size_t kept = mappedSize(keptBytes(size));
    char* p = data_;
    if (mapped_ > kept) ::munmap(p + kept, mapped_ - kept);
    data_ = nullptr;
    return p;
}

struct BlockPool::Block {
    // The pieces not yet given back, and one more while the pool carves from the block.
    std::atomic<std::size_t> holds{1};
};

namespace {
constexpr std::size_t kPieceAlign = 64;
constexpr std::size_t kBlockHeader = (sizeof(BlockPool::Block) + kPieceAlign - 1) / kPieceAlign * kPieceAlign;
}  // namespace

BlockPool::~BlockPool() {
    if (current_) giveBack(current_);
}

void* BlockPool::take(std::size_t bytes, Block*& block) {
    bytes = (bytes + kPieceAlign - 1) / kPieceAlign * kPieceAlign;
    if (!current_ || used_ + bytes > kBlockBytes) {
        void* fresh = bigAllocate(kBlockBytes);
        if (current_) giveBack(current_);
        current_ = new (fresh) Block;
        used_ = kBlockHeader;
    }
    current_->holds.fetch_add(1, std::memory_order_relaxed);
    block = current_;
    void* p = reinterpret_cast<char*>(current_) + used_;
    used_ += bytes;
    return p;
}

void BlockPool::giveBack(Block* block) noexcept {
    if (block->holds.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    block->~Block();
    bigFree(block, kBlockBytes);
}

}  // namespace common
