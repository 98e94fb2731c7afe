// The saved report as CSV files, one per table and pane: UTF-8 with a byte-order mark (so that
// spreadsheet programs take it as UTF-8), CR LF line ends, quoted where RFC 4180 asks for it.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "report/layout.h"
#include "report/reportrecord.h"

namespace report {

// One file of the set: its name, after what it holds (UTF-8), and the writer of its rows.
struct CsvFile {
    std::string name;                             // "集計結果.csv", "接続-集計.csv", ...
    std::function<void(std::string& out)> write;  // appends the rows after the byte-order mark
};

// The files the record makes, in the order they are written.
std::vector<CsvFile> csvFiles(const ReportRecord& record);

// The file of a pane: the tabs that lead to it, as the window shows them ("接続-不正常ログ-404.csv").
std::string csvFileName(const PaneTitle& pane);

// Writes every file into dir (created when missing), each atomically; returns their paths.
std::vector<std::string> writeCsvReport(const ReportRecord& record, const std::string& dir);

// Appends one cell of UTF-8 text: a text that a spreadsheet would take for a formula (it starts with
// "=", "+", "-", "@", a tab, CR, LF, "|", or a full-width "＝", "＋", "－", "＠") gets a "'" in front;
// quoted when it holds a quote, comma, CR or LF.
void appendCsvText(std::string& out, std::string_view utf8);
// Ends a row.
inline void endCsvRow(std::string& out) { out += "\r\n"; }

}  // namespace report
