// The main window's conveniences for a desktop user: keys, the hint of the first start, the sample
// log in the recent files, the note of a saved report, and the lines behind a ranking row.
#include <filesystem>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QStatusBar>
#include <QTabWidget>
#include <QUrl>

#include "app/findbar.h"
#include "app/linesview.h"
#include "app/rankedlines.h"
#include "app/rankingwindow.h"
#include "app/recentfiles.h"
#include "app/tform1.h"
#include "app/windowplaces.h"
#include "common/fileio.h"
#include "common/programdir.h"
#include "lists/ui/tdomein.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"

namespace {

// The log that ships with the program, offered before the user has opened one of their own.
constexpr const char* kSampleLog = "logs/access_log_20261207";

// The tab control of the page's own sub-pages nearest to the focus (the inner "不正常ログ" tabs
// when the focus is in them), else the page's first one.
QTabWidget* innerTabsOf(QWidget* page) {
    for (QWidget* w = QApplication::focusWidget(); w && w != page; w = w->parentWidget())
        if (auto* tabs = qobject_cast<QTabWidget*>(w); tabs && page->isAncestorOf(tabs)) return tabs;
    return page->findChild<QTabWidget*>();
}

void step(QTabWidget* tabs, int by) {
    if (tabs && tabs->count() > 1) tabs->setCurrentIndex((tabs->currentIndex() + by + tabs->count()) % tabs->count());
}

}  // namespace

void TForm1::addConveniences() {
    OpenO1->setShortcut(QKeySequence::Open);
    Reanalyse1 = new QAction(QStringLiteral("再解析(&A)"), this);
    Reanalyse1->setObjectName("Reanalyse1");
    Reanalyse1->setShortcut(QKeySequence(Qt::Key_F5));
    Reanalyse1->setEnabled(false);  // until there is a log to analyse again
    connect(Reanalyse1, &QAction::triggered, this, &TForm1::ReanalyseClick);
    if (auto* file = menuBar()->findChild<QMenu*>("FileF1")) file->insertAction(recentMenu_->menuAction(), Reanalyse1);

    auto key = [this](const QKeySequence& keys, auto&& slot) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, slot);
    };
    // The menu "設定" has no letter of its own in its caption; Alt+S opens it all the same.
    key(QKeySequence(Qt::ALT | Qt::Key_S), [this] {
        if (auto* settings = menuBar()->findChild<QMenu*>("N2")) menuBar()->setActiveAction(settings->menuAction());
    });
    // Ctrl+Tab moves between the pages; the sub-pages of a page have Ctrl+PageDown and Ctrl+PageUp.
    key(QKeySequence(Qt::CTRL | Qt::Key_Tab), [this] { step(PageControl1, 1); });
    key(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab), [this] { step(PageControl1, -1); });
    key(QKeySequence(Qt::CTRL | Qt::Key_PageDown), [this] { step(innerTabsOf(PageControl1->currentWidget()), 1); });
    key(QKeySequence(Qt::CTRL | Qt::Key_PageUp), [this] { step(innerTabsOf(PageControl1->currentWidget()), -1); });

    // A file's name is anybody's text: never read as markup.
    StatusFile->setTextFormat(Qt::PlainText);
    StatusFile->setText(QStringLiteral("ログを開く: Ctrl+O、ドロップ、または FTP接続"));
    offerSampleLog();
}

void TForm1::offerSampleLog() {
    std::error_code error;
    // Only before the first log of the user's own: the list file appears with it.
    if (!recentFiles_.empty() || std::filesystem::exists(common::materiaFile(recent::kFile), error)) return;
    const std::string sample = common::fullPath(common::dataDir() + kSampleLog);
    if (!std::filesystem::is_regular_file(sample, error)) return;
    recentFiles_ = {sample};
    fillRecentMenu();
}

void TForm1::ReanalyseClick() {
    if (analysing_ || !record_.begun()) return;
    // The lists may have changed since: the analysis reads them again, as every analysis does.
    const std::string path = record_.logPath();
    runCommand(this, [&] { LogCounting(path); });
}

void TForm1::showSaveNote(const QString& text, const QString& folder) {
    if (!SaveNote) {
        SaveNote = new QLabel;
        SaveNote->setObjectName("SaveNote");
        SaveNote->setTextFormat(Qt::PlainText);
        SaveNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
        OpenFolder = new QPushButton(QStringLiteral("フォルダを開く"));
        OpenFolder->setObjectName("OpenFolder");
        OpenFolder->setAutoDefault(false);
        OpenFolder->setFocusPolicy(Qt::NoFocus);
        connect(OpenFolder, &QPushButton::clicked, this,
                [this] { QDesktopServices::openUrl(QUrl::fromLocalFile(OpenFolder->property("folder").toString())); });
        statusBar()->addWidget(SaveNote);
        statusBar()->addWidget(OpenFolder);
    }
    SaveNote->setText(text);
    SaveNote->show();
    OpenFolder->setProperty("folder", folder);
    OpenFolder->setVisible(!folder.isEmpty());
}

void TForm1::hideSaveNote() {
    if (!SaveNote) return;
    SaveNote->hide();
    OpenFolder->hide();
}

void TForm1::showRankedLines(analysis::RankTable table, const std::string& item) {
    const std::optional<FindQuery> query = rankedLinesQuery(table, item);
    if (!query) return;
    LinesView* raw = pane(analysis::kRawLogPane);
    PageControl1->setCurrentWidget(raw->parentWidget());
    raw->clearSelection();
    raw->openFind();
    FindBar* bar = raw->findBar();
    bar->onlyMatching->setChecked(false);
    bar->edit->clear();
    bar->caseSensitive->setChecked(query->caseSensitive);
    bar->regex->setChecked(query->regex);
    bar->edit->setText(query->text);
    bar->onlyMatching->setChecked(true);
    showWindow(this);
}

void TForm1::watchRankingWindow() {
    places::remember(rankingWindow_);
    connect(rankingWindow_, &RankingWindow::itemChosen, this, &TForm1::showRankedLines);
    connect(rankingWindow_, &RankingWindow::robotProposed, this, [this](const QString& word) {
        if (auto* domein = qobject_cast<TDomein*>(windows_.domein)) domein->proposeRobot(word);
    });
}
