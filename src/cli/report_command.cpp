// munyaro-cli report: runs the main window's analysis on one log and prints what the window shows.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <new>
#include <optional>
#include <string>

#include "analysis/logcounting.h"
#include "analysis/report.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/reportview.h"
#include "common/apperror.h"
#include "common/cp932.h"
#include "report/csvreport.h"
#include "report/htmlreport.h"
#include "history/dayfigures.h"
#include "report/reportrecord.h"

namespace cli {

const char* reportUsage() {
    return "  munyaro-cli report [--json | --summary | --rankings [--top N]] [--unit byte|Kb|Mb|Gb]\n"
           "                     [--materia DIR] [--html FILE] [--csv DIR] [--threads N] [--no-rankings]\n"
           "                     [--format auto|LAYOUT] [--skip-bad-lines] [--client-from forwarded]\n"
           "                     [--record] LOGFILE\n"
           "\n"
           "    Analyses LOGFILE (an Apache combined-format access log, plain or gzip) as the main\n"
           "    window does after a fresh start, with the reference lists of DIR (default: materia/\n"
           "    of the program's data folder), and prints the summary boxes and every result pane as\n"
           "    UTF-8.\n"
           "      --summary    the summary boxes only (the whole analysis still runs)\n"
           "      --json       one JSON object: file, error, errorLine, stoppedAtZeroByte, tally, boxes,\n"
           "                   panes, progress, rankings, visits, hostDetail\n"
           "      --rankings   the ranking tables only, the top N rows of each (default 20, 0: all),\n"
           "                   then the visits and the host detail\n"
           "      --no-rankings  leave the rankings out of the pass (to time the pass without them)\n"
           "      --unit U     unit of the transfer amount (default byte)\n"
           "      --html FILE  saves the report as one HTML page (replaced if it exists)\n"
           "      --csv DIR    saves every table and pane but the raw log as CSV files into DIR\n"
           "      --threads N  threads for the pass (default: one per processor); the result is\n"
           "                   the same with any number\n"
           "      --format F   the line layout: auto (default: told from the first 1,000 lines),\n"
           "                   combined, common, vhost (a virtual host before the client), or one of\n"
           "                   vhost-combined, vhost-common, combined-extra, common-extra,\n"
           "                   vhost-combined-extra, vhost-common-extra (-extra: fields after the\n"
           "                   user agent, or after the byte count of a common line)\n"
           "      --skip-bad-lines  a line whose hour or byte count cannot be read is counted and\n"
           "                   listed instead of stopping the analysis\n"
           "      --client-from forwarded  the first address of a trailing X-Forwarded-For field\n"
           "                   is the line's host (for sites behind a CDN or a reverse proxy)\n"
           "      --record     keeps the log's days in the history (see history)\n"
           "    With --html or --csv nothing is printed unless --json or --summary is given.\n"
           "    Exit status: 0 analysed, 1 the analysis stopped with an error (text on stderr,\n"
           "    followed by \"FILE:N: stopped here\" when line N stopped it) or a report could not\n"
           "    be saved, 2 wrong usage.\n";
}

int runReport(int argc, char** argv) {
    enum class Format { Text, Summary, Json, Rankings, None } format = Format::Text;
    std::optional<std::size_t> top;
    std::optional<std::string> htmlFile, csvDir;
    int unit = 0;
    analysis::AnalysisOptions options;
    std::optional<std::string> file;
    bool recordDays = false;
    auto usageError = [](const std::string& why) {
        std::fprintf(stderr, "munyaro-cli report: %s\nusage:\n%s", why.c_str(), reportUsage());
        return 2;
    };
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::printf("usage:\n%s", reportUsage());
            return 0;
        } else if (arg == "--json" || arg == "--summary" || arg == "--rankings") {
            if (format != Format::Text) return usageError("--json, --summary and --rankings exclude each other");
            format = arg == "--json" ? Format::Json : arg == "--summary" ? Format::Summary : Format::Rankings;
        } else if (arg == "--record") {
            recordDays = true;
        } else if (arg == "--no-rankings") {
            options.rankings = false;
        } else if (arg == "--skip-bad-lines") {
            options.skipBadLines = true;
        } else if (arg == "--format" || arg == "--client-from") {
            if (i + 1 >= argc) return usageError(arg + " needs a value");
            const std::string value = argv[++i];
            if (arg == "--client-from") {
                if (value != "forwarded" && value != "address")
                    return usageError("--client-from takes forwarded or address, not '" + value + "'");
                options.clientFromForwarded = value == "forwarded";
            } else if (value != "auto") {
                options.layout = analysis::layoutNamed(value);
                if (!options.layout)
                    return usageError("unknown --format '" + value + "' (auto|" + analysis::layoutNames() + ")");
            }
        } else if (arg == "--top") {
            if (i + 1 >= argc) return usageError("--top needs a value");
            const std::string value = argv[++i];
            if (value.empty() || value.size() > 9 || value.find_first_not_of("0123456789") != std::string::npos)
                return usageError("--top needs a number of rows, not '" + value + "'");
            top = static_cast<std::size_t>(std::stoul(value));
        } else if (arg == "--unit" || arg == "--materia" || arg == "--html" || arg == "--csv" || arg == "--threads") {
            if (i + 1 >= argc) return usageError(arg + " needs a value");
            const std::string value = argv[++i];
            if (arg == "--threads") {
                char* end = nullptr;
                const unsigned long n = std::strtoul(value.c_str(), &end, 10);
                if (value.empty() || value[0] < '0' || value[0] > '9' || *end != '\0' || n < 1 || n > 1024)
                    return usageError("--threads needs a number from 1 to 1024");
                options.threads = static_cast<unsigned>(n);
                continue;
            }
            if (arg == "--materia" || arg == "--html" || arg == "--csv") {
                (arg == "--materia" ? options.materiaDir
                 : arg == "--html"  ? htmlFile.emplace()
                                    : csvDir.emplace()) = value;
                continue;
            }
            unit = -1;
            for (std::size_t u = 0; u < analysis::kUnits.size(); ++u)
                if (value == analysis::kUnits[u]) unit = static_cast<int>(u);
            if (unit < 0) return usageError("unknown unit '" + value + "'");
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError("unknown option '" + arg + "'");
        } else {
            if (file) return usageError("only one LOGFILE");
            file = arg;
        }
    }
    if (!file) return usageError("LOGFILE missing");
    if (top && format != Format::Rankings) return usageError("--top goes with --rankings");
    if (format == Format::Rankings && !options.rankings)
        return usageError("--rankings and --no-rankings exclude each other");

    ReportView view(unit);
    std::optional<std::string> recordError;
    // The pass takes the days' figures as it goes, so that recording needs not read the log again.
    if (recordDays) options.watcher = history::dayWatcher();
    if (recordDays) view.onTallied = [&](const analysis::LogTally& t) { recordError = recordTally(*file, t, options); };
    report::ReportRecord record(&view);
    record.begin(*file, std::time(nullptr));
    std::optional<std::string> error;
    try {
        analysis::LogCounting(*file, record, options);
    } catch (const std::exception& e) {
        error = common::withPeriod(e.what());
        record.fail(*error);
    }
    // The counts are those of the text before it: a log cut short by a crash ends in zero bytes.
    if (const auto zeroLine = view.zeroByteLine())
        std::fprintf(stderr, "munyaro-cli: %s:%zu: ゼロのバイトで読み終えました\n", file->c_str(), *zeroLine);
    // A report that cannot be saved is reported like a failed analysis; the other one is still tried.
    std::optional<std::string> saveError;
    auto save = [&](auto write) {
        try {
            write();
        } catch (const std::bad_alloc&) {
            saveError = common::withPeriod(common::msg::outOfMemory());
            printError(*saveError);
        } catch (const std::exception& e) {
            saveError = common::withPeriod(e.what());
            printError(*saveError);
        }
    };
    if (htmlFile) save([&] { report::writeHtmlReport(record, *htmlFile); });
    if (csvDir) save([&] { report::writeCsvReport(record, *csvDir); });
    const bool saving = htmlFile || csvDir;
    if (saving && format == Format::Text) format = Format::None;
    StdoutGuard output;
    std::optional<std::string> writeError;
    try {
        switch (format) {
            case Format::None: break;
            case Format::Json: view.writeJson(stdout, *file, error); break;
            case Format::Summary: view.writeSummary(stdout); break;
            case Format::Text: view.writeText(stdout); break;
            case Format::Rankings: view.writeRankings(stdout, top.value_or(20)); break;
        }
        if (!StdoutGuard::flush()) writeError = common::msg::writeError();
    } catch (const std::bad_alloc&) {
        writeError = common::msg::outOfMemory();
    }
    if (writeError) output.rollback();
    if (error) {
        printError(*error);
        if (const auto line = view.errorLine())
            std::fprintf(stderr, "munyaro-cli: %s:%zu: stopped here\n", file->c_str(), *line);
    }
    if (writeError) printError(*writeError);
    if (recordError) printError(*recordError);
    return error || writeError || saveError || recordError ? 1 : 0;
}

}  // namespace cli
