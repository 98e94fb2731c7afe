// The main window.
#include "app/tform1.h"

#include <algorithm>
#include <cassert>
#include <ctime>
#include <filesystem>

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "analysis/chart.h"
#include "analysis/logcounting.h"
#include "analysis/report.h"
#include "analysis/resultlayout.h"
#include "app/chartimage.h"
#include "app/linesview.h"
#include "app/rankingwindow.h"
#include "app/readmenu.h"
#include "app/recentfiles.h"
#include "app/tform2.h"
#include "common/apperror.h"
#include "common/fileio.h"
#include "common/programdir.h"
#include "history/dayfigures.h"
#include "history/ui/historysetting.h"
#include "history/ui/historywindow.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"

namespace {

QString qs(std::string_view utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

QTabWidget* innerTabs(const QString& name) {
    auto* tabs = new QTabWidget;
    tabs->setObjectName(name);
    tabs->setTabPosition(QTabWidget::South);
    tabs->setDocumentMode(true);
    return tabs;
}

QWidget* pageOf(QWidget* content, const QString& name) {
    auto* page = new QWidget;
    page->setObjectName(name);
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(content);
    return page;
}

// A label and its box side by side in a grid.
void addField(QGridLayout* grid, int row, int column, const QString& caption, QWidget* field) {
    auto* label = new QLabel(caption);
    label->setBuddy(field);
    grid->addWidget(label, row, column, Qt::AlignRight | Qt::AlignVCenter);
    grid->addWidget(field, row, column + 1);
}

}  // namespace

void showInBox(QLineEdit* box, const QString& text) {
    box->setText(text);
    // A box narrower than its number must show where the number begins, not where it ends.
    box->setCursorPosition(0);
}

void keepOnScreen(QWidget* window) {
    QScreen* screen = window->screen();
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    // Before its first show a window has no frame yet; its title bar and borders are estimated.
    const QRect frame = window->isVisible() ? window->frameGeometry() : window->geometry().adjusted(-8, -31, 8, 8);
    if (area.contains(frame)) return;
    const QPoint offset = window->pos() - frame.topLeft();
    const QSize border = frame.size() - window->size();
    if (frame.width() > area.width() || frame.height() > area.height())
        window->resize(std::min(window->width(), area.width() - border.width()),
                       std::min(window->height(), area.height() - border.height()));
    const QSize size = window->size() + border;
    const int x = std::clamp(frame.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width()));
    const int y = std::clamp(frame.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height()));
    window->move(QPoint(x, y) + offset);
}

void showWindow(QWidget* window) {
    if (!window) return;
    if (window->isMinimized()) window->showNormal();
    if (!window->isVisible()) keepOnScreen(window);
    window->show();
    // Qt's offscreen platform (tests, benchmarks) has no stacking order to change.
    if (QGuiApplication::platformName() == QLatin1String("offscreen")) return;
    window->raise();
    window->activateWindow();
}

