// The saved report as one self-contained HTML page: UTF-8, no resource from anywhere else, readable
// without scripts, everything from the log escaped.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

#include "report/reportrecord.h"
#include "report/reporttext.h"

namespace report {

// Lines of a pane shown on the page; the CSV files hold all of them.
inline constexpr std::size_t kHtmlPaneLines = 1000;

std::string htmlReport(const ReportRecord& record);

// Writes the page to path atomically (temporary file, then rename); errors are AppErrors.
void writeHtmlReport(const ReportRecord& record, const std::string& path);

// "munyaro-report-<log file name>.html" in the log's folder.
std::string defaultReportPath(const std::string& logPath);

// One hourly chart as inline SVG, drawn with the window's geometry from the 24 counts.
std::string chartSvg(const ChartCounts& chart);

}  // namespace report
