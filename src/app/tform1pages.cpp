// The main window's tab pages, built from the engine's lists of panes, boxes and charts.
#include <cassert>

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "analysis/chart.h"
#include "analysis/report.h"
#include "analysis/resultlayout.h"
#include "app/chartimage.h"
#include "app/linesview.h"
#include "app/tform1.h"

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

void TForm1::buildPages() {
    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    PageControl1->setTabPosition(QTabWidget::North);
    PageControl1->setUsesScrollButtons(true);

    PageControl1->addTab(buildCountPage(), QStringLiteral("カウント"));
    PageControl1->addTab(buildResultPage("Connect", "接続"), QStringLiteral("接続"));
    PageControl1->addTab(buildResultPage("Get", "要求ログ"), QStringLiteral("要求ログ"));
    PageControl1->addTab(buildResultPage("Post", "受信ログ"), QStringLiteral("受信ログ"));
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

QLayout* TForm1::buildFileRow() {
    auto* fileRow = new QHBoxLayout;
    const analysis::BoxInfo* fileBox = analysis::boxesOf(analysis::kCountPage).front();
    auto* fileLabel = new QLabel(qs(fileBox->label));
    QLineEdit* path = makeBox(fileBox->name);
    path->setMinimumWidth(120);
    path->setMaximumWidth(QWIDGETSIZE_MAX);
    path->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    fileLabel->setBuddy(path);
    fileRow->addWidget(fileLabel);
    fileRow->addWidget(path, 1);
    return fileRow;
}

// The three count groups share one layout: two counts above, the three statuses below.
QWidget* TForm1::buildCountGroup(const char* name, std::string_view title) {
    auto* group = new QGroupBox(qs(title));
    group->setObjectName(name);
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(6, 2, 6, 4);
    grid->setVerticalSpacing(3);
    const auto boxes = analysis::boxesOf(std::string(analysis::kCountPage) + " > " + std::string(title));
    assert(boxes.size() == 5);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const int row = i < 2 ? 0 : 1;
        const int column = 2 * static_cast<int>(i < 2 ? i : i - 2);
        addField(grid, row, column, qs(boxes[i]->label), makeBox(boxes[i]->name));
    }
    grid->setColumnStretch(6, 1);
    return group;
}

QWidget* TForm1::buildAnalysisGroup(std::string_view title) {
    auto* analysisGroup = new QGroupBox(qs(title));
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
    const auto boxes = analysis::boxesOf(std::string(analysis::kCountPage) + " > " + std::string(title));
    assert(boxes.size() == 4 && boxes[1]->label == "/");
    row(0, qs(boxes[0]->label), {makeBox(boxes[0]->name), new QLabel(qs(boxes[1]->label)), makeBox(boxes[1]->name)});
    row(1, qs(boxes[2]->label), {makeBox(boxes[2]->name)});
    row(2, qs(boxes[3]->label), {makeBox(boxes[3]->name, 130), byteName});
    grid->setColumnStretch(1, 1);
    return analysisGroup;
}

QLayout* TForm1::buildOpenButtons() {
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
    return buttons;
}

QWidget* TForm1::buildCountPage() {
    auto* page = new QWidget;
    page->setObjectName("CountSheet");
    // Made in the order of the focus chain the page had when it was one function.
    QLayout* fileRow = buildFileRow();
    QWidget* analysisGroup = buildAnalysisGroup(analysis::kCountGroups[3]);

    auto* results = new QGroupBox(QStringLiteral("集計結果"));
    results->setObjectName("GroupBox1");
    auto* resultsLayout = new QVBoxLayout(results);
    resultsLayout->setContentsMargins(6, 4, 6, 6);
    resultsLayout->setSpacing(4);
    resultsLayout->addWidget(buildCountGroup("GroupBox2", analysis::kCountGroups[0]));
    resultsLayout->addWidget(buildCountGroup("GroupBox3", analysis::kCountGroups[1]));
    resultsLayout->addWidget(buildCountGroup("GroupBox4", analysis::kCountGroups[2]));
    resultsLayout->addWidget(analysisGroup);
    QLayout* buttons = buildOpenButtons();

    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->setSpacing(4);
    layout->addLayout(fileRow);
    layout->addWidget(results);
    layout->addStretch(1);
    layout->addLayout(buttons);
    return page;
}

QWidget* TForm1::chartPage(const analysis::ChartInfo& info) {
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("%1Sheet").arg(qs(info.image)));
    auto* captionLabel = new QLabel(qs(info.caption));

    // The scale captions are placed over the chart's own geometry: "50%" centred over the 50 % line,
    // "100%" ending where a full bar ends.
    auto* frame = new QWidget;
    ChartImage* chartImage = new ChartImage(frame);
    chartImage->setObjectName(qs(info.image));
    charts_.emplace(std::string(info.image), chartImage);
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

QWidget* TForm1::buildResultPage(const char* prefix, std::string_view page) {
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

    const analysis::ChartInfo* chartInfo = analysis::chartAt(at + "グラフ");
    assert(chartInfo && "every result page has its chart");
    tabs->addTab(chartPage(*chartInfo), QStringLiteral("グラフ"));

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