TForm1::TForm1(QWidget* parent) : QMainWindow(parent), lastByteName_(analysis::kNoAmountYet) {
    setObjectName("Form1");
    setWindowTitle(QStringLiteral("むにゃろ"));

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setTabPosition(QTabWidget::North);
    PageControl1->setUsesScrollButtons(true);

    PageControl1->addTab(buildCountPage(), QStringLiteral("カウント"));
    PageControl1->addTab(buildResultPage("Connect", "接続", "Image1", "時間別の接続数・総接続数から見た比率"),
                         QStringLiteral("接続"));
    PageControl1->addTab(buildResultPage("Get", "要求ログ", "Image2", "時間別の要求数・総接続数から見た比率"),
                         QStringLiteral("要求ログ"));
    PageControl1->addTab(buildResultPage("Post", "受信ログ", "Image3", "時間別の受信数・総接続数から見た比率"),
                         QStringLiteral("受信ログ"));
    PageControl1->addTab(buildReferrerPage(), QStringLiteral("リファラ"));
    PageControl1->addTab(pageOf(makePaneAt("bot"), "BotSheet"), QStringLiteral("bot"));
    PageControl1->addTab(pageOf(makePaneAt("生ログ"), "NamaSheet"), QStringLiteral("生ログ"));
    // Only while the unreadable lines are left out rather than stopping the analysis.
    SkippedLines = new LinesView;
    SkippedLines->setObjectName("SkippedLines");
    PageControl1->addTab(pageOf(SkippedLines, "SkippedSheet"), QStringLiteral("読めなかった行"));
    PageControl1->setTabVisible(PageControl1->count() - 1, false);
    PageControl1->setCurrentIndex(0);
    setCentralWidget(PageControl1);

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
    recentMenu_ = file->addMenu(QStringLiteral("最近使ったファイル(&R)"));
    recentMenu_->setObjectName("RecentFiles");
    recentFiles_ = recent::load(common::materiaFile(recent::kFile));
    fillRecentMenu();
    // Another window may have opened logs since: the menu shows the file as it is now.
    connect(recentMenu_, &QMenu::aboutToShow, this, [this] {
        const std::string file = common::materiaFile(recent::kFile);
        std::error_code error;
        if (!std::filesystem::exists(file, error)) return;  // none saved: what this window holds stays
        recentFiles_ = recent::load(file);
        fillRecentMenu();
    });
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

LinesView* TForm1::makePaneAt(std::string_view path) {
    const analysis::PaneInfo* info = analysis::paneAt(path);
    assert(info && "every page of the window holds a pane of the engine's list");
    return makePane(info->name);
}

LinesView* TForm1::makePane(std::string_view name) {
    auto* view = new LinesView;
    view->setObjectName(qs(name));
    panes_.emplace(std::string(name), view);
    return view;
}

QLineEdit* TForm1::makeBox(std::string_view name, int width) {
    auto* edit = new QLineEdit(QStringLiteral("-"));
    edit->setObjectName(qs(name));
    edit->setReadOnly(true);
    // Narrower only when the window is made small.
    edit->setMaximumWidth(width);
    edit->setMinimumWidth(std::min(width, 36));
    edit->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    boxes_.emplace(std::string(name), edit);
    return edit;
}

QWidget* TForm1::buildCountPage() {
    auto* page = new QWidget;
    page->setObjectName("CountSheet");

    auto* fileRow = new QHBoxLayout;
    const analysis::BoxInfo* fileBox = analysis::boxesOf("カウント").front();
    auto* fileLabel = new QLabel(qs(fileBox->label));
    QLineEdit* path = makeBox(fileBox->name);
    path->setMinimumWidth(120);
    path->setMaximumWidth(QWIDGETSIZE_MAX);
    path->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    fileLabel->setBuddy(path);
    fileRow->addWidget(fileLabel);
    fileRow->addWidget(path, 1);

    // The three count groups share one layout: two counts above, the three statuses below.
    auto countGroup = [this](const char* name, std::string_view title) {
        auto* group = new QGroupBox(qs(title));
        group->setObjectName(name);
        auto* grid = new QGridLayout(group);
        grid->setContentsMargins(6, 2, 6, 4);
        grid->setVerticalSpacing(3);
        const auto boxes = analysis::boxesOf("カウント > " + std::string(title));
        assert(boxes.size() == 5);
        for (std::size_t i = 0; i < boxes.size(); ++i) {
            const int row = i < 2 ? 0 : 1;
            const int column = 2 * static_cast<int>(i < 2 ? i : i - 2);
            addField(grid, row, column, qs(boxes[i]->label), makeBox(boxes[i]->name));
        }
        grid->setColumnStretch(6, 1);
        return group;
    };

    auto* analysisGroup = new QGroupBox(QStringLiteral("解析"));
    analysisGroup->setObjectName("GroupBox5");
    auto* grid = new QGridLayout(analysisGroup);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setVerticalSpacing(3);
    auto row = [grid](int r, const QString& caption, std::initializer_list<QWidget*> fields) {
        auto* label = new QLabel(caption);
        label->setBuddy(*fields.begin());
        grid->addWidget(label, r, 0, Qt::AlignRight | Qt::AlignVCenter);
        auto* line = new QHBoxLayout;
        for (QWidget* f : fields) line->addWidget(f);
        line->addStretch(1);
        grid->addLayout(line, r, 1);
    };
    byteName = new QComboBox;
    byteName->setObjectName("byteName");
    for (std::string_view unit : analysis::kUnits) byteName->addItem(qs(unit));
    byteName->setCurrentIndex(0);
    // A list to choose from: the unit is never typed.
    byteName->setEditable(false);
    connect(byteName, &QComboBox::currentIndexChanged, this, [this] { byteNameChange(); });
    // The favicon pair on one row with the "/" between, then one box a row; the amount with its unit.
    const auto boxes = analysis::boxesOf("カウント > 解析");
    assert(boxes.size() == 4 && boxes[1]->label == "/");
    row(0, qs(boxes[0]->label), {makeBox(boxes[0]->name), new QLabel(qs(boxes[1]->label)), makeBox(boxes[1]->name)});
    row(1, qs(boxes[2]->label), {makeBox(boxes[2]->name)});
    row(2, qs(boxes[3]->label), {makeBox(boxes[3]->name, 130), byteName});
    grid->setColumnStretch(1, 1);

    auto* results = new QGroupBox(QStringLiteral("集計結果"));
    results->setObjectName("GroupBox1");
    auto* resultsLayout = new QVBoxLayout(results);
    resultsLayout->setContentsMargins(6, 4, 6, 6);
    resultsLayout->setSpacing(4);
    resultsLayout->addWidget(countGroup("GroupBox2", "接続"));
    resultsLayout->addWidget(countGroup("GroupBox3", "要求(GET)"));
    resultsLayout->addWidget(countGroup("GroupBox4", "受信(POST)"));
    resultsLayout->addWidget(analysisGroup);

    Button1 = new QPushButton(QStringLiteral("ローカル(&L)"));
    Button1->setObjectName("Button1");
    Button2 = new QPushButton(QStringLiteral("FTP接続(&F)"));
    Button2->setObjectName("Button2");
    // Alt+F belongs to the menu ファイル(&F): the button keeps its caption and its click, not the key.
    Button2->setShortcut(QKeySequence());
    connect(Button1, &QPushButton::clicked, this, &TForm1::OpenO1Click);
    connect(Button2, &QPushButton::clicked, this, &TForm1::FTP1Click);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(fileRow);
    layout->addWidget(results);
    layout->addStretch(1);
    layout->addLayout(buttons);
    return page;
}

QWidget* TForm1::chartPage(const char* image, const char* caption) {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("%1Sheet").arg(QString::fromLatin1(image)));
    auto* captionLabel = new QLabel(qs(caption));

    // The scale captions are placed over the chart's own geometry: "50%" centred over the 50 % line,
    // "100%" ending where a full bar ends.
    auto* frame = new QWidget;
    ChartImage* chartImage = new ChartImage(frame);
    chartImage->setObjectName(qs(image));
    charts_.emplace(image, chartImage);
    auto* half = new QLabel(QStringLiteral("50%"), frame);
    auto* full = new QLabel(QStringLiteral("100%"), frame);
    const int scaleHeight = half->sizeHint().height();
    const int halfX = analysis::chart::gridLines()[4];
    half->move(halfX - half->sizeHint().width() / 2, 0);
    full->move(analysis::chart::kWidth - full->sizeHint().width(), 0);
    chartImage->move(0, scaleHeight + 1);
    frame->setFixedSize(analysis::chart::kWidth, scaleHeight + 1 + analysis::chart::kHeight);

    // The chart keeps its pixels in a larger window and stands in the middle, its caption above it.
    auto* column = new QVBoxLayout;
    column->setSpacing(4);
    column->addWidget(captionLabel);
    column->addWidget(frame);
    auto* layout = new QGridLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addLayout(column, 0, 0, Qt::AlignCenter);
    return page;
}

