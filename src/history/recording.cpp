// Recording an analysed log: its days, checked against the pass, written in one transaction.
#include "history/recording.h"

#include <future>

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
    // Each log's text goes into the memory of one read before, and its tables into those of the
    // log before it: memory mapped afresh costs a page fault each 4 KB, and given back, a flush of
    // every core's address cache.
    const common::KeepFreedBlock reuse;
    const analysis::SpareBlocks keep;
    std::unique_ptr<analysis::ReferenceLists> lists;
    std::exception_ptr listsError;
    try {
        lists = loadReferenceLists(materiaDir);
    } catch (...) {
        listsError = std::current_exception();
    }
    // A log is read once the text of the one being written has gone back, into its memory: read
    // sooner, beside it, it would take fresh pages, whose clearing costs about a fifth of inflating.
    // The writer gives its text back soon after it starts, and the counting meanwhile keeps the cores
    // busy. A writer that fails first breaks its promise, which ends the wait all the same.
    std::shared_future<void> textGone;  // of the log being written
    auto load = [threads](const std::string& path, std::shared_future<void> after) {
        return std::async(std::launch::async, [path, threads, after] {
            if (after.valid()) after.wait();
            return analysis::loadLog(path, threads);
        });
    };
    std::future<std::shared_ptr<analysis::LogText>> next;
    // The log being written, and which one it is.
    std::future<Recording> writing;
    std::size_t written = 0;
    auto finishWriting = [&] {
        if (!writing.valid()) return;
        std::exception_ptr error;
        Recording r;
        try {
            r = writing.get();
        } catch (...) {
            error = std::current_exception();
        }
        done(written, error ? nullptr : &r, error);
    };
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (starting) starting(i);
        std::exception_ptr error = listsError;
        std::shared_ptr<const analysis::LogText> log;
        CountedDays counted;
        if (!error) {
            try {
                auto loading = next.valid() ? std::move(next) : load(paths[i], {});
                log = loading.get();
                // Two logs at once only while they are small beside the memory left: a big one's
                // counting needs that memory more than the next log's text does.
                if (i + 1 < paths.size()) {
                    const auto left = common::availableMemory();
                    if (!left || log->bufferSize() <= *left / 8) next = load(paths[i + 1], textGone);
                }
                counted = countDays(log, *lists, threads);
            } catch (...) {
                error = std::current_exception();
            }
        }
        finishWriting();
        if (error) {
            done(i, nullptr, error);
            continue;
        }
        written = i;
        // The days are put together and written beside the counting of the next log.
        std::promise<void> gone;
        textGone = gone.get_future().share();
        writing = std::async(std::launch::async, [&store, path = paths[i], log = std::move(log),
                                                  c = std::move(counted), gone = std::move(gone)]() mutable {
            SplitLog split;
            split.path = path;
            if (!c.empty()) split.source = sourceOf(path, *log);
            split.days = c.finish();
            log.reset();
            gone.set_value();
            return recordSplit(store, std::move(split));
        });
    }
    finishWriting();
}

}  // namespace history
