// The result of one pass: its lists all point into the log they were collected from.
#include "analysis/logtally.h"

namespace analysis {

namespace {

// Every collected list of a tally.
std::shared_ptr<EntryList> LogTally::*const kEntryLists[] = {
    &LogTally::connectionLines, &LogTally::host403Lines,   &LogTally::host404Lines,   &LogTally::hostOtherLines,
    &LogTally::file403Lines,    &LogTally::file404Lines,   &LogTally::fileOtherLines, &LogTally::post403Lines,
    &LogTally::post404Lines,    &LogTally::postOtherLines, &LogTally::watchedLines,   &LogTally::getExtract,
    &LogTally::postExtract,     &LogTally::referrerLog,    &LogTally::referrerList,   &LogTally::robotsLog};

}  // namespace

LogTally::LogTally(std::shared_ptr<const LogText> log) : LogTally(log, log->size()) {}

LogTally::LogTally(std::shared_ptr<const LogText> log, std::size_t lines, common::BlockPool* pool)
    : logLines(log), hosts(log), getFiles(log), postFiles(log), rankings(std::make_shared<Rankings>(log)) {
    for (auto list : kEntryLists) this->*list = std::make_shared<EntryList>(log);
    takeSegmentsFrom(pool);
    // The lists that take about one entry per line get room for every line up front: big lists are
    // mapped memory that costs nothing until it is written, and they need no copying as they grow.
    for (auto list : kPerLineLists) (this->*list)->reserve(lines);
}

const std::array<std::shared_ptr<EntryList> LogTally::*, 4> LogTally::kPerLineLists = {
    &LogTally::connectionLines, &LogTally::getExtract, &LogTally::referrerLog, &LogTally::referrerList};

void LogTally::append(LogTally&& later) {
    lineCount += later.lineCount;
    for (std::size_t h = 0; h < 24; ++h) {
        hourConnections[h] += later.hourConnections[h];
        hourGets[h] += later.hourGets[h];
        hourPosts[h] += later.hourPosts[h];
    }
    hostCount += static_cast<std::int64_t>(hosts.addFrom(later.hosts));
    getCount += later.getCount;
    getFileCount += static_cast<std::int64_t>(getFiles.addFrom(later.getFiles));
    get200Count += later.get200Count;
    postCount += later.postCount;
    postFileCount += static_cast<std::int64_t>(postFiles.addFrom(later.postFiles));
    post200Count += later.post200Count;
    status200Count += later.status200Count;
    faviconCount += later.faviconCount;
    faviconIeCount += later.faviconIeCount;
    bytesSent += later.bytesSent;
    for (auto list : kEntryLists) (this->*list)->append(std::move(*(later.*list)));
    if (rankings && later.rankings) rankings->merge(std::move(*later.rankings));
    if (watcher && later.watcher) watcher->append(*later.watcher);
    skippedLines.insert(skippedLines.end(), later.skippedLines.begin(), later.skippedLines.end());
}

void LogTally::takeSegmentsFrom(common::BlockPool* pool) {
    for (auto list : kEntryLists) (this->*list)->takeSegmentsFrom(pool);
    for (DistinctList* d : {&hosts, &getFiles, &postFiles}) d->takeSegmentsFrom(pool);
}

}  // namespace analysis
