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
#include "cli/argparser.h"
#include "cli/commands.h"
#include "cli/output.h"
#include "cli/reportview.h"
#include "common/apperror.h"
#include "common/cp932.h"
#include "history/dayfigures.h"
#include "report/csvreport.h"
#include "report/htmlreport.h"
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

namespace {

struct ReportArgs {
    enum class Format { Text, Summary, Json, Rankings, None } format = Format::Text;
    std::optional<std::size_t> top;
    std::optional<std::string> htmlFile, csvDir;
    int unit = 0;
    analysis::AnalysisOptions options;
    std::optional<std::string> file;
    bool recordDays = false;
};

ArgParser reportParser(ReportArgs& a) {
    using Format = ReportArgs::Format;
    ArgParser p("report", reportUsage());
    auto format = [&a](Format f) {
        return [&a, f]() -> std::string {
            if (a.format != Format::Text) return "--json, --summary and --rankings exclude each other";
            a.format = f;
            return {};
        };
    };
    p.help()
        .flag("--json", format(Format::Json))
        .flag("--summary", format(Format::Summary))
        .flag("--rankings", format(Format::Rankings))
        .flag("--record", [&a] { return a.recordDays = true, std::string(); })
        .flag("--no-rankings", [&a] { return a.options.rankings = false, std::string(); })
        .flag("--skip-bad-lines", [&a] { return a.options.skipBadLines = true, std::string(); })
        .value("--format",
               [&a](const std::string& v) -> std::string {
                   if (v == "auto") return {};
                   a.options.layout = analysis::layoutNamed(v);
                   if (!a.options.layout) return "unknown --format '" + v + "' (auto|" + analysis::layoutNames() + ")";
                   return {};
               })
        .value("--client-from",
               [&a](const std::string& v) -> std::string {
                   if (v != "forwarded" && v != "address")
                       return "--client-from takes forwarded or address, not '" + v + "'";
                   a.options.clientFromForwarded = v == "forwarded";
                   return {};
               })
        .value("--top",
               [&a](const std::string& v) -> std::string {
                   const auto n = digitsArg(v, 9);
                   if (!n) return "--top needs a number of rows, not '" + v + "'";
                   a.top = static_cast<std::size_t>(*n);
                   return {};
               })
        .value("--unit",
               [&a](const std::string& v) -> std::string {
                   a.unit = -1;
                   for (std::size_t u = 0; u < analysis::kUnits.size(); ++u)
                       if (v == analysis::kUnits[u]) a.unit = static_cast<int>(u);
                   if (a.unit < 0) return "unknown unit '" + v + "'";
                   return {};
               })
        .value("--materia", [&a](const std::string& v) { return a.options.materiaDir = v, std::string(); })
        .value("--html", [&a](const std::string& v) { return a.htmlFile = v, std::string(); })
        .value("--csv", [&a](const std::string& v) { return a.csvDir = v, std::string(); })
        .value("--threads",
               [&a](const std::string& v) -> std::string {
                   const auto n = digitsArg(v);
                   if (!n || *n < 1 || *n > 1024) return "--threads needs a number from 1 to 1024";
                   a.options.threads = static_cast<unsigned>(*n);
                   return {};
               })
        .operands([&a](const std::string& v) -> std::string {
            if (a.file) return "only one LOGFILE";
            a.file = v;
            return {};
        });
    return p;
}

// The usage errors of options that each read well alone.
std::string checkReportArgs(const ReportArgs& a) {
    if (!a.file) return "LOGFILE missing";
    if (a.top && a.format != ReportArgs::Format::Rankings) return "--top goes with --rankings";
    if (a.format == ReportArgs::Format::Rankings && !a.options.rankings)
        return "--rankings and --no-rankings exclude each other";
    return {};
}

// Saves the HTML page and the CSV files asked for; a report that cannot be saved is reported like a
// failed analysis, and the other one is still tried. Returns the last error.
std::optional<std::string> saveReports(const ReportArgs& a, const report::ReportRecord& record) {
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
    if (a.htmlFile) save([&] { report::writeHtmlReport(record, *a.htmlFile); });
    if (a.csvDir) save([&] { report::writeCsvReport(record, *a.csvDir); });
    return saveError;
}

// Prints the view in the format asked for; the write error, if any (the output is then taken back).
std::optional<std::string> printReport(const ReportArgs& a, ReportArgs::Format format, ReportView& view,
                                       const std::optional<std::string>& error) {
    using Format = ReportArgs::Format;
    StdoutGuard output;
    std::optional<std::string> writeError;
    try {
        switch (format) {
            case Format::None: break;
            case Format::Json: view.writeJson(stdout, *a.file, error); break;
            case Format::Summary: view.writeSummary(stdout); break;
            case Format::Text: view.writeText(stdout); break;
            case Format::Rankings: view.writeRankings(stdout, a.top.value_or(20)); break;
        }
        if (!StdoutGuard::flush()) writeError = common::msg::writeError();
    } catch (const std::bad_alloc&) {
        writeError = common::msg::outOfMemory();
    }
    if (writeError) output.rollback();
    return writeError;
}

int report(ReportArgs& a) {
    const std::string& file = *a.file;
    ReportView view(a.unit);
    std::optional<std::string> recordError;
    // The pass takes the days' figures as it goes, so that recording needs not read the log again,
    // and records them while the rankings are put together.
    std::optional<TallyRecorder> recorder;
    if (a.recordDays) {
        recorder.emplace(file, a.options);
        a.options.watcher = history::dayWatcher();
        a.options.whileFinishing = [&](const analysis::LogTally& t, const analysis::ReferenceLists& lists) {
            recordError = recorder->record(t, lists);
        };
    }
    // Counts alone leave the lines unread after the pass: a gzip log need not be held whole.
    a.options.readOnce = a.format == ReportArgs::Format::Summary && !a.htmlFile && !a.csvDir && !a.recordDays;
    report::ReportRecord record(&view);
    record.begin(file, std::time(nullptr));
    std::optional<std::string> error;
    try {
        analysis::LogCounting(file, record, a.options);
    } catch (const std::exception& e) {
        error = common::withPeriod(e.what());
        record.fail(*error);
    }
    // The counts are those of the text before it: a log cut short by a crash ends in zero bytes.
    if (const auto zeroLine = view.zeroByteLine())
        std::fprintf(stderr, "munyaro-cli: %s:%zu: ゼロのバイトで読み終えました\n", file.c_str(), *zeroLine);
    const std::optional<std::string> saveError = saveReports(a, record);
    const bool saving = a.htmlFile || a.csvDir;
    const auto format = saving && a.format == ReportArgs::Format::Text ? ReportArgs::Format::None : a.format;
    const std::optional<std::string> writeError = printReport(a, format, view, error);
    if (error) {
        printError(*error);
        if (const auto line = view.errorLine())
            std::fprintf(stderr, "munyaro-cli: %s:%zu: stopped here\n", file.c_str(), *line);
    }
    if (writeError) printError(*writeError);
    if (recordError) printError(*recordError);
    return error || writeError || saveError || recordError ? 1 : 0;
}

}  // namespace

int runReport(int argc, char** argv) {
    ReportArgs args;
    const ArgParser parser = reportParser(args);
    if (const auto exit = parser.parse(argc, argv)) return *exit;
    if (const std::string why = checkReportArgs(args); !why.empty()) return parser.usageError(why);
    return report(args);
}

}  // namespace cli
