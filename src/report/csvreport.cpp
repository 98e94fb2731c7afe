// The saved report as CSV files.
#include "report/csvreport.h"

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "analysis/report.h"
#include "common/apperror.h"
#include "common/cp932.h"
#include "common/fileio.h"
#include "report/layout.h"
#include "report/rankingsection.h"
#include "report/reporttext.h"

namespace report {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

void appendCsvLog(std::string& out, std::string_view cp932, std::string& scratch) {
    scratch.clear();
    appendUtf8(scratch, cp932);
    appendCsvText(out, scratch);
}

void row(std::string& out, std::initializer_list<std::string_view> cells) {
    bool first = true;
    for (std::string_view c : cells) {
        if (!first) out += ',';
        first = false;
        appendCsvText(out, c);
    }
    endCsvRow(out);
}

void writeSummary(std::string& out, const ReportRecord& r) {
    std::string scratch;
    row(out, {"group", "label", "value"});
    std::string path;
    appendValidUtf8(path, common::fullPath(r.logPath()));
    row(out, {"ログ", "ファイル", path});
    row(out, {"ログ", "サイズ(バイト)", r.logSize() ? std::to_string(*r.logSize()) : ""});
    row(out, {"ログ", "行数", r.lineCount() ? std::to_string(*r.lineCount()) : ""});
    if (r.layout()) {
        std::string layout;
        appendUtf8(layout, r.layout()->description());
        row(out, {"ログ", "形式", layout});
    }
    if (r.skippedLines()) row(out, {"ログ", "読めなかった行", std::to_string(r.skippedLines()->size())});
    row(out, {"ログ", "解析日時", localTimeText(r.when())});
    if (r.error()) {
        std::string error, step;
        appendUtf8(error, *r.error());
        appendUtf8(step, r.lastStep());
        row(out, {"ログ", "エラー", error});
        row(out, {"ログ", "止まったところ", step});
        if (r.stoppedLineNumber()) {
            std::string line;
            appendUtf8(line, r.stoppedLine());
            row(out, {"ログ", "止めた行", std::to_string(*r.stoppedLineNumber())});
            row(out, {"ログ", "止めた行の内容", line});
        }
    }
    for (const CountBox& b : countBoxes()) {
        std::string label(b.label);
        if (b.box == analysis::boxFor(analysis::BoxValue::Transfer) && r.amountUnit() >= 0 && r.amountUnit() <= 3)
            label += "(" + std::string(analysis::kUnits[static_cast<std::size_t>(r.amountUnit())]) + ")";
        appendCsvText(out, b.group);
        out += ',';
        appendCsvText(out, label);
        out += ',';
        appendCsvLog(out, r.box(b.box), scratch);
        endCsvRow(out);
    }
}

void writeHourly(std::string& out, const ReportRecord& r) {
    out += "hour";
    for (const ChartTitle& c : kChartTitles) {
        out += ',';
        out += c.series;
    }
    out += ",total";
    endCsvRow(out);
    std::int64_t total = 0;
    for (const ChartTitle& c : kChartTitles)
        if (const ChartCounts* counts = r.chart(c.image)) total = counts->total;
    for (std::size_t h = 0; h < 24; ++h) {
        out += std::to_string(h);
        for (const ChartTitle& c : kChartTitles) {
            out += ',';
            if (const ChartCounts* counts = r.chart(c.image)) out += std::to_string(counts->counts[h]);
        }
        out += ',' + std::to_string(total);
        endCsvRow(out);
    }
}

void writePane(std::string& out, std::string_view name, const analysis::PaneContent& pane) {
    // The title, list block and dash line only decorate the pane; its column lines head the file.
    const analysis::PaneHeader header = analysis::paneHeader(name, pane);
    std::string scratch;
    if (header.columns == 0) {
        out += "line";
        endCsvRow(out);
    } else {
        for (std::size_t i = header.lines - 1 - header.columns; i + 1 < header.lines; ++i) {
            appendCsvLog(out, pane.line(i), scratch);
            endCsvRow(out);
        }
    }
    pane.forRange(header.lines, pane.size(), [&](std::size_t, const std::string& line) {
        // Most log lines are plain ASCII that needs neither conversion nor quotes: one look at each
        // byte decides, and such a line is copied as it is.
        bool plain = true;
        for (const char c : line) {
            const auto b = static_cast<unsigned char>(c);
            if (b >= 0x80 || c == '"' || c == ',' || c == '\r' || c == '\n') {
                plain = false;
                break;
            }
        }
        if (plain && !line.empty() && std::string_view("=+-@\t").find(line[0]) != std::string_view::npos) plain = false;
        if (plain) out += line;
        else appendCsvLog(out, line, scratch);
        endCsvRow(out);
        return true;
    });
}

}  // namespace

std::vector<CsvFile> csvFiles(const ReportRecord& record) {
    const ReportRecord* r = &record;
    std::vector<CsvFile> files;
    files.push_back({"集計結果.csv", [r](std::string& out) { writeSummary(out, *r); }});
    bool charts = false;
    for (const ChartTitle& c : kChartTitles) charts = charts || r->chart(c.image);
    if (charts) files.push_back({"時間別.csv", [r](std::string& out) { writeHourly(out, *r); }});
    addRankingCsvFiles(files, record);
    for (const PaneTitle& t : kPaneTitles) {
        if (t.name == kRawLogPane) continue;
        const analysis::PaneContent* pane = &r->pane(t.name);
        files.push_back({csvFileName(t), [pane, name = t.name](std::string& out) { writePane(out, name, *pane); }});
    }
    return files;
}

std::string csvFileName(const PaneTitle& pane) {
    std::string name;
    std::string_view path = pane.path;
    for (std::size_t at; (at = path.find(" > ")) != std::string_view::npos; path.remove_prefix(at + 3)) {
        name += path.substr(0, at);
        name += '-';
    }
    name += path;
    return name + ".csv";
}

std::vector<std::string> writeCsvReport(const ReportRecord& record, const std::string& dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw common::createError(dir, ec.value());
    std::vector<std::string> written;
    std::string bytes;
    for (const CsvFile& f : csvFiles(record)) {
        bytes.assign(kByteOrderMark);
        f.write(bytes);
        const std::string path = (std::filesystem::path(dir) / f.name).string();
        common::writeFileAtomic(path, bytes);
        written.push_back(path);
    }
    return written;
}

}  // namespace report
