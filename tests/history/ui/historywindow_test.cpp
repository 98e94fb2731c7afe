// The window 推移 on the offscreen platform: its table, chart and rankings, removing days, the setting.
#include "history/ui/historywindow.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDeadlineTimer>
#include <QItemSelectionModel>
#include <QLabel>
#include <QTableWidget>

#include "analysis/logcounting.h"
#include "analysis/logfile.h"
#include "common/programdir.h"
#include "history/ui/historychart.h"
#include "history/ui/historysetting.h"
#include "support/modalboxes.h"
#include "support/tempdir.h"

using history::ui::HistoryWindow;
using testing::HasSubstr;

namespace {

std::string line(const std::string& host, const std::string& when, const std::string& path = "/") {
    return host + " - - [" + when + " +0900] \"GET " + path + " HTTP/1.1\" 200 100 \"-\" \"Mozilla/5.0\"\n";
}

// A history of the 8th (one line), the 9th (three) and the 1st of January (two).
struct Recorded {
    TempDir dir;
    std::string path = dir / "history.sqlite";
    Recorded() {
        const analysis::ReferenceLists lists({}, {}, {});
        auto add = [&](const std::string& name, const std::string& text) {
            history::Store store(path);
            const auto log = analysis::logFromBytes(std::string_view(text), name);
            store.record(history::sourceOf(name, *log), history::splitIntoDays(log, lists));
        };
        add("dec", line("a", "08/Dec/2026:10:00:00") + line("a", "09/Dec/2026:10:00:00", "/x") +
                       line("b", "09/Dec/2026:11:00:00", "/x") + line("c", "09/Dec/2026:12:00:00"));
        add("jan", line("a", "01/Jan/2027:10:00:00") + line("d", "01/Jan/2027:11:00:00"));
    }
};

QString cell(QTableWidget* t, int row, int column) { return t->item(row, column)->text(); }

}  // namespace

TEST(HistoryWindow, ShowsEveryRecordedDayWithTheirTotal) {
    Recorded r;
    HistoryWindow w(nullptr, r.path);
    w.show();
    QTableWidget* t = w.table();
    ASSERT_EQ(t->rowCount(), 4);
    EXPECT_EQ(cell(t, 0, 0), "2026-12-08");
    EXPECT_EQ(cell(t, 1, 0), "2026-12-09");
    EXPECT_EQ(cell(t, 1, 1), "3");  // lines
    EXPECT_EQ(cell(t, 1, 2), "3");  // hosts
    EXPECT_EQ(cell(t, 3, 0), QStringLiteral("合計"));
    EXPECT_EQ(cell(t, 3, 1), "6");
    EXPECT_EQ(cell(t, 3, 2), "4");  // a, b, c, d: not the sum of the days
    EXPECT_EQ(cell(t, 1, t->columnCount() - 1), "dec");
    EXPECT_EQ(w.from()->date(), QDate(2026, 12, 8));
    EXPECT_EQ(w.to()->date(), QDate(2027, 1, 1));
    // The rankings of the range: "/" 4 hits, "/x" 2.
    EXPECT_EQ(w.rankingTable()->rowCount(), 2);
    EXPECT_EQ(w.rankingTable()->item(0, 1)->text(), "4");
    EXPECT_EQ(w.rankingTable()->item(0, 3)->text(), "/");

    w.by()->setCurrentIndex(1);
    ASSERT_EQ(t->rowCount(), 3);
    EXPECT_EQ(cell(t, 0, 0), "2026-12");
    EXPECT_EQ(cell(t, 0, 2), "3");
    EXPECT_EQ(cell(t, 1, 0), "2027-01");
}

// The chart at the window's first size and at a small one: one bar a day, as tall as its share.
TEST(HistoryWindow, ChartHasABarPerDayAtTwoSizes) {
    Recorded r;
    HistoryWindow w(nullptr, r.path);
    // All of it fits a screen of 1366 x 768, title bar and task bar included.
    EXPECT_LE(w.minimumSizeHint().width(), 1366);
    EXPECT_LE(w.minimumSizeHint().height(), 700);
    EXPECT_LE(w.height(), 700);
    for (const QSize size : {w.size(), QSize(600, 480)}) {
        w.resize(size);
        w.show();
        QCoreApplication::processEvents();
        const auto bars = w.chart()->barRects();
        ASSERT_EQ(bars.size(), 3u) << size.width();
        // Heights are truncated to whole pixels.
        EXPECT_NEAR(bars[1].height(), 3 * bars[0].height(), 3);
        EXPECT_NEAR(bars[2].height(), 2 * bars[0].height(), 2);
        EXPECT_GT(bars[0].height(), 10);
        for (std::size_t i = 0; i < bars.size(); ++i) {
            EXPECT_TRUE(w.chart()->rect().contains(bars[i])) << i;
            if (i) {
                EXPECT_LE(bars[i - 1].right(), bars[i].left());
            }
        }
        EXPECT_GT(w.chart()->height(), 60);
    }
    w.chartColumn()->setCurrentIndex(1);  // hosts: 1, 3, 2
    EXPECT_NEAR(w.chart()->barRects()[1].height(), 3 * w.chart()->barRects()[0].height(), 3);
}

