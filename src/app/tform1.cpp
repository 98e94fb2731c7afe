// The main window: its frame, menu and status bar, and the analysis of one log into it.
#include "app/tform1.h"

#include <ctime>
#include <exception>

#include <QCloseEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTabWidget>

#include "analysis/logcounting.h"
#include "analysis/report.h"
#include "analysis/resultlayout.h"
#include "app/linesview.h"
#include "app/readmenu.h"
#include "common/apperror.h"
#include "common/fileio.h"
#include "common/programdir.h"
#include "history/dayfigures.h"
#include "history/ui/historysetting.h"

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), lastByteName_(analysis::kNoAmountYet) {
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("むにゃろ"));

    buildPages();
    buildMenu();
    buildStatusBar();
    addConveniences();
    setAcceptDrops(true);

    resize(462, 491);
    move(308, 238);
    setMinimumSize(315, 460);
}

void TForm1::buildMenu() {
    auto action = [this](QMenu* menu, const char* name, const QString& caption, void (TForm1::*slot)()) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(name);
        connect(a, &QAction::triggered, this, slot);
        return a;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName("FileF1");
    OpenO1 = action(file, "OpenO1", QStringLiteral("ローカルから読み込み(&O)"), &TForm1::OpenO1Click);
    FTP1 = action(file, "FTP1", QStringLiteral("FTPから読み込み(&F)"), &TForm1::FTP1Click);
    buildRecentMenu(file);
    file->addSeparator();
    SaveReport1 = action(file, "SaveReport1", QStringLiteral("レポートを保存..."), &TForm1::SaveReport1Click);
    SaveReport1->setShortcut(QKeySequence::Save);
    SaveCsv1 = action(file, "SaveCsv1", QStringLiteral("CSVで保存..."), &TForm1::SaveCsv1Click);
    // Nothing to save before the first analysis.
    SaveReport1->setEnabled(false);
    SaveCsv1->setEnabled(false);
    file->addSeparator();
    ExitE1 = action(file, "ExitE1", QStringLiteral("終了(&X)"), &TForm1::ExitE1Click);
    QMenu* settings = menuBar()->addMenu(QStringLiteral("設定"));
    settings->setObjectName("N2");
    N3 = action(settings, "N3", QStringLiteral("ドメイン管理(&D)"), &TForm1::N3Click);
    settings->addSeparator();
    readMenu_ = new ReadMenu(settings, common::materiaFile(analysis::kReadSettingsFile), this);
    QMenu* view = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    view->setObjectName("ViewV1");
    UTF81 = action(view, "UTF81", QStringLiteral("UTF-8デコーダ(&U)"), &TForm1::UTF81Click);
    Ranking1 = action(view, "Ranking1", QStringLiteral("ランキング(&R)"), &TForm1::RankingClick);
    Ranking1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    History1 = action(view, "History1", QStringLiteral("推移(&H)"), &TForm1::HistoryClick);
    History1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
    N1 = menuBar()->addAction(QStringLiteral("バージョン情報(&I)"));
    N1->setObjectName("N1");
    connect(N1, &QAction::triggered, this, &TForm1::N1Click);
}

void TForm1::LogCounting(const std::string& path) {
    // The window must not close under a running analysis; the flag drops however the call ends.
    struct Busy {
        bool& flag;
        explicit Busy(bool& f) : flag(f) { flag = true; }
        ~Busy() { flag = false; }
    } busy(analysing_);
    rememberRecent(path);
    const QString file = QString::fromStdString(common::fullPath(path));
    StatusFile->setText(file);
    StatusLines->clear();
    StatusTime->clear();
    StatusFormat->clear();
    StatusSkipped->clear();
    SkippedLines->clear();
    PageControl1->setTabVisible(PageControl1->indexOf(SkippedLines->parentWidget()), false);
    StatusZeroByte->hide();
    QElapsedTimer timer;
    timer.start();
    // The record passes everything on to this window and keeps it for the saved report.
    record_.begin(path, std::time(nullptr));
    SaveReport1->setEnabled(true);
    SaveCsv1->setEnabled(true);
    Reanalyse1->setEnabled(true);
    hideSaveNote();
    auto stopped = [&] {
        StatusTime->setText(QStringLiteral("中断 (%1 秒)").arg(static_cast<double>(timer.elapsed()) / 1000, 0, 'f', 2));
    };
    try {
        const analysis::ReadSettings& read = readMenu_->settings();
        analysis::AnalysisOptions options;
        options.layout = read.layout;
        options.skipBadLines = read.skipBadLines;
        options.clientFromForwarded = read.clientFromForwarded;
        // An analysis that will be recorded takes its days' figures during the pass, and records them
        // beside the rankings' last step.
        recorded_.reset();
        if (history::ui::recordingOn()) {
            options.watcher = history::dayWatcher();
            options.whileFinishing = [this, path](const analysis::LogTally& tally,
                                                  const analysis::ReferenceLists& lists) {
                recorded_ = history::ui::recordAnalysis(path, tally, lists);
            };
        }
        analysis::LogCounting(path, record_, options);
    } catch (const std::exception& e) {
        record_.fail(common::withPeriod(e.what()));
        stopped();
        throw;
    } catch (...) {
        stopped();
        throw;
    }
    StatusLines->setText(QStringLiteral("%L1 行").arg(pane(analysis::kRawLogPane)->lineCount()));
    StatusTime->setText(QStringLiteral("解析 %1 秒").arg(static_cast<double>(timer.elapsed()) / 1000, 0, 'f', 2));
}

void TForm1::buildStatusBar() {
    auto label = [this](const char* name) {
        auto* l = new QLabel;
        l->setObjectName(name);
        return l;
    };
    StatusFile = label("StatusFile");
    StatusFile->setTextInteractionFlags(Qt::TextSelectableByMouse);
    StatusFile->setMinimumWidth(40);
    StatusFile->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    StatusLines = label("StatusLines");
    StatusTime = label("StatusTime");
    StatusFormat = label("StatusFormat");
    StatusSkipped = label("StatusSkipped");
    StatusZeroByte = label("StatusZeroByte");
    StatusZeroByte->hide();
    statusBar()->setObjectName("StatusBar1");
    statusBar()->addWidget(StatusFile, 1);
    statusBar()->addPermanentWidget(StatusFormat);
    statusBar()->addPermanentWidget(StatusSkipped);
    statusBar()->addPermanentWidget(StatusLines);
    statusBar()->addPermanentWidget(StatusTime);
    statusBar()->addPermanentWidget(StatusZeroByte);
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (analysing_) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) emit closed();
}
