// Recording many logs at once, and days whose hashes come together from many chunks of lines.
#include "history/recording.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "history/loglines.h"
#include "lists/listfile.h"
#include "support/gzip.h"
#include "support/tempdir.h"

using namespace historytest;
using history::LogDays;
using testing::HasSubstr;

namespace {

// A materia folder with the three lists, empty.
std::string emptyMateria(const TempDir& dir) {
    for (const char* name : {lists::kCheckDomeinList, lists::kDomeinList, lists::kSERobotsList})
        dir.file(std::string("materia/") + name, "");
    return dir / "materia";
}

// A log of day d, one line every step seconds from second `from`.
std::string dayLog(int d, int from, int step, const std::string& host) {
    std::vector<std::string> lines;
    for (int s = from, i = 0; s < 86400; s += step, ++i)
        lines.push_back(line(host + std::to_string(i % 13), at(d, s), "GET /", 200, "agent" + std::to_string(i % 5)));
    return join(lines);
}

// The days of log as the pass's watcher gives them and as reading the log again gives them, each
// of one day; watched is the pass.
struct BothWays {
    explicit BothWays(const std::shared_ptr<const analysis::LogText>& log, unsigned threads) : watched(log) {
        watched.watcher = history::dayWatcher();
        analysis::countLines(watched, noLists(), nullptr, threads);
        fast = history::splitIntoDays(log, noLists(), threads, &watched);
        slow = history::splitIntoDays(log, noLists(), threads);
        EXPECT_EQ(fast.days.size(), 1u);
        EXPECT_EQ(slow.days.size(), 1u);
    }
    analysis::LogTally watched;
    LogDays fast, slow;
};

}  // namespace

// The logs go through side by side (read, split, written): each is told of in order, a log that
// cannot be read or split stops only itself, also when it comes last, and the history is what
// recording them one by one gives.
TEST(RecordLogs, EveryLogInItsTurnAndAFailureStopsOnlyItself) {
    TempDir dir;
    const std::string materia = emptyMateria(dir);
    const std::vector<std::string> paths = {
        dir.file("a.log", dayLog(1, 0, 30, "a")),
        dir / "missing.log",
        dir.file("b.log.gz", gzipText(dayLog(2, 5, 40, "b"))),
        dir.file("copy.log", dayLog(1, 0, 30, "a")),  // a's day again under another name
        dir.file("broken.gz", gzipText(dayLog(3, 0, 60, "c")).substr(0, 200)),
    };
    history::Store store(dir / "history.sqlite");
    std::vector<std::size_t> order;
    std::vector<std::string> errors(paths.size()), notes(paths.size());
    history::recordLogs(store, paths, materia, 2,
                        [&](std::size_t i, const history::Recording* r, std::exception_ptr error) {
                            order.push_back(i);
                            ASSERT_EQ(r == nullptr, error != nullptr);
                            if (error) {
                                try {
                                    std::rethrow_exception(error);
                                } catch (const std::exception& e) {
                                    errors[i] = e.what();
                                }
                            } else {
                                for (const auto& n : r->result.notes) notes[i] += n;
                                EXPECT_EQ(r->days.days.size(), 1u);
                            }
                        });
    EXPECT_EQ(order, (std::vector<std::size_t>{0, 1, 2, 3, 4}));
    EXPECT_THAT(errors[1], HasSubstr("missing.log"));
    EXPECT_FALSE(errors[4].empty());
    EXPECT_TRUE(errors[0].empty() && errors[2].empty() && errors[3].empty());
    EXPECT_THAT(notes[3], HasSubstr("copy.log"));

    history::Store oneByOne(dir / "one.sqlite");
    for (const std::size_t i : {0, 2, 3}) {
        const auto log = analysis::loadLog(paths[i], 1);
        history::recordLog(oneByOne, paths[i], log, nullptr, materia);
    }
    const auto got = store.days(0, 99991231), want = oneByOne.days(0, 99991231);
    ASSERT_EQ(got.size(), 2u);
    ASSERT_EQ(want.size(), 2u);
    for (std::size_t d = 0; d < got.size(); ++d) {
        EXPECT_EQ(got[d].day, want[d].day);
        EXPECT_EQ(got[d].counts.lines, want[d].counts.lines);
        EXPECT_EQ(got[d].hosts, want[d].hosts);
        EXPECT_EQ(got[d].visitors, want[d].visitors);
        EXPECT_EQ(got[d].sources, want[d].sources);
    }
    EXPECT_EQ(got[0].sources, std::vector<std::string>{"copy.log"});
    // The ranking rows, taken from the log's text after its counting, beside the next log's.
    const auto gotRows = store.rankings(0, 99991231, 0), wantRows = oneByOne.rankings(0, 99991231, 0);
    EXPECT_EQ(gotRows.tableHits, wantRows.tableHits);
    for (std::size_t t = 0; t < gotRows.tables.size(); ++t) {
        ASSERT_EQ(gotRows.tables[t].size(), wantRows.tables[t].size()) << t;
        for (std::size_t r = 0; r < gotRows.tables[t].size(); ++r) {
            EXPECT_EQ(gotRows.tables[t][r].item, wantRows.tables[t][r].item);
            EXPECT_EQ(gotRows.tables[t][r].hits, wantRows.tables[t][r].hits);
        }
    }
    EXPECT_FALSE(gotRows.tables[0].empty());
}

