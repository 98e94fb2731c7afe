// The history's totals: shares of logs per day, the same log again, overlaps, months, rankings.
#include "history/store.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "common/casefold.h"
#include "history/blobs.h"
#include "history/loglines.h"
#include "history/sqlite.h"
#include "support/tempdir.h"

using namespace historytest;
using history::Store;
using testing::HasSubstr;

namespace {

// Records text as the log called name; returns the notes.
std::vector<std::string> add(Store& store, const std::string& name, const std::string& text) {
    const auto log = logOf(text);
    return store.record(history::sourceOf(name, *log), history::splitIntoDays(log, noLists())).notes;
}

// Lines of day d from second `from` to `to`, one every `step` seconds, hosts h0..h(hosts-1).
std::vector<std::string> stretch(int d, int from, int to, int step, int hosts, const std::string& path = "/") {
    std::vector<std::string> out;
    for (int s = from, i = 0; s <= to; s += step, ++i)
        out.push_back(line("h" + std::to_string(i % hosts), at(d, s), "GET " + path));
    return out;
}

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace

TEST(History, ARotationAtFourMakesOneDayOfTwoLogs) {
    TempDir dir;
    Store store(dir / "history.sqlite");
    // access_log.1 runs from the 8th at 04:00 to the 9th at 04:00, access_log from then on.
    const auto older = stretch(8, 4 * 3600, 86399, 60, 30) + stretch(9, 0, 4 * 3600 - 1, 60, 50);
    const auto newer = stretch(9, 4 * 3600, 86399, 60, 70) + stretch(10, 0, 3599, 60, 5);
    EXPECT_THAT(add(store, "access_log.1", join(older)), testing::IsEmpty());
    EXPECT_THAT(add(store, "access_log", join(newer)), testing::IsEmpty());
    const auto days = store.days(20261201, 20261231);
    ASSERT_EQ(days.size(), 3u);
    const history::Summary& ninth = days[1];
    EXPECT_EQ(ninth.day, 20261209);
    EXPECT_EQ(ninth.counts.lines, 1440);
    EXPECT_EQ(ninth.counts.hourConnections[3], 60);
    EXPECT_EQ(ninth.counts.hourConnections[4], 60);
    EXPECT_EQ(ninth.hosts, 70);  // h0..h49 of one log are among h0..h69 of the other
    EXPECT_THAT(ninth.sources, testing::ElementsAre("access_log.1", "access_log"));
    EXPECT_EQ(store.total(20261201, 20261231).counts.lines, static_cast<std::int64_t>(older.size() + newer.size()));
}

TEST(History, TheSameLogAgainReplacesItsShares) {
    TempDir dir;
    Store store(dir / "history.sqlite");
    const auto noon = stretch(9, 0, 12 * 3600, 600, 10);
    add(store, "access_log", join(noon));
    EXPECT_THAT(add(store, "access_log", join(noon)), testing::IsEmpty());
    EXPECT_EQ(store.total(0, 99991231).counts.lines, static_cast<std::int64_t>(noon.size()));
    // The same log fetched again at midnight has grown: it replaces the noon copy.
    const auto midnight = noon + stretch(9, 12 * 3600 + 1, 86399, 600, 20) + stretch(10, 0, 0, 1, 1);
    EXPECT_THAT(add(store, "access_log", join(midnight)), testing::IsEmpty());
    const auto days = store.days(0, 99991231);
    ASSERT_EQ(days.size(), 2u);
    EXPECT_EQ(days[0].counts.lines, static_cast<std::int64_t>(midnight.size() - 1));
    EXPECT_EQ(days[0].hosts, 20);
    EXPECT_THAT(days[0].sources, testing::ElementsAre("access_log"));
}

TEST(History, AnOverlappingLogOfAnotherNameReplacesTheEarlierShareAndSaysSo) {
    TempDir dir;
    Store store(dir / "history.sqlite");
    const auto day = stretch(9, 0, 86399, 300, 10);
    add(store, "access_log", join(day));
    const auto notes = add(store, "copy_of_access_log", join(day));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_THAT(notes[0], HasSubstr("2026-12-09"));
    EXPECT_THAT(notes[0], HasSubstr("\"access_log\""));
    const auto days = store.days(0, 99991231);
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].counts.lines, static_cast<std::int64_t>(day.size()));
    EXPECT_THAT(days[0].sources, testing::ElementsAre("copy_of_access_log"));
    // Logs that only touch at one second add up.
    add(store, "evening", join(stretch(10, 0, 100, 10, 1)));
    EXPECT_THAT(add(store, "night", join(stretch(10, 100, 200, 10, 1))), testing::IsEmpty());
    EXPECT_EQ(store.days(20261210, 20261210).at(0).counts.lines, 22);
}

