// The whole analysis as munyaro-cli report --json runs it: a fuzzed log (plain or gzip) and three
// fuzzed list files through LogCounting into the CLI's ReportView, then the JSON it writes.
// Input: log, then optionally the watched, own-domain and robot list files, each after "\n--8<--\n".
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <numeric>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/logcounting.h"
#include "analysis/logfile.h"
#include "analysis/logline.h"
#include "cli/reportview.h"
#include "common/apperror.h"
#include "common/cp932.h"
#include "common/utf8.h"
#include "fuzzsupport.h"
#include "support/json.h"

namespace {

using analysis::LogTally;

constexpr std::string_view kSeparator = "\n--8<--\n";

std::int64_t sum(const analysis::HourCounts& h) { return std::accumulate(h.begin(), h.end(), std::int64_t{0}); }

std::int64_t n(const std::shared_ptr<analysis::EntryList>& l) { return static_cast<std::int64_t>(l->size()); }

// Every line of a source, composed, so that a bad offset shows up here whatever the writers read.
void touchAll(const analysis::LineSource& lines) {
    std::string s;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        s.clear();
        lines.appendLine(i, s);
    }
}

void checkTally(const LogTally& t, std::size_t watchedEntries) {
    FUZZ_CHECK(t.lineCount == static_cast<std::int64_t>(t.logLines->size()));
    for (const auto* h : {&t.hourConnections, &t.hourGets, &t.hourPosts})
        for (std::int64_t c : *h) FUZZ_CHECK(c >= 0);
    for (std::size_t i = 0; i < 24; ++i) {
        FUZZ_CHECK(t.hourGets[i] <= t.hourConnections[i]);
        FUZZ_CHECK(t.hourPosts[i] <= t.hourConnections[i]);
    }
    FUZZ_CHECK(sum(t.hourConnections) <= t.lineCount);
    FUZZ_CHECK(sum(t.hourGets) <= t.getCount);
    FUZZ_CHECK(sum(t.hourPosts) <= t.postCount);

    FUZZ_CHECK(t.getCount >= t.get200Count && t.get200Count >= 0);
    FUZZ_CHECK(t.postCount >= t.post200Count && t.post200Count >= 0);
    FUZZ_CHECK(t.lineCount >= t.status200Count && t.status200Count >= 0);
    FUZZ_CHECK(t.getCount <= t.lineCount && t.postCount <= t.lineCount);
    FUZZ_CHECK(t.faviconIeCount <= t.faviconCount && t.faviconCount <= t.getCount);

    // Distinct counts are the sizes of their lists.
    FUZZ_CHECK(t.hostCount == static_cast<std::int64_t>(t.hosts.size()));
    FUZZ_CHECK(t.getFileCount == static_cast<std::int64_t>(t.getFiles.size()));
    FUZZ_CHECK(t.postFileCount == static_cast<std::int64_t>(t.postFiles.size()));
    FUZZ_CHECK(t.hostCount <= t.lineCount && (t.lineCount == 0 || t.hostCount >= 1));
    FUZZ_CHECK(t.getFileCount <= t.getCount && t.postFileCount <= t.postCount);

    // Each line, GET and POST lands in exactly one status class.
    FUZZ_CHECK(t.status200Count + n(t.host403Lines) + n(t.host404Lines) + n(t.hostOtherLines) == t.lineCount);
    FUZZ_CHECK(t.get200Count + n(t.file403Lines) + n(t.file404Lines) + n(t.fileOtherLines) == t.getCount);
    FUZZ_CHECK(t.post200Count + n(t.post403Lines) + n(t.post404Lines) + n(t.postOtherLines) == t.postCount);
    FUZZ_CHECK(n(t.connectionLines) == t.lineCount);
    FUZZ_CHECK(n(t.getExtract) == t.getCount && n(t.postExtract) == t.postCount);
    FUZZ_CHECK(n(t.referrerList) <= n(t.referrerLog) && n(t.referrerLog) <= t.getCount);
    FUZZ_CHECK(n(t.robotsLog) <= t.getCount);
    FUZZ_CHECK(n(t.watchedLines) <= t.lineCount * static_cast<std::int64_t>(watchedEntries));

    for (const auto& l : {t.connectionLines, t.host403Lines, t.host404Lines, t.hostOtherLines, t.file403Lines,
                          t.file404Lines, t.fileOtherLines, t.post403Lines, t.post404Lines, t.postOtherLines,
                          t.watchedLines, t.getExtract, t.postExtract, t.referrerLog, t.referrerList, t.robotsLog})
        touchAll(*l);
    touchAll(*t.hosts.entries());
    touchAll(*t.getFiles.entries());
    touchAll(*t.postFiles.entries());
}

