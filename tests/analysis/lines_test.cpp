#include <gtest/gtest.h>
#include <sys/mman.h>

#include <cctype>
#include <random>

#include "analysis/distinctlist.h"
#include "analysis/logfile.h"
#include "analysis/logline.h"
#include "analysis/panecontent.h"

using namespace analysis;
using common::StringList;

namespace {

// What an entry of each form reads, as the forms are defined.
std::string composed(EntryForm form, std::string_view line, std::string_view a, std::string_view b) {
    const std::string t(ExtractTime(line)), h(ExtractHost(line)), sa(a), sb(b);
    switch (form) {
        case EntryForm::Whole: return std::string(line);
        case EntryForm::Span: return sa;
        case EntryForm::TimeSpan: return t + " " + sa;
        case EntryForm::TimeRefPath: return t + " [" + sa + "] " + sb;
        case EntryForm::RefPath: return "[" + sa + "] " + sb;
        case EntryForm::Robot: return "*" + h + " " + t + " [" + sa + "] " + sb;
        case EntryForm::RobotsFile: return h + " " + t + " " + sa;
        case EntryForm::TimeHostSpan: return t + " " + h + " " + sa;
    }
    return {};
}

}  // namespace

TEST(PaneContent, HeadersInsertedAboveReplacedContent) {
    PaneContent p;
    p.append("stale");
    p.replace(makeLines({"a", "b", "c"}));
    p.insert(0, "h1");
    p.insert(1, "h2");
    p.insert(2, "--");
    EXPECT_EQ(p.toStringList(), (StringList{"h1", "h2", "--", "a", "b", "c"}));
    p.insert(4, "mid");  // splits the source
    p.insert(99, "end");
    EXPECT_EQ(p.toStringList(), (StringList{"h1", "h2", "--", "a", "mid", "b", "c", "end"}));
    EXPECT_EQ(p.size(), 8u);
    EXPECT_EQ(p.line(5), "b");
    p.clear();
    p.insert(0, "only");
    EXPECT_EQ(p.toStringList(), StringList{"only"});
}

TEST(PaneContent, AppendKeepsOrderOfLinesAndSources) {
    PaneContent p;
    p.append("x");
    p.append(makeLines({}));
    p.append(makeLines({"y", "z"}));
    p.append("w");
    EXPECT_EQ(p.toStringList(), (StringList{"x", "y", "z", "w"}));
}

TEST(PaneContent, PrefixIsTheStartOfTheLineInEveryForm) {
    const auto log = logFromBytes(
        std::string_view("10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET /abcdef HTTP/1.1\" 200 5\nx\n"), "a.log");
    auto entries = std::make_shared<EntryList>(log);
    const std::string_view line = (*log)[0];
    const std::string_view a = line.substr(line.find("/abc"), 7), b = line.substr(0, 8);
    for (EntryForm form : {EntryForm::Whole, EntryForm::Span, EntryForm::TimeSpan, EntryForm::TimeRefPath,
                           EntryForm::RefPath, EntryForm::Robot, EntryForm::RobotsFile, EntryForm::TimeHostSpan})
        entries->add(form, 0, line, a, b);
    PaneContent p;
    p.append("header");
    p.append(entries);
    p.append(log);
    for (std::size_t i = 0; i < p.size(); ++i) {
        const std::string whole = p.line(i);
        for (std::size_t n : {std::size_t{0}, std::size_t{3}, std::size_t{31}, whole.size(), whole.size() + 5})
            EXPECT_EQ(p.linePrefix(i, n), whole.substr(0, n)) << i << " " << n;
    }
}

