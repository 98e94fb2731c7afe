#include "common/bigmemory.h"
#include "common/sparememory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <random>
#include <sys/mman.h>
#include <thread>
#include <unistd.h>
#include <vector>

using common::BlockPool;

namespace {

// Whether the page at p is mapped into the process.
bool mapped(const void* p) {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    unsigned char in = 0;
    return ::mincore(reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(p) & ~(page - 1)), 1, &in) == 0;
}

struct Piece {
    char* data;
    std::size_t bytes;
    BlockPool::Block* block;
};

}  // namespace

// Pieces of every size below the largest are aligned and never overlap, over several blocks.
TEST(BlockPool, PiecesAreAlignedAndDisjoint) {
    std::mt19937 rng(3);
    std::vector<Piece> pieces;
    {
        BlockPool pool;
        std::size_t total = 0;
        while (total < 3 * BlockPool::kBlockBytes) {
            const std::size_t bytes = std::uniform_int_distribution<std::size_t>(1, BlockPool::kLargestPiece - 1)(rng);
            BlockPool::Block* block = nullptr;
            auto* p = static_cast<char*>(pool.take(bytes, block));
            ASSERT_NE(block, nullptr);
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % alignof(std::max_align_t), 0u);
            pieces.push_back({p, bytes, block});
            total += bytes;
        }
    }
    std::vector<Piece> byAddress = pieces;
    std::sort(byAddress.begin(), byAddress.end(), [](const Piece& a, const Piece& b) { return a.data < b.data; });
    for (std::size_t i = 1; i < byAddress.size(); ++i)
        EXPECT_LE(byAddress[i - 1].data + byAddress[i - 1].bytes, byAddress[i].data);
    EXPECT_GE(
        std::count_if(pieces.begin() + 1, pieces.end(), [&](const Piece& p) { return p.block != (&p - 1)->block; }), 2);
    for (const Piece& p : pieces) BlockPool::giveBack(p.block);
}

// A block is unmapped once its last piece is given back, from any thread, and not before; the block
// the pool still carves from stays while the pool does.
TEST(BlockPool, BlockGoesWithItsLastPiece) {
    auto pool = std::make_unique<BlockPool>();
    BlockPool::Block *first = nullptr, *second = nullptr;
    pool->take(1000, first);
    char* b = static_cast<char*>(pool->take(1000, second));
    ASSERT_EQ(first, second);
    BlockPool::giveBack(first);
    EXPECT_TRUE(mapped(b));
    std::thread([&] { BlockPool::giveBack(second); }).join();
    EXPECT_TRUE(mapped(b)) << "the pool still carves from it";
    pool.reset();
    EXPECT_FALSE(mapped(b));

    // A pool that moved on to a new block lets the old one go with its last piece.
    pool = std::make_unique<BlockPool>();
    BlockPool::Block* old = nullptr;
    char* kept = static_cast<char*>(pool->take(100, old));
    BlockPool::Block* next = old;
    while (next == old) {
        pool->take(BlockPool::kLargestPiece - 1, next);
        if (next == old) BlockPool::giveBack(next);
    }
    BlockPool::giveBack(next);
    EXPECT_TRUE(mapped(kept));
    BlockPool::giveBack(old);
    EXPECT_FALSE(mapped(kept));
}

// While freed blocks are kept, a log's text freed is where the next one grows: the same pages, moved
// whole (what they held is still there), and the room grows on past them and is handed over as any
// other. Once the keeping ends, nothing is kept and a new block starts on cleared pages again.
TEST(KeepFreedBlock, TheNextGrowingBlockBeginsInTheFreedPages) {
    constexpr std::size_t kMb = std::size_t(1) << 20;
    auto fill = [](char* p, std::size_t n, char c) { std::fill(p, p + n, c); };
    {
        const common::KeepFreedBlock keep;
        char* old = static_cast<char*>(common::bigAllocate(12 * kMb));
        fill(old, 12 * kMb, 'x');
        common::bigFree(old, 12 * kMb);
        common::bigFree(common::bigAllocate(kMb), kMb);  // too small to be kept: the spare stays

        common::GrowingBlock block(100 * kMb);
        block.grow(12 * kMb);
        EXPECT_EQ(block.data()[0], 'x');
        EXPECT_EQ(block.data()[12 * kMb - 1], 'x');
        block.grow(40 * kMb);
        fill(block.data() + 12 * kMb, 28 * kMb, 'y');
        const std::size_t size = 40 * kMb;
        char* text = block.release(size);
        EXPECT_EQ(text[size - 1], 'y');
        common::bigFree(text, common::GrowingBlock::keptBytes(size));

        common::GrowingBlock next(100 * kMb);  // in the 40 MB just freed
        next.grow(kMb);
        EXPECT_EQ(next.data()[0], 'x');
    }
    char* old = static_cast<char*>(common::bigAllocate(12 * kMb));
    fill(old, 12 * kMb, 'x');
    common::bigFree(old, 12 * kMb);
    common::GrowingBlock fresh(100 * kMb);
    fresh.grow(kMb);
    EXPECT_EQ(fresh.data()[0], 0);
}

