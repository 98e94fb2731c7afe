// The subcommands of munyaro-cli; each takes its own arguments (argv[0] is the subcommand's name).
#pragma once
#include <future>
#include <memory>
#include <optional>
#include <string>

namespace analysis {
struct LogTally;
struct ReferenceLists;
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
// Records the days of the log at path into the history beside the options' materia/, for report
// --record. The history, when there is one already, is opened on a thread of its own while the log is
// read; the days are split with the reference lists the analysis read.
class TallyRecorder {
public:
    TallyRecorder(std::string path, const analysis::AnalysisOptions& options);
    // Says what opening the history said if record() was never called (the analysis failed).
    ~TallyRecorder();
    TallyRecorder(const TallyRecorder&) = delete;
    TallyRecorder& operator=(const TallyRecorder&) = delete;
    // Records the log, just analysed into tally with lists; prints what the recording did on stderr.
    // Returns the error, if one stopped it.
    std::optional<std::string> record(const analysis::LogTally& tally, const analysis::ReferenceLists& lists);

private:
    struct Opened;
    std::string path_;
    std::string materiaDir_;
    unsigned threads_;
    std::future<std::shared_ptr<Opened>> opening_;
};

}  // namespace cli
