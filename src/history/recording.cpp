// Recording an analysed log: its days, checked against the pass, written in one transaction.
#include "history/recording.h"

#include <future>
#include <optional>
#include <system_error>
#include <utility>

#include "analysis/blockrows.h"
#include "analysis/logfile.h"
#include "common/apperror.h"
#include "common/bigmemory.h"
#include "common/cp932.h"
#include "common/programdir.h"
#include "common/sparememory.h"
#include "lists/listfile.h"

namespace history {

namespace {

common::StringList loadList(const std::string& dir, const char* name) {
    return lists::loadList(dir.empty() ? common::materiaFile(name) : dir + "/" + name);
}

}  // namespace

std::unique_ptr<analysis::ReferenceLists> loadReferenceLists(const std::string& materiaDir) {
    auto lists = std::make_unique<analysis::ReferenceLists>(loadList(materiaDir, lists::kCheckDomeinList),
                                                            loadList(materiaDir, lists::kDomeinList),
                                                            loadList(materiaDir, lists::kSERobotsList));
    analysis::loadBehaviourLists(*lists, materiaDir);
    return lists;
}

SplitLog splitLog(const std::string& path, const std::shared_ptr<const analysis::LogText>& log,
                  const analysis::LogTally* tally, const analysis::ReferenceLists& lists, unsigned threads) {
    SplitLog out;
    out.path = path;
    out.days = splitIntoDays(log, lists, threads, tally);
    if (tally) {
        if (const auto differs = differenceFromTally(out.days, *tally))
            throw common::AppError(common::formatMessage(
                common::cp932(u8"\"%s\" の日ごとの数が解析の数 (%s) と合わないので、履歴に残しませんでした"),
                {common::pathText(path), *differs}));
    }
    if (!out.days.days.empty()) out.source = sourceOf(path, *log);
    return out;
}

Recording recordSplit(Store& store, SplitLog&& split, const std::function<void(std::size_t, std::size_t)>& progress) {
    Recording out;
    out.days = std::move(split.days);
    if (!out.days.days.empty()) out.result = store.record(split.source, out.days, progress);
    if (out.days.undated > 0)
        out.result.notes.push_back(
            common::formatMessage(common::cp932(u8"\"%s\" の %s 行は日時が読めないので、履歴に入れませんでした"),
                                  {common::pathText(split.path), std::to_string(out.days.undated)}));
    for (DayShare& d : out.days.days) {
        d.hosts = {};
        d.visitors = {};
        d.top = {};
    }
    return out;
}

Recording recordLog(Store& store, const std::string& path, const std::shared_ptr<const analysis::LogText>& log,
                    const analysis::LogTally* tally, const std::string& materiaDir, unsigned threads,
                    const std::function<void(std::size_t, std::size_t)>& progress) {
    const auto lists = loadReferenceLists(materiaDir);
    return recordSplit(store, splitLog(path, log, tally, *lists, threads), progress);
}

void recordLogs(Store& store, const std::vector<std::string>& paths, const std::string& materiaDir, unsigned threads,
                const RecordedLog& done, const std::function<void(std::size_t)>& starting) {
    recordLogs([&store]() -> Store& { return store; }, paths, materiaDir, threads, done, starting);
}

void recordLogs(const std::function<Store&()>& open, const std::vector<std::string>& paths,
                const std::string& materiaDir, unsigned threads, const RecordedLog& done,
                const std::function<void(std::size_t)>& starting) {
    // Each log's text goes into the memory of one read before, and its tables into those of the
    // log before it: memory mapped afresh costs a page fault each 4 KB, and given back, a flush of
    // every core's address cache.
    const common::KeepFreedBlock reuse;
    const analysis::SpareBlocks keep;
    // The first log is read while the history is opened and the lists are read, which mostly wait
    // for the disk.
    std::future<std::shared_ptr<analysis::LogText>> first;
    if (!paths.empty()) {
        auto read = [path = paths.front(), threads] { return analysis::loadLog(path, threads); };
        try {
            first = std::async(std::launch::async, read);
        } catch (const std::system_error&) {
            first = std::async(std::launch::deferred, read);  // no thread to spare: read in its turn
        }
    }
    Store& store = open();
    std::unique_ptr<analysis::ReferenceLists> lists;
    std::exception_ptr listsError;
    try {
        lists = loadReferenceLists(materiaDir);
    } catch (...) {
        listsError = std::current_exception();
    }
    // A log counted and waiting to be written, which still holds its text.
    struct Counted {
        std::size_t index = 0;
        std::shared_ptr<const analysis::LogText> log;
        CountedDays days;
        SplitLog split;
        std::exception_ptr error;
        // Puts the days together and gives the text back; what fails is told when the log is written.
        void release() noexcept {
            if (!log) return;
            try {
                if (!days.empty()) split.source = sourceOf(split.path, *log);
                split.days = days.finish();
            } catch (...) {
                error = std::current_exception();
            }
            log.reset();
        }
    };
    std::optional<Counted> counted;
    struct Written {
        std::size_t index = 0;
        Recording recording;
        std::exception_ptr error;
    };
    std::optional<Written> written;
    auto write = [&] {
        if (!counted) return;
        Written w;
        w.index = counted->index;
        try {
            counted->release();
            if (counted->error) std::rethrow_exception(counted->error);
            w.recording = recordSplit(store, std::move(counted->split));
        } catch (...) {
            w.error = std::current_exception();
        }
        counted.reset();
        written = std::move(w);
    };
    auto tellWritten = [&] {
        if (!written) return;
        done(written->index, written->error ? nullptr : &written->recording, written->error);
        written.reset();
    };
    // The log read ahead, while the one before it was counted.
    std::shared_ptr<const analysis::LogText> ahead;
    std::exception_ptr aheadError;
    bool readAhead = false;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (starting) starting(i);
        std::exception_ptr error = listsError;
        std::shared_ptr<const analysis::LogText> log;
        CountedDays days;
        if (!error) {
            try {
                if (first.valid()) {
                    log = first.get();
                } else if (readAhead) {
                    readAhead = false;
                    if (aheadError) std::rethrow_exception(std::exchange(aheadError, nullptr));
                    log = std::move(ahead);
                } else {
                    // The text of the log before goes back first, so that this one's takes its memory.
                    if (counted) counted->release();
                    log = analysis::loadLog(paths[i], threads);
                }
                // Two logs at once only while they are small beside the memory left: a big one's
                // counting needs that memory more than the next log's text does.
                const auto left = common::availableMemory();
                const bool next = i + 1 < paths.size() && (!left || log->bufferSize() <= *left / 8);
                // The log before is written, and the next one read, by one of the counting threads in
                // its turn: threads of their own beside the counting ones would crowd the cores, and
                // the system leaves a core idle rather than move a thread to it at once. The next log
                // is read once the text of the one before has gone back, into its memory: read sooner,
                // beside it, it would take fresh pages, whose clearing costs about a fifth of inflating.
                days = countDays(log, *lists, threads, [&] {
                    write();
                    if (!next) return;
                    try {
                        ahead = analysis::loadLog(paths[i + 1], 1);
                    } catch (...) {
                        aheadError = std::current_exception();
                    }
                    readAhead = true;
                });
            } catch (...) {
                error = std::current_exception();
            }
        }
        write();
        tellWritten();
        if (error) {
            done(i, nullptr, error);
            continue;
        }
        counted.emplace();
        counted->index = i;
        counted->log = std::move(log);
        counted->days = std::move(days);
        counted->split.path = paths[i];
    }
    write();
    tellWritten();
}

}  // namespace history
