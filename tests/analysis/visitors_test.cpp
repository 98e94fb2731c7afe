#include "analysis/visitors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <random>

using namespace analysis;

namespace {

// One request: visitor, whether its time was read, the time, and its page row (kNone: an asset).
struct Hit {
    std::uint32_t host, agent;
    bool timed;
    std::int64_t t;
    std::uint32_t page;
};

struct Figures {
    std::int64_t count = 0, pages = 0;
    std::vector<std::uint32_t> lengths, entries;
    std::vector<std::string> visitors;
    bool operator==(const Figures&) const = default;
};

// Visits as the rule states them, from each visitor's requests in log order.
Figures reference(const std::vector<Hit>& hits) {
    struct Open {
        bool any = false;
        std::int64_t last = 0, low = 0, high = 0;
        std::uint32_t pages = 0, entry = VisitorTable::kNone;
    };
    Figures f;
    std::map<std::pair<std::uint32_t, std::uint32_t>, Open> open;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> order;
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::int64_t> count;
    auto close = [&](const Open& o) {
        ++f.count;
        f.pages += o.pages;
        f.lengths.push_back(static_cast<std::uint32_t>(std::min(o.high - o.low, VisitorTable::kLongest)));
        if (o.entry != VisitorTable::kNone) {
            if (o.entry >= f.entries.size()) f.entries.resize(o.entry + 1, 0);
            ++f.entries[o.entry];
        }
    };
    for (const Hit& h : hits) {
        const auto key = std::make_pair(h.host, h.agent);
        if (count[key]++ == 0) order.push_back(key);
        if (!h.timed) continue;
        Open& o = open[key];
        if (o.any && std::llabs(h.t - o.last) >= kVisitGap) {
            close(o);
            o = Open{};
        }
        if (!o.any) o = Open{true, h.t, h.t, h.t, 0, VisitorTable::kNone};
        o.low = std::min(o.low, h.t);
        o.high = std::max(o.high, h.t);
        o.last = h.t;
        if (h.page != VisitorTable::kNone) {
            ++o.pages;
            if (o.entry == VisitorTable::kNone) o.entry = h.page;
        }
    }
    for (const auto& key : order)
        if (open[key].any) close(open[key]);
    for (const auto& key : order)
        f.visitors.push_back(std::to_string(key.first) + "/" + std::to_string(key.second) + " " +
                             std::to_string(count[key]));
    return f;
}

// queued: through the queue that the pass uses, whose last requests a merge or finish counts.
void addAll(VisitorTable& table, const std::vector<Hit>& hits, std::size_t from, std::size_t to, bool queued) {
    for (std::size_t i = from; i < to; ++i) {
        const Hit& h = hits[i];
        if (queued) {
            table.queue(h.host, h.agent, false, h.timed, h.t, h.page != VisitorTable::kNone, h.page);
            continue;
        }
        bool created = false;
        const std::uint32_t v = table.locate(h.host, h.agent, created);
        table.add(v, false, h.timed, h.t, h.page != VisitorTable::kNone, h.page);
    }
}

Figures figures(VisitorTable& table) {
    table.finish();
    Figures f;
    f.count = table.visitCount();
    f.pages = table.visitPages();
    f.lengths = table.lengths().sorted();
    f.entries = table.entries();
    table.drain([&](std::uint32_t host, std::uint32_t agent, std::int64_t hits, bool) {
        f.visitors.push_back(std::to_string(host) + "/" + std::to_string(agent) + " " + std::to_string(hits));
    });
    return f;
}

void sortLengths(Figures& f) {
    std::sort(f.lengths.begin(), f.lengths.end());
    while (!f.entries.empty() && f.entries.back() == 0) f.entries.pop_back();
}

// The table split at `cuts` and merged left to right: the rows of each part are its own, numbered
// as first seen there, as the rankings of a chunk number them.
Figures merged(const std::vector<Hit>& hits, const std::vector<std::size_t>& cuts, bool queued = false) {
    VisitorTable whole;
    std::size_t from = 0;
    for (std::size_t k = 0; k <= cuts.size(); ++k) {
        const std::size_t to = k < cuts.size() ? cuts[k] : hits.size();
        // Renumber hosts and pages backwards within the part, and map them back when merging.
        std::vector<Hit> part(hits.begin() + static_cast<std::ptrdiff_t>(from),
                              hits.begin() + static_cast<std::ptrdiff_t>(to));
        for (Hit& h : part) {
            h.host = 1000 - h.host;
            if (h.page != VisitorTable::kNone) h.page = 1000 - h.page;
        }
        VisitorTable later;
        addAll(later, part, 0, part.size(), queued);
        whole.merge(later, [](int kind, std::uint32_t row) { return kind == 1 ? row : 1000 - row; });
        from = to;
    }
    return figures(whole);
}

}  // namespace

