// What the panes, boxes and progress window show.
#include "analysis/report.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/cp932.h"
#include "common/intconv.h"

namespace analysis {

using common::cp932;

namespace text {

const std::string& dashLine() {
    static const std::string s(45, '-');
    return s;
}

std::string progress(int step, std::string_view path) {
    static const std::array<std::string, 14> messages = {
        "",
        cp932(u8"初期化しています..."),
        cp932(u8"を読み込んでいます..."),
        cp932(u8"を読み込みました..."),
        cp932(u8"監視対象ドメインを読み込んでいます..."),
        cp932(u8"監視対象ドメインを読み込みました..."),
        cp932(u8"自ドメインを読み込んでいます..."),
        cp932(u8"自ドメインを読み込みました..."),
        cp932(u8"ロボット情報を読み込んでいます..."),
        cp932(u8"ロボット情報を読み込みました..."),
        cp932(u8"データを集計しています..."),
        cp932(u8"集計が終了しました..."),
        cp932(u8"結果を出力しています..."),
        cp932(u8"グラフを描画しています..."),
    };
    if (step == 2 || step == 3) return std::string(path) + messages[static_cast<std::size_t>(step)];
    return messages[static_cast<std::size_t>(step)];
}

}  // namespace text

namespace {

struct Header {
    std::string_view pane;
    std::string first;
    bool timeHostFile;  // the "[Time] Host /File" line follows the first one
};

const std::array<Header, 9>& paneHeaders() {
    // MessageToMemo's order: the three summaries, then the six 404/403 extracts.
    static const std::array<Header, 9> h = {{
        {"Memo8", cp932(u8"ログファイルに含まれるホスト名・IPアドレスです..."), false},
        {"Memo7", cp932(u8"要求(GET)の対象となったファイル名です..."), false},
        {"Memo6", cp932(u8"受信(POST)の対象となったファイル名です..."), false},
        {"HOST404Memo", cp932(u8"接続中404(NotFound)となったログの抜粋です..."), true},
        {"HOST403Memo", cp932(u8"接続中403(Forbidden)となったログの抜粋です..."), true},
        {"File404Memo", cp932(u8"要求中404(NotFound)となったログの抜粋です..."), true},
        {"File403Memo", cp932(u8"要求中403(Forbidden)となったログの抜粋です..."), true},
        {"POST404Memo", cp932(u8"要求中404(NotFound)となったログの抜粋です..."), true},
        {"POST403Memo", cp932(u8"要求中403(Forbidden)となったログの抜粋です..."), true},
    }};
    return h;
}

std::string decimal(std::int64_t v) { return std::to_string(v); }

constexpr std::array<double, 4> kDivisors = {1.0, 1024.0, 1048576.0, 1073741824.0};

}  // namespace

void MemoFree(ResultView& view) {
    for (const PaneInfo& pane : kPanes)
        if (pane.clearedAtStart) view.clearPane(pane.name);
}

namespace {

const std::string& listHeaderFirst(std::string_view pane) {
    static const std::string checkFirst = cp932(u8"現在監視対象になっているドメインは");
    static const std::string ownFirst = cp932(u8"現在登録されている自ドメインは");
    static const std::string robotFirst = cp932(u8"現在登録されている文字列は");
    return pane == "CheckDomeinMemo" ? checkFirst : pane == "ReferrerList" ? ownFirst : robotFirst;
}

}  // namespace

void writeListHeader(ResultView& view, std::string_view pane, const common::StringList& list) {
    static const std::string none = cp932(u8"ありません...");
    static const std::string end = cp932(u8"です...");
    view.appendLine(pane, listHeaderFirst(pane));
    if (list.empty()) {
        view.appendLine(pane, none);
    } else {
        for (const auto& entry : list) view.appendLine(pane, entry);
        view.appendLine(pane, end);
    }
    if (pane == "ReferrerList") view.appendLine(pane, "[HOST] FileName");
    if (pane == "RobotsLog") {
        view.appendLine(pane, "HOST [Time] \"UserAgent\"");
        view.appendLine(pane, "*HOST [Time] [FileName] \"UserAgent\"");
    }
    view.appendLine(pane, text::dashLine());
}

void MessageToMemo(ResultView& view) {
    for (const auto& h : paneHeaders()) {
        view.insertLine(h.pane, 0, h.first);
        if (h.timeHostFile) {
            view.insertLine(h.pane, 1, "[Time] Host /File");
            view.insertLine(h.pane, 2, text::dashLine());
        } else {
            view.insertLine(h.pane, 1, text::dashLine());
        }
    }
}

PaneHeader paneHeader(std::string_view pane, const PaneContent& content) {
    std::string_view first;
    std::size_t columns = 0;
    for (const Header& h : paneHeaders())
        if (h.pane == pane) {
            first = h.first;
            columns = h.timeHostFile ? 1 : 0;
        }
    if (pane == "CheckDomeinMemo" || pane == "ReferrerList" || pane == "RobotsLog") {
        first = listHeaderFirst(pane);
        columns = pane == "CheckDomeinMemo" ? 0 : pane == "ReferrerList" ? 1 : 2;
    }
    if (first.empty() || content.size() == 0 || content.line(0) != first) return {};
    // The first dash line ends it: the header's own is its last line (a list entry that is itself a
    // dash line would end it early and leave the rest of the header among the rows).
    for (std::size_t i = 1 + columns; i < content.size(); ++i)
        if (content.line(i) == text::dashLine()) return {i + 1, columns};
    return {};
}

void outputStep(ResultView& view, const LogTally& t) {
    view.replacePane(kRawLogPane, t.logLines);
    view.replacePane("Memo9", t.connectionLines);
    view.replacePane("Memo2", t.hostOtherLines);
    view.replacePane("HOST403Memo", t.host403Lines);
    view.replacePane("HOST404Memo", t.host404Lines);
    view.replacePane("Memo10", t.fileOtherLines);
    view.replacePane("File403Memo", t.file403Lines);
    view.replacePane("File404Memo", t.file404Lines);
    view.replacePane("Memo11", t.postOtherLines);
    view.replacePane("POST403Memo", t.post403Lines);
    view.replacePane("POST404Memo", t.post404Lines);
    view.replacePane("Memo8", t.hosts.entries());
    view.replacePane("Memo7", t.getFiles.entries());
    view.replacePane("Memo6", t.postFiles.entries());
    view.appendLines("CheckDomeinMemo", t.watchedLines);

    MessageToMemo(view);

    for (const BoxInfo& box : kBoxes) {
        switch (box.value) {
            case BoxValue::File: break;  // written when the log was loaded
            case BoxValue::RequestsPerHost:
                // A log without hosts has none rather than a division by zero.
                view.setBox(box.name, decimal(t.hostCount == 0 ? 0 : t.get200Count / t.hostCount));
                break;
            case BoxValue::Transfer: {
                const int unit = view.selectedUnit();
                if (unit >= 0 && unit <= 3) view.setBox(box.name, transferText(t.bytesSent, unit));
                view.setLastByteName(unit >= 0 && unit <= 3 ? unit : -1);
                break;
            }
            default: view.setBox(box.name, decimal(boxCount(t, box.value)));
        }
    }
}

std::int64_t boxCount(const LogTally& t, BoxValue value) {
    const auto n = [](const std::shared_ptr<EntryList>& l) { return static_cast<std::int64_t>(l->size()); };
    switch (value) {
        case BoxValue::LineCount: return t.lineCount;
        case BoxValue::HostCount: return t.hostCount;  // the lines of Memo8 less its two headers
        case BoxValue::GetCount: return t.getCount;
        case BoxValue::PostCount: return t.postCount;
        case BoxValue::GetFileCount: return t.getFileCount;
        case BoxValue::PostFileCount: return t.postFileCount;
        case BoxValue::FaviconCount: return t.faviconCount;
        case BoxValue::FaviconIeCount: return t.faviconIeCount;
        case BoxValue::Status200: return t.status200Count;
        case BoxValue::Host403: return n(t.host403Lines);
        case BoxValue::Host404: return n(t.host404Lines);
        case BoxValue::Get200: return t.get200Count;
        case BoxValue::File403: return n(t.file403Lines);
        case BoxValue::File404: return n(t.file404Lines);
        case BoxValue::Post200: return t.post200Count;
        case BoxValue::Post403: return n(t.post403Lines);
        case BoxValue::Post404: return n(t.post404Lines);
        case BoxValue::File:
        case BoxValue::RequestsPerHost:
        case BoxValue::Transfer: break;
    }
    return 0;
}

std::string numberText(double value) {
    if (value == 0) return "0";
    if (!std::isfinite(value)) return std::isnan(value) ? "NAN" : (value > 0 ? "INF" : "-INF");
    // 15 significant digits: d.dddddddddddddde±x
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", std::fabs(value));
    std::string digits;
    digits += buf[0];
    digits.append(buf + 2, 14);
    const int exponent = std::atoi(std::strchr(buf, 'e') + 1);
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    std::string out = value < 0 ? "-" : "";
    if (exponent < -5 || exponent > 14) {
        out += digits[0];
        if (digits.size() > 1) out += "." + digits.substr(1);
        out += "E" + std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else {
        const auto whole = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= whole) {
            out += digits + std::string(whole - digits.size(), '0');
        } else {
            out += digits.substr(0, whole) + "." + digits.substr(whole);
        }
    }
    return out;
}

std::string transferText(double bytes, int unit) {
    return numberText(bytes / kDivisors[static_cast<std::size_t>(unit)]);
}

UnitChange byteNameChange(std::string_view boxText, int lastByteName, int selected) {
    if (lastByteName == kNoAmountYet) return {std::nullopt, lastByteName};
    const double value = common::toFloat(boxText);
    const bool valid = lastByteName >= 0 && lastByteName <= 3 && selected >= 0 && selected <= 3;
    if (!valid || lastByteName == selected) return {std::nullopt, selected};
    const double from = kDivisors[static_cast<std::size_t>(lastByteName)];
    const double to = kDivisors[static_cast<std::size_t>(selected)];
    return {numberText(from > to ? value * (from / to) : value / (to / from)), selected};
}

}  // namespace analysis