// The CLI's view, with a look at the tally on its way.
class CheckingView final : public analysis::ResultView {
public:
    CheckingView(cli::ReportView& inner, std::size_t watchedEntries) : inner_(inner), watched_(watchedEntries) {}
    void clearPane(std::string_view name) override { inner_.clearPane(name); }
    void appendLines(std::string_view name, analysis::Lines lines) override {
        inner_.appendLines(name, std::move(lines));
    }
    void appendLine(std::string_view name, std::string line) override { inner_.appendLine(name, std::move(line)); }
    void replacePane(std::string_view name, analysis::Lines lines) override {
        inner_.replacePane(name, std::move(lines));
    }
    void insertLine(std::string_view name, std::size_t index, std::string line) override {
        inner_.insertLine(name, index, std::move(line));
    }
    void setBox(std::string_view name, std::string text) override { inner_.setBox(name, std::move(text)); }
    int selectedUnit() const override { return inner_.selectedUnit(); }
    int lastByteName() const override { return inner_.lastByteName(); }
    void setLastByteName(int unit) override { inner_.setLastByteName(unit); }
    void showProgress() override { inner_.showProgress(); }
    void hideProgress() override { inner_.hideProgress(); }
    void progressMessage(std::string message) override { inner_.progressMessage(std::move(message)); }
    void progressRange(std::size_t maximum) override {
        barMax_ = maximum;
        inner_.progressRange(maximum);
    }
    void progressPosition(std::size_t position) override {
        FUZZ_CHECK(position <= barMax_);
        inner_.progressPosition(position);
    }
    void chartBackground(std::string_view image) override { inner_.chartBackground(image); }
    void chartBars(std::string_view image, const std::array<std::int64_t, 24>& counts, std::int64_t total) override {
        FUZZ_CHECK(sum(counts) <= total);
        inner_.chartBars(image, counts, total);
    }
    void tallied(const LogTally& t) override {
        checkTally(t, watched_);
        hours_ = t.hourConnections;
        inner_.tallied(t);
    }
    void rankingsReady(std::shared_ptr<const analysis::Rankings> r) override { inner_.rankingsReady(std::move(r)); }
    void layoutRead(const analysis::LogLayout& layout, bool detected) override { inner_.layoutRead(layout, detected); }
    void linesSkipped(std::shared_ptr<const analysis::SkippedLines> s) override { inner_.linesSkipped(std::move(s)); }
    void stoppedAt(std::size_t index, std::size_t lineNumber) override { inner_.stoppedAt(index, lineNumber); }
    void stoppedAtZeroByte(std::size_t lineNumber) override { inner_.stoppedAtZeroByte(lineNumber); }
    std::optional<analysis::HourCounts> hours_;

private:
    cli::ReportView& inner_;
    std::size_t watched_;
    std::size_t barMax_ = 0;
};

std::int64_t boxNumber(const Json& json, const char* box) {
    const std::string& text = json["boxes"][box].string;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    FUZZ_CHECK(!text.empty() && *end == '\0');
    return v;
}

std::int64_t paneSize(const Json& json, const char* pane) {
    return static_cast<std::int64_t>(json["panes"][pane].array.size());
}

void checkJson(const Json& json, bool failed, const std::vector<std::string>& logLines) {
    FUZZ_CHECK(json["error"].isNull() == !failed);
    FUZZ_CHECK(json["tally"].isNull() == failed);
    FUZZ_CHECK(json["panes"].object.size() == analysis::kPanes.size());
    FUZZ_CHECK(json["boxes"].object.size() == 35);
    if (failed) return;
    const Json& t = json["tally"];
    const auto lineCount = static_cast<std::int64_t>(t["lineCount"].number);
    FUZZ_CHECK(lineCount == paneSize(json, "NamaLog"));
    FUZZ_CHECK(json["panes"]["NamaLog"].strings() == logLines);
    FUZZ_CHECK(paneSize(json, "Memo9") == lineCount);
    FUZZ_CHECK(boxNumber(json, "Edit1") == lineCount);
    // The distinct lists carry two header lines, the 403/404 extracts three.
    FUZZ_CHECK(boxNumber(json, "Edit2") == paneSize(json, "Memo8") - 2);
    FUZZ_CHECK(boxNumber(json, "Edit9") == paneSize(json, "Memo7") - 2);
    FUZZ_CHECK(boxNumber(json, "Edit10") == paneSize(json, "Memo6") - 2);
    FUZZ_CHECK(boxNumber(json, "Edit23") == paneSize(json, "HOST403Memo") - 3);
    FUZZ_CHECK(boxNumber(json, "Edit24") == paneSize(json, "HOST404Memo") - 3);
    FUZZ_CHECK(boxNumber(json, "Edit26") == paneSize(json, "File403Memo") - 3);
    FUZZ_CHECK(boxNumber(json, "Edit25") == paneSize(json, "File404Memo") - 3);
    FUZZ_CHECK(boxNumber(json, "Edit29") == paneSize(json, "POST403Memo") - 3);
    FUZZ_CHECK(boxNumber(json, "Edit28") == paneSize(json, "POST404Memo") - 3);
    FUZZ_CHECK(boxNumber(json, "Edit3") == paneSize(json, "Memo4"));
    FUZZ_CHECK(boxNumber(json, "Edit4") == paneSize(json, "Memo5"));
    std::int64_t hours = 0;
    for (const auto& h : t["hourConnections"].array) hours += static_cast<std::int64_t>(h.number);
    FUZZ_CHECK(t["hourConnections"].array.size() == 24 && hours <= lineCount);
}