QWidget* TForm1::buildResultPage(const char* prefix, std::string_view page, const char* image,
                                 const char* chartCaption) {
    const QString p = QString::fromLatin1(prefix);
    const std::string at = std::string(page) + " > ";
    QTabWidget* tabs = innerTabs(p + "Pages");

    auto* summary = new QWidget;
    summary->setObjectName(p + "SummarySheet");
    auto* group = new QGroupBox(QStringLiteral("集計結果"));
    auto* form = new QGridLayout(group);
    form->setContentsMargins(6, 4, 6, 6);
    const auto boxes = analysis::boxesOf(at + "集計");
    for (std::size_t i = 0; i < boxes.size(); ++i)
        addField(form, static_cast<int>(i), 0, qs(boxes[i]->label), makeBox(boxes[i]->name));
    auto* side = new QVBoxLayout;
    side->addWidget(group);
    side->addStretch(1);
    auto* summaryLayout = new QHBoxLayout(summary);
    summaryLayout->setContentsMargins(2, 2, 2, 2);
    summaryLayout->addWidget(makePaneAt(at + "集計"), 1);
    summaryLayout->addLayout(side);
    tabs->addTab(summary, QStringLiteral("集計"));

    tabs->addTab(chartPage(image, chartCaption), QStringLiteral("グラフ"));

    QTabWidget* bad = innerTabs(p + "BadPages");
    bad->addTab(pageOf(makePaneAt(at + "不正常ログ > 404"), p + "404Sheet"), QStringLiteral("404"));
    bad->addTab(pageOf(makePaneAt(at + "不正常ログ > 403"), p + "403Sheet"), QStringLiteral("403"));
    bad->addTab(pageOf(makePaneAt(at + "不正常ログ > その他"), p + "OtherSheet"), QStringLiteral("その他"));
    tabs->addTab(pageOf(bad, p + "BadSheet"), QStringLiteral("不正常ログ"));

    tabs->addTab(pageOf(makePaneAt(at + "抽出ログ"), p + "ExtractSheet"), QStringLiteral("抽出ログ"));
    if (analysis::paneAt(at + "監視抽出"))
        tabs->addTab(pageOf(makePaneAt(at + "監視抽出"), p + "WatchSheet"), QStringLiteral("監視抽出"));
    tabs->setCurrentIndex(0);
    return pageOf(tabs, p + "Sheet");
}

