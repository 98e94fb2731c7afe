// Recording an analysed log into the history: the one road that the window and the CLI both take.
#pragma once
#include <functional>
#include <memory>
#include <exception>
#include <string>
#include <vector>

#include "analysis/lines.h"
#include "analysis/logcounting.h"
#include "analysis/logtally.h"
#include "history/store.h"

namespace history {

struct Recording {
    RecordResult result;
    LogDays days;  // what was recorded (the hash lists and rankings dropped)
};

// The reference lists of materiaDir (empty: the program's materia/), as the analysis reads them.
std::unique_ptr<analysis::ReferenceLists> loadReferenceLists(const std::string& materiaDir);

// A log split into its days and checked, ready to be written; it no longer needs the log's text.
struct SplitLog {
    std::string path;
    SourceInfo source;
    LogDays days;
};

// Splits the log at path, already loaded, into its days with the reference lists the analysis used.
// tally, when the log was analysed, is what the days must add up to: a log whose days do not is not
// recorded (AppError).
SplitLog splitLog(const std::string& path, const std::shared_ptr<const analysis::LogText>& log,
                  const analysis::LogTally* tally, const analysis::ReferenceLists& lists, unsigned threads = 1);

// Records a split log in one transaction. Lines without a readable date are not recorded; a note in
// the result says how many.
Recording recordSplit(Store& store, SplitLog&& split,
                      const std::function<void(std::size_t, std::size_t)>& progress = {});

// splitLog and recordSplit, with the reference lists of materiaDir.
Recording recordLog(Store& store, const std::string& path, const std::shared_ptr<const analysis::LogText>& log,
                    const analysis::LogTally* tally, const std::string& materiaDir, unsigned threads = 1,
                    const std::function<void(std::size_t, std::size_t)>& progress = {});

// Records the logs at paths (plain or gzip), each in a transaction of its own, with the reference
// lists of materiaDir. They go through in a pipeline: a log is read while the one before it is split
// into its days, and written while the one after it is split. starting is told when a log's turn
// comes; done, in the order of paths, of each log's recording, or of the error that kept it out (the
// other logs go on).
using RecordedLog = std::function<void(std::size_t index, const Recording* recording, std::exception_ptr error)>;
void recordLogs(Store& store, const std::vector<std::string>& paths, const std::string& materiaDir, unsigned threads,
                const RecordedLog& done, const std::function<void(std::size_t index)>& starting = {});
// The same with a history that open gives, opened while the first log is read; what open throws
// comes out of recordLogs before any log is told of.
void recordLogs(const std::function<Store&()>& open, const std::vector<std::string>& paths,
                const std::string& materiaDir, unsigned threads, const RecordedLog& done,
                const std::function<void(std::size_t index)>& starting = {});

}  // namespace history
