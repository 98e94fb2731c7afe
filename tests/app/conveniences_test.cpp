// What a desktop user expects of the windows: keys, the first start, the note of a save, the lines
// of a ranking row, the keys that close the other windows.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include "app/findbar.h"
#include "app/linesview.h"
#include "app/rankingwindow.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "app/tversioninfo.h"
#include "decoder/ui/tutf.h"
#include "lists/ui/tdomein.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"
#include "support.h"

using analysis::RankTable;

// Takes the addresses that would go to the desktop's file manager.
class UrlCatcher : public QObject {
    Q_OBJECT
public:
    QUrl url;
public slots:
    void open(const QUrl& u) { url = u; }
};

namespace {

class ConveniencesTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.setWindows({&progress});
        apptest::writeExampleLists(dir);
    }
    void activate(QWidget* window) {
        showWindow(window);
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    }
    std::string box(const char* name) const { return fromQString(form.box(name)->text()); }

    apptest::ProgramFont font_;
    apptest::ScratchDir dir;
    TForm2 progress;
    TForm1 form;
};

TEST_F(ConveniencesTest, F5AnalysesTheSameLogAgainWithTheListsAsTheyAreNow) {
    EXPECT_EQ(form.OpenO1->shortcut(), QKeySequence(QKeySequence::Open));
    EXPECT_FALSE(form.Reanalyse1->isEnabled()) << "no log yet";
    const std::string log = dir.write("logs/example.log", apptest::exampleLog());
    ASSERT_TRUE(runCommand(&form, [&] { form.LogCounting(log); }));
    const std::size_t robotLines = form.pane("RobotsLog")->lineCount();
    // A robot string added after the analysis: F5 reads the list again, as the pane's header shows.
    dir.write("materia/SERobotsList.dat", "Bot/\r\nExampleBot\r\n");
    activate(&form);
    QTest::keyClick(&form, Qt::Key_F5);
    EXPECT_EQ(box("Edit35"), log);
    EXPECT_EQ(form.pane("RobotsLog")->lineCount(), robotLines + 1) << "one more list entry";
    EXPECT_EQ(form.pane("RobotsLog")->line(1), "Bot/");
    EXPECT_EQ(form.pane("RobotsLog")->line(2), "ExampleBot");
}