// Lists a missing materia folder: every log is told of the error, none recorded.
TEST(RecordLogs, ListsThatCannotBeReadStopEveryLog) {
    TempDir dir;
    const std::vector<std::string> paths = {dir.file("a.log", dayLog(1, 0, 600, "a")),
                                            dir.file("b.log", dayLog(2, 0, 600, "b"))};
    history::Store store(dir / "history.sqlite");
    std::size_t failed = 0;
    history::recordLogs(store, paths, dir / "no-materia", 1,
                        [&](std::size_t, const history::Recording*, std::exception_ptr error) { failed += !!error; });
    EXPECT_EQ(failed, 2u);
    EXPECT_TRUE(store.days(0, 99991231).empty());
}

// Hundreds of thousands of visitors, each twice, the repeats far apart: the pass's chunks and the
// day's lists are made distinct piece by piece as they come together, and the counts stay exact,
// read again or watched.
TEST(Days, ManyVisitorsComingTogetherFromManyChunksAreCountedOnce) {
    constexpr int kVisitors = 150000, kHosts = 997;
    std::string text;
    text.reserve(2 * kVisitors * 90);
    for (int round = 0; round < 2; ++round)
        for (int v = 0; v < kVisitors; ++v)
            text += line("h" + std::to_string(v % kHosts), at(9, v % 86400), "GET /", 200,
                         "agent " + std::to_string(v / kHosts)) +
                    "\n";
    const BothWays days(logOf(text), 2);
    ASSERT_EQ(days.fast.days.size(), 1u);
    ASSERT_EQ(days.slow.days.size(), 1u);
    const auto &fast = days.fast.days[0], &slow = days.slow.days[0];
    EXPECT_EQ(fast.visitors.size(), static_cast<std::size_t>(kVisitors));
    EXPECT_EQ(fast.hosts.size(), static_cast<std::size_t>(kHosts));
    EXPECT_EQ(fast.visitors, slow.visitors);
    EXPECT_EQ(fast.hosts, slow.hosts);
    EXPECT_EQ(history::differenceFromTally(days.fast, days.watched), std::nullopt);
}

// A busy second's lines share their time field: each still goes to its own day and hour, also when
// an unreadable time or another day's same second comes between.
TEST(Days, LinesOfOneSecondKeepTheirDays) {
    const LogDays days = daysOf(join({
        line("a", "09/Dec/2026:10:00:00"),
        line("b", "09/Dec/2026:10:00:00"),
        line("c", "09/Dec/2026:10:00:0x"),
        line("d", "09/Dec/2026:10:00:00"),
        line("e", "10/Dec/2026:10:00:00"),
        line("f", "09/Dec/2026:10:00:00"),
        line("g", "09/Dec/2026:11:00:01"),
    }));
    EXPECT_EQ(days.undated, 1);
    ASSERT_EQ(days.days.size(), 2u);
    EXPECT_EQ(days.days[0].counts.lines, 5);
    EXPECT_EQ(days.days[0].counts.hourConnections[10], 4);
    EXPECT_EQ(days.days[0].counts.hourConnections[11], 1);
    EXPECT_EQ(days.days[0].firstSecond, 36000);
    EXPECT_EQ(days.days[0].lastSecond, 39601);
    EXPECT_EQ(days.days[0].hosts.size(), 5u);
    EXPECT_EQ(days.days[1].counts.lines, 1);
    EXPECT_EQ(days.days[1].hosts.size(), 1u);
}

// The watcher knows an agent met before by the end of the line: agents that end alike (more of them
// than a slot holds), that hold quotes and spaces of their own, or that end another field, are each
// the visitor that reading the line again finds.
TEST(Days, AgentsThatEndAlikeAreToldApartByTheWatcher) {
    const std::string tail = " AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36";
    const std::vector<std::string> agents = {
        "Mozilla/5.0 (Windows NT 10.0; Win64; x64)" + tail, "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7)" + tail,
        "Mozilla/5.0 (X11; Linux x86_64)" + tail,           "Other" + tail,
        "quoted \" \"Mozilla/5.0 (X11; Linux x86_64)" + tail, "Mozilla/5.0 (X11; Linux x86_64)" + tail + "\" \"x",
        tail.substr(1),
    };
    std::vector<std::string> lines;
    for (int i = 0; i < 2000; ++i)
        lines.push_back(line("h" + std::to_string(i % 7), at(9, i), "GET /", 200, agents[(i * 5 + i / 7) % agents.size()]));
    const BothWays days(logOf(join(lines)), 1);
    ASSERT_EQ(days.fast.days.size(), 1u);
    ASSERT_EQ(days.slow.days.size(), 1u);
    EXPECT_EQ(days.fast.days[0].visitors, days.slow.days[0].visitors);
    // The agent with a quote, a space and a quote in it is read from there on: the third one again.
    EXPECT_EQ(days.fast.days[0].visitors.size(), 7u * (agents.size() - 1));
}

// The work given to the counting threads beside a log's lines is done once, whether the log makes
// one chunk or many and whatever the threads, and the days are those counted without it.
TEST(Days, SideWorkIsDoneOnceBesideTheCounting) {
    for (const int step : {600, 1}) {
        const auto log = analysis::logFromBytes(std::string_view(dayLog(4, 0, step, "s")), "s.log");
        for (const unsigned threads : {1u, 2u, 3u}) {
            std::atomic<int> sides{0};
            history::CountedDays with = history::countDays(log, noLists(), threads, [&] { ++sides; });
            EXPECT_EQ(sides.load(), 1) << step << " " << threads;
            history::CountedDays without = history::countDays(log, noLists(), threads);
            const LogDays a = with.finish(), b = without.finish();
            ASSERT_EQ(a.days.size(), 1u);
            ASSERT_EQ(b.days.size(), 1u);
            EXPECT_EQ(a.days[0].counts.lines, b.days[0].counts.lines);
            EXPECT_EQ(a.days[0].visitors, b.days[0].visitors);
        }
    }
}
