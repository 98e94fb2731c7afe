// The saved report as CSV files, one per table and pane: UTF-8 with a byte-order mark (so that
// spreadsheet programs take it as UTF-8), CR LF line ends, quoted where RFC 4180 asks for it.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "report/csvfile.h"
#include "report/layout.h"
#include "report/reportrecord.h"
#include "report/reporttext.h"

namespace report {

// The files the record makes, in the order they are written.
std::vector<CsvFile> csvFiles(const ReportRecord& record);

// The file of a pane: the tabs that lead to it, as the window shows them ("接続-不正常ログ-404.csv").
std::string csvFileName(const PaneTitle& pane);

// Writes every file into dir (created when missing), each atomically; returns their paths.
std::vector<std::string> writeCsvReport(const ReportRecord& record, const std::string& dir);

}  // namespace report