TEST_F(ConveniencesTest, CtrlTabMovesBetweenThePagesAndCtrlPageDownBetweenTheirSubPages) {
    activate(&form);
    QTest::keyClick(&form, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form.PageControl1->currentIndex(), 1);
    auto* inner = form.findChild<QTabWidget*>("ConnectPages");
    inner->widget(0)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(form.PageControl1->currentIndex(), 2) << "the pages, not the sub-pages";
    EXPECT_EQ(inner->currentIndex(), 0);
    QTest::keyClick(&form, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(&form, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form.PageControl1->currentIndex(), 0);
    QTest::keyClick(&form, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(form.PageControl1->currentIndex(), form.PageControl1->count() - 1) << "round to the last";
    form.PageControl1->setCurrentIndex(1);
    QTest::keyClick(&form, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(inner->currentIndex(), 1);
    // Alt+S opens 設定, whose caption stays as it is.
    auto* settings = form.menuBar()->findChild<QMenu*>("N2");
    EXPECT_EQ(settings->title(), QStringLiteral("設定"));
    QTest::keyClick(&form, Qt::Key_S, Qt::AltModifier);
    EXPECT_TRUE(QTest::qWaitFor([&] { return settings->isVisible(); }, 2000));
    settings->close();
}

TEST_F(ConveniencesTest, TheFirstStartSaysHowToBeginAndOffersTheSampleLog) {
    EXPECT_EQ(form.StatusFile->text(), QStringLiteral("ログを開く: Ctrl+O、ドロップ、または FTP接続"));
    EXPECT_TRUE(form.recentFiles().empty()) << "no sample log in this folder";
    const std::string sample = dir.write("logs/access_log_20261207", apptest::exampleLog());
    {
        TForm1 first;
        ASSERT_EQ(first.recentFiles(), std::vector<std::string>{sample});
        first.recentMenu()->actions().front()->trigger();
        EXPECT_EQ(fromQString(first.box("Edit1")->text()), "4");
    }
    // Once a log was opened, the list is the user's own: the sample is not added again.
    dir.write("materia/RecentFiles.dat", "");
    TForm1 later;
    EXPECT_TRUE(later.recentFiles().empty());
}

TEST_F(ConveniencesTest, ASavedReportIsNamedInTheStatusBarWithItsFolderAClickAway) {
    const std::string log = dir.write("logs/example.log", apptest::exampleLog());
    ASSERT_TRUE(runCommand(&form, [&] { form.LogCounting(log); }));
    auto save = [&](const std::string& path) {
        whileModal([&] { form.SaveReport1->trigger(); },
                   [&](QWidget* modal) {
                       if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                           dialog->selectFile(toQString(path));
                           static_cast<QDialog*>(dialog)->accept();
                       } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                           answerBox(box, QMessageBox::Ok);
                       }
                   });
    };
    save(dir.path() + "/logs/report.html");
    ASSERT_NE(form.SaveNote, nullptr);
    EXPECT_EQ(form.SaveNote->text(),
              QStringLiteral("レポートを保存しました: %1/logs/report.html").arg(QString::fromStdString(dir.path())));
    ASSERT_TRUE(form.OpenFolder->isVisibleTo(&form));

    UrlCatcher opened;
    QDesktopServices::setUrlHandler(QStringLiteral("file"), &opened, "open");
    form.OpenFolder->click();
    QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
    EXPECT_EQ(opened.url, QUrl::fromLocalFile(QString::fromStdString(dir.path() + "/logs")));

    // A save that fails says why, and there is no folder to open.
    save(dir.path() + "/missing/report.html");
    EXPECT_TRUE(form.SaveNote->text().startsWith(QStringLiteral("保存できませんでした: ファイル \"")))
        << form.SaveNote->text().toStdString();
    EXPECT_TRUE(form.SaveNote->text().contains(QStringLiteral("missing/report.html")));
    EXPECT_FALSE(form.OpenFolder->isVisibleTo(&form));
    // The next analysis is a new result: the note goes.
    ASSERT_TRUE(runCommand(&form, [&] { form.LogCounting(log); }));
    EXPECT_FALSE(form.SaveNote->isVisibleTo(&form));
}

TEST_F(ConveniencesTest, EscClosesEachSecondaryWindowAndCtrlWTheOnesWorkedIn) {
    TVersionINFO about;
    TDomein domein;
    TUTF utf;
    form.RankingClick();
    struct Case {
        QWidget* window;
        bool ctrlW;
    };
    for (const Case& c : {Case{&progress, false}, Case{&about, false}, Case{&domein, true}, Case{&utf, true},
                          Case{form.rankingWindow(), true}}) {
        const std::string name = c.window->objectName().toStdString();
        activate(c.window);
        QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : c.window, Qt::Key_Escape);
        EXPECT_FALSE(c.window->isVisible()) << name;
        activate(c.window);
        QTest::keyClick(c.window, Qt::Key_W, Qt::ControlModifier);
        EXPECT_EQ(c.window->isVisible(), !c.ctrlW) << name;
        c.window->hide();
    }
    // Esc in the main window's open find bar closes the bar, not the window.
    activate(&form);
    form.pane("NamaLog")->openFind();
    QTest::keyClick(form.pane("NamaLog")->findBar()->edit, Qt::Key_Escape);
    EXPECT_FALSE(form.pane("NamaLog")->findBar()->isVisible());
    EXPECT_TRUE(form.isVisible());
}

// Lines of the worked example and of a second host, so that each row finds only its own lines.
std::string rankedLog() {
    return apptest::exampleLog() +
           "10.0.0.10 - - [10/Oct/2004:15:00:00 +0900] \"GET /index.html?x=1 HTTP/1.1\" 200 10 \"-\" \"Lynx\"\r\n"
           "10.0.0.1 - - [10/Oct/2004:15:01:00 +0900] \"GET /INDEX.HTML HTTP/1.1\" 404 0 \"http://a.example/x\" "
           "\"Lynx\"\r\n";
}

