// The window "推移".
#include "history/ui/historywindow.h"

#include <chrono>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QStyleOptionViewItem>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QThread>
#include <QVBoxLayout>

#include "analysis/rankings.h"
#include "common/apperror.h"
#include "common/cp932.h"
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

// Ranking rows kept of each table.
constexpr std::size_t kTop = 200;
// A range is counted at once while its unions and rankings read little; a share's ranking rows are
// weighed as this many hashes.
std::size_t countAtOnce = 200000;
constexpr std::size_t kRankWeight = 1000;

QTableWidgetItem* number(std::int64_t n) {
    auto* item = new QTableWidgetItem(QStringLiteral("%L1").arg(n));
    item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return item;
}

// A cell of the table: a number, or what stands for one not counted yet (never a number). An item is
// made whole before the table takes it, and changed only where it differs: each change is a signal
// through the view, and a year has six thousand cells.
void setCell(QTableWidget* t, int row, int column, const QString& text, bool right, bool pending) {
    const QBrush brush = pending ? t->palette().brush(QPalette::Disabled, QPalette::Text) : QBrush();
    if (QTableWidgetItem* item = t->item(row, column)) {
        if (item->text() != text) item->setText(text);
        if (item->foreground() != brush) item->setForeground(brush);
        return;
    }
    auto* item = new QTableWidgetItem(text);
    if (right) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (pending) item->setForeground(brush);
    t->setItem(row, column, item);
}

// Each column as wide as its widest text, as resizeColumnsToContents makes it, but found cheaply
// first: the view's own way lays out the text of every cell (a tenth of a second for a year). Each
// cell is estimated by the sum of its characters' advances; the few that come near the widest are
// measured whole, and the widest of them by the delegate as the view would.
void fitColumns(QTableWidget* t) {
    const QFontMetrics plain(t->font());
    QHash<QChar, int> advances;
    auto estimate = [&](const QString& text) {
        int w = 0;
        for (const QChar ch : text) {
            auto at = advances.find(ch);
            if (at == advances.end()) at = advances.insert(ch, plain.horizontalAdvance(ch));
            w += *at;
        }
        return w;
    };
    // Kerning and shaping move a whole text's width from the sum of its characters by a few pixels.
    constexpr int kSlack = 4;
    constexpr std::size_t kMeasured = 8;
    for (int c = 0; c < t->columnCount(); ++c) {
        std::vector<std::pair<int, int>> near;  // estimate, row
        int most = -1;
        for (int r = 0; r < t->rowCount(); ++r) {
            const QTableWidgetItem* item = t->item(r, c);
            if (!item) continue;
            const int w = estimate(item->text());
            if (w + kSlack < most) continue;
            most = std::max(most, w);
            near.emplace_back(w, r);
        }
        std::erase_if(near, [&](const auto& n) { return n.first + kSlack < most; });
        std::sort(near.begin(), near.end(), std::greater<>());
        if (near.size() > kMeasured) near.resize(kMeasured);
        // Rows in another font (the bold total) are measured whole too.
        for (int r = 0; r < t->rowCount(); ++r)
            if (const QTableWidgetItem* item = t->item(r, c); item && item->data(Qt::FontRole).isValid())
                near.emplace_back(0, r);
        int widest = -1, width = -1;
        for (const auto& [guess, r] : near) {
            const QTableWidgetItem* item = t->item(r, c);
            const QVariant font = item->data(Qt::FontRole);
            const int w = font.isValid()
                              ? QFontMetrics(font.value<QFont>().resolve(t->font())).horizontalAdvance(item->text())
                              : plain.horizontalAdvance(item->text());
            if (w > width) width = w, widest = r;
        }
        int hint = t->horizontalHeader()->sectionSizeHint(c);
        if (widest >= 0) {
            QStyleOptionViewItem option;
            option.initFrom(t->viewport());
            hint = std::max(hint, t->itemDelegate()->sizeHint(option, t->model()->index(widest, c)).width() +
                                      (t->showGrid() ? 1 : 0));
        }
        t->setColumnWidth(c, hint);
    }
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
    rankState_ = new QLabel;
    rankState_->setObjectName("HistoryRankState");
    rankBar->addWidget(rankState_);
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

HistoryWindow::~HistoryWindow() {
    // Workers still counting are let finish, so that nothing reads the file once the window is gone.
    *alive_ = false;
    for (const auto& w : started_) w.wait();
}

std::size_t HistoryWindow::setCountAtOnceUpTo(std::size_t hashes) { return std::exchange(countAtOnce, hashes); }

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
    const Day from = dayOf(from_->date()), to = dayOf(to_->date());
    const bool byMonth = by_->currentIndex() == 1;
    RangeSummaries figures = store.figures(from, to, byMonth);
    // What an earlier range was still counting is not wanted any more.
    ++generation_;
    counting_ = {};
    countFailed_ = false;
    if (figures.hashes + figures.shares * kRankWeight <= countAtOnce) {
        view_ = readHistory(store, from, to, byMonth, kTop);
    } else {
        view_ = HistoryView{from, to, byMonth, std::move(figures.rows), std::move(figures.total), {}, 0};
        startCounting();
    }
    fillTable();
    fillChart();
    fillRankings();
    if (!opened.empty()) showNotes(opened);
}

