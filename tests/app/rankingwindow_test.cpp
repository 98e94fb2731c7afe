// The ranking window: opened from the main window, following every analysis, sorting and filtering
// a million rows without blocking, and copying rows as tab-separated text.
#include "app/rankingwindow.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

#include "app/hostdetailpage.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "qtedge/commandguard.h"
#include "support.h"

using analysis::RankTable;

namespace {

// Runs the event loop until done() holds; false when the deadline passes first.
template <class F>
bool waitFor(F done, int ms = 60000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
}

void press(QWidget* w, Qt::KeyboardModifiers modifiers) {
    QKeyEvent event(QEvent::KeyPress, Qt::Key_C, modifiers, modifiers & Qt::ShiftModifier ? "C" : "c");
    QApplication::sendEvent(w, &event);
}

QString cell(const QAbstractItemModel* m, int row, int column) { return m->index(row, column).data().toString(); }

class RankingWindowTest : public ::testing::Test {
protected:
    apptest::ProgramFont font;
    apptest::ScratchDir dir;
    TForm2 progress;
    TForm1 form;
    void SetUp() override { form.setWindows({&progress}); }
};

}  // namespace

TEST_F(RankingWindowTest, OpensFromTheViewMenuAndFollowsEveryAnalysis) {
    EXPECT_EQ(form.Ranking1->text(), QStringLiteral("ランキング(&R)"));
    EXPECT_EQ(form.Ranking1->shortcut(), QKeySequence(QStringLiteral("Ctrl+R")));
    EXPECT_TRUE(form.findChild<QMenu*>("ViewV1")->actions().contains(form.Ranking1));

    // An analysis before the window exists: the window shows it when opened.
    apptest::writeExampleLists(dir);
    const std::string log = dir.write("logs/example.log", apptest::exampleLog());
    runCommand(&form, [&] { form.LogCounting(log); });
    form.Ranking1->trigger();
    RankingWindow* w = form.rankingWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("ランキング"));
    // The virtual hosts' tab is there only for a log that has them.
    // The rankings' eleven tabs first, then the five tables of visitors and pages and the host detail.
    ASSERT_EQ(w->tabs()->count(), 17);
    for (int t = 0; t < 17; ++t) EXPECT_EQ(w->tabs()->isTabVisible(t), t != 10) << t;
    EXPECT_EQ(w->tabs()->tabText(0), QStringLiteral("ページ"));
    EXPECT_EQ(w->tabs()->tabText(9), QStringLiteral("ブラウザ"));

    const RankingModel* hosts = w->model(RankTable::Hosts);
    ASSERT_EQ(hosts->rowCount(), 3);
    ASSERT_EQ(hosts->columnCount(), 5);
    EXPECT_EQ(hosts->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("順位"));
    EXPECT_EQ(cell(hosts, 0, 0), "1");
    EXPECT_EQ(cell(hosts, 0, 1), "2");
    EXPECT_EQ(cell(hosts, 0, 2), "50.0%");
    EXPECT_EQ(cell(hosts, 0, 3), "2326");
    EXPECT_EQ(cell(hosts, 0, 4), "10.0.0.1");
    EXPECT_EQ(cell(hosts, 1, 0), "2");  // two hosts share the second place
    EXPECT_EQ(cell(hosts, 2, 0), "2");
    EXPECT_EQ(w->model(RankTable::Statuses)->columnCount(), 4);  // no bytes column

    // A second analysis replaces the rows; one that stops keeps the lines before the error.
    dir.write("logs/two.log", "h - - [10/Oct/2004:13:00:00 +0900] \"GET /a HTTP/1.1\" 200 5 \"-\" \"-\"\n"
                              "h - - [10/Oct/2004:ab:00:00 +0900] \"GET /b HTTP/1.1\" 200 5 \"-\" \"-\"\n");
    boxesShownBy([&] { runCommand(&form, [&] { form.LogCounting(dir.path() + "/logs/two.log"); }); });
    ASSERT_EQ(w->model(RankTable::Pages)->rowCount(), 1);
    EXPECT_EQ(cell(w->model(RankTable::Pages), 0, 4), "/a");
    // A log that cannot be opened empties the tables.
    boxesShownBy([&] { runCommand(&form, [&] { form.LogCounting(dir.path() + "/none"); }); });
    EXPECT_EQ(w->model(RankTable::Pages)->rowCount(), 0);
}