TEST(History, MonthDistinctCountsAreThoseOfTheWholeMonth) {
    TempDir dir;
    Store store(dir / "history.sqlite");
    std::mt19937 rng(3);
    std::map<int, std::set<std::string>> hosts, visitors;
    for (int d = 1; d <= 28; ++d) {
        std::vector<std::string> lines;
        for (int i = 0; i < 200; ++i) {
            std::string host = "10.0." + std::to_string(rng() % 4) + "." + std::to_string(rng() % 250);
            const std::string agent = "agent" + std::to_string(rng() % 3);
            const int month = d <= 14 ? 11 : 12;
            char when[32];
            std::snprintf(when, sizeof when, "%02d/%s/2026:10:00:%02d", d, month == 11 ? "Nov" : "Dec", i % 60);
            lines.push_back(line(host, when, "GET /", 200, agent));
            hosts[month].insert(common::foldCase(host));
            visitors[month].insert(common::foldCase(host) + " " + agent);
        }
        add(store, "log" + std::to_string(d), join(lines));
    }
    const auto months = store.months(0, 99991231);
    ASSERT_EQ(months.size(), 2u);
    EXPECT_EQ(months[0].day, 20261100);
    std::int64_t sumOfDays = 0;
    for (const auto& d : store.days(20261101, 20261130)) sumOfDays += d.hosts;
    EXPECT_EQ(months[0].hosts, static_cast<std::int64_t>(hosts[11].size()));
    EXPECT_GT(sumOfDays, months[0].hosts);
    EXPECT_EQ(months[0].visitors, static_cast<std::int64_t>(visitors[11].size()));
    EXPECT_EQ(months[1].hosts, static_cast<std::int64_t>(hosts[12].size()));
    std::set<std::string> all = hosts[11];
    all.insert(hosts[12].begin(), hosts[12].end());
    EXPECT_EQ(store.total(0, 99991231).hosts, static_cast<std::int64_t>(all.size()));
}

TEST(History, RankingsOfARangeSumTheDailyTopRows) {
    TempDir dir;
    Store store(dir / "history.sqlite");
    add(store, "a", join(stretch(8, 0, 99, 1, 3, "/a") + stretch(8, 100, 109, 1, 3, "/b")));
    add(store, "b", join(stretch(9, 0, 49, 1, 3, "/b")));
    const auto r = store.rankings(20261208, 20261209, 1);
    const auto& pages = r.tables[static_cast<std::size_t>(analysis::RankTable::Pages)];
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(pages[0].item, "/a");
    EXPECT_EQ(pages[0].hits, 100);
    EXPECT_EQ(pages[0].bytes, 10000);
    EXPECT_EQ(r.tableHits[static_cast<std::size_t>(analysis::RankTable::Pages)], 160);
    const auto b = store.rankings(20261209, 20261209, 0);
    EXPECT_EQ(b.tables[0].at(0).item, "/b");
    EXPECT_EQ(b.tables[0].at(0).hits, 50);
}

