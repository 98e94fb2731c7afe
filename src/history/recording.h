// Recording an analysed log into the history: the one road that the window and the CLI both take.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "analysis/lines.h"
#include "analysis/logtally.h"
#include "history/store.h"

namespace history {

struct Recording {
    RecordResult result;
    LogDays days;  // what was recorded (the hash lists and rankings dropped)
};

// Splits the log at path, already loaded, into its days with the reference lists of materiaDir
// (empty: the program's materia/) and records them. tally, when the log was analysed, is what the
// days must add up to: a log whose days do not is not recorded (AppError). Lines without a readable
// date are not recorded; a note in the result says how many.
Recording recordLog(Store& store, const std::string& path, const std::shared_ptr<const analysis::LogText>& log,
                    const analysis::LogTally* tally, const std::string& materiaDir, unsigned threads = 1,
                    const std::function<void(std::size_t, std::size_t)>& progress = {});

}  // namespace history