TEST(HistoryWindow, RemovesTheChosenDaysOnlyAfterAYes) {
    Recorded r;
    HistoryWindow w(nullptr, r.path);
    w.show();
    w.table()->selectRow(1);
    const auto no = boxesShownBy([&] { w.removeChosen(); }, QMessageBox::No);
    ASSERT_EQ(no.size(), 1u);
    EXPECT_THAT(no[0].text.toStdString(), HasSubstr("2026-12-09 〜 2026-12-09"));
    EXPECT_EQ(w.table()->rowCount(), 4);
    w.table()->selectRow(1);
    boxesShownBy([&] { w.removeChosen(); }, QMessageBox::Yes);
    ASSERT_EQ(w.table()->rowCount(), 3);
    EXPECT_EQ(cell(w.table(), 1, 0), "2027-01-01");
    EXPECT_EQ(history::Store(r.path).days(0, 99991231).size(), 2u);
}

TEST(HistoryWindow, TheRecordingSettingIsKeptInItsOwnFile) {
    TempDir dir;
    const std::string before = common::dataDir();
    common::setDataDir(dir.path() + "/");
    dir.file("materia/setup.ini", "ftp\r\n");
    EXPECT_TRUE(history::ui::recordingOn());
    {
        HistoryWindow w(nullptr, dir / "history.sqlite");
        EXPECT_TRUE(w.recordSetting()->isChecked());
        w.recordSetting()->setChecked(false);
    }
    EXPECT_FALSE(history::ui::recordingOn());
    EXPECT_EQ(readFile(dir / "materia/HistorySetting.dat"), "0\r\n");
    EXPECT_EQ(readFile(dir / "materia/setup.ini"), "ftp\r\n");
    HistoryWindow again(nullptr, dir / "history.sqlite");
    EXPECT_FALSE(again.recordSetting()->isChecked());
    common::setDataDir(before);
}

TEST(HistoryWindow, SavesWhatItShows) {
    Recorded r;
    HistoryWindow w(nullptr, r.path);
    w.show();
    w.by()->setCurrentIndex(1);
    w.saveCsv(r.dir / "h.csv");
    w.saveHtml(r.dir / "h.html");
    EXPECT_THAT(readFile(r.dir / "h.csv"), HasSubstr("\r\n2026-12,4,3,"));
    EXPECT_THAT(readFile(r.dir / "h.html"), HasSubstr("<td>2027-01</td>"));
    w.showNotes({"note one"});
    EXPECT_THAT(w.notes()->text().toStdString(), HasSubstr("note one"));
}

