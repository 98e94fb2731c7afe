// The ranking window and the model behind each of its tables.
#include "app/rankingwindow.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>
#include <QVBoxLayout>

#include "app/hostdetailpage.h"
#include "common/share.h"
#include "qtedge/qtext.h"
#include "qtedge/windowkeys.h"

using analysis::RankRow;
using analysis::RankSort;
using analysis::RankTable;

namespace {

// Text from the log as text: control characters and the marks that reorder text on screen become
// U+FFFD, so nothing in an item can break a row, a copy or the layout around it.
QString shownText(QString s) {
    for (QChar& c : s) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069))
            c = QChar(0xFFFD);
    }
    return s;
}

QString shareText(std::int64_t hits, std::int64_t total) {
    const double share = common::sharePercent(hits, total);
    // A few hits among millions are not none.
    if (hits > 0 && share < 0.1) return QStringLiteral("<0.1%");
    return QString::number(share, 'f', 1) + QLatin1Char('%');
}

}  // namespace

// ---- model ----

struct RankingModel::Job {
    std::vector<std::uint32_t> order;
    std::shared_ptr<const analysis::RankPlaces> places;
};

RankingModel::RankingModel(RankTable table, QObject* parent)
    : QAbstractTableModel(parent), table_(table) {}

RankingModel::RankingModel(analysis::BehaviourTable table, QObject* parent)
    : QAbstractTableModel(parent), table_(RankTable::Pages), behaviour_(table) {}

const analysis::RankCounts& RankingModel::counts() const {
    return behaviour_ ? rankings_->behaviour().table(*behaviour_) : rankings_->table(table_);
}
bool RankingModel::bytes() const {
    return behaviour_ ? analysis::Behaviour::hasBytes(*behaviour_) : analysis::hasBytes(table_);
}
bool RankingModel::decoded() const {
    return behaviour_ ? analysis::Behaviour::isUrlTable(*behaviour_) : analysis::isUrlTable(table_);
}

// The worker holds its own references to the rankings; its watcher, a child of the model, goes with
// the model, and with it the report back.
RankingModel::~RankingModel() = default;

void RankingModel::setRankings(std::shared_ptr<const analysis::Rankings> rankings) {
    ++generation_;  // a sort still running for the old rankings is dropped when it ends
    beginResetModel();
    rankings_ = std::move(rankings);
    places_.reset();
    order_.clear();  // indexes into the old table
    endResetModel();
    start();
}

void RankingModel::setFilter(const QString& text) {
    filter_ = fromQString(text);
    start();
}

void RankingModel::sort(int column, Qt::SortOrder order) {
    const bool ascending = order == Qt::AscendingOrder;
    switch (columnAt(column)) {
        case Column::Rank:  // the first rank first is the most hits first
            sortBy_ = RankSort::Hits;
            descending_ = ascending;
            break;
        case Column::Hits:
        case Column::Share:
            sortBy_ = RankSort::Hits;
            descending_ = !ascending;
            break;
        case Column::Bytes:
            sortBy_ = RankSort::Bytes;
            descending_ = !ascending;
            break;
        case Column::Item:
            sortBy_ = RankSort::Item;
            descending_ = !ascending;
            break;
    }
    start();
}