TEST(History, RemovingARangeLeavesTheOtherDays) {
    TempDir dir;
    Store store(dir / "history.sqlite");
    add(store, "a", join(stretch(8, 0, 9, 1, 1) + stretch(9, 0, 9, 1, 1) + stretch(10, 0, 9, 1, 1)));
    EXPECT_EQ(store.remove(20261209, 20261210), 2u);
    const auto days = store.days(0, 99991231);
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].day, 20261208);
    EXPECT_EQ(store.span(), std::make_pair(20261208, 20261208));
    EXPECT_EQ(store.remove(20261208, 20261208), 1u);
    EXPECT_EQ(store.span(), std::nullopt);
    EXPECT_TRUE(store.rankings(0, 99991231, 0).tables[0].empty());
}

TEST(HistoryBlobs, HashListsKeepTheirTopHalvesEachOnce) {
    std::mt19937_64 rng(5);
    std::vector<std::uint64_t> hashes{0, ~0ull, 1ull << 32, (1ull << 32) + 7};
    for (int i = 0; i < 5000; ++i) hashes.push_back(rng());
    std::set<std::uint64_t> tops;
    for (auto h : hashes) tops.insert(h >> 32);
    const std::string blob = history::encodeHashes(hashes);
    EXPECT_LT(blob.size(), hashes.size() * 4);
    std::vector<std::uint64_t> back;
    ASSERT_TRUE(history::decodeHashes(blob, back));
    EXPECT_EQ(back, std::vector<std::uint64_t>(tops.begin(), tops.end()));
    // Handed over in order, as the days do: the same blob.
    std::vector<std::uint64_t> inOrder = hashes;
    std::sort(inOrder.begin(), inOrder.end());
    EXPECT_EQ(history::encodeHashes(inOrder), blob);
    EXPECT_EQ(history::encodeHashes({}), "");
    for (std::string bad : {std::string("\x80"), std::string("\x05\x00", 2), std::string("\xff\xff\xff\xff\xff\x01")})
        EXPECT_FALSE(history::decodeHashes(bad, back)) << bad.size();
}

TEST(HistoryBlobs, DistinctCountOfSortedListsIsTheSizeOfTheirUnion) {
    std::mt19937 rng(7);
    // Lists of values below 2^bits, sorted and each once, as decoded; a few at the ends of the range.
    auto lists = [&](std::size_t count, std::size_t size, int bits) {
        std::vector<std::vector<std::uint32_t>> out(count);
        for (auto& l : out) {
            for (std::size_t i = 0; i < size; ++i)
                l.push_back(bits == 32 ? static_cast<std::uint32_t>(rng()) : static_cast<std::uint32_t>(rng() >> (32 - bits)));
            if (rng() % 2) l.push_back(0), l.push_back(0xffffffffu);
            std::sort(l.begin(), l.end());
            l.erase(std::unique(l.begin(), l.end()), l.end());
        }
        return out;
    };
    struct Case {
        std::size_t count, size;
        int bits;
    };
    // None, one, two (a rotated day), a few small, many large over the whole range and crowded into
    // a narrow one, and empty lists among others.
    for (const Case c : {Case{0, 0, 32}, Case{1, 100, 32}, Case{2, 5000, 14}, Case{2, 100000, 32}, Case{6, 300, 10},
                         Case{40, 5000, 32}, Case{30, 6000, 18}, Case{5, 0, 32}}) {
        const auto ls = lists(c.count, c.size, c.bits);
        std::vector<const std::vector<std::uint32_t>*> ptrs;
        std::set<std::uint32_t> all;
        for (const auto& l : ls) {
            ptrs.push_back(&l);
            all.insert(l.begin(), l.end());
        }
        EXPECT_EQ(history::distinctCount(ptrs), all.size()) << c.count << " x " << c.size;
    }
}

