// The window "推移".
#include "history/ui/historywindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "analysis/rankings.h"
#include "history/columns.h"
#include "history/ui/historychart.h"
#include "history/ui/historysetting.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"

namespace history::ui {

namespace {

QString utf8(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

Day dayOf(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }
QDate dateOf(Day d) { return QDate(d / 10000, d / 100 % 100, d % 100); }

QTableWidgetItem* number(std::int64_t n) {
    auto* item = new QTableWidgetItem(QStringLiteral("%L1").arg(n));
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

QString sourcesOf(const Summary& s) {
    QStringList names;
    for (const auto& n : s.sources) names << QString::fromUtf8(n.data(), static_cast<qsizetype>(n.size()));
    return names.join(QStringLiteral(", "));
}

QTableWidget* readOnlyTable(const char* name) {
    auto* t = new QTableWidget;
    t->setObjectName(name);
    t->setEditTriggers(QAbstractItemView::NoEditTriggers);
    t->setSelectionBehavior(QAbstractItemView::SelectRows);
    t->verticalHeader()->hide();
    t->horizontalHeader()->setStretchLastSection(true);
    return t;
}

}  // namespace

HistoryWindow::HistoryWindow(QWidget* parent, std::string path)
    : QWidget(parent, Qt::Window), path_(path.empty() ? Store::defaultPath() : std::move(path)) {
    setObjectName("THistory");
    setWindowTitle(QStringLiteral("推移"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(buildRangeBar());

    table_ = readOnlyTable("HistoryTable");
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    chart_ = new HistoryChart;
    ranks_ = readOnlyTable("HistoryRankings");
    auto* rankPane = new QWidget;
    auto* rankLayout = new QVBoxLayout(rankPane);
    rankLayout->setContentsMargins(0, 0, 0, 0);
    rankTable_ = new QComboBox;
    rankTable_->setObjectName("HistoryRankTable");
    for (std::string_view caption : analysis::kRankTableCaptions) rankTable_->addItem(utf8(caption));
    auto* rankLabel = new QLabel(QStringLiteral("ランキング(&K):"));
    rankLabel->setBuddy(rankTable_);
    auto* rankBar = new QHBoxLayout;
    rankBar->addWidget(rankLabel);
    rankBar->addWidget(rankTable_);
    auto* rankNote = new QLabel(utf8(kRankingNote));
    rankNote->setWordWrap(true);
    rankBar->addWidget(rankNote, 1);
    rankLayout->addLayout(rankBar);
    rankLayout->addWidget(ranks_);
    connect(rankTable_, &QComboBox::currentIndexChanged, this, [this] { fillRankings(); });

    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(table_);
    split->addWidget(chart_);
    split->addWidget(rankPane);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setStretchFactor(2, 2);
    layout->addWidget(split, 1);
    notes_ = new QLabel(utf8(kDistinctNote));
    notes_->setObjectName("HistoryNotes");
    notes_->setWordWrap(true);
    notes_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(notes_);
    layout->addWidget(buildButtons());
    resize(900, 640);
}

QWidget* HistoryWindow::buildRangeBar() {
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    auto labelled = [&](const QString& text, QWidget* w) {
        auto* l = new QLabel(text);
        l->setBuddy(w);
        row->addWidget(l);
        row->addWidget(w);
    };
    from_ = new QDateEdit;
    from_->setObjectName("HistoryFrom");
    to_ = new QDateEdit;
    to_->setObjectName("HistoryTo");
    for (QDateEdit* e : {from_, to_}) {
        e->setCalendarPopup(true);
        e->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
        e->setDate(QDate::currentDate());
    }
    labelled(QStringLiteral("期間(&F):"), from_);
    labelled(QStringLiteral("〜(&T)"), to_);
    by_ = new QComboBox;
    by_->setObjectName("HistoryBy");
    by_->addItems({QStringLiteral("日ごと"), QStringLiteral("月ごと")});
    labelled(QStringLiteral("単位(&U):"), by_);
    column_ = new QComboBox;
    column_->setObjectName("HistoryChartColumn");
    for (const Column& c : kColumns) column_->addItem(utf8(c.caption));
    labelled(QStringLiteral("グラフ(&G):"), column_);
    auto* show = new QPushButton(QStringLiteral("表示(&S)"));
    show->setObjectName("HistoryShow");
    row->addWidget(show);
    row->addStretch(1);
    connect(show, &QPushButton::clicked, this, [this] { runCommand(this, [this] { refresh(); }); });
    connect(by_, &QComboBox::currentIndexChanged, this, [this] { runCommand(this, [this] { refresh(); }); });
    connect(column_, &QComboBox::currentIndexChanged, this, [this] { fillChart(); });
    return bar;
}

QWidget* HistoryWindow::buildButtons() {
    auto* bar = new QWidget;
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    record_ = new QCheckBox(QStringLiteral("解析した日を履歴に残す"));
    record_->setObjectName("HistoryRecord");
    record_->setChecked(recordingOn());
    connect(record_, &QCheckBox::toggled, this, [this](bool on) { runCommand(this, [on] { setRecordingOn(on); }); });
    row->addWidget(record_);
    row->addStretch(1);
    auto button = [&](const QString& caption, const char* name, auto slot) {
        auto* b = new QPushButton(caption);
        b->setObjectName(name);
        connect(b, &QPushButton::clicked, this, slot);
        row->addWidget(b);
    };
    button(QStringLiteral("削除(&D)..."), "HistoryRemove", [this] { runCommand(this, [this] { removeChosen(); }); });
    button(QStringLiteral("CSVで保存(&C)..."), "HistoryCsv", [this] { askAndSave(false); });
    button(QStringLiteral("HTMLで保存(&H)..."), "HistoryHtml", [this] { askAndSave(true); });
    button(QStringLiteral("閉じる(&X)"), "HistoryClose", [this] { close(); });
    return bar;
}

void HistoryWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    runCommand(this, [this] { refresh(); });
}

void HistoryWindow::refresh() {
    Store store(path_);
    if (!ranged_) {
        if (const auto span = store.span()) {
            from_->setDate(dateOf(span->first));
            to_->setDate(dateOf(span->second));
        }
        ranged_ = true;
    }
    const std::vector<std::string> opened = store.openNotes();
    view_ = readHistory(store, dayOf(from_->date()), dayOf(to_->date()), by_->currentIndex() == 1, 200);
    fillTable();
    fillChart();
    fillRankings();
    if (!opened.empty()) showNotes(opened);
}

void HistoryWindow::fillTable() {
    table_->clear();
    table_->setColumnCount(static_cast<int>(kColumns.size()) + 2);
    QStringList headers{view_.byMonth ? QStringLiteral("月") : QStringLiteral("日付")};
    for (const Column& c : kColumns) headers << utf8(c.caption);
    headers << QStringLiteral("ログ");
    table_->setHorizontalHeaderLabels(headers);
    table_->setRowCount(static_cast<int>(view_.rows.size()) + 1);
    auto put = [&](int row, const Summary& s, const QString& label) {
        table_->setItem(row, 0, new QTableWidgetItem(label));
        for (std::size_t c = 0; c < kColumns.size(); ++c)
            table_->setItem(row, static_cast<int>(c) + 1, number(kColumns[c].value(s)));
        table_->setItem(row, static_cast<int>(kColumns.size()) + 1, new QTableWidgetItem(sourcesOf(s)));
    };
    for (std::size_t i = 0; i < view_.rows.size(); ++i)
        put(static_cast<int>(i), view_.rows[i], QString::fromStdString(rowLabel(view_.rows[i], view_.byMonth)));
    const int last = static_cast<int>(view_.rows.size());
    put(last, view_.total, QStringLiteral("合計"));
    QFont bold = table_->font();
    bold.setBold(true);
    for (int c = 0; c < table_->columnCount(); ++c) table_->item(last, c)->setFont(bold);
    table_->resizeColumnsToContents();
}

void HistoryWindow::fillChart() {
    view_.chartColumn = static_cast<std::size_t>(std::max(0, column_->currentIndex()));
    const Column& c = kColumns[view_.chartColumn];
    std::vector<std::int64_t> values;
    QStringList labels;
    for (const Summary& s : view_.rows) {
        values.push_back(c.value(s));
        labels << QString::fromStdString(rowLabel(s, view_.byMonth));
    }
    chart_->setValues(std::move(values), labels, utf8(c.caption));
}

void HistoryWindow::fillRankings() {
    const auto t = static_cast<std::size_t>(std::max(0, rankTable_->currentIndex()));
    const analysis::RankTable table = analysis::rankTable(t);
    const bool bytes = analysis::hasBytes(table);
    ranks_->clear();
    ranks_->setColumnCount(bytes ? 4 : 3);
    QStringList headers{QStringLiteral("順位"), QStringLiteral("件数")};
    if (bytes) headers << QStringLiteral("転送量(byte)");
    headers << QStringLiteral("項目");
    ranks_->setHorizontalHeaderLabels(headers);
    const auto& rows = view_.rankings.tables[t];
    ranks_->setRowCount(static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const int r = static_cast<int>(i);
        int c = 0;
        ranks_->setItem(r, c++, number(static_cast<std::int64_t>(i) + 1));
        ranks_->setItem(r, c++, number(rows[i].hits));
        if (bytes) ranks_->setItem(r, c++, number(rows[i].bytes));
        const std::string item = analysis::isUrlTable(table) ? analysis::decodedItem(rows[i].item) : rows[i].item;
        ranks_->setItem(r, c, new QTableWidgetItem(toQString(item)));
    }
    ranks_->resizeColumnsToContents();
}

void HistoryWindow::showNotes(const std::vector<std::string>& notes) {
    QStringList lines{utf8(kDistinctNote)};
    for (const auto& n : notes) lines << toQString(n);
    notes_->setText(lines.join(QLatin1Char('\n')));
}

void HistoryWindow::removeChosen() {
    Day from = view_.from, to = view_.to;
    const QList<QTableWidgetItem*> chosen = table_->selectedItems();
    int first = table_->rowCount(), last = -1;
    for (const QTableWidgetItem* item : chosen) {
        first = std::min(first, item->row());
        last = std::max(last, item->row());
    }
    // No rows chosen, or the total row among them: the whole range shown.
    if (last >= 0 && last < static_cast<int>(view_.rows.size())) {
        from = view_.rows[static_cast<std::size_t>(first)].day;
        to = view_.rows[static_cast<std::size_t>(last)].day;
        // A month row stands for its days within the range shown.
        if (view_.byMonth) {
            from = std::max(from + 1, view_.from);
            to = std::min(to + dateOf(to + 1).daysInMonth(), view_.to);
        }
    }
    const QString range = QString::fromStdString(dayText(from)) + QStringLiteral(" 〜 ") +
                          QString::fromStdString(dayText(to));
    const auto answer = QMessageBox::question(this, windowTitle(),
                                              range + QStringLiteral(" の記録を履歴から削除しますか?"),
                                              QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
    if (answer != QMessageBox::Yes) return;
    Store(path_).remove(from, to);
    refresh();
}

void HistoryWindow::askAndSave(bool html) {
    const QString file = QFileDialog::getSaveFileName(
        this, html ? QStringLiteral("HTMLで保存") : QStringLiteral("CSVで保存"),
        html ? QStringLiteral("munyaro-history.html") : QStringLiteral("munyaro-history.csv"),
        html ? QStringLiteral("HTML (*.html)") : QStringLiteral("CSV (*.csv)"));
    if (file.isEmpty()) return;
    runCommand(this, [&] { html ? saveHtml(pathFromQString(file)) : saveCsv(pathFromQString(file)); });
}

void HistoryWindow::saveCsv(const std::string& path) { writeHistoryCsv(view_, path); }
void HistoryWindow::saveHtml(const std::string& path) { writeHistoryHtml(view_, path); }

}  // namespace history::ui
