// The analysis: one call loads the log and the lists, makes the pass, and writes the result.
#include "analysis/logcounting.h"

#include <filesystem>
#include <new>

#include "analysis/logfile.h"
#include "analysis/logline.h"
#include "analysis/report.h"
#include "common/apperror.h"
#include "common/casefold.h"
#include "common/cp932.h"
#include "common/programdir.h"
#include "common/textpos.h"
#include "lists/listfile.h"

namespace analysis {

using common::TextPos;

namespace {

constexpr std::size_t kProgressEvery = 16384;

enum class Status { Ok, Forbidden, NotFound, Other };

// The first status marker in the order 200, 403, 404 decides.
Status statusOf(const LogLine& l) {
    if (l.find(k200Marker) != LogLine::npos) return Status::Ok;
    if (l.find(k403Marker) != LogLine::npos) return Status::Forbidden;
    if (l.find(k404Marker) != LogLine::npos) return Status::NotFound;
    return Status::Other;
}

// Files a line that is no 200 one: its 403 or 404 entry with path, or the whole line among the others.
void fileByStatus(Status status, EntryList& forbidden, EntryList& notFound, EntryList& other, std::uint32_t li,
                  std::string_view line, std::string_view path) {
    if (status == Status::Forbidden) forbidden.add(EntryForm::TimeHostSpan, li, line, path);
    else if (status == Status::NotFound) notFound.add(EntryForm::TimeHostSpan, li, line, path);
    else if (status == Status::Other) other.add(EntryForm::Whole, li, line);
}

// The GET block of one line; returns the GET path. Notes in r the fields the rankings take.
std::string_view countGet(LogTally& t, const ReferenceLists& lists, const LogLine& l, std::uint32_t li,
                          std::size_t getQuote, Status status, RankedLine& r) {
    const std::string_view line = l.text();
    const std::string_view path = GetPath(l, getQuote);
    t.getExtract->add(EntryForm::TimeSpan, li, line, path);
    ++t.getCount;
    if (t.getFiles.add(li, line, path)) ++t.getFileCount;
    if (status == Status::Ok) {
        ++t.get200Count;
        r.bytes = ByteCount(l);
        t.bytesSent += static_cast<double>(r.bytes);
    }
    fileByStatus(status, *t.file403Lines, *t.file404Lines, *t.fileOtherLines, li, line, path);

    if (l.find(kNoReferrerMarker, getQuote + 1) == LogLine::npos) {
        const std::string_view referrer = Referrer(l, getQuote);
        t.referrerLog->add(EntryForm::TimeRefPath, li, line, referrer, path);
        bool own = false;
        for (const auto& entry : lists.own)
            if (TextPos(entry, referrer) > 0) {
                own = true;
                break;
            }
        if (!own) t.referrerList->add(EntryForm::RefPath, li, line, referrer, path);
        r.hasReferrer = true;
        r.foreignReferrer = !own;
        r.referrer = referrer;
    }

    const std::uint32_t found = lists.robotsAndFavicon.match(line);
    r.robot = (found & 1) != 0;
    r.robotsFile = !r.robot && path.size() == 11 && common::foldedEqual(path, "/robots.txt");
    if (r.robot) {
        t.robotsLog->add(EntryForm::Robot, li, line, path, UserAgent(l, getQuote));
    } else if (r.robotsFile) {
        t.robotsLog->add(EntryForm::RobotsFile, li, line, UserAgent(l, getQuote));
    }
    if (t.rankings) {
        r.isGet = true;
        r.getPath = path;
        r.agent = UserAgent(l, getQuote);
    }
    if (found & 2) {
        ++t.faviconCount;
        if (TextPos(" MSIE ", line) > 0) ++t.faviconIeCount;
    }
    return path;
}

// One line of the pass: everything line index li adds to the tally.
void countLine(LogTally& t, const ReferenceLists& lists, LogLine& l, std::uint32_t li) {
    const std::string_view line = (*t.logLines)[li];
    const std::int32_t hour = ExtractHour(ExtractTime(line));
    const std::string_view host = ExtractHost(line);
    // An hour outside the day has no counter: the line is counted everywhere else.
    const bool inDay = hour >= 0 && hour <= 23;
    const auto h = static_cast<std::size_t>(inDay ? hour : 0);
    if (inDay) ++t.hourConnections[h];

    l.scan(line);
    const Status status = statusOf(l);

    std::string_view requestPath;
    RankedLine ranked;
    const std::size_t getQuote = l.find(kGetMarker);
    const bool isGet = getQuote != LogLine::npos;
    if (isGet) {
        if (inDay) ++t.hourGets[h];
        requestPath = countGet(t, lists, l, li, getQuote, status, ranked);
    }

    const std::size_t postQuote = l.find(kPostMarker);
    const bool isPost = postQuote != LogLine::npos;
    const std::string_view postPath = isPost ? PostPath(l, postQuote) : std::string_view{};
    if (!isGet) requestPath = isPost ? postPath : OwnRequestPath(l);
    t.connectionLines->add(EntryForm::TimeHostSpan, li, line, requestPath);
    if (t.hosts.add(li, line, host)) ++t.hostCount;
    for (const auto& entry : lists.watched)
        if (TextPos(entry, host) > 0) t.watchedLines->add(EntryForm::Whole, li, line);

    if (isPost) {
        if (inDay) ++t.hourPosts[h];
        t.postExtract->add(EntryForm::TimeSpan, li, line, postPath);
        ++t.postCount;
        if (t.postFiles.add(li, line, postPath)) ++t.postFileCount;
        if (status == Status::Ok) ++t.post200Count;
        fileByStatus(status, *t.post403Lines, *t.post404Lines, *t.postOtherLines, li, line, postPath);
    }

    if (status == Status::Ok) ++t.status200Count;
    fileByStatus(status, *t.host403Lines, *t.host404Lines, *t.hostOtherLines, li, line, requestPath);

    if (t.rankings) {
        ranked.line = line;
        ranked.host = host;
        ranked.requestPath = requestPath;
        ranked.is200 = status == Status::Ok;
        ranked.is403 = status == Status::Forbidden;
        ranked.is404 = status == Status::NotFound;
        t.rankings->addLine(ranked, lists.robots);
    }
}

}  // namespace

ReferenceLists::ReferenceLists(common::StringList w, common::StringList o, common::StringList r)
    : watched(std::move(w)), own(std::move(o)), robots(std::move(r)) {
    for (const auto& s : robots) robotsAndFavicon.add(s, 0);
    robotsAndFavicon.add("favicon.ico", 1);
}

void countLines(LogTally& t, const ReferenceLists& lists, ResultView* progress) {
    const std::size_t count = t.logLines->size();
    LogLine l;
    for (std::size_t i = 0; i < count; ++i) {
        countLine(t, lists, l, static_cast<std::uint32_t>(i));
        ++t.lineCount;
        if (progress && (i + 1) % kProgressEvery == 0) progress->progressPosition(i + 1);
    }
    if (progress) progress->progressPosition(count);
}

namespace {

// Loads one list file with its progress messages and header block.
common::StringList loadListStep(ResultView& view, const std::string& dir, const char* file, std::string_view pane,
                                int step) {
    view.progressMessage(text::progress(step));
    // file is "materia/NAME"; dir is the materia directory itself.
    common::StringList list = lists::loadList(dir + "/" + std::filesystem::path(file).filename().string());
    writeListHeader(view, pane, list);
    view.progressMessage(text::progress(step + 1));
    return list;
}

void analyse(const std::string& path, ResultView& view, const AnalysisOptions& options) {
    view.showProgress();
    view.progressMessage(text::progress(1));
    MemoFree(view);
    view.rankingsReady(nullptr);
    for (std::string_view image : {"Image1", "Image2", "Image3"}) view.chartBackground(image);

    std::shared_ptr<const LogText> log = loadLog(path);
    const std::string shownPath = common::pathText(path);
    view.progressMessage(text::progress(2, shownPath));
    view.progressRange(log->size());
    view.progressMessage(text::progress(3, shownPath));
    view.setBox("Edit35", shownPath);

    const std::string dir = options.materiaDir.empty() ? common::programDir() + "materia" : options.materiaDir;
    auto watched = loadListStep(view, dir, lists::kCheckDomeinList, "CheckDomeinMemo", 4);
    auto own = loadListStep(view, dir, lists::kDomeinList, "ReferrerList", 6);
    auto robots = loadListStep(view, dir, lists::kSERobotsList, "RobotsLog", 8);
    const ReferenceLists lists(std::move(watched), std::move(own), std::move(robots));

    LogTally tally(log);
    if (!options.rankings) tally.rankings.reset();
    log.reset();
    view.progressMessage(text::progress(10));

    // From here the progress window is hidden however the call ends, and the five panes that the pass
    // appends to show what it collected, also when a line stopped it.
    struct Finish {
        ResultView& view;
        ~Finish() { view.hideProgress(); }
    } finish{view};
    auto flushPassPanes = [&] {
        view.appendLines("Memo4", tally.getExtract);
        view.appendLines("Memo5", tally.postExtract);
        view.appendLines("ReferrerLog", tally.referrerLog);
        view.appendLines("ReferrerList", tally.referrerList);
        view.appendLines("RobotsLog", tally.robotsLog);
        if (tally.rankings) view.rankingsReady(tally.rankings);
    };
    try {
        countLines(tally, lists, &view);
    } catch (...) {
        flushPassPanes();
        // The lines before the failing one are all counted, so lineCount is its index. The log is
        // shown so that the user can see the line.
        const auto stopped = static_cast<std::size_t>(tally.lineCount);
        if (stopped < tally.logLines->size()) {
            view.replacePane("NamaLog", tally.logLines);
            view.stoppedAt(stopped, tally.logLines->lineNumber(stopped));
        }
        throw;
    }
    flushPassPanes();
    view.tallied(tally);

    view.progressMessage(text::progress(11));
    view.progressMessage(text::progress(12));
    outputStep(view, tally);

    view.progressMessage(text::progress(13));
    view.chartBars("Image1", tally.hourConnections, tally.lineCount);
    view.chartBars("Image2", tally.hourGets, tally.lineCount);
    view.chartBars("Image3", tally.hourPosts, tally.lineCount);
}

}  // namespace

void LogCounting(const std::string& path, ResultView& view, const AnalysisOptions& options) {
    try {
        analyse(path, view, options);
    } catch (const std::bad_alloc&) {
        static const std::string text = common::cp932(u8"メモリが足りません");
        throw common::AppError(text);
    }
}

}  // namespace analysis
