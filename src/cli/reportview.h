// The CLI's window: keeps every pane, box and progress message, and writes them as text or JSON.
#pragma once
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analysis/logtally.h"
#include "analysis/panecontent.h"
#include "analysis/rankings.h"
#include "analysis/report.h"
#include "analysis/resultview.h"

namespace cli {

class ReportView final : public analysis::ResultView {
public:
    // As the window is at start: panes empty, boxes "-", no amount shown yet.
    explicit ReportView(int unit);

    void clearPane(std::string_view name) override { pane(name).clear(); }
    void appendLines(std::string_view name, analysis::Lines lines) override { pane(name).append(std::move(lines)); }
    void appendLine(std::string_view name, std::string line) override { pane(name).append(std::move(line)); }
    void replacePane(std::string_view name, analysis::Lines lines) override { pane(name).replace(std::move(lines)); }
    void insertLine(std::string_view name, std::size_t index, std::string line) override {
        pane(name).insert(index, std::move(line));
    }
    void setBox(std::string_view name, std::string text) override { boxes_[std::string(name)] = std::move(text); }
    int selectedUnit() const override { return unit_; }
    int lastByteName() const override { return lastByteName_; }
    void setLastByteName(int unit) override { lastByteName_ = unit; }
    void showProgress() override {}
    void hideProgress() override {}
    void progressMessage(std::string message) override { progress_.push_back(std::move(message)); }
    void progressRange(std::size_t) override {}
    void progressPosition(std::size_t) override {}
    void chartBackground(std::string_view) override {}
    void chartBars(std::string_view, const std::array<std::int64_t, 24>&, std::int64_t) override {}
    void tallied(const analysis::LogTally& t) override {
        tally_ = t;  // the counters alone
    }
    void rankingsReady(std::shared_ptr<const analysis::Rankings> r) override { rankings_ = std::move(r); }
    void stoppedAt(std::size_t, std::size_t lineNumber) override { errorLine_ = lineNumber; }
    void layoutRead(const analysis::LogLayout& layout, bool) override { layout_ = layout; }
    void linesSkipped(std::shared_ptr<const analysis::SkippedLines> skipped) override { skipped_ = std::move(skipped); }
    // The 1-based number of the line that stopped the pass, if one did.
    std::optional<std::size_t> errorLine() const { return errorLine_; }
    void stoppedAtZeroByte(std::size_t lineNumber) override { zeroByteLine_ = lineNumber; }
    // The line whose zero byte ended the log's text, if one did.
    std::optional<std::size_t> zeroByteLine() const { return zeroByteLine_; }

    // Writers; error is the error box's text (code page 932), empty when the analysis ended normally.
    void writeText(std::FILE* out) const;
    void writeSummary(std::FILE* out) const;
    void writeJson(std::FILE* out, const std::string& file, const std::optional<std::string>& error) const;
    // The rankings as text tables of at most top rows each (0: all rows).
    void writeRankings(std::FILE* out, std::size_t top) const;

private:
    analysis::PaneContent& pane(std::string_view name);
    const std::string& box(const std::string& name) const { return boxes_.at(name); }

    int unit_;
    int lastByteName_ = analysis::kNoAmountYet;
    std::map<std::string, analysis::PaneContent, std::less<>> panes_;
    std::map<std::string, std::string> boxes_;
    std::vector<std::string> progress_;
    std::optional<analysis::LogCounts> tally_;
    std::shared_ptr<const analysis::Rankings> rankings_;
    std::optional<std::size_t> errorLine_;
    std::optional<analysis::LogLayout> layout_;
    std::shared_ptr<const analysis::SkippedLines> skipped_;  // null unless unreadable lines were to be left out
    std::optional<std::size_t> zeroByteLine_;
};

}  // namespace cli
