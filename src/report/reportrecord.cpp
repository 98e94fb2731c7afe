// What one analysis wrote into its window, kept for the saved report.
#include "report/reportrecord.h"

#include <filesystem>

#include "analysis/report.h"
#include "analysis/resultlayout.h"
#include "common/fileio.h"

namespace report {

ReportRecord::ReportRecord(analysis::ResultView* shown, int unit)
    : shown_(shown), unit_(unit), lastByteName_(analysis::kNoAmountYet) {}

void ReportRecord::begin(const std::string& logPath, std::time_t when) {
    begun_ = true;
    // Made absolute now: the analysis may change the current directory.
    logPath_ = common::fullPath(logPath);
    std::error_code ec;
    const auto size = std::filesystem::file_size(logPath, ec);
    logSize_ = ec ? std::nullopt : std::optional<std::uintmax_t>(size);
    lineCount_.reset();
    when_ = when;
    error_.reset();
    rankings_.reset();
    lastStep_.clear();
    stoppedLineNumber_.reset();
    stoppedLine_.clear();
    layout_.reset();
    skipped_.reset();
    zeroByteLine_.reset();
    rawLog_.reset();
    amountUnit_ = -1;
    panes_.clear();
    boxes_.clear();
    charts_.clear();
}

void ReportRecord::unitChanged(std::string text, int unit) {
    if (!begun_) return;
    boxes_[std::string(analysis::boxFor(analysis::BoxValue::Transfer))] = std::move(text);
    amountUnit_ = unit;
}

const std::string& ReportRecord::box(std::string_view name) const {
    static const std::string none = "-";
    const auto it = boxes_.find(name);
    return it == boxes_.end() ? none : it->second;
}

const analysis::PaneContent& ReportRecord::pane(std::string_view name) const {
    static const analysis::PaneContent empty;
    const auto it = panes_.find(name);
    return it == panes_.end() ? empty : it->second;
}

const ChartCounts* ReportRecord::chart(std::string_view image) const {
    const auto it = charts_.find(image);
    return it == charts_.end() ? nullptr : &it->second;
}

analysis::PaneContent& ReportRecord::paneRef(std::string_view name) {
    auto it = panes_.find(name);
    if (it == panes_.end()) it = panes_.emplace(std::string(name), analysis::PaneContent{}).first;
    return it->second;
}

// The raw log is the file itself: the report leaves it out and need not hold on to it.
void ReportRecord::clearPane(std::string_view name) {
    if (name != analysis::kRawLogPane) paneRef(name).clear();
    else rawLog_.reset();
    if (shown_) shown_->clearPane(name);
}

void ReportRecord::appendLines(std::string_view name, analysis::Lines lines) {
    if (name != analysis::kRawLogPane) paneRef(name).append(lines);
    if (shown_) shown_->appendLines(name, std::move(lines));
}

void ReportRecord::appendLine(std::string_view name, std::string line) {
    if (name != analysis::kRawLogPane) paneRef(name).append(line);
    if (shown_) shown_->appendLine(name, std::move(line));
}

void ReportRecord::replacePane(std::string_view name, analysis::Lines lines) {
    if (name != analysis::kRawLogPane) paneRef(name).replace(lines);
    else rawLog_ = lines;
    if (shown_) shown_->replacePane(name, std::move(lines));
}

void ReportRecord::insertLine(std::string_view name, std::size_t index, std::string line) {
    if (name != analysis::kRawLogPane) paneRef(name).insert(index, line);
    if (shown_) shown_->insertLine(name, index, std::move(line));
}

void ReportRecord::setBox(std::string_view name, std::string text) {
    boxes_[std::string(name)] = text;
    if (shown_) shown_->setBox(name, std::move(text));
}

void ReportRecord::setLastByteName(int unit) {
    amountUnit_ = unit;
    if (shown_) shown_->setLastByteName(unit);
    else lastByteName_ = unit;
}

void ReportRecord::showProgress() {
    if (shown_) shown_->showProgress();
}

void ReportRecord::hideProgress() {
    if (shown_) shown_->hideProgress();
}

void ReportRecord::progressMessage(std::string message) {
    lastStep_ = message;
    if (shown_) shown_->progressMessage(std::move(message));
}

void ReportRecord::progressRange(std::size_t maximum) {
    lineCount_ = maximum;
    if (shown_) shown_->progressRange(maximum);
}

void ReportRecord::progressPosition(std::size_t position) {
    if (shown_) shown_->progressPosition(position);
}

void ReportRecord::chartBackground(std::string_view image) {
    charts_.erase(std::string(image));
    if (shown_) shown_->chartBackground(image);
}

void ReportRecord::chartBars(std::string_view image, const std::array<std::int64_t, 24>& counts, std::int64_t total) {
    charts_[std::string(image)] = ChartCounts{counts, total};
    if (shown_) shown_->chartBars(image, counts, total);
}

void ReportRecord::tallied(const analysis::LogTally& tally) {
    if (shown_) shown_->tallied(tally);
}

void ReportRecord::stoppedAt(std::size_t index, std::size_t lineNumber) {
    stoppedLineNumber_ = lineNumber;
    stoppedLine_ = rawLog_ && index < rawLog_->size() ? rawLog_->line(index) : std::string();
    if (shown_) shown_->stoppedAt(index, lineNumber);
}

}  // namespace report