void RankingModel::start() {
    if (!rankings_) {
        emit finished();
        return;
    }
    if (running_) {
        pending_ = true;  // the latest wish is worked out once the running one is done
        return;
    }
    const std::uint64_t generation = ++generation_;
    auto work = [rankings = rankings_, places = places_, counts = &this->counts(), decoded = decoded(),
                 filter = filter_, by = sortBy_, descending = descending_] {
        Job job;
        job.order = analysis::rankOrder(*counts, decoded, filter, by, descending);
        job.places = places ? places : std::make_shared<const analysis::RankPlaces>(*counts);
        return job;
    };
    auto apply = [this](Job job) {
        beginResetModel();
        order_ = std::move(job.order);
        places_ = std::move(job.places);
        endResetModel();
        emit finished();
    };
    if (counts().size() < kWorkerRows) {
        apply(work());
        return;
    }
    running_ = true;
    auto* watcher = new QFutureWatcher<Job>(this);
    // On the window's thread once the work is done; by then the model may want another order.
    connect(watcher, &QFutureWatcherBase::finished, this, [this, watcher, apply, generation] {
        Job job = watcher->result();
        watcher->deleteLater();
        running_ = false;
        if (pending_) {
            pending_ = false;
            start();
        } else if (generation == generation_) {
            apply(std::move(job));
        }
    });
    watcher->setFuture(QtConcurrent::run(work));
}

int RankingModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(order_.size());
}

int RankingModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : bytes() ? 5 : 4; }

RankingModel::Column RankingModel::columnAt(int section) const {
    if (section == 3 && !bytes()) return Column::Item;
    return static_cast<Column>(section);
}

std::size_t RankingModel::totalRows() const { return rankings_ ? counts().size() : 0; }

std::string RankingModel::itemAt(int row) const {
    if (!rankings_ || row < 0 || static_cast<std::size_t>(row) >= order_.size()) return {};
    return std::string(counts().rows()[order_[static_cast<std::size_t>(row)]].item);
}

QString RankingModel::itemShown(const RankRow& row) const {
    return shownText(toQString(decoded() ? analysis::decodedItem(row.item) : std::string(row.item)));
}

QVariant RankingModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !rankings_ || static_cast<std::size_t>(index.row()) >= order_.size()) return {};
    const analysis::RankCounts& counts = this->counts();
    const RankRow& row = counts.rows()[order_[static_cast<std::size_t>(index.row())]];
    const Column column = columnAt(index.column());
    if (role == Qt::TextAlignmentRole)
        return column == Column::Item ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                                      : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && column == Column::Item) return shownText(toQString(row.item));
    if (role != Qt::DisplayRole) return {};
    switch (column) {
        case Column::Rank: return static_cast<qulonglong>(places_ ? places_->rankOf(row.hits) : 0);
        case Column::Hits: return static_cast<qlonglong>(row.hits);
        case Column::Share: return shareText(row.hits, counts.totalHits());
        case Column::Bytes: return static_cast<qlonglong>(row.bytes);
        case Column::Item: return itemShown(row);
    }
    return {};
}

QVariant RankingModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal) return {};
    if (role == Qt::InitialSortOrderRole) {
        // Counts are looked at largest first; ranks and items from the top of the alphabet.
        const Column column = columnAt(section);
        return column == Column::Rank || column == Column::Item ? Qt::AscendingOrder : Qt::DescendingOrder;
    }
    if (role != Qt::DisplayRole) return {};
    switch (columnAt(section)) {
        case Column::Rank: return QStringLiteral("順位");
        case Column::Hits: return QStringLiteral("件数");
        case Column::Share: return QStringLiteral("割合");
        case Column::Bytes: return QStringLiteral("転送量");
        case Column::Item:
            return QString::fromUtf8(
                behaviour_ ? analysis::kBehaviourTableCaptions[static_cast<std::size_t>(*behaviour_)].data()
                           : analysis::kRankTableCaptions[static_cast<std::size_t>(table_)].data());
    }
    return {};
}

QString RankingModel::rowsAsText(const std::vector<int>& rows, bool raw) const {
    QString text;
    if (!rankings_) return text;
    const analysis::RankCounts& counts = this->counts();
    for (int r : rows) {
        if (r < 0 || static_cast<std::size_t>(r) >= order_.size()) continue;
        const RankRow& row = counts.rows()[order_[static_cast<std::size_t>(r)]];
        text += QString::number(places_ ? places_->rankOf(row.hits) : 0) + QLatin1Char('\t') +
                QString::number(row.hits) + QLatin1Char('\t') + shareText(row.hits, counts.totalHits()) +
                QLatin1Char('\t');
        if (bytes()) text += QString::number(row.bytes) + QLatin1Char('\t');
        text += raw ? shownText(toQString(row.item)) : itemShown(row);
        text += QLatin1Char('\n');
    }
    return text;
}

