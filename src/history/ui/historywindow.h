// The window "推移": the history by day or month over a range with its totals, a chart of one column,
// the rankings of the range, removing days, and saving as CSV or HTML.
#pragma once
#include <future>
#include <memory>
#include <string>
#include <vector>

#include <QWidget>

#include "history/export.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QTableWidget;

namespace history::ui {

class HistoryChart;

class HistoryWindow : public QWidget {
    Q_OBJECT
public:
    // path: the history file (empty: the data folder's).
    explicit HistoryWindow(QWidget* parent = nullptr, std::string path = {});
    ~HistoryWindow() override;

    // Reads the chosen range again; the first time, the range is every recorded day. The table and
    // the chart come from the per-day figures at once; the distinct counts of several shares and the
    // rankings of a large range are counted on a worker and shown as "計算中" until then.
    void refresh();
    // True while that counting runs.
    bool counting() const { return counting_.valid(); }
    // Waits for the counting and shows it; false when it had not ended after seconds.
    bool waitForCounts(int seconds = 120);
    // Ranges whose counting reads at most this many hashes are counted at once (tests lower it);
    // returns the limit before.
    static std::size_t setCountAtOnceUpTo(std::size_t hashes);
    // Shows what the last recording said (code page 932), or nothing.
    void showNotes(const std::vector<std::string>& notes);
    // Removes the selected rows' days, or every day of the range when none is selected, after asking.
    void removeChosen();
    void saveCsv(const std::string& path);
    void saveHtml(const std::string& path);

    QTableWidget* table() const { return table_; }
    QTableWidget* rankingTable() const { return ranks_; }
    HistoryChart* chart() const { return chart_; }
    QComboBox* chartColumn() const { return column_; }
    QComboBox* by() const { return by_; }
    QDateEdit* from() const { return from_; }
    QDateEdit* to() const { return to_; }
    QCheckBox* recordSetting() const { return record_; }
    QLabel* notes() const { return notes_; }
    QLabel* rankingState() const { return rankState_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    QWidget* buildRangeBar();
    QWidget* buildButtons();
    void fillTable();
    void fillChart();
    void fillRankings();
    void askAndSave(bool html);
    void startCounting();
    void takeCounts();
    void awaitCounts();

    // What the worker gives: the whole view, or the user's message (code page 932).
    struct Counted {
        HistoryView view;
        std::string error;
    };

    std::string path_;
    std::shared_future<Counted> counting_;         // of the range shown
    std::vector<std::shared_future<Counted>> started_;  // every worker that may still run
    std::uint64_t generation_ = 0;
    bool countFailed_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    bool ranged_ = false;  // the range has been set once
    HistoryView view_;
    QDateEdit* from_;
    QDateEdit* to_;
    QComboBox* by_;
    QComboBox* column_;
    QComboBox* rankTable_;
    QTableWidget* table_;
    QTableWidget* ranks_;
    HistoryChart* chart_;
    QCheckBox* record_;
    QLabel* notes_;
    QLabel* rankState_;
};

}  // namespace history::ui