QWidget* TForm1::buildReferrerPage() {
    QTabWidget* tabs = innerTabs("ReferrerPages");
    tabs->addTab(pageOf(makePaneAt("リファラ > 参照元"), "ReferrerListSheet"), QStringLiteral("参照元"));
    tabs->addTab(pageOf(makePaneAt("リファラ > 抽出ログ"), "ReferrerLogSheet"), QStringLiteral("抽出ログ"));
    tabs->setCurrentIndex(0);
    return pageOf(tabs, "ReferrerSheet");
}

// --- commands -------------------------------------------------------------------------------------

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
        // An analysis that will be recorded takes its days' figures during the pass.
        if (history::ui::recordingOn()) options.watcher = history::dayWatcher();
        analysis::LogCounting(path, record_, options);
    } catch (const std::exception& e) {
        record_.fail(common::withPeriod(e.what()));
        stopped();
        throw;
    } catch (...) {
        stopped();
        throw;
    }
    StatusLines->setText(QStringLiteral("%L1 行").arg(pane("NamaLog")->lineCount()));
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

// --- recent files and dropped files ----------------------------------------------------------------

void TForm1::rememberRecent(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return;
    // Merged into the file as another window may have left it; the list is a convenience, so a data
    // directory that cannot be written must not stop the analysis.
    try {
        recentFiles_ = recent::remember(common::materiaFile(recent::kFile), common::fullPath(path));
    } catch (const common::AppError&) {
        recentFiles_ = recent::add(recentFiles_, common::fullPath(path));
    }
    fillRecentMenu();
}

