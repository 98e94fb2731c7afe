// The analysis: one call loads the log and the lists, makes the pass, and writes the result.
#include "analysis/logcounting.h"

#include <cstring>
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

using common::TextCopy;
using common::TextPos;

LogTally::LogTally(std::shared_ptr<const LogText> log)
    : logLines(log), hosts(log), getFiles(log), postFiles(log), rankings(std::make_shared<Rankings>(log)) {
    for (auto* l : {&connectionLines, &host403Lines, &host404Lines, &hostOtherLines, &file403Lines, &file404Lines,
                    &fileOtherLines, &post403Lines, &post404Lines, &postOtherLines, &watchedLines, &getExtract,
                    &postExtract, &referrerLog, &referrerList, &robotsLog})
        *l = std::make_shared<EntryList>(log);
    // The lists that take about one entry per line get room for every line up front: big lists are
    // mapped memory that costs nothing until it is written, and they need no copying as they grow.
    for (auto* l : {&connectionLines, &getExtract, &referrerLog, &referrerList}) (*l)->reserve(log->size());
}

ReferenceLists::ReferenceLists(common::StringList w, common::StringList o, common::StringList r)
    : watched(std::move(w)), own(std::move(o)), robots(std::move(r)) {
    for (const auto& s : robots) robotsAndFavicon.add(s, 0);
    robotsAndFavicon.add("favicon.ico", 1);
}

namespace {

constexpr std::size_t npos = std::string_view::npos;
constexpr std::size_t kProgressEvery = 16384;

// Every marker but two begins with a quote, and a line holds only a few quotes: the quotes of a line
// are found once, and each marker search looks only at them.
class Quotes {
public:
    void scan(std::string_view line) {
        line_ = line;
        pos_.clear();
        const char* p = line.data();
        const char* end = p + line.size();
        while (p < end) {
            const void* q = std::memchr(p, '"', static_cast<std::size_t>(end - p));
            if (!q) break;
            p = static_cast<const char*>(q);
            pos_.push_back(static_cast<std::size_t>(p - line.data()));
            ++p;
        }
    }
    // First index at or after from where marker (which begins with a quote) occurs.
    std::size_t find(std::string_view marker, std::size_t from = 0) const {
        // Every marker is three bytes or more: its second byte rules out most quotes without a call.
        for (std::size_t q : pos_)
            if (q >= from && line_.size() - q >= marker.size() && line_[q + 1] == marker[1] &&
                std::memcmp(line_.data() + q + 2, marker.data() + 2, marker.size() - 2) == 0)
                return q;
        return npos;
    }
    // First index at or after from of a blank followed by a quote.
    std::size_t findOpener(std::size_t from) const {
        for (std::size_t q : pos_)
            if (q >= from + 1 && line_[q - 1] == ' ') return q - 1;
        return npos;
    }

private:
    std::string_view line_;
    std::vector<std::size_t> pos_;
};

// 1-based position of the first " HTTP" in s, 0 when none.
std::ptrdiff_t protocolPos(std::string_view s) {
    const char* p = s.data();
    const char* end = p + s.size();
    while (end - p >= 5) {
        const void* b = std::memchr(p, ' ', static_cast<std::size_t>(end - p - 4));
        if (!b) return 0;
        p = static_cast<const char*>(b);
        if (std::memcmp(p + 1, "HTTP", 4) == 0) return p - s.data() + 1;
        ++p;
    }
    return 0;
}

// 1-based position in a rest that starts at line index restStart, of a line index found there.
std::ptrdiff_t inRest(std::size_t index, std::size_t restStart) {
    return index == npos ? 0 : static_cast<std::ptrdiff_t>(index - restStart) + 1;
}

}  // namespace