TEST_F(RankingWindowTest, ItemsShownDecodedWithTheRawTextInTooltipAndCopies) {
    apptest::writeExampleLists(dir);
    const std::string log = dir.write(
        "logs/enc.log", "h - - [10/Oct/2004:13:00:00 +0900] \"GET /%E6%97%A5%E6%9C%AC HTTP/1.1\" 200 7 \"-\" \"-\"\n"
                        "h - - [10/Oct/2004:13:00:00 +0900] \"GET /%E6%97%A5%E6%9C%AC HTTP/1.1\" 200 7 \"-\" \"-\"\n"
                        "h - - [10/Oct/2004:13:00:00 +0900] \"GET /tab\t%0D%0A HTTP/1.1\" 404 0 \"-\" \"-\"\n");
    runCommand(&form, [&] { form.LogCounting(log); });
    form.RankingClick();
    RankingWindow* w = form.rankingWindow();
    const RankingModel* pages = w->model(RankTable::Pages);
    ASSERT_EQ(pages->rowCount(), 2);
    EXPECT_EQ(cell(pages, 0, 4), QStringLiteral("/日本"));
    EXPECT_EQ(pages->index(0, 4).data(Qt::ToolTipRole).toString(), "/%E6%97%A5%E6%9C%AC");
    // A tab from the log never splits a copied row; encoded line breaks are not decoded.
    EXPECT_EQ(cell(pages, 1, 4), QStringLiteral("/tab\uFFFD%0D%0A"));

    QTableView* view = w->view(RankTable::Pages);
    view->selectAll();
    view->setFocus();
    press(view, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("1\t2\t66.7%\t14\t/日本\n2\t1\t33.3%\t0\t/tab\uFFFD%0D%0A\n"));
    view->selectionModel()->select(pages->index(0, 0), QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    press(view, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("1\t2\t66.7%\t14\t/%E6%97%A5%E6%9C%AC\n"));

    // Filtering by the Japanese text finds the encoded path.
    w->filter(RankTable::Pages)->setText(QStringLiteral("日本"));
    ASSERT_EQ(pages->rowCount(), 1);
    EXPECT_EQ(cell(pages, 0, 0), "1");
}

TEST_F(RankingWindowTest, MillionRowsSortAndFilterOffTheWindowsThread) {
    // Every row a different path: the table the window must handle without freezing.
    auto rankings = std::make_shared<analysis::Rankings>();
    char path[32];
    for (int i = 0; i < 1000000; ++i) {
        std::snprintf(path, sizeof path, "/p%07d", i);
        analysis::RankedLine l;
        l.isGet = true;
        l.getPath = path;
        l.host = "h";
        for (int k = 0; k < (i % 3 == 0 ? 2 : 1); ++k) rankings->addLine(l);
    }
    RankingWindow w;
    w.show();
    w.setRankings(rankings);
    RankingModel* pages = w.model(RankTable::Pages);
    ASSERT_TRUE(waitFor([&] { return !pages->busy() && pages->rowCount() == 1000000; }));
    EXPECT_EQ(cell(pages, 0, 4), "/p0000000");
    EXPECT_EQ(cell(pages, 0, 1), "2");
    EXPECT_EQ(cell(pages, 333334, 4), "/p0000001");  // the first of the rows with one hit
    EXPECT_EQ(cell(pages, 333334, 0), "333335");

    // Sorting by item, descending: the call returns at once and the work ends later.
    w.view(RankTable::Pages)->sortByColumn(4, Qt::DescendingOrder);
    EXPECT_TRUE(pages->busy());
    ASSERT_TRUE(waitFor([&] { return !pages->busy(); }));
    EXPECT_EQ(cell(pages, 0, 4), "/p0999999");
    EXPECT_EQ(cell(pages, 0, 0), "1");
    EXPECT_EQ(cell(pages, 1, 0), "333335");

    // Typing narrows the rows; a wish made while one runs is the one that ends up shown.
    QLineEdit* filter = w.filter(RankTable::Pages);
    filter->setText("9999");
    filter->setText("99999");
    ASSERT_TRUE(waitFor([&] { return !pages->busy() && pages->rowCount() < 1000000; }));
    EXPECT_EQ(pages->rowCount(), 10 + 9);  // /p099999x and /pN99999 for N = 1..9
    EXPECT_EQ(cell(pages, 0, 4), "/p0999999");
    EXPECT_EQ(cell(pages, pages->rowCount() - 1, 4), "/p0099999");

    // A new analysis while a sort runs: the old result is dropped, the new rankings shown.
    w.view(RankTable::Pages)->sortByColumn(1, Qt::AscendingOrder);
    w.setRankings(nullptr);
    ASSERT_TRUE(waitFor([&] { return !pages->busy(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(pages->rowCount(), 0);
}

TEST_F(RankingWindowTest, HostDetailFiltersToMarkedHostsAndTheRobotWordGoesToTheList) {
    apptest::writeExampleLists(dir);
    std::string text;
    for (int i = 0; i < 3; ++i)
        text += "10.0.0." + std::to_string(i) + " - - [10/Oct/2004:13:55:3" + std::to_string(i) +
                " +0900] \"GET /page HTTP/1.1\" 200 10 \"-\" \"Mozilla/5.0 (compatible; NewCrawler/1.0)\"\n";
    text += "10.0.0.9 - - [10/Oct/2004:13:56:00 +0900] \"GET / HTTP/1.1\" 200 10 \"http://x.example/\" \"Firefox\"\n";
    const std::string log = dir.write("logs/crawl.log", text);
    runCommand(&form, [&] { form.LogCounting(log); });
    form.Ranking1->trigger();
    RankingWindow* w = form.rankingWindow();
    ASSERT_NE(w, nullptr);
    HostDetailPage* page = w->hostDetail();
    QAbstractItemModel* rows = page->view()->model();
    ASSERT_EQ(rows->rowCount(), 4);
    EXPECT_TRUE(page->visits()->text().contains(QStringLiteral("訪問 4")));
    page->markedOnly()->setChecked(true);
    ASSERT_EQ(rows->rowCount(), 3);
    for (int r = 0; r < 3; ++r) EXPECT_EQ(cell(rows, r, HostDetailModel::RobotLike), QStringLiteral("ロボットらしい"));
    // Sorted by host, descending.
    page->view()->sortByColumn(HostDetailModel::Host, Qt::DescendingOrder);
    EXPECT_EQ(cell(rows, 0, HostDetailModel::Host), QStringLiteral("10.0.0.2"));
    page->markedOnly()->setChecked(false);
    EXPECT_EQ(rows->rowCount(), 4);

    // The robot-like agent no robot string names: its word, proposed for the robot list.
    QTableView* agents = w->tabs()->findChild<QTableView*>("robotLikeAgentsView");
    ASSERT_NE(agents, nullptr);
    ASSERT_EQ(agents->model()->rowCount(), 1);
    EXPECT_FALSE(w->proposeButton()->isEnabled());
    QString proposed;
    QObject::connect(w, &RankingWindow::robotProposed, [&](const QString& word) { proposed = word; });
    agents->setCurrentIndex(agents->model()->index(0, 0));
    ASSERT_TRUE(w->proposeButton()->isEnabled());
    w->proposeButton()->click();
    EXPECT_EQ(proposed, QStringLiteral("NewCrawler"));
}
