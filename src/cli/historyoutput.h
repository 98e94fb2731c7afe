// The history as the CLI prints it: text tables for a terminal, and JSON.
#pragma once
#include <string>

#include "history/export.h"

namespace cli {

// {"days": [{"date", "lines", "hosts", "visitors", "get", "post", "status200", "status403",
// "status404", "bytes", "robots", "hourConnections", "sources", ...}], "total": {...}}; "months" with
// "month" by month.
std::string historyJson(const history::HistoryView& view);
std::string historyText(const history::HistoryView& view);

std::string rankingsJson(const history::RangeRankings& r);
std::string rankingsText(const history::RangeRankings& r);

}  // namespace cli
