// The host detail page of the ranking window.
#include "app/hostdetailpage.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>
#include <QVBoxLayout>

#include "qtedge/qtext.h"

namespace {

// Hosts and robot strings come from the log: nothing in them may break a row.
QString shownText(QString s) {
    for (QChar& c : s)
        if (c.unicode() < 0x20 || (c.unicode() >= 0x7F && c.unicode() <= 0x9F)) c = QChar(0xFFFD);
    return s;
}

}  // namespace

void HostDetailModel::setRankings(std::shared_ptr<const analysis::Rankings> rankings) {
    beginResetModel();
    rankings_ = std::move(rankings);
    endResetModel();
}

int HostDetailModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !rankings_ ? 0 : static_cast<int>(rankings_->behaviour().hostDetail().size());
}

int HostDetailModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : Count; }

QVariant HostDetailModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) return {};
    const analysis::HostDetail& h = rankings_->behaviour().hostDetail()[static_cast<std::size_t>(index.row())];
    const int c = index.column();
    if (role == Qt::TextAlignmentRole) {
        const bool number = c == Hits || c == Pages || c == Bytes || c == NotFound || c == Agents;
        return number ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole && role != kSortRole) return {};
    switch (c) {
        case Host: return shownText(toQString(h.host));
        case Hits: return static_cast<qlonglong>(h.hits);
        case Pages: return static_cast<qlonglong>(h.pages);
        case Bytes: return static_cast<qlonglong>(h.bytes);
        case NotFound: return static_cast<qlonglong>(h.notFound);
        case First: return QString::fromStdString(analysis::isoTime(h.first));
        case Last: return QString::fromStdString(analysis::isoTime(h.last));
        case Agents: return static_cast<qlonglong>(h.agents);
        case RobotsTxt:
            return role == kSortRole ? QVariant(h.robotsTxt) : QVariant(h.robotsTxt ? QStringLiteral("○") : QString());
        case RobotEntry: return shownText(toQString(h.robotEntry));
        case RobotLike:
            return role == kSortRole ? QVariant(h.robotLike)
                                     : QVariant(h.robotLike ? QStringLiteral("ロボットらしい") : QString());
    }
    return {};
}

QVariant HostDetailModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
    static const char* const kCaptions[] = {"ホスト",     "件数",           "ページ",        "転送量",
                                            "404",        "最初",           "最後",          "ブラウザ",
                                            "robots.txt", "ロボット文字列", "ロボットらしい"};
    return section >= 0 && section < Count ? QString::fromUtf8(kCaptions[section]) : QVariant();
}

void HostDetailFilter::setMarkedOnly(bool on) {
    markedOnly_ = on;
    invalidateFilter();
}

bool HostDetailFilter::filterAcceptsRow(int row, const QModelIndex& parent) const {
    if (!markedOnly_) return true;
    return sourceModel()->index(row, HostDetailModel::RobotLike, parent).data(HostDetailModel::kSortRole).toBool();
}

HostDetailPage::HostDetailPage(QWidget* parent) : QWidget(parent) {
    setObjectName("hostDetail");
    model_ = new HostDetailModel(this);
    filter_ = new HostDetailFilter(this);
    filter_->setSourceModel(model_);
    filter_->setSortRole(HostDetailModel::kSortRole);
    visits_ = new QLabel;
    visits_->setObjectName("VisitsSummary");
    auto* rule = new QLabel(
        QString::fromUtf8(analysis::kRobotLikeRule.data(), static_cast<qsizetype>(analysis::kRobotLikeRule.size())));
    rule->setObjectName("RobotLikeRule");
    rule->setWordWrap(true);
    markedOnly_ = new QCheckBox(QStringLiteral("ロボットらしいホストだけ(&M)"));
    markedOnly_->setObjectName("MarkedOnly");
    connect(markedOnly_, &QCheckBox::toggled, filter_, &HostDetailFilter::setMarkedOnly);
    view_ = new QTableView;
    view_->setObjectName("hostDetailView");
    view_->setModel(filter_);
    view_->setSortingEnabled(true);
    view_->sortByColumn(HostDetailModel::Hits, Qt::DescendingOrder);
    view_->setSelectionBehavior(QAbstractItemView::SelectRows);
    view_->setWordWrap(false);
    view_->verticalHeader()->hide();
    view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(visits_);
    layout->addWidget(rule);
    layout->addWidget(markedOnly_);
    layout->addWidget(view_, 1);
}

void HostDetailPage::setRankings(std::shared_ptr<const analysis::Rankings> rankings) {
    if (rankings) {
        const analysis::Behaviour& b = rankings->behaviour();
        const analysis::VisitSummary& v = b.visits();
        visits_->setText(QStringLiteral("訪問者 %1、訪問 %2、訪問あたりのページ %3、訪問の長さ (中央値) %4 秒")
                             .arg(b.table(analysis::BehaviourTable::Visitors).size())
                             .arg(v.count)
                             .arg(v.pagesPerVisit(), 0, 'f', 2)
                             .arg(v.medianSeconds));
    } else {
        visits_->clear();
    }
    model_->setRankings(std::move(rankings));
}