TEST(History, FiguresLeaveUnionsUncountedAndSummariesCountThemOnce) {
    TempDir dir;
    Store store(dir / "history.sqlite");
    // The 9th from two logs (a rotation), the 10th and the 20th from one each.
    add(store, "access_log.1", join(stretch(8, 4 * 3600, 86399, 60, 30) + stretch(9, 0, 4 * 3600 - 1, 60, 50)));
    add(store, "access_log", join(stretch(9, 4 * 3600, 86399, 60, 70) + stretch(10, 0, 3599, 60, 5)));
    add(store, "later", join(stretch(20, 0, 599, 60, 10)));
    const history::RangeSummaries quick = store.figures(20261201, 20261231, false);
    const history::RangeSummaries full = store.summaries(20261201, 20261231, false);
    ASSERT_EQ(quick.rows.size(), 4u);
    ASSERT_EQ(full.rows.size(), 4u);
    EXPECT_EQ(quick.shares, 5u);
    std::int64_t kept = 0;
    for (std::size_t i = 0; i < quick.rows.size(); ++i) {
        const history::Summary &q = quick.rows[i], &f = full.rows[i];
        EXPECT_EQ(q.day, f.day);
        EXPECT_EQ(q.counts.lines, f.counts.lines);
        EXPECT_EQ(q.counts.hourConnections, f.counts.hourConnections);
        EXPECT_EQ(q.sources, f.sources);
        // A day of one share has its recorded counts at once; a day of two waits for the union.
        const bool single = f.sources.size() == 1;
        EXPECT_EQ(q.hosts, single ? f.hosts : history::kNotCounted) << f.day;
        EXPECT_EQ(q.visitors, single ? f.visitors : history::kNotCounted) << f.day;
        if (single) kept += f.hosts + f.visitors;
    }
    EXPECT_EQ(full.rows[1].hosts, 70);
    EXPECT_EQ(quick.total.hosts, history::kNotCounted);
    EXPECT_EQ(quick.total.counts.lines, full.total.counts.lines);
    EXPECT_EQ(full.total.hosts, 70);  // h0..h69 cover every other day's hosts
    EXPECT_GT(static_cast<std::int64_t>(quick.hashes), kept);
    // A month of one share, and a range of one share, need no union.
    const auto later = store.figures(20261220, 20261231, true);
    ASSERT_EQ(later.rows.size(), 1u);
    EXPECT_EQ(later.rows[0].hosts, 10);
    EXPECT_EQ(later.total.visitors, 10);
    EXPECT_EQ(store.figures(20261101, 20261130, false).rows.size(), 0u);
}

// The range's sums against SQLite grouping them itself: ties in hits go by the item's bytes (a
// capital before a small letter, a cp932 byte above 0x7f after both), and a last place that several
// items share keeps the first of them by text.
TEST(History, RankingsAreTheSqlSumsInOrderOfHitsThenText) {
    TempDir dir;
    const std::string path = dir / "history.sqlite";
    Store store(path);
    add(store, "a",
        join(stretch(8, 0, 9, 1, 3, "/c") + stretch(8, 10, 19, 1, 3, "/b") + stretch(8, 20, 24, 1, 3, "/a") +
             stretch(8, 30, 34, 1, 3, "/B") + stretch(8, 40, 44, 1, 3, "/\x82\xa0")));
    add(store, "b", join(stretch(9, 0, 4, 1, 3, "/a") + stretch(9, 10, 29, 1, 3, "/d") + stretch(9, 30, 34, 1, 3, "/z")));
    history::Database db(path, false);
    auto bySql = [&](history::Day from, history::Day to, std::size_t t, std::size_t top) {
        history::Statement st = db.prepare(
            "SELECT item.text, sum(r.hits) AS h, sum(r.bytes) FROM rank_row r JOIN share s ON s.id = r.share"
            " JOIN item ON item.id = r.item WHERE s.day BETWEEN ?1 AND ?2 AND r.tab = ?3"
            " GROUP BY r.item ORDER BY h DESC, item.text LIMIT ?4");
        st.bind(1, from).bind(2, to).bind(3, static_cast<std::int64_t>(t));
        st.bind(4, top == 0 ? -1 : static_cast<std::int64_t>(top));
        std::vector<std::string> rows;
        while (st.step())
            rows.push_back(std::string(st.blob(0)) + " " + std::to_string(st.integer(1)) + " " +
                           std::to_string(st.integer(2)));
        return rows;
    };
    const std::pair<history::Day, history::Day> ranges[] = {{20261208, 20261209}, {20261209, 20261209}, {1, 2}};
    for (const auto& [from, to] : ranges)
        for (std::size_t top : {0, 1, 2, 3, 4, 5, 50}) {
            const history::RangeRankings r = store.rankings(from, to, top);
            for (std::size_t t = 0; t < analysis::kRankTableCount; ++t) {
                std::vector<std::string> rows;
                for (const auto& row : r.tables[t])
                    rows.push_back(row.item + " " + std::to_string(row.hits) + " " + std::to_string(row.bytes));
                EXPECT_EQ(rows, bySql(from, to, t, top)) << from << " top " << top << " table " << t;
            }
        }
    // "/a" and "/c" share the third place with 10 hits each; "/b" has the folded "/B" too.
    const auto pages = store.rankings(20261208, 20261209, 3).tables[static_cast<std::size_t>(analysis::RankTable::Pages)];
    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[1].item, "/b");
    EXPECT_EQ(pages[2].item, "/a");
    EXPECT_EQ(pages[2].hits, 10);
}

