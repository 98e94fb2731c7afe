// The window "ランキング": one tab per ranking table, sortable by any column, with a filter box.
// Rows are made only for what is on screen; sorting and filtering a large table run on Qt's thread
// pool (QtConcurrent) so the window never freezes.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QAbstractTableModel>
#include <QWidget>

#include "analysis/behaviour.h"
#include "analysis/rankings.h"

class HostDetailPage;
class QLabel;
class QPushButton;
class QLineEdit;
class QTabWidget;
class QTableView;

// One table of one analysis as rows on screen, in the order of the last finished sort/filter.
class RankingModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Tables of at least this many rows are sorted and filtered on a worker thread: below it a sort
    // and filter stay far below a tenth of a second.
    static constexpr std::size_t kWorkerRows = 20000;

    RankingModel(analysis::RankTable table, QObject* parent = nullptr);
    // A table beside the rankings (behaviour.h).
    RankingModel(analysis::BehaviourTable table, QObject* parent = nullptr);
    ~RankingModel() override;

    void setRankings(std::shared_ptr<const analysis::Rankings> rankings);
    void setFilter(const QString& text);
    void sort(int column, Qt::SortOrder order) override;
    // True while a sort or filter is being worked out; finished() follows.
    bool busy() const { return running_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The rows as tab-separated lines: rank, hits, share, bytes where the table has them, and the item
    // as shown, or as in the log when raw.
    QString rowsAsText(const std::vector<int>& rows, bool raw) const;
    // Rows shown of all the table's rows.
    std::size_t totalRows() const;
    // The item of a row on screen as the log holds it (code page 932); empty outside the rows.
    std::string itemAt(int row) const;

signals:
    void finished();

private:
    enum class Column { Rank, Hits, Share, Bytes, Item };
    Column columnAt(int section) const;
    QString itemShown(const analysis::RankRow& row) const;
    void start();
    // The table shown, and how.
    const analysis::RankCounts& counts() const;
    bool bytes() const;
    bool decoded() const;

    struct Job;
    analysis::RankTable table_;
    std::optional<analysis::BehaviourTable> behaviour_;
    std::shared_ptr<const analysis::Rankings> rankings_;
    std::shared_ptr<const analysis::RankPlaces> places_;
    std::vector<std::uint32_t> order_;
    std::string filter_;  // code page 932
    analysis::RankSort sortBy_ = analysis::RankSort::Hits;
    bool descending_ = true;
    bool running_ = false;
    bool pending_ = false;
    std::uint64_t generation_ = 0;
};

class RankingWindow : public QWidget {
    Q_OBJECT
public:
    explicit RankingWindow(QWidget* parent = nullptr);

    // The rankings of the last analysis; null empties every table.
    void setRankings(std::shared_ptr<const analysis::Rankings> rankings);

    QTabWidget* tabs() const { return tabs_; }
    QTableView* view(analysis::RankTable table) const;
    QLineEdit* filter(analysis::RankTable table) const;
    RankingModel* model(analysis::RankTable table) const;
    // Copies the selected rows of the current tab to the clipboard (raw: items as in the log).
    void copySelection(bool raw) const;

    HostDetailPage* hostDetail() const { return hostDetail_; }
    QPushButton* proposeButton() const { return propose_; }

signals:
    // A row was double-clicked or Enter pressed on it: the user wants the lines of its item.
    void itemChosen(analysis::RankTable table, std::string item);
    // The user wants the distinctive word of a robot-like agent registered as a robot string.
    void robotProposed(QString word);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Page {
        QTableView* view;
        QLineEdit* filter;
        QLabel* status;
        RankingModel* model;
    };
    std::vector<Page> pages_;
    QTabWidget* tabs_;
    HostDetailPage* hostDetail_ = nullptr;
    QPushButton* propose_ = nullptr;
};
