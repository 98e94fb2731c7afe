// The ranking window's page "ホスト詳細": one row per host with what it did and the robot-like mark,
// sortable by any column, with the visits above it.
#pragma once
#include <memory>

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QWidget>

#include "analysis/behaviour.h"

class QCheckBox;
class QLabel;
class QTableView;

class HostDetailModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Host, Hits, Pages, Bytes, NotFound, First, Last, Agents, RobotsTxt, RobotEntry, RobotLike, Count };
    using QAbstractTableModel::QAbstractTableModel;
    void setRankings(std::shared_ptr<const analysis::Rankings> rankings);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The role by which the rows sort: numbers as numbers.
    static constexpr int kSortRole = Qt::UserRole;

private:
    std::shared_ptr<const analysis::Rankings> rankings_;
};

// Rows of the marked hosts only, when asked.
class HostDetailFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setMarkedOnly(bool on);

protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override;

private:
    bool markedOnly_ = false;
};

class HostDetailPage : public QWidget {
    Q_OBJECT
public:
    explicit HostDetailPage(QWidget* parent = nullptr);
    void setRankings(std::shared_ptr<const analysis::Rankings> rankings);
    QTableView* view() const { return view_; }
    QCheckBox* markedOnly() const { return markedOnly_; }
    QLabel* visits() const { return visits_; }

private:
    HostDetailModel* model_;
    HostDetailFilter* filter_;
    QTableView* view_;
    QCheckBox* markedOnly_;
    QLabel* visits_;
};
