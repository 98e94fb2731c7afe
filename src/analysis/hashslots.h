// The hash table of a list whose entries are kept elsewhere, in the order they were added.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "analysis/blockrows.h"

namespace analysis {

// Open addressing: each slot holds an entry's 32-bit hash (high bits) and its index + 1 (low bits);
// 0 is an empty slot. The hash in the slot spares a look at entries that cannot match.
class HashSlots {
public:
    explicit HashSlots(std::size_t count) : slots_(count, 0) {}  // a power of two
    static constexpr std::uint32_t kAbsent = 0xffffffffu;
    // Where a lookup ended: the entry found, or kAbsent and the empty slot where the new entry goes.
    struct Found {
        std::uint32_t index;
        std::size_t slot;
    };
    // Looks for the entry with hash h for which same(index) holds.
    template <class Same>
    Found find(std::uint32_t h, Same same) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            const std::uint64_t s = slots_[i];
            if (s == 0) return {kAbsent, i};
            const auto index = static_cast<std::uint32_t>((s & 0xffffffffu) - 1);
            if ((s >> 32) == h && same(index)) return {index, i};
        }
    }
    // Brings the slot where a lookup of hash h starts into the cache, ahead of that lookup: a merge
    // knows the hashes of the items it will look up, and a big table's slots are far apart.
    void prefetch(std::uint32_t h) const { __builtin_prefetch(&slots_[h & (slots_.size() - 1)]); }
    // The entry of the first slot on the way of a lookup of hash h that holds hash h, or kAbsent: the
    // entry that the lookup will most likely compare, so that it can be fetched ahead too.
    std::uint32_t firstWithHash(std::uint32_t h) const {
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = h & mask;; i = (i + 1) & mask) {
            const std::uint64_t s = slots_[i];
            if (s == 0) return kAbsent;
            if ((s >> 32) == h) return static_cast<std::uint32_t>((s & 0xffffffffu) - 1);
        }
    }
    // Makes room for count entries in all, at once rather than by doubling as they come.
    void reserve(std::size_t count) {
        std::size_t size = slots_.size();
        while (count * 2 > size) size *= 2;
        if (size != slots_.size()) grow(size);
    }
    // Files the entry just added, number `index`, in the empty slot that find gave for hash h.
    void put(std::size_t slot, std::uint32_t h, std::uint32_t index) {
        slots_[slot] = static_cast<std::uint64_t>(h) << 32 | (static_cast<std::uint64_t>(index) + 1);
        if ((static_cast<std::size_t>(index) + 1) * 2 > slots_.size()) grow(slots_.size() * 2);
    }

private:
    void grow(std::size_t size) {
        decltype(slots_) old(size, 0);
        old.swap(slots_);
        const std::size_t mask = slots_.size() - 1;
        for (std::uint64_t s : old) {
            if (s == 0) continue;
            std::size_t i = (s >> 32) & mask;
            while (slots_[i] != 0) i = (i + 1) & mask;
            slots_[i] = s;
        }
    }
    std::vector<std::uint64_t, SpareAllocator<std::uint64_t>> slots_;
};

}  // namespace analysis