void TForm1::fillRecentMenu() {
    recentMenu_->clear();
    int n = 0;
    for (const std::string& path : recentFiles_) {
        QString shown = QString::fromStdString(path);
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* a = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(++n).arg(shown));
        connect(a, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
    recentMenu_->setEnabled(!recentFiles_.empty());
}

void TForm1::openRecent(const std::string& path) {
    if (analysing_) return;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        try {
            recentFiles_ = recent::forget(common::materiaFile(recent::kFile), path);
        } catch (const common::AppError&) {
            std::erase(recentFiles_, path);
        }
        fillRecentMenu();
        showUnicodeErrorBox(this, QStringLiteral("ファイルが見つかりません: %1\n最近使ったファイルの一覧から外しました")
                                      .arg(QString::fromStdString(path)));
        return;
    }
    runCommand(this, [&] { LogCounting(path); });
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dragMoveEvent(QDragMoveEvent* event) {
    if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* event) {
    if (!event->mimeData()->hasUrls()) return;
    event->acceptProposedAction();
    // The file manager waits for the drop to end: the analysis runs once it has.
    const QList<QUrl> urls = event->mimeData()->urls();
    QMetaObject::invokeMethod(
        this, [this, urls] { openDropped(urls); }, Qt::QueuedConnection);
}

void TForm1::openDropped(const QList<QUrl>& urls) {
    if (analysing_) return;
    if (urls.size() != 1 || !urls.front().isLocalFile()) {
        showUnicodeErrorBox(this, QStringLiteral("ログファイルを1つだけドロップしてください"));
        return;
    }
    const QString file = urls.front().toLocalFile();
    if (QFileInfo(file).isDir()) {
        showUnicodeErrorBox(
            this, QStringLiteral("フォルダは開けません。ログファイルを1つドロップしてください: %1").arg(file));
        return;
    }
    const std::string path = pathFromQString(file);
    runCommand(this, [&] { LogCounting(path); });
}

void TForm1::OpenO1Click() {
    QFileDialog dialog(this, QStringLiteral("ファイルを開く"), QDir(QStringLiteral("logs")).absolutePath(),
                       QStringLiteral("Apacheログファイル (*)"));
    dialog.setObjectName("OpenDialog1");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted) return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return;
    const std::string path = pathFromQString(files.first());
    runCommand(this, [&] { LogCounting(path); });
}

void TForm1::FTP1Click() { showWindow(windows_.ftp); }
void TForm1::ExitE1Click() { close(); }
void TForm1::N3Click() { showWindow(windows_.domein); }
void TForm1::UTF81Click() { showWindow(windows_.utf); }
void TForm1::N1Click() { showWindow(windows_.versionInfo); }

void TForm1::RankingClick() {
    if (!rankingWindow_) {
        rankingWindow_ = new RankingWindow(this);
        rankingWindow_->setRankings(rankings_);
        watchRankingWindow();
    }
    showWindow(rankingWindow_);
}

void TForm1::HistoryClick() {
    if (!historyWindow_) historyWindow_ = new history::ui::HistoryWindow(this);
    showWindow(historyWindow_);
}

void TForm1::tallied(const analysis::LogTally& tally) {
    const history::ui::RecordingReport said = history::ui::recordAnalysis(record_.logPath(), tally);
    // Said once the analysis has shown its result: it never waits for the user.
    QTimer::singleShot(0, this, [this, said] {
        std::vector<std::string> all = said.warnings;
        all.insert(all.end(), said.notes.begin(), said.notes.end());
        if (historyWindow_ && historyWindow_->isVisible()) {
            runCommand(historyWindow_, [this] { historyWindow_->refresh(); });
            historyWindow_->showNotes(all);
        }
        if (!said.notes.empty()) statusBar()->showMessage(toQString(said.notes.front()), 15000);
        if (!said.warnings.empty()) {
            QStringList lines;
            for (const auto& n : said.warnings) lines << toQString(common::withPeriod(n));
            QMessageBox::warning(this, windowTitle(), lines.join(QLatin1Char('\n')));
        }
    });
}

void TForm1::rankingsReady(std::shared_ptr<const analysis::Rankings> rankings) {
    rankings_ = std::move(rankings);
    if (rankingWindow_) rankingWindow_->setRankings(rankings_);
}

void TForm1::byteNameChange() {
    runCommand(this, [this] {
        QLineEdit* amount = box("Edit34");
        const analysis::UnitChange change = analysis::byteNameChange(fromQString(amount->text()), lastByteName_,
                                                                     byteName->currentIndex());
        if (change.text) {
            showInBox(amount, toQString(*change.text));
            record_.unitChanged(*change.text, change.lastByteName);
        }
        lastByteName_ = change.lastByteName;
    });
}

void TForm1::closeEvent(QCloseEvent* event) {
    if (analysing_) {
        event->ignore();
        return;
    }
    QMainWindow::closeEvent(event);
    if (event->isAccepted()) emit closed();
}

// --- charts ---------------------------------------------------------------------------------------

void TForm1::imageReady(std::string_view image) {
    ChartImage* c = chart(image);
    c->draw(analysis::chartBackground(c->state(), c->width(), c->height()));
}

void TForm1::Image1Ready() { imageReady("Image1"); }
void TForm1::Image2Ready() { imageReady("Image2"); }
void TForm1::Image3Ready() { imageReady("Image3"); }

