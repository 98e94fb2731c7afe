// munyaro-cli history: records logs into the history of analysed days and shows it.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "analysis/logcounting.h"
#include "cli/argparser.h"
#include "cli/commands.h"
#include "cli/historyoutput.h"
#include "cli/output.h"
#include "common/apperror.h"
#include "common/cp932.h"
#include "common/sha256.h"
#include "history/export.h"
#include "history/recording.h"
#include "history/store.h"

namespace cli {

const char* historyUsage() {
    return "  munyaro-cli history add [--materia DIR] [--threads N] LOG...\n"
           "  munyaro-cli history show [--from D] [--to D] [--by day|month] [--json | --csv [FILE] | --html FILE]\n"
           "  munyaro-cli history rankings [--from D] [--to D] [--top N] [--json]\n"
           "  munyaro-cli history remove --from D --to D\n"
           "\n"
           "    The history of analysed days, history.sqlite beside materia/ (every command takes\n"
           "    --materia DIR: the history is then the one beside DIR). D is YYYY-MM-DD or YYYY-MM.\n"
           "      add       records each LOG (plain or gzip) as its share of every day it touches;\n"
           "                the same log again (same name and first line, also grown) replaces its\n"
           "                shares, a share of another log that overlaps in time is replaced (said on\n"
           "                stderr)\n"
           "      show      one row per day (or month) and the total; hosts and visitors are exact\n"
           "                distinct counts over each row, never sums of days\n"
           "      rankings  sums over the range of each day's top rows (default 20 rows a table)\n"
           "      remove    removes the days from..to\n"
           "    Exit status: 0 done, 1 an error (text on stderr), 2 wrong usage.\n";
}

namespace {

struct Args {
    std::string action;
    history::Day from = 0, to = 99991231;
    bool hasFrom = false, hasTo = false;
    bool byMonth = false;
    enum class Format { Text, Json, Csv, Html } format = Format::Text;
    std::string outFile;
    std::size_t top = 20;
    std::string materiaDir;
    unsigned threads = 0;
    std::vector<std::string> logs;
};

// The history beside materiaDir, or the data folder's.
std::string historyPath(const std::string& materiaDir) {
    if (materiaDir.empty()) return history::Store::defaultPath();
    std::string dir = materiaDir;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    const std::size_t slash = dir.find_last_of('/');
    return (slash == std::string::npos ? std::string() : dir.substr(0, slash + 1)) + "history.sqlite";
}

// The options after the action.
ArgParser historyParser(Args& a) {
    ArgParser p("history", historyUsage());
    auto day = [&a](bool from) {
        return [&a, from](const std::string& v) -> std::string {
            const auto d = history::parseDay(v);
            if (!d)
                return std::string(from ? "--from" : "--to") + " needs a date YYYY-MM-DD or a month YYYY-MM, not '" +
                       v + "'";
            // A month as the end of a range runs to its last day.
            if (from) {
                a.from = *d;
                a.hasFrom = true;
            } else {
                a.to = v.size() == 7 ? *d / 100 * 100 + 31 : *d;
                a.hasTo = true;
            }
            return {};
        };
    };
    auto format = [&a](Args::Format f) {
        return [&a, f](const std::string& v) -> std::string {
            if (a.format != Args::Format::Text) return "--json, --csv and --html exclude each other";
            a.format = f;
            a.outFile = v;
            return {};
        };
    };
    p.value("--from", day(true))
        .value("--to", day(false))
        .value("--by",
               [&a](const std::string& v) -> std::string {
                   if (v != "day" && v != "month") return "--by takes day or month";
                   a.byMonth = v == "month";
                   return {};
               })
        .value("--top",
               [&a](const std::string& v) -> std::string {
                   const auto n = digitsArg(v, 6);
                   if (!n) return "--top needs a number, not '" + v + "'";
                   a.top = *n;
                   return {};
               })
        .value("--threads",
               [&a](const std::string& v) -> std::string {
                   const auto n = digitsArg(v, 6);
                   if (!n) return "--threads needs a number, not '" + v + "'";
                   if ((a.threads = static_cast<unsigned>(*n)) < 1) return "--threads needs at least 1";
                   return {};
               })
        .value("--materia", [&a](const std::string& v) { return a.materiaDir = v, std::string(); })
        .flag("--json", [f = format(Args::Format::Json)] { return f(""); })
        .optionalValue("--csv", format(Args::Format::Csv))
        .value("--html", format(Args::Format::Html))
        .operands([&a](const std::string& v) -> std::string {
            if (a.action != "add") return "unexpected argument '" + v + "'";
            a.logs.push_back(v);
            return {};
        });
    return p;
}

// The usage errors of options that each read well alone.
std::string checkArgs(const Args& a) {
    if (a.action == "add" && a.logs.empty()) return "add needs at least one LOG";
    if (a.action == "remove" && (!a.hasFrom || !a.hasTo)) return "remove needs --from and --to";
    if (a.from > a.to) return "--from is after --to";
    if (a.action != "show" && a.format != Args::Format::Text &&
        !(a.action == "rankings" && a.format == Args::Format::Json))
        return "only show takes --csv and --html, and show and rankings --json";
    if (a.byMonth && a.action != "show") return "--by goes with show";
    return {};
}

void printNotes(const std::vector<std::string>& notes) {
    for (const auto& n : notes) printError(n);
}

// A month of rotated logs goes through history::recordLogs, reading, splitting and writing side by side.
// The history is opened there, while the first log is read.
int add(const Args& a) {
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    bool failed = false;
    std::size_t current = 0;  // the log whose turn it is
    auto progress = [&] {
        if (terminal && current < a.logs.size())
            std::fprintf(stderr, "\r\x1b[K[%zu/%zu] %s", current + 1, a.logs.size(), terminalSafe(a.logs[current]).c_str());
    };
    auto starting = [&](std::size_t i) {
        current = i;
        progress();
    };
    auto done = [&](std::size_t i, const history::Recording* r, std::exception_ptr error) {
        if (terminal) std::fprintf(stderr, "\r\x1b[K");
        if (error) {
            try {
                std::rethrow_exception(error);
            } catch (const std::exception& e) {
                printError(e.what());
            }
            failed = true;
            if (current > i) progress();
            return;
        }
        std::printf("%s", terminalSafe(a.logs[i]).c_str());
        for (const auto& d : r->days.days)
            std::printf(" %s:%lld", history::dayText(d.day).c_str(), static_cast<long long>(d.counts.lines));
        std::printf("\n");
        printNotes(r->result.notes);
        if (current > i) progress();
    };
    std::unique_ptr<history::Store> store;
    auto open = [&]() -> history::Store& {
        store = std::make_unique<history::Store>(historyPath(a.materiaDir));
        printNotes(store->openNotes());
        return *store;
    };
    history::recordLogs(open, a.logs, a.materiaDir, analysis::passThreads(a.threads), done, starting);
    std::fflush(stdout);
    return failed ? 1 : 0;
}

int show(history::Store& store, const Args& a) {
    history::HistoryView view = history::readHistory(store, a.from, a.to, a.byMonth, a.top);
    // An open range is shown as the days it holds.
    if (const auto span = store.span()) {
        if (!a.hasFrom) view.from = span->first;
        if (!a.hasTo) view.to = span->second;
    }
    if (a.format == Args::Format::Html) {
        history::writeHistoryHtml(view, a.outFile);
        return 0;
    }
    if (a.format == Args::Format::Csv && !a.outFile.empty()) {
        history::writeHistoryCsv(view, a.outFile);
        return 0;
    }
    const std::string out = a.format == Args::Format::Json  ? historyJson(view)
                            : a.format == Args::Format::Csv ? history::historyCsv(view)
                                                            : historyText(view);
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}

int run(const Args& a) {
    if (a.action == "add") return add(a);
    history::Store store(historyPath(a.materiaDir));
    printNotes(store.openNotes());
    if (a.action == "show") return show(store, a);
    if (a.action == "rankings") {
        const history::RangeRankings r = store.rankings(a.from, a.to, a.top);
        const std::string out = a.format == Args::Format::Json ? rankingsJson(r) : rankingsText(r);
        std::fwrite(out.data(), 1, out.size(), stdout);
        return 0;
    }
    const std::size_t removed = store.remove(a.from, a.to);
    std::printf("%zu days removed (%s .. %s)\n", removed, history::dayText(a.from).c_str(),
                history::dayText(a.to).c_str());
    return 0;
}

}  // namespace

struct TallyRecorder::Opened {
    std::unique_ptr<history::Store> store;  // none: there was no history yet
};

TallyRecorder::TallyRecorder(std::string path, const analysis::AnalysisOptions& options)
    : path_(std::move(path)), materiaDir_(options.materiaDir), threads_(analysis::passThreads(options.threads)) {
    // A history that is not there yet is made only once there is a log to record in it.
    auto open = [dir = materiaDir_] {
        auto o = std::make_shared<Opened>();
        const std::string file = historyPath(dir);
        std::error_code error;
        if (std::filesystem::exists(file, error)) o->store = std::make_unique<history::Store>(file);
        // OpenSSL reads its configuration on first use, which the log's line hashes would wait for.
        common::sha256({});
        return o;
    };
    try {
        opening_ = std::async(std::launch::async, open);
    } catch (const std::system_error&) {
        opening_ = std::async(std::launch::deferred, open);  // no thread to spare: opened when recording
    }
}

TallyRecorder::~TallyRecorder() {
    if (!opening_.valid()) return;
    try {
        const auto o = opening_.get();
        if (o->store) printNotes(o->store->openNotes());
    } catch (...) {
        // Nothing was recorded, and the analysis has said why.
    }
}

std::optional<std::string> TallyRecorder::record(const analysis::LogTally& tally,
                                                 const analysis::ReferenceLists& lists) {
    try {
        const auto o = opening_.get();
        if (!o->store) o->store = std::make_unique<history::Store>(historyPath(materiaDir_));
        printNotes(o->store->openNotes());
        const auto r = history::recordSplit(*o->store,
                                            history::splitLog(path_, tally.logLines, &tally, lists, threads_));
        printNotes(r.result.notes);
        return std::nullopt;
    } catch (const std::bad_alloc&) {
        return common::msg::outOfMemory();
    } catch (const std::exception& e) {
        return std::string(e.what());
    }
}

int runHistory(int argc, char** argv) {
    Args args;
    const ArgParser parser = historyParser(args);
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) return parser.showHelp();
    if (argc < 2) return parser.usageError("an action is missing");
    args.action = argv[1];
    if (args.action != "add" && args.action != "show" && args.action != "rankings" && args.action != "remove")
        return parser.usageError("unknown action '" + args.action + "'");
    if (const auto exit = parser.parse(argc, argv, 2)) return *exit;
    if (const std::string why = checkArgs(args); !why.empty()) return parser.usageError(why);
    StdoutGuard output;
    try {
        const int status = run(args);
        if (!StdoutGuard::flush()) {
            output.rollback();
            printError(common::msg::writeError());
            return 1;
        }
        return status;
    } catch (const std::bad_alloc&) {
        output.rollback();
        printError(common::msg::outOfMemory());
    } catch (const std::exception& e) {
        output.rollback();
        printError(e.what());
    }
    return 1;
}

}  // namespace cli
