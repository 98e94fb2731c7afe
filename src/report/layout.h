// Where the panes, summary boxes and charts stand in the main window, for everything that shows them
// outside it: all of it derived from the engine's one table (analysis/resultlayout.h).
#pragma once
#include <string>
#include <string_view>
#include <vector>

#include "analysis/resultlayout.h"

namespace report {

// Every result pane in the order of the window's pages (the raw log is the last), as the engine
// declares them.
using PaneTitle = analysis::PaneInfo;
inline constexpr const auto& kPaneTitles = analysis::kPanes;
using analysis::kRawLogPane;

// A summary box of the カウント page with its group and its caption when listed on its own (UTF-8).
struct CountBox {
    std::string_view group;
    std::string_view label;
    std::string_view box;
};
// The boxes of the カウント page's groups, group by group in the window's order.
inline const std::vector<CountBox>& countBoxes() {
    static const std::vector<CountBox> boxes = [] {
        std::vector<CountBox> out;
        for (std::string_view group : analysis::kCountGroups)
            for (const analysis::BoxInfo* b :
                 analysis::boxesOf(std::string(analysis::kCountPage) + " > " + std::string(group)))
                out.push_back({group, analysis::ownLabel(*b), b->name});
        return out;
    }();
    return boxes;
}

// The three hourly charts.
using ChartTitle = analysis::ChartInfo;
inline constexpr const auto& kChartTitles = analysis::kCharts;

}  // namespace report
