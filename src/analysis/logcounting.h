// The one analysis entry point, and the pass over the lines that it makes.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "analysis/listmatch.h"
#include "analysis/logtally.h"
#include "analysis/resultview.h"
#include "common/stringlist.h"

namespace analysis {

// The three reference lists as the pass uses them.
struct ReferenceLists {
    ReferenceLists(common::StringList watched, common::StringList own, common::StringList robots);
    common::StringList watched, own, robots;
    // Each list searched whole in one scan of the text it is tested against.
    ListMatcher watchedHosts, ownReferrers;
    ListMatcher robotsAndFavicon;  // group bit 1: robot strings, bit 2: "favicon.ico"
    // The lists of the behaviour tables (behaviour.h): addresses left out of them, and the suffixes
    // that make a GET path an asset rather than a page.
    std::vector<std::string> excludedHosts;
    std::vector<std::string> assetSuffixes;
};

struct AnalysisOptions {
    // Directory holding the three list files; empty: the program's materia/ (common::materiaFile).
    std::string materiaDir;
    // Count the rankings as well (off only to time the pass without them).
    bool rankings = true;
    // Threads for the pass; 0: one per processor of the machine.
    unsigned threads = 0;
    // The layout to read the log by; none: told from its first lines.
    std::optional<LogLayout> layout = std::nullopt;
    // Count the forwarded client (X-Forwarded-For) as a line's host, where a line has one.
    bool clientFromForwarded = false;
    // Leave out the lines that cannot be read, counting and listing them, instead of stopping there.
    bool skipBadLines = false;
    // Told of every line the pass counts (LogTally::watcher); null: nobody watches.
    std::shared_ptr<LineWatcher> watcher = nullptr;
    // Given the tally once every line is counted, with the reference lists the pass counted it with,
    // on a thread of its own beside the rankings' last step, which leaves the machine's other cores
    // idle. The rankings' own tables are complete by then and only read; their behaviour tables are
    // not ready. The view is told tallied() once it has returned; an exception it lets out ends the
    // analysis.
    std::function<void(const LogTally&, const ReferenceLists&)> whileFinishing = nullptr;
    // Nothing reads the log's lines once the pass is over (the view keeps counts only): a gzip log is
    // then counted while it is inflated, and its text given back behind the pass, instead of being
    // held whole. Not with a watcher or whileFinishing, which read the log.
    bool readOnce = false;
};

// Analyses the log at path and writes everything into view. Errors propagate as AppError after the
// clean-up that the window expects (progress window hidden once the pass has begun).
void LogCounting(const std::string& path, ResultView& view, const AnalysisOptions& options = {});

// The pass over every line of tally.logLines. On an error, tally holds what the lines before the
// failing one (and the failing one's earlier steps) added. progress may be null. With more than one
// thread the lines are counted in chunks side by side and the chunks' tallies appended in order, so
// the result is the same, byte for byte, as with one, the state left by a failing line included.
// skipBadLines: a line whose hour or byte count does not convert is left out and noted in
// tally.skippedLines instead of ending the pass. The rankings' behaviour tables are complete only
// after tally.rankings->finish(), which LogCounting calls.
void countLines(LogTally& tally, const ReferenceLists& lists, ResultView* progress, unsigned threads = 1,
                bool skipBadLines = false);

// Whether the rankings take a referrer as foreign: no own-domain entry in its host and path (the
// query of a search engine's address names the site it leads to). ownAnywhere: the pane's test of
// the whole referrer, already made.
bool foreignForRankings(const ReferenceLists& lists, std::string_view referrer, bool ownAnywhere);

// Reads the lists of the behaviour tables from dir (empty: the program's materia/) into lists. They
// came after the three the window has always read, so a file that is not there is no error: no
// addresses are left out, and the usual suffixes make assets.
void loadBehaviourLists(ReferenceLists& lists, const std::string& dir);

// The threads that AnalysisOptions::threads asks for: 0 means one per processor.
unsigned passThreads(unsigned requested);
// Where the chunks of a pass over count lines on threads threads end, in order: the last one is count
// (a log of one chunk is counted on one thread). No chunk is longer than mostLines. The analysis
// pass takes chunks of at most kPassChunkLines: a chunk's tables are held beside the pass's own
// while it is merged, and on a log where nearly every item is new they hold as much as its lines.
inline constexpr std::size_t kPassChunkLines = 65536;
std::vector<std::size_t> passChunkEnds(std::size_t count, unsigned threads, std::size_t mostLines = kPassChunkLines);

}  // namespace analysis
