// What one analysis wrote into its window, kept for the saved report: a ResultView that records the
// panes, boxes and charts and passes every call on to the window that shows them.
#pragma once
#include <array>
#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/panecontent.h"
#include "analysis/rankings.h"
#include "analysis/resultview.h"

namespace report {

struct ChartCounts {
    std::array<std::int64_t, 24> counts{};
    std::int64_t total = 0;
};

class ReportRecord final : public analysis::ResultView {
public:
    // shown: the window every call is passed on to (null: none; the unit is then unit).
    explicit ReportRecord(analysis::ResultView* shown = nullptr, int unit = 0);

    // Starts the record of an analysis of logPath at time when; what an earlier one wrote is dropped,
    // so a report never mixes two logs.
    void begin(const std::string& logPath, std::time_t when);
    // The analysis stopped with this error (the text as the error box shows it, code page 932).
    void fail(std::string message) { error_ = std::move(message); }
    // The user switched the transfer unit afterwards: the box now shows text in unit.
    void unitChanged(std::string text, int unit);

    bool begun() const { return begun_; }
    const std::string& logPath() const { return logPath_; }  // absolute
    std::optional<std::uintmax_t> logSize() const { return logSize_; }
    std::optional<std::size_t> lineCount() const { return lineCount_; }
    std::time_t when() const { return when_; }
    const std::optional<std::string>& error() const { return error_; }
    // The last progress message: where an analysis that stopped had got to.
    const std::string& lastStep() const { return lastStep_; }
    // The log line that stopped the pass, if one did: its 1-based number and its text.
    std::optional<std::size_t> stoppedLineNumber() const { return stoppedLineNumber_; }
    const std::string& stoppedLine() const { return stoppedLine_; }
    // The layout the log was read by, once it was loaded (description and name: layoutRead).
    const std::optional<analysis::LogLayout>& layout() const { return layout_; }
    // The lines left out as unreadable; null unless the analysis was asked to go on past them.
    const std::shared_ptr<const analysis::SkippedLines>& skippedLines() const { return skipped_; }
    // The line whose zero byte ended the log's text, if one did (1-based).
    std::optional<std::size_t> zeroByteLine() const { return zeroByteLine_; }
    // "-" for a box this analysis did not write.
    const std::string& box(std::string_view name) const;
    // The unit the transfer box was written in, 0 to 3, or -1.
    int amountUnit() const { return amountUnit_; }
    // Empty for a pane this analysis did not write; the raw log (NamaLog) is not part of the report.
    const analysis::PaneContent& pane(std::string_view name) const;
    // Only for charts whose bars were drawn.
    const ChartCounts* chart(std::string_view image) const;
    // The rankings of the lines passed (also when a line stopped the pass); null when there are none.
    const std::shared_ptr<const analysis::Rankings>& rankings() const { return rankings_; }

    // ResultView.
    void clearPane(std::string_view name) override;
    void appendLines(std::string_view name, analysis::Lines lines) override;
    void appendLine(std::string_view name, std::string line) override;
    void replacePane(std::string_view name, analysis::Lines lines) override;
    void insertLine(std::string_view name, std::size_t index, std::string line) override;
    void setBox(std::string_view name, std::string text) override;
    int selectedUnit() const override { return shown_ ? shown_->selectedUnit() : unit_; }
    int lastByteName() const override { return shown_ ? shown_->lastByteName() : lastByteName_; }
    void setLastByteName(int unit) override;
    void showProgress() override;
    void hideProgress() override;
    void progressMessage(std::string message) override;
    void progressRange(std::size_t maximum) override;
    void progressPosition(std::size_t position) override;
    void chartBackground(std::string_view image) override;
    void chartBars(std::string_view image, const std::array<std::int64_t, 24>& counts, std::int64_t total) override;
    void tallied(const analysis::LogTally& tally) override;
    void stoppedAt(std::size_t index, std::size_t lineNumber) override;
    void layoutRead(const analysis::LogLayout& layout, bool detected) override {
        layout_ = layout;
        if (shown_) shown_->layoutRead(layout, detected);
    }
    void linesSkipped(std::shared_ptr<const analysis::SkippedLines> skipped) override {
        skipped_ = skipped;
        if (shown_) shown_->linesSkipped(std::move(skipped));
    }
    void stoppedAtZeroByte(std::size_t lineNumber) override {
        zeroByteLine_ = lineNumber;
        if (shown_) shown_->stoppedAtZeroByte(lineNumber);
    }
    void rankingsReady(std::shared_ptr<const analysis::Rankings> rankings) override {
        rankings_ = rankings;
        if (shown_) shown_->rankingsReady(std::move(rankings));
    }

private:
    analysis::PaneContent& paneRef(std::string_view name);

    analysis::ResultView* shown_;
    int unit_;
    int lastByteName_;
    bool begun_ = false;
    std::string logPath_;
    std::optional<std::uintmax_t> logSize_;
    std::optional<std::size_t> lineCount_;
    std::time_t when_ = 0;
    std::optional<std::string> error_;
    std::string lastStep_;
    std::optional<std::size_t> stoppedLineNumber_;
    std::string stoppedLine_;
    std::optional<analysis::LogLayout> layout_;
    std::shared_ptr<const analysis::SkippedLines> skipped_;
    std::optional<std::size_t> zeroByteLine_;
    analysis::Lines rawLog_;  // only to read the line that stopped the pass
    int amountUnit_ = -1;
    std::map<std::string, analysis::PaneContent, std::less<>> panes_;
    std::map<std::string, std::string, std::less<>> boxes_;
    std::map<std::string, ChartCounts, std::less<>> charts_;
    std::shared_ptr<const analysis::Rankings> rankings_;
};

}  // namespace report
