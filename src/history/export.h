// The history of a range as CSV and as one HTML page in the style of the saved report.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "history/store.h"

namespace history {

// What one export shows: the rows by day or month, their total, and the rankings of the range.
struct HistoryView {
    Day from = 0, to = 0;
    bool byMonth = false;
    std::vector<Summary> rows;
    Summary total;
    RangeRankings rankings;
    std::size_t chartColumn = 0;  // index into kColumns of the column charted over the rows
};

// Reads the range from the store. top: ranking rows per table.
HistoryView readHistory(Store& store, Day from, Day to, bool byMonth, std::size_t top = 20);

// UTF-8 with a byte-order mark, CR LF, one row per day or month and a last row "total"; the hours
// as 24 columns each of connections.
std::string historyCsv(const HistoryView& view);

// A self-contained page: no script, no resource from elsewhere, a Content Security Policy, the
// charts as SVG, every text from a log escaped.
std::string historyHtml(const HistoryView& view);

// Atomic writes of either; AppError on failure.
void writeHistoryCsv(const HistoryView& view, const std::string& path);
void writeHistoryHtml(const HistoryView& view, const std::string& path);

// "2026-12-09" or "2026-12" for a row; "total" rows have day 0.
std::string rowLabel(const Summary& s, bool byMonth);

}  // namespace history