TEST_F(ConveniencesTest, ARankingRowOpensTheRawLogFilteredToItsLines) {
    const std::string log = dir.write("logs/ranked.log", rankedLog());
    ASSERT_TRUE(runCommand(&form, [&] { form.LogCounting(log); }));
    form.RankingClick();
    RankingWindow* w = form.rankingWindow();
    LinesView* raw = form.pane("NamaLog");
    auto choose = [&](RankTable table, const QString& item) {
        w->tabs()->setCurrentIndex(static_cast<int>(table));
        QTableView* view = w->view(table);
        const QAbstractItemModel* m = view->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            const QModelIndex cell = m->index(r, m->columnCount() - 1);
            if (cell.data().toString() != item) continue;
            view->scrollTo(cell);
            // As a real double click comes: a press and release, then the double click.
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(cell).center());
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(cell).center());
            std::vector<std::size_t> lines;
            EXPECT_TRUE(QTest::qWaitFor([&] { return raw->searchDone(); }, 10000));
            for (std::size_t row = 0; row < raw->rowCount(); ++row) lines.push_back(raw->lineOfRow(row));
            return lines;
        }
        ADD_FAILURE() << "no row " << item.toStdString();
        return std::vector<std::size_t>{};
    };
    using Lines = std::vector<std::size_t>;
    // The page: both spellings (the table ignores letter case), not the one with a query string.
    EXPECT_EQ(choose(RankTable::Pages, QStringLiteral("/index.html")), (Lines{0, 5}));
    EXPECT_EQ(form.PageControl1->currentWidget(), raw->parentWidget());
    EXPECT_TRUE(raw->filtered());
    EXPECT_TRUE(raw->findBar()->onlyMatching->isChecked());
    EXPECT_EQ(choose(RankTable::Hosts, QStringLiteral("10.0.0.1")), (Lines{0, 2, 5})) << "not 10.0.0.10";
    EXPECT_EQ(choose(RankTable::Statuses, QStringLiteral("404")), (Lines{1, 5}));
    EXPECT_EQ(choose(RankTable::UserAgents, QStringLiteral("Lynx")), (Lines{4, 5}));
    EXPECT_EQ(choose(RankTable::NotFound, QStringLiteral("/robots.txt")), (Lines{1}));
    EXPECT_EQ(choose(RankTable::ReferrerSites, QStringLiteral("http://a.example")), (Lines{5}));
    // Enter on a row does the same.
    QTableView* hosts = w->view(RankTable::Hosts);
    w->tabs()->setCurrentIndex(1);
    hosts->setCurrentIndex(hosts->model()->index(0, 0));
    raw->closeFind();
    QTest::keyClick(hosts, Qt::Key_Return);
    EXPECT_TRUE(raw->filtered());
}

TEST_F(ConveniencesTest, RankingTabsAllShowCountsSortLargestFirstAndTinySharesAreNotZero) {
    form.RankingClick();
    RankingWindow* w = form.rankingWindow();
    showWindow(w);
    const QTabBar* bar = w->tabs()->tabBar();
    EXPECT_TRUE(w->tabs()->rect().contains(
        bar->tabRect(static_cast<int>(analysis::RankTable::UserAgents)).translated(bar->pos())))
        << "ブラウザ is in view at the window's first size";

    // 1 hit among 2001 lines is 0.05 %.
    std::string log;
    for (int i = 0; i < 2000; ++i) log += "a - - [10/Oct/2004:13:00:00 +0900] \"GET /a HTTP/1.1\" 200 5 \"-\" \"-\"\n";
    log += "b - - [10/Oct/2004:13:00:00 +0900] \"GET /b HTTP/1.1\" 200 5 \"-\" \"-\"\n";
    ASSERT_TRUE(runCommand(&form, [&] { form.LogCounting(dir.write("logs/tiny.log", log)); }));
    const QAbstractItemModel* pages = w->view(RankTable::Pages)->model();
    EXPECT_EQ(pages->index(1, 2).data().toString(), QStringLiteral("<0.1%"));

    // The rank column is sorted ascending at first; a first click on the hits puts the most first,
    // a first click on the items "/a" before "/b".
    QHeaderView* header = w->view(RankTable::Pages)->horizontalHeader();
    auto click = [&](int section) {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(section) + 5, header->height() / 2));
    };
    click(1);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(pages->index(0, 1).data().toString(), QStringLiteral("2000"));
    click(1);
    EXPECT_EQ(pages->index(0, 1).data().toString(), QStringLiteral("1"));
    click(4);
    EXPECT_EQ(header->sortIndicatorOrder(), Qt::AscendingOrder);
    EXPECT_EQ(pages->index(0, 4).data().toString(), QStringLiteral("/a"));
}

}  // namespace

#include "conveniences_test.moc"