TEST(VisitorTable, MergedAtAnySplitEqualsTheRuleOnRandomLogs) {
    std::mt19937 random(7);
    for (int round = 0; round < 40; ++round) {
        // Few visitors, times that go back and forth around the 30-minute edge, some unread.
        std::vector<Hit> hits;
        std::int64_t t = 1'000'000'000;
        const int n = 30 + static_cast<int>(random() % 40);
        for (int i = 0; i < n; ++i) {
            const std::int64_t steps[] = {0, 1, 1799, 1800, 1801, -1799, -1800, -5, 4000, -4000};
            t += steps[random() % 10];
            const bool page = random() % 3 != 0;
            hits.push_back(Hit{static_cast<std::uint32_t>(random() % 3), static_cast<std::uint32_t>(random() % 2),
                               random() % 8 != 0, t,
                               page ? static_cast<std::uint32_t>(random() % 5) : VisitorTable::kNone});
        }
        Figures expected = reference(hits);
        sortLengths(expected);
        for (std::size_t cut = 0; cut <= hits.size(); ++cut) {
            for (const bool queued : {false, true}) {
                Figures got = merged(hits, {cut}, queued);
                sortLengths(got);
                ASSERT_EQ(got, expected) << "round " << round << ", split at " << cut << (queued ? ", queued" : "");
            }
        }
        Figures three = merged(hits, {hits.size() / 3, hits.size() / 3 + 1});
        sortLengths(three);
        EXPECT_EQ(three, expected) << "round " << round;
        // Parts of one and of two requests leave all of theirs in the queue.
        Figures queued = merged(hits, {hits.size() / 3, hits.size() / 3 + 1, hits.size() / 3 + 3}, true);
        sortLengths(queued);
        EXPECT_EQ(queued, expected) << "round " << round;
    }
}

TEST(VisitorTable, AVisitLongerThanTheLengthsHoldIsToldAsTheLongest) {
    // Requests 1799 seconds apart make one visit, here of about 137 years; its length is told as
    // 2^32 - 1 seconds, however the lines are split, and the visit after it keeps its own length.
    std::vector<Hit> hits;
    std::int64_t t = -2'000'000'000;
    for (int i = 0; i < 2'400'000; ++i, t += 1799) hits.push_back(Hit{1, 1, true, t, 4});
    hits.push_back(Hit{1, 1, true, t + 1800, 4});
    hits.push_back(Hit{1, 1, true, t + 1810, VisitorTable::kNone});
    const Figures one = merged(hits, {});
    EXPECT_EQ(one.count, 2);
    EXPECT_THAT(one.lengths, testing::UnorderedElementsAre(VisitorTable::kLongest, 10));
    EXPECT_EQ(merged(hits, {1'200'000}), one);
    EXPECT_EQ(merged(hits, {2'399'999, 2'400'001}), one);
}