// ---- window ----

RankingWindow::RankingWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("RankingWindow");
    setWindowTitle(QStringLiteral("ランキング"));
    tabs_ = new QTabWidget(this);
    tabs_->setObjectName("RankingTabs");
    for (std::size_t t = 0; t < analysis::kRankTableCount + analysis::kBehaviourTableCount; ++t) {
        const bool ranking = t < analysis::kRankTableCount;
        const std::size_t b = ranking ? 0 : t - analysis::kRankTableCount;
        const QString name = QString::fromUtf8(ranking ? analysis::kRankTableNames[t].data()
                                                       : analysis::kBehaviourTableNames[b].data());
        auto* page = new QWidget;
        page->setObjectName(name);
        auto* model = ranking ? new RankingModel(analysis::rankTable(t), page)
                              : new RankingModel(static_cast<analysis::BehaviourTable>(b), page);
        auto* filter = new QLineEdit;
        filter->setObjectName(name + "Filter");
        filter->setPlaceholderText(QStringLiteral("絞り込み"));
        filter->setClearButtonEnabled(true);
        auto* label = new QLabel(QStringLiteral("絞り込み(&S):"));
        label->setBuddy(filter);
        auto* status = new QLabel;
        status->setObjectName(name + "Status");
        auto* view = new QTableView;
        view->setObjectName(name + "View");
        view->setModel(model);
        view->setSelectionBehavior(QAbstractItemView::SelectRows);
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setWordWrap(false);
        view->verticalHeader()->hide();
        // Fixed row heights and column widths: nothing is measured over a million rows.
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
        view->horizontalHeader()->setStretchLastSection(true);
        view->horizontalHeader()->setSortIndicator(0, Qt::AscendingOrder);
        view->setSortingEnabled(true);
        for (int c = 0; c + 1 < model->columnCount(); ++c) view->setColumnWidth(c, c == 3 ? 96 : 64);
        if (ranking) {
            const RankTable table = analysis::rankTable(t);
            connect(view, &QAbstractItemView::activated, this, [this, model, table](const QModelIndex& index) {
                std::string item = model->itemAt(index.row());
                if (!item.empty()) emit itemChosen(table, std::move(item));
            });
        }
        auto* bar = new QHBoxLayout;
        bar->addWidget(label);
        bar->addWidget(filter, 1);
        bar->addWidget(status);
        if (!ranking && static_cast<analysis::BehaviourTable>(b) == analysis::BehaviourTable::RobotLikeAgents) {
            // The robot list names what the pane and the robot ranking count: the agent's word goes
            // there once the user registers it.
            propose_ = new QPushButton(QStringLiteral("ロボット文字列に登録(&A)..."));
            propose_->setObjectName("ProposeRobot");
            propose_->setEnabled(false);
            bar->addWidget(propose_);
            connect(view->selectionModel(), &QItemSelectionModel::currentRowChanged, propose_,
                    [this, model](const QModelIndex& current) {
                        propose_->setEnabled(!analysis::robotToken(model->itemAt(current.row())).empty());
                    });
            connect(propose_, &QPushButton::clicked, this, [this, model, view] {
                const std::string word = analysis::robotToken(model->itemAt(view->currentIndex().row()));
                if (!word.empty()) emit robotProposed(toQString(word));
            });
        }
        auto* layout = new QVBoxLayout(page);
        layout->addLayout(bar);
        layout->addWidget(view, 1);
        tabs_->addTab(page, QString::fromUtf8(ranking ? analysis::kRankTableCaptions[t].data()
                                                      : analysis::kBehaviourTableCaptions[b].data()));
        tabs_->setTabVisible(tabs_->count() - 1, !ranking || analysis::rankTable(t) != RankTable::VirtualHosts);

        auto showStatus = [model, status] {
            status->setText(model->busy()
                                ? QStringLiteral("並べ替えています...")
                                : QStringLiteral("%1 / %2 件").arg(model->rowCount()).arg(model->totalRows()));
        };
        connect(filter, &QLineEdit::textChanged, model, [model, showStatus](const QString& text) {
            model->setFilter(text);
            showStatus();
        });
        connect(view->horizontalHeader(), &QHeaderView::sortIndicatorChanged, model, showStatus, Qt::QueuedConnection);
        connect(model, &RankingModel::finished, status, showStatus);
        showStatus();
        pages_.push_back(Page{view, filter, status, model});
    }
    hostDetail_ = new HostDetailPage;
    tabs_->addTab(hostDetail_, QStringLiteral("ホスト詳細"));
    // The tabs beside the rankings are many: the row scrolls rather than making the window wide.
    tabs_->setUsesScrollButtons(true);
    tabs_->setElideMode(Qt::ElideNone);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(tabs_);
    closeWithKeys(this, true);

    auto copyAction = [this](const QString& caption, const QKeySequence& keys, bool raw) {
        auto* a = new QAction(caption, this);
        a->setShortcut(keys);
        a->setShortcutContext(Qt::WidgetWithChildrenShortcut);
        connect(a, &QAction::triggered, this, [this, raw] { copySelection(raw); });
        addAction(a);
        for (const Page& p : pages_) p.view->addAction(a);
    };
    copyAction(QStringLiteral("コピー(&C)"), QKeySequence::Copy, false);
    copyAction(QStringLiteral("元の文字列でコピー(&R)"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C), true);
    for (const Page& p : pages_) {
        p.view->setContextMenuPolicy(Qt::ActionsContextMenu);
        p.view->installEventFilter(this);  // the keys reach the copy also where no shortcut fires
    }
    // The rankings' own tabs in view at the first size; the tabs beside them are reached by the
    // scroll arrows, which take some room on the right.
    const int rankingTabs = tabs_->tabBar()->tabRect(static_cast<int>(RankTable::UserAgents)).right();
    resize(std::max({640, minimumSizeHint().width(), rankingTabs + 96}), 480);
}

