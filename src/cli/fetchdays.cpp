// munyaro-cli fetch --list and --days.
#include "cli/fetchdays.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#include "cli/commands.h"
#include "common/cp932.h"
#include "ftp/batchfetch.h"
#include "ftp/namepattern.h"

namespace cli {

namespace {

// Server and component texts are code page 932; the terminal gets UTF-8.
std::string out(const std::string& cp932) { return common::utf8FromCp932(cp932); }

// Runs job on a thread while this one turns an interrupt into a cancel of the running transfer.
template <typename Job>
void whileCancellable(ftp::TFtpManager& manager, const std::atomic<bool>& interrupted, Job job) {
    std::atomic<bool> done{false};
    std::thread worker([&] {
        job();
        done = true;
    });
    while (!done) {
        if (interrupted) manager.Cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    worker.join();
}

}  // namespace

int printListing(ftp::TFtpManager& manager, const std::string& dir) {
    using namespace std::chrono;
    const ftp::FolderListing folder = ftp::listFolder(manager, dir, floor<seconds>(system_clock::now()));
    for (const auto& e : folder.entries) {
        const std::string size = e.size >= 0 ? std::to_string(e.size) : "-";
        // Names a local file cannot take are marked, so a script does not try them.
        std::printf("%-16s %12s %s%s\n", ftp::shownTime(e).c_str(), size.c_str(), e.usable ? "" : "! ",
                    out(ftp::shownName(e.name)).c_str());
    }
    if (!folder.result.transfer.ok) {
        std::fprintf(stderr, "munyaro-cli fetch: %s\n", out(folder.result.transfer.reason).c_str());
        return 1;
    }
    return 0;
}

int fetchDaysCommand(ftp::TFtpManager& manager, const DaysOptions& options, const std::atomic<bool>& interrupted) {
    using namespace std::chrono;
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    const year_month_day today{year(local.tm_year + 1900), month(unsigned(local.tm_mon + 1)),
                               day(unsigned(local.tm_mday))};
    const year_month_day last = ftp::proposedDay(
        today, hours(local.tm_hour) + minutes(local.tm_min) + seconds(local.tm_sec));
    ftp::DaysResult result;
    std::string error;
    whileCancellable(manager, interrupted, [&] {
        try {
            result = ftp::fetchDays(manager, options.dir, options.pattern, last, options.days, options.outDir,
                                    interrupted, [](const ftp::DayOutcome& day) {
                                        const char* what = day.status == ftp::DayOutcome::Status::Fetched ? "fetched"
                                                           : day.status == ftp::DayOutcome::Status::AlreadyThere
                                                               ? "there"
                                                               : "failed";
                                        std::printf("%-8s %s\n", what, out(ftp::shownName(day.remoteName)).c_str());
                                        std::fflush(stdout);
                                    });
        } catch (const std::exception& e) {
            error = e.what();
        }
    });
    if (!error.empty()) {
        std::fprintf(stderr, "munyaro-cli fetch: %s\n", out(error).c_str());
        return 2;
    }
    std::fprintf(stderr, "munyaro-cli fetch: %s\n", out(ftp::summary(result)).c_str());
    if (result.key.status == ftp::ServerKey::Status::Unknown)
        std::fprintf(stderr, "munyaro-cli fetch: not trusted; to trust this server run again with --trust %s\n",
                     result.key.fingerprint.c_str());
    int status = result.failed() > 0 || result.cancelled || result.key.status != ftp::ServerKey::Status::None ? 1 : 0;
    if (options.record) {
        for (const auto& day : result.days) {
            if (day.status != ftp::DayOutcome::Status::Fetched) continue;
            std::vector<std::string> args{"report", "--summary", "--record"};
            if (!options.materia.empty()) args.insert(args.end(), {"--materia", options.materia});
            args.push_back(day.localPath);
            std::vector<char*> argv;
            for (auto& a : args) argv.push_back(a.data());
            if (runReport(static_cast<int>(argv.size()), argv.data()) != 0) status = 1;
        }
    }
    return status;
}

}  // namespace cli
