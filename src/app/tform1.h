// The main window "むにゃろ": tab pages of result panes, summary boxes and hourly charts, the menu, and
// the commands that open a log. It shows what the analysis writes and holds no analysis of its own.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <QList>

#include <QMainWindow>

#include "analysis/rankings.h"
#include "analysis/resultlayout.h"
#include "analysis/resultview.h"
#include "app/showwindow.h"
#include "history/ui/historysetting.h"
#include "report/reportrecord.h"

class ChartImage;
class LinesView;
class QAction;
class RankingWindow;
class QComboBox;
class QLabel;
class QLayout;
class ReadMenu;
class QMenu;
class QUrl;
class QLineEdit;
class QPushButton;
class QString;
class QTabWidget;
class TForm2;
namespace history::ui {
class HistoryWindow;
}

class TForm1 : public QMainWindow, public analysis::ResultView {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);

    // The other windows, created at start-up after this one; a missing one makes its command do nothing.
    struct Windows {
        TForm2* progress = nullptr;
        QWidget* versionInfo = nullptr;
        QWidget* domein = nullptr;
        QWidget* utf = nullptr;
        QWidget* ftp = nullptr;
    };
    void setWindows(const Windows& windows) { windows_ = windows; }

    // Analyses the log at path into this window. Errors propagate to the command that called it.
    void LogCounting(const std::string& path);
    bool analysing() const { return analysing_; }

    // Commands.
    void OpenO1Click();  // the open-local-log command; Button1 runs the same
    void FTP1Click();    // and Button2
    void SaveReport1Click();
    void SaveCsv1Click();
    void ExitE1Click();
    void N3Click();
    void UTF81Click();
    void N1Click();
    void RankingClick();    // the ranking window, made when first asked for
    void ReanalyseClick();  // F5: the same log again, with the lists as they are now
    void HistoryClick();    // the window 推移, made when first asked for
    // The raw log with only the lines of a ranking row's item, through its find bar.
    void showRankedLines(analysis::RankTable table, const std::string& item);
    void byteNameChange();

    // The charts: empty backgrounds at the start of an analysis, bars at its end.
    void Image1Ready();
    void Image2Ready();
    void Image3Ready();
    void GraphDraw(ChartImage* image, const std::array<std::int64_t, 24>& counts, std::int64_t total);

    // The components the analysis writes to, by name.
    LinesView* pane(std::string_view name) const;
    QLineEdit* box(std::string_view name) const;
    ChartImage* chart(std::string_view name) const;
    // What the last analysis showed, for the saved report.
    const report::ReportRecord& reportRecord() const { return record_; }

    // ResultView.
    void clearPane(std::string_view name) override;
    void appendLines(std::string_view name, analysis::Lines lines) override;
    void appendLine(std::string_view name, std::string line) override;
    void replacePane(std::string_view name, analysis::Lines lines) override;
    void insertLine(std::string_view name, std::size_t index, std::string line) override;
    void setBox(std::string_view name, std::string text) override;
    int selectedUnit() const override;
    int lastByteName() const override { return lastByteName_; }
    void setLastByteName(int unit) override { lastByteName_ = unit; }
    void showProgress() override;
    void hideProgress() override;
    void progressMessage(std::string message) override;
    void progressRange(std::size_t maximum) override;
    void progressPosition(std::size_t position) override;
    void chartBackground(std::string_view image) override;
    void chartBars(std::string_view image, const std::array<std::int64_t, 24>& counts, std::int64_t total) override;
    void rankingsReady(std::shared_ptr<const analysis::Rankings> rankings) override;
    RankingWindow* rankingWindow() const { return rankingWindow_; }
    void stoppedAt(std::size_t index, std::size_t lineNumber) override;
    void layoutRead(const analysis::LogLayout& layout, bool detected) override;
    void linesSkipped(std::shared_ptr<const analysis::SkippedLines> skipped) override;
    ReadMenu* readMenu() const { return readMenu_; }
    void stoppedAtZeroByte(std::size_t lineNumber) override;
    // Keeps the analysed days in the history (unless the user turned that off).
    void tallied(const analysis::LogTally& tally) override;
    history::ui::HistoryWindow* historyWindow() const { return historyWindow_; }

    QTabWidget* PageControl1;
    QComboBox* byteName;
    QPushButton* Button1;
    QPushButton* Button2;
    QAction* OpenO1;
    QAction* FTP1;
    QAction* SaveReport1;
    QAction* SaveCsv1;
    QAction* ExitE1;
    QAction* N3;
    QAction* UTF81;
    QAction* N1;
    QAction* Ranking1;
    QAction* Reanalyse1;
    QAction* History1;
    QLabel* StatusFile;                 // the status bar: the analysed file,
    QLabel* StatusLines;                // its line count
    QLabel* StatusTime;                 // and the time the analysis took
    QLabel* StatusFormat;               // the layout the log was read by
    QLabel* StatusSkipped;              // the lines left out as unreadable, when they are
    LinesView* SkippedLines;            // those lines, on a page beside the raw log
    QLabel* StatusZeroByte;             // where a zero byte ended the log's text, if one did
    QLabel* SaveNote = nullptr;         // where the last report was saved, or why it was not,
    QPushButton* OpenFolder = nullptr;  // with the folder a click away

    // A dropped file is analysed as if opened with ローカル; a folder or several files are refused.
    void openDropped(const QList<QUrl>& urls);
    // A recent file chosen from the menu; one that is gone drops out of the list with a message.
    void openRecent(const std::string& path);
    const std::vector<std::string>& recentFiles() const { return recentFiles_; }
    QMenu* recentMenu() const { return recentMenu_; }

