// The subcommands of munyaro-cli; each takes its own arguments (argv[0] is the subcommand's name).
#pragma once
#include <optional>
#include <string>

namespace analysis {
struct LogTally;
struct AnalysisOptions;
}  // namespace analysis

namespace cli {

int runReport(int argc, char** argv);
const char* reportUsage();

int runDecode(int argc, char** argv);
const char* decodeUsage();

int runFetch(int argc, char** argv);
const char* fetchUsage();

int runHistory(int argc, char** argv);
const char* historyUsage();
// Records the days of the log at path, just analysed into tally, into the history beside the
// options' materia/; prints what the recording did on stderr. Returns the error, if one stopped it.
std::optional<std::string> recordTally(const std::string& path, const analysis::LogTally& tally,
                                       const analysis::AnalysisOptions& options);

}  // namespace cli
