// Rows of records in blocks that never move: an array that grows without copying what it holds, and
// without holding the old and the new copy at once while it grows.
#pragma once
#include <cstddef>
#include <memory>
#include <vector>

namespace analysis {

template <class T, std::size_t kBlock = 4096>
class BlockRows {
public:
    std::size_t size() const { return size_; }
    T& operator[](std::size_t i) { return blocks_[i / kBlock][i % kBlock]; }
    const T& operator[](std::size_t i) const { return blocks_[i / kBlock][i % kBlock]; }
    // Appends rows of T{} up to size n (a smaller n changes nothing).
    void grow(std::size_t n) {
        while (blocks_.size() * kBlock < n) blocks_.push_back(std::make_unique<T[]>(kBlock));
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
    std::vector<std::unique_ptr<T[]>> blocks_;
    std::size_t size_ = 0;
};

}  // namespace analysis
