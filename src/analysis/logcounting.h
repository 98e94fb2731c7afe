// The one analysis entry point, and the pass over the lines that it makes.
#pragma once
#include <string>

#include "analysis/logtally.h"
#include "analysis/multimatch.h"
#include "analysis/resultview.h"
#include "common/stringlist.h"

namespace analysis {

// The three reference lists as the pass uses them.
struct ReferenceLists {
    ReferenceLists(common::StringList watched, common::StringList own, common::StringList robots);
    common::StringList watched, own, robots;
    MultiMatcher robotsAndFavicon;  // group 0: robot strings, group 1: "favicon.ico"
};

struct AnalysisOptions {
    // Directory holding the three list files; empty: materia/ beside the program.
    std::string materiaDir;
    // Count the rankings as well (off only to time the pass without them).
    bool rankings = true;
};

// Analyses the log at path and writes everything into view. Errors propagate as AppError after the
// clean-up that the window expects (progress window hidden once the pass has begun).
void LogCounting(const std::string& path, ResultView& view, const AnalysisOptions& options = {});

// The pass over every line of tally.logLines. On an error, tally holds what the lines before the
// failing one (and the failing one's earlier steps) added. progress may be null.
void countLines(LogTally& tally, const ReferenceLists& lists, ResultView* progress);

}  // namespace analysis
