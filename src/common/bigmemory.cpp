// Memory for the big arrays of an analysis.
#include "common/bigmemory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sys/mman.h>

namespace common {

namespace {

std::size_t mappedSize(std::size_t bytes) { return (bytes + kBigBlock - 1) / kBigBlock * kBigBlock; }

// A mapping that starts on a 2 MB boundary, so that all of it can be huge pages.
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

}  // namespace

void* bigAllocate(std::size_t bytes) {
    if (bytes < kBigBlock) {
        void* p = std::malloc(bytes ? bytes : 1);
        if (!p) throw std::bad_alloc();
        return p;
    }
    return mapAligned(mappedSize(bytes));
}

void bigFree(void* p, std::size_t bytes) noexcept {
    if (!p) return;
    if (bytes < kBigBlock) std::free(p);
    else ::munmap(p, mappedSize(bytes));
}

void* bigReallocate(void* p, std::size_t oldBytes, std::size_t newBytes) {
    if (!p) return bigAllocate(newBytes);
    if (oldBytes < kBigBlock && newBytes < kBigBlock) {
        void* q = std::realloc(p, newBytes ? newBytes : 1);
        if (!q) throw std::bad_alloc();
        return q;
    }
    if (oldBytes >= kBigBlock && newBytes >= kBigBlock && mappedSize(oldBytes) == mappedSize(newBytes)) return p;
    void* q = bigAllocate(newBytes);
    std::memcpy(q, p, oldBytes < newBytes ? oldBytes : newBytes);
    bigFree(p, oldBytes);
    return q;
}

}  // namespace common
