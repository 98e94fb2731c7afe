// Where the panes and summary boxes stand in the main window, for everything that shows them
// outside it: the page path of each pane, and the groups of the カウント page.
#pragma once
#include <array>
#include <string_view>

#include "analysis/resultlayout.h"

namespace report {

// Every result pane in the order of the window's pages (the raw log is the last), as the engine
// declares them.
using PaneTitle = analysis::PaneInfo;
inline constexpr const auto& kPaneTitles = analysis::kPanes;
inline constexpr std::string_view kRawLogPane = "NamaLog";

// A summary box of the カウント page with its group and label (UTF-8).
struct CountBox {
    std::string_view group;
    std::string_view label;
    std::string_view box;
};
inline constexpr std::array<CountBox, 19> kCountBoxes = {{
    {"接続", "総接続数", "Edit1"},    {"接続", "ホスト数", "Edit2"},      {"接続", "200", "Edit22"},
    {"接続", "403", "Edit23"},        {"接続", "404", "Edit24"},          {"要求(GET)", "要求数", "Edit3"},
    {"要求(GET)", "対象数", "Edit9"}, {"要求(GET)", "200", "Edit27"},     {"要求(GET)", "403", "Edit26"},
    {"要求(GET)", "404", "Edit25"},   {"受信(POST)", "受信数", "Edit4"},  {"受信(POST)", "対象数", "Edit10"},
    {"受信(POST)", "200", "Edit30"},  {"受信(POST)", "403", "Edit29"},    {"受信(POST)", "404", "Edit28"},
    {"解析", "favicon IE", "Edit31"}, {"解析", "favicon 総数", "Edit33"}, {"解析", "要求/ホスト", "Edit32"},
    {"解析", "転送量", "Edit34"},
}};

// The three hourly charts: image, where it stands, its caption (UTF-8), and the name of its series.
struct ChartTitle {
    std::string_view image;
    std::string_view path;
    std::string_view caption;
    std::string_view series;  // ASCII, a CSV column
};
inline constexpr std::array<ChartTitle, 3> kChartTitles = {{
    {"Image1", "接続 > グラフ", "時間別の接続数・総接続数から見た比率", "connections"},
    {"Image2", "要求ログ > グラフ", "時間別の要求数・総接続数から見た比率", "gets"},
    {"Image3", "受信ログ > グラフ", "時間別の受信数・総接続数から見た比率", "posts"},
}};

}  // namespace report
