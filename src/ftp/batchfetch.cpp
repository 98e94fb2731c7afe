// Fetching several days.
#include "ftp/batchfetch.h"

#include <sys/stat.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "ftp/ftpsetting.h"
#include "ftp/namepattern.h"

namespace ftp {

namespace {

std::string jp(std::u8string_view utf8) { return common::cp932(utf8); }

long long localSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) ? static_cast<long long>(st.st_size) : -1;
}

// Which name of the day the server holds: the name itself, else the name with ".gz".
const RemoteEntry* listed(const std::vector<RemoteEntry>& entries, const std::string& name) {
    if (const RemoteEntry* e = findEntry(entries, name)) return e;
    return findEntry(entries, name + ".gz");
}

}  // namespace

int DaysResult::failed() const {
    int n = 0;
    for (const auto& d : days) n += d.status == DayOutcome::Status::Failed;
    return n;
}

FolderListing listFolder(TFtpManager& manager, const std::string& dir, std::chrono::sys_seconds now) {
    FolderListing folder;
    folder.result = manager.ListDir(dir, kListingLimit);
    if (folder.result.transfer.ok || folder.result.cut) folder.entries = parseListing(folder.result.text, now);
    return folder;
}

DaysResult fetchDays(TFtpManager& manager, const std::string& dir, const std::string& pattern,
                     std::chrono::year_month_day last, int count, const std::string& localDir,
                     const std::atomic<bool>& stop, const std::function<void(const DayOutcome&)>& onDay) {
    using namespace std::chrono;
    if (count < 1 || count > kMaxDays)
        throw common::AppError(common::formatMessage(jp(u8"日数は 1 から %s までです"), {std::to_string(kMaxDays)}));
    if (!namesEachDay(pattern))
        throw common::AppError(common::formatMessage(
            jp(u8"ファイル名の形式 \"%s\" には日付 (%d または %j) がないため、日ごとのファイルを選べません"), {pattern}));
    DaysResult result;
    manager.BeginSession();
    struct EndSession {
        TFtpManager& m;
        ~EndSession() { m.EndSession(); }
    } endSession{manager};

    const FolderListing folder = listFolder(manager, dir, floor<seconds>(system_clock::now()));
    if (folder.result.transfer.key.status != ServerKey::Status::None) {
        result.key = folder.result.transfer.key;
        result.listingNote = folder.result.transfer.reason;
        return result;
    }
    if (folder.result.transfer.cancelled || stop) {
        result.cancelled = true;
        return result;
    }
    const bool haveListing = folder.result.transfer.ok;
    if (!haveListing) result.listingNote = folder.result.transfer.reason;

    for (int i = count - 1; i >= 0; --i) {
        if (stop) {
            result.cancelled = true;
            break;
        }
        DayOutcome day;
        day.day = year_month_day(sys_days(last) - days(i));
        const std::string name = expandPattern(pattern, day.day);
        day.remoteName = name;
        const RemoteEntry* entry = haveListing ? listed(folder.entries, name) : nullptr;
        if (entry != nullptr) day.remoteName = entry->name;
        const std::string localName = common::utf8FromCp932(day.remoteName);
        if (!isPlainFileName(localName) || (entry != nullptr && !entry->usable)) {
            day.reason = jp(u8"この名前はローカルのファイル名に使えません");
        } else if (haveListing && entry == nullptr) {
            day.reason = jp(u8"サーバーにありません（.gz もありません）");
        } else {
            day.localPath = localDir + "/" + localName;
            day.size = entry != nullptr ? entry->size : -1;
            if (day.size >= 0 && localSize(day.localPath) == day.size) {
                day.status = DayOutcome::Status::AlreadyThere;
            } else {
                TransferResult got = manager.GetFile(remoteJoin(dir, day.remoteName), day.localPath, true);
                if (got.missing && entry == nullptr) {
                    // Not listed: try the compressed name, as the host keeps older days.
                    day.remoteName = name + ".gz";
                    day.localPath = localDir + "/" + common::utf8FromCp932(day.remoteName);
                    got = manager.GetFile(remoteJoin(dir, day.remoteName), day.localPath, true);
                }
                if (got.ok) {
                    day.status = DayOutcome::Status::Fetched;
                    day.size = localSize(day.localPath);
                } else if (got.cancelled) {
                    result.cancelled = true;
                    break;
                } else {
                    day.reason = got.reason;
                    if (got.key.status != ServerKey::Status::None) {
                        result.key = got.key;
                        result.days.push_back(day);
                        if (onDay) onDay(day);
                        break;
                    }
                }
            }
        }
        result.days.push_back(day);
        if (onDay) onDay(day);
    }
    return result;
}

std::string summary(const DaysResult& result) {
    int fetched = 0, there = 0;
    for (const auto& d : result.days) {
        fetched += d.status == DayOutcome::Status::Fetched;
        there += d.status == DayOutcome::Status::AlreadyThere;
    }
    std::string text = common::formatMessage(jp(u8"%s 日分を取得、%s 日分は取得済み、%s 日分は失敗"),
                                             {std::to_string(fetched), std::to_string(there),
                                              std::to_string(result.failed())});
    if (result.cancelled) text += jp(u8"（途中で中止しました）");
    if (!result.listingNote.empty()) text += "\n" + jp(u8"一覧を取得できません: ") + result.listingNote;
    for (const auto& d : result.days)
        if (d.status == DayOutcome::Status::Failed) text += "\n" + shownName(d.remoteName) + ": " + d.reason;
    return text;
}

}  // namespace ftp