// A block grown in uneven pieces, across the steps in which it is made writable, stays where it is:
// fresh bytes read zero and the text written before is kept; it never grows past its limit.
TEST(GrowingBlock, GrowsInPlaceKeepingItsText) {
    constexpr std::size_t kMb = std::size_t(1) << 20;
    common::GrowingBlock block(80 * kMb + 5);
    const char* const start = block.data();
    std::size_t made = 0;
    for (const std::size_t piece : {std::size_t(1), kMb - 1, 3 * kMb + 7, 60 * kMb, 6 * kMb - 2}) {
        block.grow(made + piece);
        ASSERT_EQ(block.data(), start);
        EXPECT_EQ(std::count(block.data() + made, block.data() + made + piece, '\0'), static_cast<long>(piece));
        std::fill(block.data() + made, block.data() + made + piece, static_cast<char>('a' + made % 26));
        made += piece;
    }
    EXPECT_EQ(block.data()[0], 'a');
    EXPECT_EQ(block.data()[kMb], static_cast<char>('a' + kMb % 26));
    EXPECT_EQ(block.data()[made - 1], static_cast<char>('a' + (made - 6 * kMb + 2) % 26));
    block.grow(block.limit());
    EXPECT_EQ(block.data()[block.limit() - 1], '\0');
    EXPECT_THROW(block.grow(block.limit() + 4 * kMb), std::bad_alloc);
    const std::size_t size = made;
    char* text = block.release(size);
    EXPECT_EQ(text, start);
    EXPECT_EQ(text[size - 1], static_cast<char>('a' + (size - 6 * kMb + 2) % 26));
    common::bigFree(text, common::GrowingBlock::keptBytes(size));
}

// Pages of text already read move to the end of what was faulted in, with what they hold, and the
// place they left reads zero; the block then grows on from behind them. Nothing moves past its limit.
TEST(GrowingBlock, ReusedPagesMoveToItsEndAndLeaveZeroBehind) {
    constexpr std::size_t kMb = std::size_t(1) << 20;
    common::GrowingBlock block(64 * kMb);
    block.grow(5 * kMb);
    const std::size_t end = block.populated();  // 6 MB, or more where spare memory came in
    ASSERT_GE(end, 6 * kMb);
    if (end + 4 * kMb > block.limit()) GTEST_SKIP() << "spare memory filled the block";
    std::fill(block.data(), block.data() + end, 'x');
    std::fill(block.data() + 2 * kMb, block.data() + 4 * kMb, 'y');
    if (!block.reuse(block.data() + 2 * kMb, 2 * kMb)) GTEST_SKIP() << "the system cannot move pages";
    EXPECT_EQ(block.populated(), end + 2 * kMb);
    EXPECT_EQ(std::count(block.data() + 2 * kMb, block.data() + 4 * kMb, '\0'), static_cast<long>(2 * kMb));
    EXPECT_EQ(std::count(block.data() + end, block.data() + end + 2 * kMb, 'y'), static_cast<long>(2 * kMb));
    EXPECT_EQ(block.data()[kMb], 'x');
    EXPECT_EQ(block.data()[5 * kMb], 'x');
    block.grow(end + 4 * kMb);
    EXPECT_EQ(block.data()[end + kMb], 'y');
    EXPECT_EQ(block.data()[end + 3 * kMb], '\0');
    EXPECT_FALSE(block.reuse(block.data(), block.limit()));
    EXPECT_EQ(block.data()[0], 'x');
}

#ifdef MADV_POPULATE_WRITE
// While one thread grows a block and writes its text, another faults its pages in from the far end
// of what the block expects to hold: the text is as written, and the filling stops short of the pages
// grown from the front, past what was expected, and at once when told to.
TEST(GrowingBlock, FillsItsPagesFromTheEndWhileItGrows) {
    constexpr std::size_t kMb = std::size_t(1) << 20;
    auto resident = [](const char* p) {
        const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
        unsigned char in = 0;
        return ::mincore(reinterpret_cast<void*>(reinterpret_cast<std::uintptr_t>(p) & ~(page - 1)), 1, &in) == 0 &&
               (in & 1) != 0;
    };
    {
        common::GrowingBlock block(64 * kMb);
        block.expect(32 * kMb);
        std::atomic<bool> stop{true};
        block.fillFromEnd(stop);
        EXPECT_FALSE(resident(block.data() + 31 * kMb));
        stop = false;
        block.grow(3 * kMb);  // faulted in up to 4 MB
        block.fillFromEnd(stop);
        EXPECT_TRUE(resident(block.data() + 32 * kMb - 1));
        EXPECT_TRUE(resident(block.data() + 6 * kMb));
        EXPECT_FALSE(resident(block.data() + 5 * kMb));
        EXPECT_FALSE(resident(block.data() + 33 * kMb));
        // No more than the block's limit is expected.
        block.expect(block.limit() + 16 * kMb);
        block.fillFromEnd(stop);
        EXPECT_TRUE(resident(block.data() + block.limit() - 1));
    }
    common::GrowingBlock block(80 * kMb);
    block.expect(48 * kMb);
    std::atomic<bool> stop{false};
    std::thread filling([&] { block.fillFromEnd(stop); });
    std::size_t made = 0;
    const std::size_t pieces[] = {kMb + 3, 20 * kMb, 5, 30 * kMb};
    for (const std::size_t piece : pieces) {
        block.grow(made + piece);
        EXPECT_EQ(std::count(block.data() + made, block.data() + made + piece, '\0'), static_cast<long>(piece));
        std::fill(block.data() + made, block.data() + made + piece, static_cast<char>('a' + piece % 26));
        made += piece;
    }
    stop = true;
    filling.join();
    made = 0;
    for (const std::size_t piece : pieces) {
        EXPECT_EQ(std::count(block.data() + made, block.data() + made + piece, static_cast<char>('a' + piece % 26)),
                  static_cast<long>(piece));
        made += piece;
    }
}
#endif
