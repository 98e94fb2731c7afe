// From a row of a ranking to the lines of the log it counts: the search that the raw log's find bar
// runs to show them.
#pragma once
#include <optional>
#include <string_view>

#include "analysis/rankings.h"
#include "app/linesearch.h"

// The query that finds the log lines of item (code page 932, as the table holds it) in table; none
// for a table whose items do not stand in the lines as they are (search words are decoded).
std::optional<FindQuery> rankedLinesQuery(analysis::RankTable table, std::string_view item);
