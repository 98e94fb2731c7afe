// The result of one pass: its lists all point into the log they were collected from.
#include "analysis/logtally.h"

namespace analysis {

LogTally::LogTally(std::shared_ptr<const LogText> log)
    : logLines(log), hosts(log), getFiles(log), postFiles(log), rankings(std::make_shared<Rankings>(log)) {
    for (auto* l : {&connectionLines, &host403Lines, &host404Lines, &hostOtherLines, &file403Lines, &file404Lines,
                    &fileOtherLines, &post403Lines, &post404Lines, &postOtherLines, &watchedLines, &getExtract,
                    &postExtract, &referrerLog, &referrerList, &robotsLog})
        *l = std::make_shared<EntryList>(log);
    // The lists that take about one entry per line get room for every line up front: big lists are
    // mapped memory that costs nothing until it is written, and they need no copying as they grow.
    for (auto* l : {&connectionLines, &getExtract, &referrerLog, &referrerList}) (*l)->reserve(log->size());
}

}  // namespace analysis
