// The result panes and summary boxes of the main window, declared once: the window builds its pages
// from these lists, the report writes into them, the CLI prints them. Places and captions are UTF-8
// (they are shown, never compared with log text); names are the components' names.
#pragma once
#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

namespace analysis {

struct PaneInfo {
    std::string_view name;  // "HOST404Memo"
    std::string_view path;  // the tabs that lead to it: "接続 > 不正常ログ > 404"
    bool clearedAtStart;    // emptied when an analysis starts (the others are replaced at its end)
};

// The 20 result panes, in the order of the window's pages.
inline constexpr std::array<PaneInfo, 20> kPanes = {{
    {"Memo8", "接続 > 集計", true},
    {"HOST404Memo", "接続 > 不正常ログ > 404", true},
    {"HOST403Memo", "接続 > 不正常ログ > 403", true},
    {"Memo2", "接続 > 不正常ログ > その他", true},
    {"Memo9", "接続 > 抽出ログ", true},
    {"CheckDomeinMemo", "接続 > 監視抽出", true},
    {"Memo7", "要求ログ > 集計", true},
    {"File404Memo", "要求ログ > 不正常ログ > 404", true},
    {"File403Memo", "要求ログ > 不正常ログ > 403", true},
    {"Memo10", "要求ログ > 不正常ログ > その他", true},
    {"Memo4", "要求ログ > 抽出ログ", true},
    {"Memo6", "受信ログ > 集計", true},
    {"POST404Memo", "受信ログ > 不正常ログ > 404", false},
    {"POST403Memo", "受信ログ > 不正常ログ > 403", false},
    {"Memo11", "受信ログ > 不正常ログ > その他", true},
    {"Memo5", "受信ログ > 抽出ログ", true},
    {"ReferrerList", "リファラ > 参照元", true},
    {"ReferrerLog", "リファラ > 抽出ログ", true},
    {"RobotsLog", "bot", true},
    {"NamaLog", "生ログ", false},
}};

// The raw log: every line as read, the last pane.
inline constexpr std::string_view kRawLogPane = kPanes.back().name;

// What a summary box shows.
enum class BoxValue {
    File,  // the path of the analysed file, written as soon as the log is loaded
    LineCount,
    HostCount,
    GetCount,
    PostCount,
    GetFileCount,
    PostFileCount,
    FaviconCount,
    FaviconIeCount,
    RequestsPerHost,  // get200Count / hostCount
    Transfer,         // bytesSent in the unit chosen beside the box
    Status200,
    Host403,
    Host404,
    Get200,
    File403,
    File404,
    Post200,
    Post403,
    Post404,
};

struct BoxInfo {
    std::string_view name;   // "Edit12"
    std::string_view group;  // where it stands: "カウント > 接続", "接続 > 集計"
    std::string_view label;  // its caption ("/" stands between the two favicon boxes)
    int slot;                // its place in the group, 0 first
    BoxValue value;
    // Its caption where it is listed on its own (the saved report), when that is not label: the
    // window shows the favicon pair on one row under one caption.
    std::string_view ownLabel = {};
};

// The 35 summary boxes, in the order an analysis writes them.
inline constexpr std::array<BoxInfo, 35> kBoxes = {{
    {"Edit35", "カウント", "ファイル", 0, BoxValue::File},
    {"Edit1", "カウント > 接続", "総接続数", 0, BoxValue::LineCount},
    {"Edit2", "カウント > 接続", "ホスト数", 1, BoxValue::HostCount},
    {"Edit12", "接続 > 集計", "接続数", 1, BoxValue::LineCount},
    {"Edit11", "接続 > 集計", "ホスト数", 0, BoxValue::HostCount},
    {"Edit3", "カウント > 要求(GET)", "要求数", 0, BoxValue::GetCount},
    {"Edit8", "要求ログ > 集計", "要求数", 1, BoxValue::GetCount},
    {"Edit4", "カウント > 受信(POST)", "受信数", 0, BoxValue::PostCount},
    {"Edit6", "受信ログ > 集計", "受信数", 1, BoxValue::PostCount},
    {"Edit7", "要求ログ > 集計", "対象数", 0, BoxValue::GetFileCount},
    {"Edit9", "カウント > 要求(GET)", "対象数", 1, BoxValue::GetFileCount},
    {"Edit5", "受信ログ > 集計", "対象数", 0, BoxValue::PostFileCount},
    {"Edit10", "カウント > 受信(POST)", "対象数", 1, BoxValue::PostFileCount},
    {"Edit33", "カウント > 解析", "/", 1, BoxValue::FaviconCount, "favicon 総数"},
    {"Edit31", "カウント > 解析", "favicon IE-総数", 0, BoxValue::FaviconIeCount, "favicon IE"},
    {"Edit32", "カウント > 解析", "要求/ホスト", 2, BoxValue::RequestsPerHost},
    {"Edit34", "カウント > 解析", "転送量", 3, BoxValue::Transfer},
    {"Edit20", "接続 > 集計", "200", 2, BoxValue::Status200},
    {"Edit19", "接続 > 集計", "403", 3, BoxValue::Host403},
    {"Edit21", "接続 > 集計", "404", 4, BoxValue::Host404},
    {"Edit22", "カウント > 接続", "200", 2, BoxValue::Status200},
    {"Edit23", "カウント > 接続", "403", 3, BoxValue::Host403},
    {"Edit24", "カウント > 接続", "404", 4, BoxValue::Host404},
    {"Edit13", "要求ログ > 集計", "200", 2, BoxValue::Get200},
    {"Edit14", "要求ログ > 集計", "403", 3, BoxValue::File403},
    {"Edit15", "要求ログ > 集計", "404", 4, BoxValue::File404},
    {"Edit27", "カウント > 要求(GET)", "200", 2, BoxValue::Get200},
    {"Edit26", "カウント > 要求(GET)", "403", 3, BoxValue::File403},
    {"Edit25", "カウント > 要求(GET)", "404", 4, BoxValue::File404},
    {"Edit17", "受信ログ > 集計", "200", 2, BoxValue::Post200},
    {"Edit16", "受信ログ > 集計", "403", 3, BoxValue::Post403},
    {"Edit18", "受信ログ > 集計", "404", 4, BoxValue::Post404},
    {"Edit30", "カウント > 受信(POST)", "200", 2, BoxValue::Post200},
    {"Edit29", "カウント > 受信(POST)", "403", 3, BoxValue::Post403},
    {"Edit28", "カウント > 受信(POST)", "404", 4, BoxValue::Post404},
}};

// The カウント page: the file box, then these groups of boxes ("カウント > 接続", …) in this order.
inline constexpr std::string_view kCountPage = "カウント";
inline constexpr std::array<std::string_view, 4> kCountGroups = {"接続", "要求(GET)", "受信(POST)", "解析"};

// The caption of a box listed on its own.
constexpr std::string_view ownLabel(const BoxInfo& box) { return box.ownLabel.empty() ? box.label : box.ownLabel; }

// The three hourly charts: image, where it stands, its caption (UTF-8), and the name of its series.
struct ChartInfo {
    std::string_view image;
    std::string_view path;
    std::string_view caption;
    std::string_view series;  // ASCII, a CSV column
};
inline constexpr std::array<ChartInfo, 3> kCharts = {{
    {"Image1", "接続 > グラフ", "時間別の接続数・総接続数から見た比率", "connections"},
    {"Image2", "要求ログ > グラフ", "時間別の要求数・総接続数から見た比率", "gets"},
    {"Image3", "受信ログ > グラフ", "時間別の受信数・総接続数から見た比率", "posts"},
}};

// The boxes of one group, in slot order.
inline std::vector<const BoxInfo*> boxesOf(std::string_view group) {
    std::vector<const BoxInfo*> out;
    for (const BoxInfo& b : kBoxes)
        if (b.group == group) out.push_back(&b);
    std::sort(out.begin(), out.end(), [](const BoxInfo* a, const BoxInfo* b) { return a->slot < b->slot; });
    return out;
}

// The name of the (first) box that shows value.
constexpr std::string_view boxFor(BoxValue value) {
    for (const BoxInfo& b : kBoxes)
        if (b.value == value) return b.name;
    return {};
}

// The chart at path, or nullptr.
constexpr const ChartInfo* chartAt(std::string_view path) {
    for (const ChartInfo& c : kCharts)
        if (c.path == path) return &c;
    return nullptr;
}

// The pane at path, or nullptr.
constexpr const PaneInfo* paneAt(std::string_view path) {
    for (const PaneInfo& p : kPanes)
        if (p.path == path) return &p;
    return nullptr;
}

}  // namespace analysis