void countLines(LogTally& t, const ReferenceLists& lists, ResultView* progress) {
    const LogText& log = *t.logLines;
    const std::size_t count = log.size();
    constexpr auto kWhole = static_cast<std::ptrdiff_t>(0x7fffffffffffffffLL);
    Quotes quotes;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string_view line = log[i];
        const auto li = static_cast<std::uint32_t>(i);
        const std::string_view time = ExtractTime(line);
        const std::int32_t hour = ExtractHour(time);
        const std::string_view host = ExtractHost(line);
        // An hour outside the day has no counter: the line is counted everywhere else.
        const bool inDay = hour >= 0 && hour <= 23;
        const auto h = static_cast<std::size_t>(inDay ? hour : 0);
        if (inDay) ++t.hourConnections[h];

        quotes.scan(line);
        const std::size_t q200 = quotes.find(k200Marker);
        const bool is200 = q200 != npos;
        const bool is403 = !is200 && quotes.find(k403Marker) != npos;
        const bool is404 = !is200 && !is403 && quotes.find(k404Marker) != npos;

        std::string_view requestPath;
        RankedLine ranked;
        const std::size_t getQuote = quotes.find(kGetMarker);
        const bool isGet = getQuote != npos;
        if (isGet) {
            if (inDay) ++t.hourGets[h];
            const std::size_t restStart = getQuote + 1;
            const auto g = static_cast<std::ptrdiff_t>(restStart) + 1;
            const std::string_view rest = line.substr(restStart);
            const std::string_view path = TextCopy(line, g + 4, protocolPos(rest) - 5);
            requestPath = path;
            t.getExtract->add(EntryForm::TimeSpan, li, line, path);
            ++t.getCount;
            if (t.getFiles.add(li, line, path)) ++t.getFileCount;

            if (is200) {
                ++t.get200Count;
                ranked.bytes = ByteCountAt(line, static_cast<std::ptrdiff_t>(quotes.find(k200PosMarker)) + 1);
                t.bytesSent += static_cast<double>(ranked.bytes);
            } else if (is403) {
                t.file403Lines->add(EntryForm::TimeHostSpan, li, line, path);
            } else if (is404) {
                t.file404Lines->add(EntryForm::TimeHostSpan, li, line, path);
            } else {
                t.fileOtherLines->add(EntryForm::Whole, li, line);
            }

            const std::ptrdiff_t sep = inRest(quotes.find(kFieldSeparator, restStart), restStart);
            if (quotes.find(kNoReferrerMarker, restStart) == npos) {
                const std::ptrdiff_t s = inRest(quotes.findOpener(restStart), restStart) + 2;
                const std::string_view referrer = TextCopy(rest, s, sep - s);
                t.referrerLog->add(EntryForm::TimeRefPath, li, line, referrer, path);
                bool own = false;
                for (const auto& entry : lists.own)
                    if (TextPos(entry, referrer) > 0) {
                        own = true;
                        break;
                    }
                if (!own) t.referrerList->add(EntryForm::RefPath, li, line, referrer, path);
                ranked.hasReferrer = true;
                ranked.foreignReferrer = !own;
                ranked.referrer = referrer;
            }

            const std::uint32_t found = lists.robotsAndFavicon.match(line);
            const std::string_view agent = TextCopy(rest, sep + 2, kWhole);
            ranked.robot = (found & 1) != 0;
            ranked.robotsFile = !ranked.robot && path.size() == 11 && common::foldedEqual(path, "/robots.txt");
            if (ranked.robot) {
                t.robotsLog->add(EntryForm::Robot, li, line, path, agent);
            } else if (ranked.robotsFile) {
                t.robotsLog->add(EntryForm::RobotsFile, li, line, agent);
            }
            ranked.isGet = true;
            ranked.getPath = path;
            ranked.agent = agent;
            if (found & 2) {
                ++t.faviconCount;
                if (TextPos(" MSIE ", line) > 0) ++t.faviconIeCount;
            }
        }

        const std::size_t postQuote = quotes.find(kPostMarker);
        const bool isPost = postQuote != npos;
        const std::string_view postPath =
            isPost ? PostPath(line, static_cast<std::ptrdiff_t>(postQuote) + 1) : std::string_view{};
        if (!isGet) requestPath = isPost ? postPath : OwnRequestPath(line);
        t.connectionLines->add(EntryForm::TimeHostSpan, li, line, requestPath);
        if (t.hosts.add(li, line, host)) ++t.hostCount;
        for (const auto& entry : lists.watched)
            if (TextPos(entry, host) > 0) t.watchedLines->add(EntryForm::Whole, li, line);

        if (isPost) {
            if (inDay) ++t.hourPosts[h];
            t.postExtract->add(EntryForm::TimeSpan, li, line, postPath);
            ++t.postCount;
            if (t.postFiles.add(li, line, postPath)) ++t.postFileCount;
            if (is200) {
                ++t.post200Count;
            } else if (is403) {
                t.post403Lines->add(EntryForm::TimeHostSpan, li, line, postPath);
            } else if (is404) {
                t.post404Lines->add(EntryForm::TimeHostSpan, li, line, postPath);
            } else {
                t.postOtherLines->add(EntryForm::Whole, li, line);
            }
        }

        if (is200) {
            ++t.status200Count;
        } else if (is403) {
            t.host403Lines->add(EntryForm::TimeHostSpan, li, line, requestPath);
        } else if (is404) {
            t.host404Lines->add(EntryForm::TimeHostSpan, li, line, requestPath);
        } else {
            t.hostOtherLines->add(EntryForm::Whole, li, line);
        }
        if (t.rankings) {
            ranked.line = line;
            ranked.host = host;
            ranked.requestPath = requestPath;
            ranked.is200 = is200;
            ranked.is403 = is403;
            ranked.is404 = is404;
            t.rankings->addLine(ranked, lists.robots);
        }

        ++t.lineCount;
        if (progress && (i + 1) % kProgressEvery == 0) progress->progressPosition(i + 1);
    }
    if (progress) progress->progressPosition(count);
}

namespace {

void analyse(const std::string& path, ResultView& view, const AnalysisOptions& options);

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

}  // namespace

void LogCounting(const std::string& path, ResultView& view, const AnalysisOptions& options) {
    try {
        analyse(path, view, options);
    } catch (const std::bad_alloc&) {
        static const std::string text = common::cp932(u8"メモリが足りません");
        throw common::AppError(text);
    }
}

namespace {

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

}  // namespace analysis