TEST(VisitLengths, MedianAndOrderOfShortAndLongLengthsAsSortingGivesThem) {
    // Lengths under a few hours are counted by length, longer ones listed: the median and the order
    // come out as sorting all of them would give, also across the two kinds and after merging.
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        VisitLengths a, b;
        std::vector<std::uint32_t> all;
        const int n = 1 + static_cast<int>(random() % 30);
        for (int i = 0; i < n; ++i) {
            const std::uint32_t limits[] = {20, 14'400, 100'000, 0xffffffffu};
            const std::uint32_t v = static_cast<std::uint32_t>(random() % limits[random() % 4]);
            (i % 3 == 0 ? a : b).add(v);
            all.push_back(v);
        }
        a.add(b);
        std::sort(all.begin(), all.end());
        const std::size_t mid = all.size() / 2;
        const std::int64_t median = all.size() % 2 ? all[mid]
                                                   : (std::int64_t(all[mid]) + std::int64_t(all[mid - 1])) / 2;
        EXPECT_EQ(a.sorted(), all) << "round " << round;
        EXPECT_EQ(a.median(), median) << "round " << round;
    }
    EXPECT_EQ(VisitLengths().median(), 0);
}

// A table's blocks given back during a pass go to the next table that grows, which finds them as new
// (no row of the table before shows through); once the pass is over they leave the process, and
// blocks given back then leave at once.
TEST(SpareBlocks, BlocksGoToTheNextTableDuringAPassOnlyAndThenLeave) {
    auto mapped = [](const void* p) {
        unsigned char in = 0;
        return ::mincore(const_cast<void*>(p), 4096, &in) == 0 || errno != ENOMEM;
    };
    const int* kept = nullptr;
    {
        const SpareBlocks pass;
        BlockRows<int, 1024> first;
        first.grow(3000);
        for (std::size_t i = 0; i < first.size(); ++i) first[i] = 7;
        kept = &first[2048];
        first.clear();
        EXPECT_TRUE(mapped(kept));
        BlockRows<int, 1024> next;
        next.grow(3000);
        bool reused = false;
        for (std::size_t i = 0; i < next.size(); ++i) {
            EXPECT_EQ(next[i], 0) << i;
            reused = reused || &next[i] == kept;
        }
        EXPECT_TRUE(reused);
        // A block of another size is not one of these.
        EXPECT_EQ(SpareBlocks::take(4096 * sizeof(int) * 3), nullptr);
        // Hash slots of that size take them as well, and the next table's slots start empty.
        const std::uint64_t* slots = nullptr;
        {
            std::vector<std::uint64_t, SpareAllocator<std::uint64_t>> table(65536, 0);
            std::fill(table.begin(), table.end(), 5);
            slots = table.data();
        }
        std::vector<std::uint64_t, SpareAllocator<std::uint64_t>> later(65536, 0);
        EXPECT_EQ(later.data(), slots);
        EXPECT_EQ(std::count(later.begin(), later.end(), 0u), 65536);
    }
    EXPECT_FALSE(mapped(kept));
    BlockRows<int, 1024> after;
    after.grow(10);
    const int* alone = &after[0];
    after.clear();
    EXPECT_FALSE(mapped(alone));
    EXPECT_EQ(SpareBlocks::take(1024 * sizeof(int)), nullptr);
}

// Once a pass has mapped 64 MB of blocks, the next are carved one after another from a room of huge
// pages; what is left of the room leaves with the pass, and the blocks when their table goes.
TEST(SpareBlocks, ALargePassCarvesItsLaterBlocksFromARoom) {
    constexpr std::size_t kMb = std::size_t(1) << 20;
    auto mapped = [](const void* p) {
        unsigned char in = 0;
        return ::mincore(const_cast<void*>(p), 4096, &in) == 0 || errno != ENOMEM;
    };
    BlockRows<char, kMb> table;
    const char* end = nullptr;
    {
        const SpareBlocks pass;
        table.grow(70 * kMb);
        EXPECT_EQ(&table[69 * kMb], &table[68 * kMb] + kMb);  // carved side by side
        end = &table[70 * kMb - 1] + 1;
        EXPECT_TRUE(mapped(end));
    }
    EXPECT_FALSE(mapped(end));
    EXPECT_TRUE(mapped(&table[69 * kMb]));
    const char* carved = &table[69 * kMb];
    table.clear();
    EXPECT_FALSE(mapped(carved));
}