signals:
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void buildMenu();
    void buildStatusBar();
    void addConveniences();  // keys, the first start's hint, the sample log
    void offerSampleLog();
    void watchRankingWindow();
    // The note in the status bar after a save; no folder: no button (a failed save).
    void showSaveNote(const QString& text, const QString& folder);
    void hideSaveNote();
    // Runs a save: done and its folder in the status bar, or the reason it failed (also in the box).
    bool runSave(const std::function<void()>& save, const QString& done, const QString& folder);
    void buildRecentMenu(QMenu* file);
    void rememberRecent(const std::string& path);
    void fillRecentMenu();
    void buildPages();
    QWidget* buildCountPage();
    QLayout* buildFileRow();
    QWidget* buildCountGroup(const char* name, std::string_view title);
    QWidget* buildAnalysisGroup(std::string_view title);  // the favicon pair, requests per host, the amount
    QLayout* buildOpenButtons();
    // A page of results ("接続", "要求ログ", "受信ログ") with the panes and boxes the engine places there.
    QWidget* buildResultPage(const char* prefix, std::string_view page);
    QWidget* buildReferrerPage();
    LinesView* makePane(std::string_view name);
    LinesView* makePaneAt(std::string_view path);  // the pane of the engine's list at that path
    QLineEdit* makeBox(std::string_view name, int width = 56);
    QWidget* chartPage(const analysis::ChartInfo& info);
    void imageReady(std::string_view image);

    Windows windows_;
    std::map<std::string, LinesView*, std::less<>> panes_;
    std::map<std::string, QLineEdit*, std::less<>> boxes_;
    std::map<std::string, ChartImage*, std::less<>> charts_;
    int lastByteName_;
    QMenu* recentMenu_ = nullptr;
    std::vector<std::string> recentFiles_;
    ReadMenu* readMenu_ = nullptr;
    bool analysing_ = false;
    // What recording the analysis under way said, beside the pass's last step.
    std::optional<history::ui::RecordingReport> recorded_;
    report::ReportRecord record_{this};
    std::shared_ptr<const analysis::Rankings> rankings_;
    RankingWindow* rankingWindow_ = nullptr;
    history::ui::HistoryWindow* historyWindow_ = nullptr;
};

// Sets a summary box's text with its first character in view.
void showInBox(QLineEdit* box, const QString& text);