bool RankingWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_C && key->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
            copySelection(true);
            return true;
        }
        if (key->matches(QKeySequence::Copy)) {
            copySelection(false);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void RankingWindow::setRankings(std::shared_ptr<const analysis::Rankings> rankings) {
    for (const Page& p : pages_) p.model->setRankings(rankings);
    hostDetail_->setRankings(rankings);
    // A table that only some logs have (the virtual hosts) has a tab only while it has rows.
    for (std::size_t t = 0; t < analysis::kRankTableCount; ++t) {
        const RankTable table = analysis::rankTable(t);
        tabs_->setTabVisible(static_cast<int>(t), rankings ? rankings->shows(table) : table != RankTable::VirtualHosts);
    }
}

QTableView* RankingWindow::view(RankTable table) const { return pages_[static_cast<std::size_t>(table)].view; }
QLineEdit* RankingWindow::filter(RankTable table) const { return pages_[static_cast<std::size_t>(table)].filter; }
RankingModel* RankingWindow::model(RankTable table) const { return pages_[static_cast<std::size_t>(table)].model; }

void RankingWindow::copySelection(bool raw) const {
    const auto tab = static_cast<std::size_t>(tabs_->currentIndex());
    if (tab >= pages_.size()) return;
    const Page& p = pages_[tab];
    std::vector<int> rows;
    for (const QModelIndex& i : p.view->selectionModel()->selectedRows()) rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    if (rows.empty()) return;
    QApplication::clipboard()->setText(p.model->rowsAsText(rows, raw));
}
