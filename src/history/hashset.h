// A set of 64-bit hashes in one open table: the distinct hosts and visitors of a day are counted as
// hashes, which are spread already, so their low bits pick the slot.
#pragma once
#include <algorithm>
#include <bit>
#include <cstdint>
#include <vector>

#include "analysis/blockrows.h"

namespace history {

class HashSet {
public:
    void insert(std::uint64_t h) {
        if (h == 0) {
            zero_ = true;
            return;
        }
        if ((size_ + 1) * 2 > slots_.size()) grow();
        std::size_t i = h & (slots_.size() - 1);
        while (slots_[i] != 0) {
            if (slots_[i] == h) return;
            i = (i + 1) & (slots_.size() - 1);
        }
        slots_[i] = h;
        ++size_;
    }
    void insertAll(const std::vector<std::uint64_t>& hashes) {
        reserve(size_ + hashes.size());
        insertMany(hashes.data(), hashes.size());
    }
    // The n hashes from p on. A big set's slots lie far from the cache: those of the hashes a few
    // places ahead are fetched while one is put in.
    void insertMany(const std::uint64_t* p, std::size_t n) {
        constexpr std::size_t kAhead = 8;
        reserve(size_ + std::min(n, kAhead));  // slots to fetch from
        for (std::size_t i = 0; i < n; ++i) {
            if (i + kAhead < n) __builtin_prefetch(slots_.data() + (p[i + kAhead] & (slots_.size() - 1)));
            insert(p[i]);
        }
    }
    // Another set's hashes. They come in the order of its slots, by their low bits: a table smaller
    // than that one would take them as long runs that collide, so this one grows to its size first.
    void insertAll(const HashSet& other) {
        reserve(std::max(size_ + other.size_, other.slots_.size() / 2));
        if (other.zero_) zero_ = true;
        for (std::uint64_t h : other.slots_)
            if (h != 0) insert(h);
    }
    std::size_t size() const { return size_ + (zero_ ? 1 : 0); }
    // The hashes in no particular order.
    std::vector<std::uint64_t> values() const {
        std::vector<std::uint64_t> out;
        out.reserve(size());
        if (zero_) out.push_back(0);
        for (std::uint64_t h : slots_)
            if (h != 0) out.push_back(h);
        return out;
    }

    // Room for n hashes without growing.
    void reserve(std::size_t n) {
        std::size_t slots = std::max<std::size_t>(slots_.size(), 64);
        while (n * 2 > slots) slots *= 2;
        if (slots > slots_.size()) rehash(slots);
    }

private:
    void grow() { rehash(std::max<std::size_t>(slots_.size() * 2, 64)); }
    // The slots of a day's set come and go with each day of a month of logs: while those are
    // recorded, the memory goes to the next set instead of leaving the process (SpareAllocator).
    using Slots = std::vector<std::uint64_t, analysis::SpareAllocator<std::uint64_t>>;
    void rehash(std::size_t slots) {
        Slots old(slots, 0);
        old.swap(slots_);
        size_ = 0;
        for (std::uint64_t h : old)
            if (h != 0) insert(h);
    }
    Slots slots_;
    std::size_t size_ = 0;
    bool zero_ = false;
};

}  // namespace history