void TForm1::GraphDraw(ChartImage* image, const std::array<std::int64_t, 24>& counts, std::int64_t total) {
    image->draw(analysis::chartBars(image->state(), counts, total));
}

// --- ResultView -----------------------------------------------------------------------------------

// The engine names only components of its own lists, which the window builds all of.
LinesView* TForm1::pane(std::string_view name) const {
    const auto it = panes_.find(name);
    assert(it != panes_.end() && "a pane of the engine's list");
    return it->second;
}

QLineEdit* TForm1::box(std::string_view name) const {
    const auto it = boxes_.find(name);
    assert(it != boxes_.end() && "a box of the engine's list");
    return it->second;
}

ChartImage* TForm1::chart(std::string_view name) const {
    const auto it = charts_.find(name);
    assert(it != charts_.end() && "one of the three charts");
    return it->second;
}

void TForm1::clearPane(std::string_view name) { pane(name)->clear(); }
void TForm1::appendLines(std::string_view name, analysis::Lines lines) { pane(name)->append(std::move(lines)); }
void TForm1::appendLine(std::string_view name, std::string line) { pane(name)->append(std::move(line)); }
void TForm1::replacePane(std::string_view name, analysis::Lines lines) { pane(name)->replace(std::move(lines)); }
void TForm1::insertLine(std::string_view name, std::size_t index, std::string line) {
    pane(name)->insert(index, std::move(line));
}
void TForm1::setBox(std::string_view name, std::string text) { showInBox(box(name), toQString(text)); }
int TForm1::selectedUnit() const { return byteName->currentIndex(); }

void TForm1::showProgress() {
    if (windows_.progress) windows_.progress->showProgress();
}
void TForm1::hideProgress() {
    if (windows_.progress) windows_.progress->hideProgress();
}
void TForm1::progressMessage(std::string message) {
    if (windows_.progress) windows_.progress->message(message);
}
void TForm1::progressRange(std::size_t maximum) {
    if (windows_.progress) windows_.progress->setRange(maximum);
}
void TForm1::progressPosition(std::size_t position) {
    if (windows_.progress) windows_.progress->setPosition(position);
}

void TForm1::chartBackground(std::string_view image) {
    if (image == "Image1") Image1Ready();
    else if (image == "Image2") Image2Ready();
    else if (image == "Image3") Image3Ready();
    else assert(!"one of the three charts");
}

void TForm1::chartBars(std::string_view image, const std::array<std::int64_t, 24>& counts, std::int64_t total) {
    GraphDraw(chart(image), counts, total);
}

// The layout is shown at once, so that a pane left empty by it (no referrers in a common log) is
// explained while the user looks.
void TForm1::layoutRead(const analysis::LogLayout& layout, bool detected) {
    StatusFormat->setText(QStringLiteral("形式: ") + toQString(layout.description()));
    StatusFormat->setToolTip((detected ? QStringLiteral("最初の行から判別しました (設定 > ログの形式)")
                                       : QStringLiteral("設定 > ログの形式 で指定されています")));
}

void TForm1::linesSkipped(std::shared_ptr<const analysis::SkippedLines> skipped) {
    StatusSkipped->setText(QStringLiteral("読めなかった行 %L1").arg(skipped->size()));
    SkippedLines->replace(skipped);
    const int page = PageControl1->indexOf(SkippedLines->parentWidget());
    PageControl1->setTabVisible(page, true);
}

// The counts leave out what follows the zero byte: said in the status bar and, beside the progress
// messages, in the progress window.
void TForm1::stoppedAtZeroByte(std::size_t lineNumber) {
    const QString text = QStringLiteral("%L1 行目のゼロのバイトで読み終えました").arg(lineNumber);
    StatusZeroByte->setText(text);
    StatusZeroByte->show();
    if (windows_.progress) windows_.progress->message(fromQString(text));
}

// The line that stopped the pass is shown in the raw log, so that the error box's text can be read
// beside it once the box is closed.
void TForm1::stoppedAt(std::size_t index, std::size_t) {
    LinesView* raw = pane("NamaLog");
    PageControl1->setCurrentWidget(raw->parentWidget());
    raw->selectLine(index);
}