namespace {

// Counts on the worker for every range while it lives.
struct AlwaysOnWorker {
    std::size_t before = HistoryWindow::setCountAtOnceUpTo(0);
    ~AlwaysOnWorker() { HistoryWindow::setCountAtOnceUpTo(before); }
};

// Runs the event loop until the worker's counts have been shown, as a user's window gets them.
bool countsShown(HistoryWindow& w) {
    QDeadlineTimer deadline(std::chrono::seconds(120));
    while (w.counting() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    return !w.counting();
}

}  // namespace

// The table and the chart come at once from the per-day figures; what needs the union of several
// logs' days and the rankings say "計算中" (never a number) until the worker brings them, at the
// window's first size and at a small one.
TEST(HistoryWindow, ShowsTheDaysAtOnceAndTheUnionsAndRankingsWhenCounted) {
    Recorded r;
    AlwaysOnWorker worker;
    for (const QSize size : {QSize(1366, 700), QSize(600, 480)}) {
        HistoryWindow w(nullptr, r.path);
        w.resize(size);
        w.show();
        QTableWidget* t = w.table();
        ASSERT_EQ(t->rowCount(), 4);
        ASSERT_TRUE(w.counting());
        EXPECT_EQ(cell(t, 1, 1), "3");
        EXPECT_EQ(cell(t, 1, 2), "3");  // a day of one log has its own count
        EXPECT_EQ(cell(t, 3, 1), "6");
        EXPECT_EQ(cell(t, 3, 2), QStringLiteral("計算中"));
        EXPECT_EQ(cell(t, 3, 3), QStringLiteral("計算中"));
        EXPECT_EQ(w.rankingTable()->rowCount(), 0);
        EXPECT_EQ(w.rankingState()->text(), QStringLiteral("計算中"));
        EXPECT_EQ(w.chart()->barRects().size(), 3u);
        t->selectRow(1);
        ASSERT_TRUE(w.waitForCounts());
        EXPECT_EQ(cell(t, 3, 2), "4");
        EXPECT_EQ(cell(t, 1, 2), "3");
        EXPECT_EQ(w.rankingTable()->rowCount(), 2);
        EXPECT_EQ(w.rankingTable()->item(0, 1)->text(), "4");
        EXPECT_TRUE(w.rankingState()->text().isEmpty());
        // The counts filled the same rows in: the selection stays.
        ASSERT_EQ(t->selectionModel()->selectedRows().size(), 1);
        EXPECT_EQ(t->selectionModel()->selectedRows()[0].row(), 1);

        // December's two days make a union: its hosts and its bar wait for the worker.
        w.chartColumn()->setCurrentIndex(1);
        w.by()->setCurrentIndex(1);
        ASSERT_EQ(t->rowCount(), 3);
        EXPECT_EQ(cell(t, 0, 2), QStringLiteral("計算中"));
        EXPECT_EQ(cell(t, 1, 2), "2");
        ASSERT_EQ(w.chart()->barRects().size(), 2u);
        EXPECT_EQ(w.chart()->barRects()[0].height(), 0);
        ASSERT_TRUE(countsShown(w));
        EXPECT_EQ(cell(t, 0, 2), "3");
        EXPECT_NEAR(w.chart()->barRects()[0].height(), 1.5 * w.chart()->barRects()[1].height(), 2);
    }
}

// A range asked for while the worker counts an earlier one: only the later one's counts are shown.
TEST(HistoryWindow, CountsOfAnEarlierRangeAreNotShown) {
    Recorded r;
    AlwaysOnWorker worker;
    HistoryWindow w(nullptr, r.path);
    w.show();
    w.by()->setCurrentIndex(1);
    w.from()->setDate(QDate(2026, 12, 9));
    w.refresh();
    ASSERT_TRUE(countsShown(w));
    QTableWidget* t = w.table();
    ASSERT_EQ(t->rowCount(), 3);
    EXPECT_EQ(cell(t, 0, 0), "2026-12");
    EXPECT_EQ(cell(t, 0, 1), "3");
    EXPECT_EQ(cell(t, 2, 1), "5");
    EXPECT_EQ(cell(t, 2, 2), "4");  // b and c of the 9th, a and d of January
    EXPECT_EQ(w.rankingTable()->item(0, 1)->text(), "3");
}

// A saved page holds every number: saving while the worker counts waits for it.
TEST(HistoryWindow, SavingWaitsForTheCounts) {
    Recorded r;
    AlwaysOnWorker worker;
    HistoryWindow w(nullptr, r.path);
    w.show();
    ASSERT_TRUE(w.counting());
    w.saveCsv(r.dir / "h.csv");
    EXPECT_FALSE(w.counting());
    EXPECT_THAT(readFile(r.dir / "h.csv"), HasSubstr("\r\ntotal,6,4,"));
}

// The columns are measured from a few cells; none is narrower than the view's own measure of all.
TEST(HistoryWindow, ColumnsAreAsWideAsTheirWidestCell) {
    Recorded r;
    HistoryWindow w(nullptr, r.path);
    w.show();
    QTableWidget* t = w.table();
    std::vector<int> widths;
    for (int c = 0; c < t->columnCount(); ++c) widths.push_back(t->columnWidth(c));
    t->resizeColumnsToContents();
    for (int c = 0; c + 1 < t->columnCount(); ++c) {
        EXPECT_GE(widths[static_cast<std::size_t>(c)], t->columnWidth(c)) << c;
        EXPECT_LE(widths[static_cast<std::size_t>(c)], t->columnWidth(c) + 4) << c;
    }
}