// A list taken over in segments gives every entry as it was given, whole and as a prefix: across
// segment edges, with empty lists appended, a list of several segments appended to another one,
// entries of every form, spans that lie past the first 32 KB of a long line, and segments from a pool.
TEST(EntryList, SegmentsReadLikeOneList) {
    std::string bytes;
    for (int i = 0; i < 40; ++i)
        bytes += "10.0.0." + std::to_string(i) + " - - [10/Oct/2004:13:55:" + std::to_string(10 + i) +
                 " +0900] \"GET /p" + std::string(i % 10 == 9 ? std::size_t(70000) : std::size_t(i), 'x') +
                 " HTTP/1.1\" 200 5\n";
    const auto log = logFromBytes(bytes, "log");
    std::mt19937 rng(7);
    const auto pick = [&](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng); };
    const auto anyForm = [&] { return static_cast<EntryForm>(pick(8)); };
    struct Given {
        EntryForm form;
        std::uint32_t line;
        std::string_view a, b;
    };
    std::vector<Given> given;
    // Adds k random entries to list.
    const auto addSome = [&](EntryList& list, std::size_t k) {
        for (std::size_t j = 0; j < k; ++j) {
            const auto li = static_cast<std::uint32_t>(pick(log->size()));
            const std::string_view line = (*log)[li];
            const std::size_t ao = pick(line.size()), bo = pick(line.size());
            const std::string_view a = line.substr(ao, pick(line.size() - ao + 1)), b = line.substr(bo, pick(8));
            const EntryForm form = anyForm();
            list.add(form, li, line, a, b);
            given.push_back({form, li, a, b});
        }
    };
    for (int round = 0; round < 40; ++round) {
        given.clear();
        // Half the rounds take segments from a pool, which is gone before the lists are read.
        auto pool = std::make_unique<common::BlockPool>();
        common::BlockPool* const from = round % 4 < 2 ? pool.get() : nullptr;
        // Two lists of several segments each, the second then appended to the first.
        EntryList lists[2] = {EntryList(log), EntryList(log)};
        for (EntryList& list : lists) {
            list.takeSegmentsFrom(from);
            if (round % 2) list.reserve(1 + pick(50));
            addSome(list, round % 3 ? pick(5) : 0);
            for (int parts = 1 + static_cast<int>(pick(5)); parts > 0; --parts) {
                EntryList later(log);
                later.takeSegmentsFrom(from);
                // Empty lists, lists of one entry, and lists with room to spare.
                if (pick(2)) later.reserve(pick(40));
                addSome(later, pick(3) == 0 ? 0 : 1 + pick(12));
                list.append(std::move(later));
                EXPECT_EQ(later.size(), 0u);
            }
        }
        lists[0].append(std::move(lists[1]));
        EXPECT_EQ(lists[1].size(), 0u);
        // New entries go after the appended ones.
        addSome(lists[0], pick(4));
        lists[0].takeSegmentsFrom(nullptr);
        pool.reset();
        const EntryList& list = lists[0];
        ASSERT_EQ(list.size(), given.size()) << round;
        for (std::size_t i = 0; i < list.size(); ++i) {
            const Given& g = given[i];
            // An empty span is only its length.
            EXPECT_EQ(list.spanA(i).size(), g.a.size()) << round << " " << i;
            if (!g.a.empty()) {
                EXPECT_EQ(list.spanA(i).data(), g.a.data()) << round << " " << i;
            }
            EXPECT_EQ(list.lineOf(i), g.line) << round << " " << i;
            const std::string want = composed(g.form, (*log)[g.line], g.a, g.b);
            EXPECT_EQ(list.line(i), want) << round << " " << i;
            std::string prefix = "x";
            const std::size_t n = pick(60);
            list.appendPrefix(i, prefix, n);
            EXPECT_EQ(prefix, "x" + want.substr(0, n)) << round << " " << i << " " << n;
        }
    }
}

// Entries are kept as variable-length numbers: every size of number reads back (a step between
// lines of 0 to 14 and more, backwards too; offsets and lengths at each byte boundary), read in any
// order, also where a list reserved for entries of the least size takes far larger ones.
TEST(EntryList, NumbersOfEverySizeReadBackInAnyOrder) {
    std::string bytes = "10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET /" + std::string(std::size_t(1) << 22, 'p') +
                        " HTTP/1.1\" 200 5\n";
    for (int i = 0; i < 300; ++i) bytes += "10.0.0." + std::to_string(i) + " - - [10/Oct/2004:13:55:36 +0900] x\n";
    const auto log = logFromBytes(bytes, "log");
    const std::string_view longLine = (*log)[0];
    const std::size_t edges[] = {0, 1, 127, 128, 16383, 16384, (std::size_t(1) << 21) - 1, std::size_t(1) << 21};
    const std::uint32_t lines[] = {0, 0, 1, 15, 16, 31, 299, 3, 2, 17, 0, 200, 214, 214, 229};
    struct Given {
        std::uint32_t line;
        std::string_view a, b;
    };
    for (const bool pooled : {false, true}) {
        common::BlockPool pool;
        EntryList list(log);
        if (pooled) list.takeSegmentsFrom(&pool);
        std::vector<Given> given;
        for (const std::size_t off : edges)
            for (const std::size_t len : edges)
                given.push_back({0, longLine.substr(off, len), longLine.substr(len, off)});
        for (std::size_t n = 0; n < 3000; ++n) given.push_back({lines[n % std::size(lines)], {}, {}});
        list.reserve(given.size());
        for (const Given& g : given) list.add(EntryForm::RefPath, g.line, (*log)[g.line], g.a, g.b);
        list.takeSegmentsFrom(nullptr);
        ASSERT_EQ(list.size(), given.size());
        for (std::size_t i = given.size(); i-- > 0;) {
            const Given& g = given[i];
            ASSERT_EQ(list.lineOf(i), g.line) << pooled << " " << i;
            ASSERT_EQ(list.spanA(i).size(), g.a.size()) << i;
            if (!g.a.empty()) {
                ASSERT_EQ(list.spanA(i).data(), g.a.data()) << i;
            }
            ASSERT_EQ(list.line(i), "[" + std::string(g.a) + "] " + std::string(g.b)) << i;
        }
    }
}

