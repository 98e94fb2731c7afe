// Recording an analysed log: its days, checked against the pass, written in one transaction.
#include "history/recording.h"

#include "analysis/logcounting.h"
#include "common/apperror.h"
#include "common/cp932.h"
#include "common/programdir.h"
#include "lists/listfile.h"

namespace history {

namespace {

common::StringList loadList(const std::string& dir, const char* name) {
    return lists::loadList(dir.empty() ? common::materiaFile(name) : dir + "/" + name);
}

}  // namespace

Recording recordLog(Store& store, const std::string& path, const std::shared_ptr<const analysis::LogText>& log,
                    const analysis::LogTally* tally, const std::string& materiaDir, unsigned threads,
                    const std::function<void(std::size_t, std::size_t)>& progress) {
    analysis::ReferenceLists lists(loadList(materiaDir, lists::kCheckDomeinList),
                                   loadList(materiaDir, lists::kDomeinList),
                                   loadList(materiaDir, lists::kSERobotsList));
    analysis::loadBehaviourLists(lists, materiaDir);
    Recording out;
    out.days = splitIntoDays(log, lists, threads, tally);
    const std::string shown = common::pathText(path);
    if (tally) {
        if (const auto differs = differenceFromTally(out.days, *tally))
            throw common::AppError(common::formatMessage(
                common::cp932(u8"\"%s\" の日ごとの数が解析の数 (%s) と合わないので、履歴に残しませんでした"),
                {shown, *differs}));
    }
    if (!out.days.days.empty()) out.result = store.record(sourceOf(path, *log), out.days, progress);
    if (out.days.undated > 0)
        out.result.notes.push_back(
            common::formatMessage(common::cp932(u8"\"%s\" の %s 行は日時が読めないので、履歴に入れませんでした"),
                                  {shown, std::to_string(out.days.undated)}));
    for (DayShare& d : out.days.days) {
        d.hosts = {};
        d.visitors = {};
        d.top = {};
    }
    return out;
}

}  // namespace history
