// Fetching the last N days of logs by a name pattern over one connection: the days missed while
// the host keeps them.
#pragma once
#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "ftp/inetman.h"
#include "ftp/remotelist.h"

namespace ftp {

inline constexpr int kMaxDays = 31;
// A listing larger than this is cut off: some hundred thousand names fit.
inline constexpr std::size_t kListingLimit = 64u << 20;

// What became of one day.
struct DayOutcome {
    enum class Status { Fetched, AlreadyThere, Failed };
    std::chrono::year_month_day day;
    std::string remoteName;  // the server's name (code page 932), with ".gz" where only that is there
    std::string localPath;   // localDir + "/" + the name (UTF-8); empty when the name cannot be one
    Status status = Status::Failed;
    long long size = -1;
    std::string reason;  // why it failed (code page 932)
};

struct DaysResult {
    std::vector<DayOutcome> days;  // oldest first
    bool cancelled = false;        // stopped at the user's request; days holds those done before
    std::string listingNote;       // why the folder could not be listed (each day was then tried by name)
    ServerKey key;                 // a server key that stopped everything (as TransferResult's)
    int failed() const;
};

// The folder listed and read (parseListing, newest first), or the failure.
struct FolderListing {
    ListingResult result;
    std::vector<RemoteEntry> entries;
};
FolderListing listFolder(TFtpManager& manager, const std::string& dir, std::chrono::sys_seconds now);

// The days from last - (count - 1) to last (count 1 to kMaxDays), each named by pattern in dir,
// fetched in binary into localDir. A day whose local file has the size the listing gives is left
// alone; a day the server holds only as name + ".gz" is fetched as that. One day's failure is noted
// and the next day tried; a refused server key or a cancel (stop set) ends the run. onDay hears of
// each day when it is done, from the calling thread. Throws for a wrong pattern or count.
DaysResult fetchDays(TFtpManager& manager, const std::string& dir, const std::string& pattern,
                     std::chrono::year_month_day last, int count, const std::string& localDir,
                     const std::atomic<bool>& stop, const std::function<void(const DayOutcome&)>& onDay = {});

// The summary: "N 日分を取得、M 日分は取得済み、K 日分は失敗" and a line for each failed day.
std::string summary(const DaysResult& result);

}  // namespace ftp
