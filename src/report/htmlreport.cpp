// The saved report as one self-contained HTML page.
#include "report/htmlreport.h"

#include <filesystem>

#include "analysis/chart.h"
#include "analysis/report.h"
#include "common/base64.h"
#include "common/fileio.h"
#include "common/sha256.h"
#include "common/share.h"
#include "report/csvreport.h"
#include "report/layout.h"
#include "report/rankingsection.h"
#include "report/reporttext.h"

namespace report {

namespace {

// The page's only style sheet. The Content Security Policy allows exactly this text by its hash, so
// nothing in it may depend on the log.
constexpr std::string_view kStyle = R"(
body { font-family: sans-serif; margin: 1.5em auto; max-width: 72em; padding: 0 1em; color: #222; line-height: 1.45; }
h1 { font-size: 1.5em; margin-bottom: .3em; }
h2 { font-size: 1.2em; border-bottom: 2px solid #ff88d0; margin-top: 2em; }
h3 { font-size: 1em; margin: .8em 0 .3em; }
table { border-collapse: collapse; margin: .3em 0 1em; }
th, td { border: 1px solid #ccc; padding: .15em .6em; text-align: left; vertical-align: top; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
td.item { overflow-wrap: anywhere; max-width: 48em; }
dl.meta { display: grid; grid-template-columns: max-content auto; gap: .2em 1em; }
dl.meta dt { font-weight: bold; }
dl.meta dd { margin: 0; overflow-wrap: anywhere; }
.groups { display: flex; flex-wrap: wrap; gap: 0 2em; }
.charts { display: flex; flex-wrap: wrap; gap: 1em 2em; }
figure { margin: 0; flex: 1 1 20em; max-width: 36em; }
figcaption { font-weight: bold; margin-bottom: .3em; }
svg.chart { width: 100%; height: auto; display: block; border: 1px solid #ccc; }
svg.chart text { font-family: sans-serif; font-size: 11px; }
.error { border: 2px solid #c00; background: #fff3f3; padding: .5em 1em; }
.note { color: #555; font-size: .9em; }
details { margin: .2em 0; }
summary { cursor: pointer; padding: .15em 0; }
pre { background: #f7f7f7; border: 1px solid #ddd; padding: .5em; overflow-x: auto; font-size: .85em; white-space: pre; }
)";

const std::string& contentSecurityPolicy() {
    static const std::string policy = [] {
        return "default-src 'none'; style-src 'sha256-" + common::base64(common::sha256(kStyle)) +
               "'; script-src 'none'; img-src 'none'; font-src 'none'; connect-src 'none'; media-src 'none'; "
               "object-src 'none'; frame-src 'none'; worker-src 'none'; manifest-src 'none'; form-action 'none'; "
               "base-uri 'none'";
    }();
    return policy;
}

// Appends log text (code page 932) for the page.
void appendLogText(std::string& out, std::string_view cp932, std::string& scratch) {
    scratch.clear();
    appendUtf8(scratch, cp932);
    appendHtmlText(out, scratch);
}

std::string rgb(analysis::Rgb c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "#%02x%02x%02x", c.r, c.g, c.b);
    return buf;
}

void appendMeta(std::string& out, const ReportRecord& r) {
    const std::filesystem::path path(r.logPath());
    out += "<dl class=\"meta\">\n<dt>ログファイル</dt><dd>";
    std::string name;
    appendValidUtf8(name, path.filename().string());
    appendHtmlText(out, name);
    out += "</dd>\n<dt>場所</dt><dd>";
    std::string full;
    appendValidUtf8(full, common::fullPath(r.logPath()));
    appendHtmlText(out, full);
    out += "</dd>\n<dt>サイズ</dt><dd>";
    out += r.logSize() ? groupedNumber(*r.logSize()) + " バイト" : std::string("不明");
    out += "</dd>\n<dt>行数</dt><dd>";
    out += r.lineCount() ? groupedNumber(*r.lineCount()) + " 行" : std::string("不明");
    if (r.layout()) {
        out += "</dd>\n<dt>ログの形式</dt><dd>";
        std::string scratch;
        appendLogText(out, r.layout()->description(), scratch);
    }
    if (r.skippedLines()) {
        out += "</dd>\n<dt>読めなかった行</dt><dd>";
        out += groupedNumber(r.skippedLines()->size()) + " 行";
    }
    out += "</dd>\n<dt>解析日時</dt><dd>";
    out += localTimeText(r.when());
    out += "</dd>\n</dl>\n";
}

void appendError(std::string& out, const ReportRecord& r) {
    if (!r.error()) return;
    std::string scratch;
    out += "<section class=\"error\" id=\"error\" role=\"alert\">\n<h2>解析はエラーで止まりました</h2>\n<p>";
    appendLogText(out, *r.error(), scratch);
    out += "</p>\n";
    if (!r.lastStep().empty()) {
        out += "<p>止まったところ: ";
        appendLogText(out, r.lastStep(), scratch);
        out += "</p>\n";
    }
    if (r.stoppedLineNumber()) {
        out += "<p>止めた行: " + groupedNumber(*r.stoppedLineNumber()) + " 行目</p>\n<pre>";
        appendLogText(out, r.stoppedLine(), scratch);
        out += "</pre>\n";
    }
    out += "<p class=\"note\">以下は止まるまでに書かれた結果です。</p>\n</section>\n";
}

// A log whose text a zero byte ended (most often one cut short by a crash) was not read to its end:
// the counts leave out what follows.
void appendZeroByteStop(std::string& out, const ReportRecord& r) {
    if (!r.zeroByteLine()) return;
    out += "<section class=\"error\" id=\"zero-byte\" role=\"note\">\n<p>" + groupedNumber(*r.zeroByteLine()) +
           " 行目のゼロのバイトで読み終えました。そこから後は集計していません。</p>\n</section>\n";
}

void appendBoxes(std::string& out, const ReportRecord& r) {
    std::string scratch;
    out += "<section id=\"count\">\n<h2>カウント: 集計結果</h2>\n<div class=\"groups\">\n";
    std::string_view group;
    for (const CountBox& b : countBoxes()) {
        if (b.group != group) {
            if (!group.empty()) out += "</table></div>\n";
            group = b.group;
            out += "<div><h3>";
            appendHtmlText(out, group);
            out += "</h3><table>\n";
        }
        out += "<tr><th>";
        appendHtmlText(out, b.label);
        out += "</th><td class=\"n\">";
        appendLogText(out, r.box(b.box), scratch);
        if (b.box == analysis::boxFor(analysis::BoxValue::Transfer) && r.amountUnit() >= 0 && r.amountUnit() <= 3 &&
            r.box(b.box) != "-") {
            out += ' ';
            out += analysis::kUnits[static_cast<std::size_t>(r.amountUnit())];
        }
        out += "</td></tr>\n";
    }
    out += "</table></div>\n</div>\n</section>\n";
}

void appendCharts(std::string& out, const ReportRecord& r) {
    out += "<section id=\"charts\">\n<h2>グラフ</h2>\n";
    bool any = false;
    for (const ChartTitle& c : kChartTitles) any = any || r.chart(c.image);
    if (!any) {
        out += "<p class=\"note\">解析が最後まで進まなかったため、グラフはありません。</p>\n</section>\n";
        return;
    }
    out += "<div class=\"charts\">\n";
    for (const ChartTitle& c : kChartTitles) {
        const ChartCounts* counts = r.chart(c.image);
        if (!counts) continue;
        out += "<figure id=\"";
        out += c.image;
        out += "\">\n<figcaption>";
        appendHtmlText(out, c.path);
        out += ": ";
        appendHtmlText(out, c.caption);
        out += "</figcaption>\n";
        out += chartSvg(*counts);
        out += "<details><summary>数値</summary>\n<table><tr><th class=\"n\">時</th><th class=\"n\">件数</th><th "
               "class=\"n\">総接続数から見た比率</th></tr>\n";
        for (std::size_t h = 0; h < 24; ++h) {
            const std::int64_t n = counts->counts[h];
            out += "<tr><td class=\"n\">" + std::to_string(h) + "</td><td class=\"n\">" +
                   groupedNumber(static_cast<std::uintmax_t>(n < 0 ? 0 : n)) + "</td><td class=\"n\">" +
                   common::shareText(n, counts->total) + "</td></tr>\n";
        }
        out += "</table></details>\n</figure>\n";
    }
    out += "</div>\n</section>\n";
}

void appendPanes(std::string& out, const ReportRecord& r) {
    std::string scratch, line;
    out += "<section id=\"panes\">\n<h2>結果ペイン</h2>\n<p class=\"note\">見出しを押すと開きます。生ログは含みません。"
           "長いペインは最初の " +
           groupedNumber(kHtmlPaneLines) + " 行だけを載せ、全体は CSV で保存できます。</p>\n";
    for (const PaneTitle& t : kPaneTitles) {
        if (t.name == kRawLogPane) continue;
        const analysis::PaneContent& pane = r.pane(t.name);
        const std::size_t size = pane.size();
        out += "<details id=\"pane-";
        out += t.name;
        out += "\"><summary>";
        appendHtmlText(out, t.path);
        out += " <span class=\"note\">(";
        out += groupedNumber(size);
        out += " 行)</span></summary>\n";
        if (size > 0) {
            out += "<pre>";
            const std::size_t shown = std::min(size, kHtmlPaneLines);
            for (std::size_t i = 0; i < shown; ++i) {
                appendLogText(out, pane.line(i), scratch);
                out += '\n';
            }
            out += "</pre>\n";
            if (shown < size) {
                out += "<p class=\"note\">全 " + groupedNumber(size) + " 行のうち最初の " + groupedNumber(shown) +
                       " 行です。残りは CSV の ";
                appendHtmlText(out, csvFileName(t));
                out += " にあります。</p>\n";
            }
        }
        out += "</details>\n";
    }
    out += "</section>\n";
}

}  // namespace

std::string chartSvg(const ChartCounts& chart) {
    namespace ch = analysis::chart;
    analysis::ChartState state;
    std::vector<analysis::ChartOp> ops = analysis::chartBackground(state, ch::kWidth, ch::kHeight);
    const std::vector<analysis::ChartOp> bars = analysis::chartBars(state, chart.counts, chart.total);
    ops.insert(ops.end(), bars.begin(), bars.end());

    // The window's surface, with a strip above it for the scale captions; the viewBox lets the page
    // scale it to any width and keeps it sharp.
    constexpr int kTop = 16;
    std::string s = "<svg class=\"chart\" xmlns=\"http://www.w3.org/2000/svg\" viewBox=\"0 -" + std::to_string(kTop) +
                    " " + std::to_string(ch::kWidth) + " " + std::to_string(ch::kHeight + kTop) +
                    "\" role=\"img\" shape-rendering=\"crispEdges\">\n";
    s += "<rect x=\"0\" y=\"-" + std::to_string(kTop) + "\" width=\"" + std::to_string(ch::kWidth) + "\" height=\"" +
         std::to_string(kTop) + "\" fill=\"#ffffff\"/>\n";
    s += "<text x=\"" + std::to_string(ch::gridLines()[4]) + "\" y=\"-4\" text-anchor=\"middle\">50%</text>\n";
    s += "<text x=\"" + std::to_string(ch::kWidth) + "\" y=\"-4\" text-anchor=\"end\">100%</text>\n";
    int bar = 0;
    for (const analysis::ChartOp& op : ops) {
        switch (op.kind) {
            case analysis::ChartOp::Kind::Rectangle: {
                // The outline is drawn in the pen colour on the rectangle's own edge pixels; the bars
                // outline in their fill colour and the background's outline lies outside the surface.
                const int w = op.x2 - op.x1, h = op.y2 - op.y1;
                const bool isBar = op.brush == analysis::kBarColour;
                if (isBar) ++bar;
                if (w <= 0 || h <= 0) break;
                s += "<rect";
                if (isBar) s += " class=\"bar\" data-hour=\"" + std::to_string(bar - 1) + "\"";
                s += " x=\"" + std::to_string(op.x1) + "\" y=\"" + std::to_string(op.y1) + "\" width=\"" +
                     std::to_string(w) + "\" height=\"" + std::to_string(h) + "\" fill=\"" + rgb(op.brush) + "\"/>\n";
                break;
            }
            case analysis::ChartOp::Kind::Line: {
                // Pixel centres, so a one-pixel line covers one column or row.
                const bool vertical = op.x1 == op.x2;
                const double dx = vertical ? 0.5 : 0, dy = vertical ? 0 : 0.5;
                char buf[200];
                std::snprintf(buf, sizeof buf,
                              "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\"%s/>\n", op.x1 + dx,
                              op.y1 + dy, op.x2 + dx, op.y2 + dy, rgb(op.pen.colour).c_str(),
                              op.pen.style == analysis::PenStyle::Dotted ? " stroke-dasharray=\"1 1\"" : "");
                s += buf;
                break;
            }
            case analysis::ChartOp::Kind::Text: {
                // A label stands on an opaque box of the brush colour, as on the window's surface.
                const int w = 7 * static_cast<int>(op.text.size()) + 1;
                s += "<rect x=\"" + std::to_string(op.x1) + "\" y=\"" + std::to_string(op.y1) + "\" width=\"" +
                     std::to_string(w) + "\" height=\"12\" fill=\"" + rgb(op.brush) + "\"/>\n";
                s += "<text x=\"" + std::to_string(op.x1 + 1) + "\" y=\"" + std::to_string(op.y1 + 10) + "\">";
                appendHtmlText(s, op.text);
                s += "</text>\n";
                break;
            }
        }
    }
    s += "</svg>\n";
    return s;
}

std::string htmlReport(const ReportRecord& r) {
    std::string out;
    out.reserve(1 << 20);
    std::string name;
    appendValidUtf8(name, std::filesystem::path(r.logPath()).filename().string());
    out += "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
           "<meta http-equiv=\"Content-Security-Policy\" content=\"";
    out += contentSecurityPolicy();
    out += "\">\n<meta name=\"referrer\" content=\"no-referrer\">\n"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
           "<meta name=\"generator\" content=\"munyaro\">\n<title>むにゃろ レポート: ";
    appendHtmlText(out, name);
    out += "</title>\n<style>";
    out += kStyle;
    out += "</style>\n</head>\n<body>\n<header>\n<h1>むにゃろ アクセスログのレポート</h1>\n";
    appendMeta(out, r);
    out += "</header>\n<main>\n";
    appendError(out, r);
    appendZeroByteStop(out, r);
    appendBoxes(out, r);
    appendCharts(out, r);
    appendRankingSection(out, r);
    appendPanes(out, r);
    out += "</main>\n</body>\n</html>\n";
    return out;
}

void writeHtmlReport(const ReportRecord& record, const std::string& path) {
    common::writeFileAtomic(path, htmlReport(record));
}

std::string defaultReportPath(const std::string& logPath) {
    const std::filesystem::path log(logPath);
    return (log.parent_path() / ("munyaro-report-" + log.filename().string() + ".html")).string();
}

}  // namespace report