// Lines are kept as 32-bit offsets: lines past 4 GB of text, in the first part and in later ones, a
// jump of more than 4 GB between two lines (a run of blank lines), and a line across the 4 GB mark
// are where they were cut. The text is address space only: no line is read.
TEST(LineTable, LinesPastFourGigabytesAreWhereTheyWereCut) {
    constexpr std::size_t kGb4 = std::size_t(1) << 32, kRoom = 3 * kGb4;
    void* room = ::mmap(nullptr, kRoom, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    ASSERT_NE(room, MAP_FAILED);
    const char* const base = static_cast<const char*>(room);
    const std::vector<std::pair<std::size_t, std::size_t>> first{{0, 10},       {11, 0},           {kGb4 - 5, 9},
                                                                 {kGb4 + 5, 3}, {2 * kGb4 + 7, 1}, {2 * kGb4 + 9, 2}};
    const std::vector<std::pair<std::size_t, std::size_t>> second{{2 * kGb4 + 20, 4}, {3 * kGb4 - 1, 1}};
    LineTable::Part a(base), b(base);
    for (const auto& [at, size] : first) a.add(at, size);
    for (const auto& [at, size] : second) b.add(at, size);
    LineTable table(std::move(a));
    table.append(std::move(b));
    std::vector<std::pair<std::size_t, std::size_t>> want = first;
    want.insert(want.end(), second.begin(), second.end());
    ASSERT_EQ(table.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(static_cast<std::size_t>(table[i].data() - base), want[i].first) << i;
        EXPECT_EQ(table[i].size(), want[i].second) << i;
    }
    ::munmap(room, kRoom);
}

TEST(DistinctList, KeepsFirstSeenOrderThroughGrowth) {
    std::string bytes;
    for (int i = 0; i < 5000; ++i) bytes += "Host" + std::to_string(i) + "\nhost" + std::to_string(i) + "\n";
    auto log = logFromBytes(bytes, "log");
    DistinctList d(log);
    for (std::size_t i = 0; i < log->size(); ++i) d.add(static_cast<std::uint32_t>(i), (*log)[i], (*log)[i]);
    ASSERT_EQ(d.size(), 5000u);
    EXPECT_EQ(d.entries()->line(0), "Host0");
    EXPECT_EQ(d.entries()->line(4999), "Host4999");
}

// A list that outgrows many blocks of keys and of texts (long texts each in a block of their own),
// built whole or from two halves merged, finds every text again in any letter case at its first
// index; an empty span is a text too.
TEST(DistinctList, FindsEveryTextAgainAfterGrowingAndMerging) {
    std::string bytes;
    constexpr int kLines = 40000;
    for (int i = 0; i < kLines; ++i) {
        const std::size_t extra = i % 997 == 0 ? 20000 : static_cast<std::size_t>(i * 7919) % 150;
        bytes += "h" + std::to_string(i) + "." + std::string(extra, static_cast<char>('a' + i % 26)) + "\n";
    }
    auto log = logFromBytes(bytes, "log");
    ASSERT_EQ(log->size(), static_cast<std::size_t>(kLines));
    // Line 5 gives its empty start as well as its whole text.
    auto spanOf = [&](std::size_t i, bool empty) { return empty ? (*log)[i].substr(0, 0) : (*log)[i]; };
    DistinctList whole(log), first(log), second(log);
    for (std::size_t i = 0; i < log->size(); ++i) {
        for (bool empty : {false, true}) {
            if (empty && i != 5) continue;
            DistinctList& half = i < log->size() / 2 ? first : second;
            whole.add(static_cast<std::uint32_t>(i), (*log)[i], spanOf(i, empty));
            half.add(static_cast<std::uint32_t>(i), (*log)[i], spanOf(i, empty));
        }
    }
    EXPECT_EQ(first.addFrom(second), second.size());
    ASSERT_EQ(whole.size(), static_cast<std::size_t>(kLines) + 1);
    ASSERT_EQ(first.size(), whole.size());
    std::uint32_t index = 0;
    for (std::size_t i = 0; i < log->size(); ++i) {
        for (bool empty : {false, true}) {
            if (empty && i != 5) continue;
            std::string upper(spanOf(i, empty));
            for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            for (DistinctList* d : {&whole, &first}) {
                const DistinctList::Added again = d->add(static_cast<std::uint32_t>(i), (*log)[i], upper);
                EXPECT_FALSE(again.added) << i;
                EXPECT_EQ(again.index, index) << i;
            }
            EXPECT_EQ(first.entries()->spanA(index), spanOf(i, empty)) << i;
            ++index;
        }
    }
}