// Replacing shares (the same log again, an overlapping copy) or removing days drops the items that
// only the rows gone named, and keeps those that other days' rows or the new rows still name.
TEST(History, ReplacedRowsTakeAlongOnlyTheItemsNoRowNamesAnyMore) {
    TempDir dir;
    const std::string path = dir / "history.sqlite";
    Store store(path);
    auto items = [&path] {
        history::Database db(path, false);
        history::Statement q(db.handle(), "SELECT text FROM item ORDER BY text");
        std::vector<std::string> out;
        while (q.step()) out.push_back(std::string(q.blob(0)));
        return out;
    };
    add(store, "a.log",
        join(stretch(1, 0, 3599, 60, 3, "/a") + stretch(1, 3600, 7199, 60, 3, "/shared") +
             stretch(1, 7200, 7799, 60, 3, "/a-old")));
    add(store, "b.log", join(stretch(2, 0, 3599, 60, 4, "/b") + stretch(2, 3600, 7199, 60, 3, "/shared")));
    EXPECT_THAT(items(), testing::IsSupersetOf({"/a", "/a-old", "/b", "/shared"}));
    // a.log again, grown, its first line the same: /a2 in place of its later lines.
    add(store, "a.log", join(stretch(1, 0, 59, 60, 3, "/a") + stretch(1, 60, 9199, 60, 3, "/a2")));
    EXPECT_THAT(items(), testing::IsSupersetOf({"/a", "/a2", "/b", "/shared"}));
    EXPECT_THAT(items(), testing::Not(testing::Contains("/a-old")));
    // A copy of b.log's day under another name, with its own path: b.log's share goes, and /b with it.
    add(store, "b-copy.log", join(stretch(2, 0, 7199, 60, 4, "/c")));
    const auto left = items();
    EXPECT_THAT(left, testing::IsSupersetOf({"/a", "/a2", "/c"}));
    EXPECT_THAT(left, testing::Not(testing::Contains("/b")));
    EXPECT_THAT(left, testing::Not(testing::Contains("/shared")));
    auto orphans = [&path] {
        history::Database db(path, false);
        return db.queryInt("SELECT count(*) FROM item WHERE NOT EXISTS"
                           " (SELECT 1 FROM rank_row WHERE rank_row.item = item.id)");
    };
    EXPECT_EQ(orphans(), 0);
    // Removing a day takes along the items only its rows named, and its source with its last share.
    add(store, "c.log", join(stretch(3, 0, 3599, 60, 2, "/a") + stretch(3, 3600, 7199, 60, 2, "/only-3")));
    EXPECT_THAT(items(), testing::Contains("/only-3"));
    EXPECT_EQ(store.remove(20261202, 20261203), 2u);
    EXPECT_THAT(items(), testing::IsSupersetOf({"/a", "/a2"}));
    EXPECT_THAT(items(), testing::Not(testing::Contains("/only-3")));
    EXPECT_THAT(items(), testing::Not(testing::Contains("/c")));
    EXPECT_EQ(orphans(), 0);
    history::Database db(path, false);
    EXPECT_EQ(db.queryInt("SELECT count(*) FROM source"), 1);
}
