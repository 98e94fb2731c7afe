// A ResultView that keeps everything the analysis writes, for tests: panes, boxes (all "-" at
// first, as in a freshly started window), progress messages and bar, chart calls.
#pragma once
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analysis/panecontent.h"
#include "analysis/report.h"
#include "analysis/resultview.h"

class RecordingView : public analysis::ResultView {
public:
    explicit RecordingView(int unit = 0) : unit(unit) {
        for (int i = 1; i <= 35; ++i) boxes["Edit" + std::to_string(i)] = "-";
    }
    void clearPane(std::string_view name) override { panes[std::string(name)].clear(); }
    void appendLines(std::string_view name, analysis::Lines lines) override { panes[std::string(name)].append(lines); }
    void appendLine(std::string_view name, std::string line) override { panes[std::string(name)].append(line); }
    void replacePane(std::string_view name, analysis::Lines lines) override { panes[std::string(name)].replace(lines); }
    void insertLine(std::string_view name, std::size_t index, std::string line) override {
        panes[std::string(name)].insert(index, line);
    }
    void setBox(std::string_view name, std::string text) override {
        boxes[std::string(name)] = text;
        boxOrder.emplace_back(name);
    }
    int selectedUnit() const override { return unit; }
    int lastByteName() const override { return last; }
    void setLastByteName(int u) override { last = u; }
    void showProgress() override { progressShown = true; }
    void hideProgress() override { progressShown = false; }
    void progressMessage(std::string message) override { progress.push_back(message); }
    void progressRange(std::size_t maximum) override {
        barMax = maximum;
        barPos = 0;
    }
    void progressPosition(std::size_t position) override { barPos = position; }
    void chartBackground(std::string_view image) override { charts.push_back("background " + std::string(image)); }
    void chartBars(std::string_view image, const std::array<std::int64_t, 24>& counts, std::int64_t total) override {
        charts.push_back("bars " + std::string(image) + " total " + std::to_string(total));
        chartCounts[std::string(image)] = counts;
    }

    void stoppedAt(std::size_t index, std::size_t lineNumber) override { stopped = {index, lineNumber}; }

    common::StringList pane(const std::string& name) const {
        auto it = panes.find(name);
        return it == panes.end() ? common::StringList{} : it->second.toStringList();
    }

    int unit;
    int last = analysis::kNoAmountYet;
    std::map<std::string, analysis::PaneContent> panes;
    std::map<std::string, std::string> boxes;
    std::vector<std::string> boxOrder;
    std::vector<std::string> progress;
    bool progressShown = false;
    std::size_t barMax = 0, barPos = 0;
    std::vector<std::string> charts;
    std::map<std::string, std::array<std::int64_t, 24>> chartCounts;
    std::optional<std::pair<std::size_t, std::size_t>> stopped;  // index in NamaLog, line number
};