void HistoryWindow::startCounting() {
    auto task = std::make_shared<std::packaged_task<Counted()>>(
        [path = path_, from = view_.from, to = view_.to, byMonth = view_.byMonth] {
            Counted c;
            try {
                Store store(path);
                c.view = readHistory(store, from, to, byMonth, kTop);
            } catch (const std::bad_alloc&) {
                c.error = common::msg::outOfMemory();
            } catch (const std::exception& e) {
                c.error = e.what();
            }
            return c;
        });
    counting_ = task->get_future().share();
    std::erase_if(started_, [](const std::shared_future<Counted>& w) {
        return w.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
    });
    started_.push_back(counting_);
    QThread* worker = QThread::create([this, task, generation = generation_, alive = alive_] {
        (*task)();
        // Queued to the window's thread; the window may be gone by then, or showing another range.
        QMetaObject::invokeMethod(
            qApp,
            [this, generation, alive] {
                if (*alive && generation == generation_) takeCounts();
            },
            Qt::QueuedConnection);
    });
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start(QThread::LowPriority);
}

bool HistoryWindow::waitForCounts(int seconds) {
    if (!counting_.valid()) return true;
    if (counting_.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) return false;
    takeCounts();
    return true;
}

void HistoryWindow::takeCounts() {
    if (!counting_.valid()) return;
    Counted c = counting_.get();
    counting_ = {};
    if (!c.error.empty()) {
        countFailed_ = true;
        notes_->setText(notes_->text() + QLatin1Char('\n') + toQString(c.error));
    } else {
        c.view.chartColumn = view_.chartColumn;
        view_ = std::move(c.view);
    }
    fillTable();
    fillChart();
    fillRankings();
}

void HistoryWindow::fillTable() {
    const int columns = static_cast<int>(kColumns.size()) + 2;
    const int rows = static_cast<int>(view_.rows.size()) + 1;
    const QString first = view_.byMonth ? QStringLiteral("月") : QStringLiteral("日付");
    // The same rows again (their counts arriving): the cells change in place, and the selection and
    // the scrolling stay.
    bool same = table_->rowCount() == rows && table_->columnCount() == columns &&
                table_->horizontalHeaderItem(0) && table_->horizontalHeaderItem(0)->text() == first;
    for (int r = 0; same && r + 1 < rows; ++r)
        same = table_->item(r, 0) &&
               table_->item(r, 0)->text() ==
                   QString::fromStdString(rowLabel(view_.rows[static_cast<std::size_t>(r)], view_.byMonth));
    if (!same) {
        table_->clear();
        table_->setColumnCount(columns);
        QStringList headers{first};
        for (const Column& c : kColumns) headers << utf8(c.caption);
        headers << QStringLiteral("ログ");
        table_->setHorizontalHeaderLabels(headers);
        table_->setRowCount(rows);
    }
    const QString pending = countFailed_ ? QStringLiteral("—") : QStringLiteral("計算中");
    auto put = [&](int row, const Summary& s, const QString& label) {
        setCell(table_, row, 0, label, false, false);
        for (std::size_t c = 0; c < kColumns.size(); ++c) {
            const std::int64_t n = kColumns[c].value(s);
            const bool counted = n != kNotCounted;
            setCell(table_, row, static_cast<int>(c) + 1, counted ? QStringLiteral("%L1").arg(n) : pending, true,
                    !counted);
        }
        setCell(table_, row, columns - 1, sourcesOf(s), false, false);
    };
    for (std::size_t i = 0; i < view_.rows.size(); ++i)
        put(static_cast<int>(i), view_.rows[i], QString::fromStdString(rowLabel(view_.rows[i], view_.byMonth)));
    const int last = static_cast<int>(view_.rows.size());
    put(last, view_.total, QStringLiteral("合計"));
    QFont bold = table_->font();
    bold.setBold(true);
    for (int c = 0; c < table_->columnCount(); ++c)
        if (table_->item(last, c)->font() != bold) table_->item(last, c)->setFont(bold);
    fitColumns(table_);
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
    const bool pending = std::find(values.begin(), values.end(), kNotCounted) != values.end();
    chart_->setValues(std::move(values), labels,
                      utf8(c.caption) + (pending ? countFailed_ ? QStringLiteral(" (—)") : QStringLiteral(" (計算中)")
                                                 : QString()));
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
    rankState_->setText(countFailed_ ? QStringLiteral("—") : counting() ? QStringLiteral("計算中") : QString());
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

void HistoryWindow::saveCsv(const std::string& path) {
    awaitCounts();
    writeHistoryCsv(view_, path);
}

void HistoryWindow::saveHtml(const std::string& path) {
    awaitCounts();
    writeHistoryHtml(view_, path);
}

// A page or a file holds every number: the counting is waited for, and a failed one saves nothing.
void HistoryWindow::awaitCounts() {
    if (!waitForCounts() || countFailed_)
        throw common::AppError(common::jp(u8"履歴の集計ができていないので保存できません"));
}

}  // namespace history::ui
