// Memory for the big arrays of an analysis (the log buffer, the line and entry lists). Blocks of 2 MB
// and more are mapped directly and backed by huge pages where the system allows, because touching a
// few hundred megabytes one 4 KB page at a time costs more in page faults than the whole pass.
#pragma once
#include <cstddef>
#include <new>

namespace common {

inline constexpr std::size_t kBigBlock = std::size_t(2) << 20;

void* bigAllocate(std::size_t bytes);                                   // throws std::bad_alloc
void bigFree(void* p, std::size_t bytes) noexcept;
void* bigReallocate(void* p, std::size_t oldBytes, std::size_t newBytes);  // keeps the contents

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
