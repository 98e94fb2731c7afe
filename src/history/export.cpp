// The history as CSV and as an HTML page.
#include "history/export.h"

#include <algorithm>

#include "analysis/rankings.h"
#include "common/base64.h"
#include "common/fileio.h"
#include "common/sha256.h"
#include "history/columns.h"
#include "report/csvreport.h"
#include "report/htmlreport.h"
#include "report/reporttext.h"

namespace history {

HistoryView readHistory(Store& store, Day from, Day to, bool byMonth, std::size_t top) {
    HistoryView v;
    v.from = from;
    v.to = to;
    v.byMonth = byMonth;
    RangeSummaries read = store.summaries(from, to, byMonth);
    v.rows = std::move(read.rows);
    v.total = std::move(read.total);
    v.rankings = store.rankings(from, to, top);
    return v;
}

std::string rowLabel(const Summary& s, bool byMonth) {
    if (s.day == 0) return "total";
    return dayText(byMonth ? s.day / 100 * 100 : s.day);
}

namespace {

std::string utf8(std::string_view bytes) {
    std::string out;
    report::appendValidUtf8(out, bytes);
    return out;
}

std::string sourcesText(const Summary& s) {
    std::string out;
    for (const auto& name : s.sources) out += (out.empty() ? "" : " ") + utf8(name);
    return out;
}

}  // namespace

std::string historyCsv(const HistoryView& v) {
    std::string out = "\xEF\xBB\xBF";
    out += v.byMonth ? "month" : "date";
    for (const Column& c : kColumns) out += "," + std::string(c.key);
    for (int h = 0; h < 24; ++h) out += ",connections" + std::to_string(h);
    out += ",sources";
    report::endCsvRow(out);
    std::vector<const Summary*> rows;
    for (const auto& r : v.rows) rows.push_back(&r);
    rows.push_back(&v.total);
    for (const Summary* r : rows) {
        out += rowLabel(*r, v.byMonth);
        for (const Column& c : kColumns) out += "," + std::to_string(c.value(*r));
        for (std::int64_t n : r->counts.hourConnections) out += "," + std::to_string(n);
        out += ",";
        report::appendCsvText(out, sourcesText(*r));
        report::endCsvRow(out);
    }
    return out;
}

namespace {

constexpr std::string_view kStyle = R"(
body { font-family: sans-serif; margin: 1.5em auto; max-width: 80em; padding: 0 1em; color: #222; line-height: 1.45; }
h1 { font-size: 1.5em; margin-bottom: .3em; }
h2 { font-size: 1.2em; border-bottom: 2px solid #ff88d0; margin-top: 2em; }
h3 { font-size: 1em; margin: .8em 0 .3em; }
table { border-collapse: collapse; margin: .3em 0 1em; }
th, td { border: 1px solid #ccc; padding: .15em .6em; text-align: left; vertical-align: top; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
td.item { overflow-wrap: anywhere; max-width: 48em; }
tr.total td { font-weight: bold; border-top: 2px solid #888; }
figure { margin: 0 0 1em; max-width: 60em; }
figcaption { font-weight: bold; margin-bottom: .3em; }
svg.chart { width: 100%; height: auto; display: block; border: 1px solid #ccc; }
svg.chart text { font-family: sans-serif; font-size: 11px; }
.note { color: #555; font-size: .9em; }
)";

std::string policy() {
    return "default-src 'none'; style-src 'sha256-" + common::base64(common::sha256(kStyle)) +
           "'; script-src 'none'; img-src 'none'; font-src 'none'; connect-src 'none'; media-src 'none'; "
           "object-src 'none'; frame-src 'none'; worker-src 'none'; manifest-src 'none'; form-action 'none'; "
           "base-uri 'none'";
}

void text(std::string& out, std::string_view utf8Text) { report::appendHtmlText(out, utf8Text); }

// One bar per row, scaled to the largest.
std::string columnChart(const HistoryView& v) {
    const Column& c = kColumns[std::min(v.chartColumn, kColumns.size() - 1)];
    constexpr int kHeight = 160, kBar = 12, kLeft = 4, kBottom = 16;
    const int width = kLeft * 2 + kBar * static_cast<int>(std::max<std::size_t>(v.rows.size(), 1));
    std::int64_t most = 1;
    for (const auto& r : v.rows) most = std::max(most, c.value(r));
    std::string s = "<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 0 " + std::to_string(width) +
                    " " + std::to_string(kHeight + kBottom) + "\" role=\"img\" shape-rendering=\"crispEdges\">\n";
    s += "<rect x=\"0\" y=\"0\" width=\"" + std::to_string(width) + "\" height=\"" + std::to_string(kHeight) +
         "\" fill=\"#ffffff\"/>\n";
    for (std::size_t i = 0; i < v.rows.size(); ++i) {
        const std::int64_t n = c.value(v.rows[i]);
        const int h = static_cast<int>(static_cast<double>(n) * (kHeight - 4) / static_cast<double>(most));
        const int x = kLeft + kBar * static_cast<int>(i);
        s += "<rect class=\"bar\" x=\"" + std::to_string(x + 1) + "\" y=\"" + std::to_string(kHeight - h) +
             "\" width=\"" + std::to_string(kBar - 2) + "\" height=\"" + std::to_string(h) + "\" fill=\"#ff88d0\">";
        s += "<title>" + rowLabel(v.rows[i], v.byMonth) + ": " + std::to_string(n) + "</title></rect>\n";
    }
    if (!v.rows.empty()) {
        s += "<text x=\"" + std::to_string(kLeft) + "\" y=\"" + std::to_string(kHeight + 12) + "\">" +
             rowLabel(v.rows.front(), v.byMonth) + "</text>\n";
        s += "<text x=\"" + std::to_string(width - kLeft) + "\" y=\"" + std::to_string(kHeight + 12) +
             "\" text-anchor=\"end\">" + rowLabel(v.rows.back(), v.byMonth) + "</text>\n";
    }
    return s + "</svg>\n";
}

void appendTable(std::string& out, const HistoryView& v) {
    out += "<table>\n<thead><tr><th>";
    out += v.byMonth ? "月" : "日付";
    out += "</th>";
    for (const Column& c : kColumns) out += "<th class=\"n\">" + std::string(c.caption) + "</th>";
    out += "<th>ログ</th></tr></thead>\n<tbody>\n";
    auto row = [&](const Summary& r, bool total) {
        out += total ? "<tr class=\"total\"><td>合計" : "<tr><td>" + rowLabel(r, v.byMonth);
        out += "</td>";
        for (const Column& c : kColumns)
            out += "<td class=\"n\">" +
                   report::groupedNumber(static_cast<std::uintmax_t>(std::max<std::int64_t>(c.value(r), 0))) + "</td>";
        out += "<td class=\"item\">";
        text(out, sourcesText(r));
        out += "</td></tr>\n";
    };
    for (const auto& r : v.rows) row(r, false);
    row(v.total, true);
    out += "</tbody>\n</table>\n";
}

void appendRankings(std::string& out, const HistoryView& v) {
    out += "<h2>ランキング</h2>\n<p class=\"note\">";
    text(out, kRankingNote);
    out += "</p>\n";
    for (std::size_t t = 0; t < analysis::kRankTableCount; ++t) {
        const bool bytes = analysis::hasBytes(analysis::rankTable(t));
        out += "<h3>" + std::string(analysis::kRankTableCaptions[t]) + " (全 " +
               report::groupedNumber(static_cast<std::uintmax_t>(v.rankings.tableHits[t])) + " 件)</h3>\n";
        out += "<table>\n<thead><tr><th class=\"n\">順位</th><th>項目</th><th class=\"n\">件数</th>";
        if (bytes) out += "<th class=\"n\">転送量(byte)</th>";
        out += "</tr></thead>\n<tbody>\n";
        std::size_t rank = 0;
        for (const RankingRow& r : v.rankings.tables[t]) {
            out += "<tr><td class=\"n\">" + std::to_string(++rank) + "</td><td class=\"item\">";
            std::string item;
            report::appendUtf8(item,
                               analysis::isUrlTable(analysis::rankTable(t)) ? analysis::decodedItem(r.item) : r.item);
            text(out, item);
            out += "</td><td class=\"n\">" + report::groupedNumber(static_cast<std::uintmax_t>(r.hits)) + "</td>";
            if (bytes)
                out += "<td class=\"n\">" + report::groupedNumber(static_cast<std::uintmax_t>(r.bytes)) + "</td>";
            out += "</tr>\n";
        }
        out += "</tbody>\n</table>\n";
    }
}

}  // namespace

std::string historyHtml(const HistoryView& v) {
    const std::string range = dayText(v.from) + " 〜 " + dayText(v.to);
    std::string out = "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
                      "<meta http-equiv=\"Content-Security-Policy\" content=\"";
    out += policy();
    out += "\">\n<meta name=\"referrer\" content=\"no-referrer\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<meta name=\"generator\" content=\"munyaro\">\n<title>むにゃろ 推移: " +
           range + "</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<header>\n<h1>むにゃろ 推移</h1>\n<p>" + range +
           (v.byMonth ? " (月ごと)" : " (日ごと)") + "</p>\n</header>\n<main>\n";
    const Column& charted = kColumns[std::min(v.chartColumn, kColumns.size() - 1)];
    out += "<figure><figcaption>" + std::string(charted.caption) + "</figcaption>\n" + columnChart(v) + "</figure>\n";
    out += "<h2>" + std::string(v.byMonth ? "月ごと" : "日ごと") + "</h2>\n<p class=\"note\">";
    text(out, kDistinctNote);
    out += "</p>\n";
    appendTable(out, v);
    report::ChartCounts hours;
    hours.counts = v.total.counts.hourConnections;
    hours.total = v.total.counts.lines;
    out += "<figure><figcaption>時間別の接続数 (期間の合計)</figcaption>\n" + report::chartSvg(hours) + "</figure>\n";
    appendRankings(out, v);
    out += "</main>\n</body>\n</html>\n";
    return out;
}

void writeHistoryCsv(const HistoryView& view, const std::string& path) {
    common::writeFileAtomic(path, historyCsv(view));
}

void writeHistoryHtml(const HistoryView& view, const std::string& path) {
    common::writeFileAtomic(path, historyHtml(view));
}

}  // namespace history