// What write puts into a stream.
template <typename Write>
std::string written(Write write) {
    char* buf = nullptr;
    std::size_t len = 0;
    std::FILE* out = open_memstream(&buf, &len);
    FUZZ_CHECK(out);
    write(out);
    std::fclose(out);
    std::string text(buf, len);
    std::free(buf);
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view in(reinterpret_cast<const char*>(data), size);
    std::array<std::string_view, 4> parts{};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        const std::size_t cut = i + 1 < parts.size() ? in.find(kSeparator) : std::string_view::npos;
        parts[i] = in.substr(0, cut);
        if (cut == std::string_view::npos) break;
        in.remove_prefix(cut + kSeparator.size());
    }
    const std::string logPath = fuzz::writeScratch("access_log", parts[0]);
    fuzz::writeScratch("materia/CheckDomeinList.dat", parts[1]);
    fuzz::writeScratch("materia/DomeinList.dat", parts[2]);
    fuzz::writeScratch("materia/SERobotsList.dat", parts[3]);
    const std::size_t watchedEntries = common::splitLines(parts[1]).size();

    // The hours expected, read line by line apart from the pass; a line without one must stop it.
    std::optional<std::shared_ptr<const analysis::LogText>> log;
    try {
        log = analysis::logFromBytes(parts[0], logPath);
    } catch (const common::AppError&) {
    }
    analysis::HourCounts expectedHours{};
    bool everyHourReads = true;
    std::vector<std::string> logLines;
    if (log) {
        for (std::size_t i = 0; i < (*log)->size(); ++i) {
            const std::string_view line = (**log)[i];
            FUZZ_CHECK(!line.empty() && line.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos);
            FUZZ_CHECK(line.find_first_not_of(" \t") != std::string_view::npos);
            logLines.push_back(common::utf8FromCp932(line));
            try {
                const std::int32_t hour = analysis::ExtractHour(analysis::ExtractTime(line));
                if (hour >= 0 && hour <= 23) ++expectedHours[static_cast<std::size_t>(hour)];
            } catch (const common::AppError&) {
                everyHourReads = false;
            }
        }
    }

    cli::ReportView report(static_cast<int>(size % 6) - 1);
    CheckingView view(report, watchedEntries);
    std::optional<std::string> error;
    try {
        analysis::LogCounting(logPath, view, analysis::AnalysisOptions{fuzz::scratchDir() + "/materia"});
    } catch (const common::AppError& e) {
        error = common::withPeriod(e.what());
        FUZZ_CHECK(!error->empty());
    }
    // Loading failed exactly when reading the same bytes failed.
    FUZZ_CHECK(log.has_value() || error);
    if (!error) {
        FUZZ_CHECK(log && everyHourReads);
        FUZZ_CHECK(view.hours_ && *view.hours_ == expectedHours);
    } else {
        FUZZ_CHECK(!view.hours_);
    }

    // A gzip log whose lines are read once, counted while it is inflated, sums up the same.
    if (analysis::isGzipText(parts[0])) {
        cli::ReportView once(report.selectedUnit());
        std::optional<std::string> onceError;
        analysis::AnalysisOptions options{fuzz::scratchDir() + "/materia"};
        options.readOnce = true;
        try {
            analysis::LogCounting(logPath, once, options);
        } catch (const common::AppError& e) {
            onceError = common::withPeriod(e.what());
        }
        FUZZ_CHECK(onceError == error && once.errorLine() == report.errorLine());
        const std::string onceSummary = written([&](std::FILE* f) { once.writeSummary(f); });
        const std::string usualSummary = written([&](std::FILE* f) { report.writeSummary(f); });
        if (onceSummary != usualSummary)
            std::fprintf(stderr, "read once:\n%s\nusual:\n%s\n", onceSummary.c_str(), usualSummary.c_str());
        FUZZ_CHECK(onceSummary == usualSummary);
    }

    const std::string text = written([&](std::FILE* f) { report.writeJson(f, logPath, error); });
    FUZZ_CHECK(common::isValidUtf8(text));
    Json json;
    try {
        json = Json::parse(text);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "JSON does not parse: %s\n", e.what());
        std::abort();
    }
    checkJson(json, error.has_value(), logLines);
    return 0;
}
