// The analysis: one call loads the log and the lists, makes the pass, and writes the result.
#include "analysis/logcounting.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <filesystem>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

#include "analysis/behaviour.h"
#include "analysis/blockrows.h"
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

// Files a line that is no 200 one: its 403 or 404 entry with path, or the whole line among the others.
void fileByStatus(Status status, EntryList& forbidden, EntryList& notFound, EntryList& other, std::uint32_t li,
                  std::string_view line, std::string_view path) {
    if (status == Status::Forbidden) forbidden.add(EntryForm::TimeHostSpan, li, line, path);
    else if (status == Status::NotFound) notFound.add(EntryForm::TimeHostSpan, li, line, path);
    else if (status == Status::Other) other.add(EntryForm::Whole, li, line);
}

// The GET block of one line; returns the GET path. Notes in r the fields the rankings take.
// raw is the line as read, l holds its core.
// fields: the line has a referrer and a user agent field (a line of a common log has neither).
std::string_view countGet(LogTally& t, const ReferenceLists& lists, const LogLine& l, std::uint32_t li,
                          std::string_view raw, bool fields, std::size_t getQuote, Status status, RankedLine& r) {
    const std::string_view line = l.text();
    const std::string_view path = GetPath(l, getQuote);
    t.getExtract->add(EntryForm::TimeSpan, li, raw, path);
    ++t.getCount;
    const DistinctList::Added file = t.getFiles.add(li, raw, path);
    if (file) ++t.getFileCount;
    if (status == Status::Ok) {
        ++t.get200Count;
        r.bytes = ByteCount(l);
        t.bytesSent += static_cast<double>(r.bytes);
    }
    fileByStatus(status, *t.file403Lines, *t.file404Lines, *t.fileOtherLines, li, raw, path);

    if (fields && l.find(kNoReferrerMarker, getQuote + 1) == LogLine::npos) {
        const std::string_view referrer = Referrer(l, getQuote);
        t.referrerLog->add(EntryForm::TimeRefPath, li, raw, referrer, path);
        const bool own = lists.ownReferrers.any(referrer);
        if (!own) t.referrerList->add(EntryForm::RefPath, li, raw, referrer, path);
        // The rankings take an empty referrer for none, and test the own domains against the host and
        // path alone: a search engine's address names the site in its query.
        r.hasReferrer = !referrer.empty();
        r.foreignReferrer = foreignForRankings(lists, referrer, own);
        r.referrer = referrer;
    }

    // The rankings want the line's first robot string of the list too: the same scan finds it.
    std::string_view robotEntry;
    const std::uint32_t found = t.rankings ? lists.robotsAndFavicon.groups(line, 1, robotEntry)
                                           : lists.robotsAndFavicon.groups(line);
    r.robot = (found & 1) != 0;
    r.robotsFile = !r.robot && path.size() == 11 && common::foldedEqual(path, "/robots.txt");
    const std::string_view agent = fields ? UserAgent(l, getQuote) : std::string_view{};
    if (r.robot) {
        t.robotsLog->add(EntryForm::Robot, li, raw, path, agent);
    } else if (r.robotsFile) {
        t.robotsLog->add(EntryForm::RobotsFile, li, raw, agent);
    }
    if (t.rankings) {
        r.robotEntry = robotEntry;
        r.isGet = true;
        r.getPath = path;
        r.pathIndex = file.index;
        r.agent = agent;
        r.hasAgent = fields;
        r.assetSuffixes = &lists.assetSuffixes;
    }
    if (found & 2) {
        ++t.faviconCount;
        if (TextPos(" MSIE ", line) > 0) ++t.faviconIeCount;
    }
    return path;
}

// One line of the pass: everything line index li adds to the tally.
// raw is line li's text, read into a buffer of the pass's own; what is kept of it points into the log.
// cut is what the log's layout reads of it: the fields come from its core, whole-line entries are raw.
// l holds the core scanned.
void countLine(LogTally& t, const ReferenceLists& lists, const LogLine& l, std::uint32_t li, std::string_view raw,
               std::ptrdiff_t toLog, const LogLayout::Cut& cut) {
    const std::string_view line = cut.core;
    const std::string_view time = cut.time.empty() ? ExtractTime(line) : cut.time;
    const std::int32_t hour = ExtractHour(time);
    const std::string_view host = cut.host;
    // An hour outside the day has no counter: the line is counted everywhere else.
    const bool inDay = hour >= 0 && hour <= 23;
    const auto h = static_cast<std::size_t>(inDay ? hour : 0);
    if (inDay) ++t.hourConnections[h];

    const Status status = statusOf(l);

    std::string_view requestPath;
    RankedLine ranked;
    const std::size_t getQuote = l.find(kGetMarker);
    const bool isGet = getQuote != LogLine::npos;
    if (isGet) {
        if (inDay) ++t.hourGets[h];
        requestPath = countGet(t, lists, l, li, raw, !cut.noFields, getQuote, status, ranked);
    }

    const std::size_t postQuote = l.find(kPostMarker);
    const bool isPost = postQuote != LogLine::npos;
    const std::string_view postPath = isPost ? PostPath(l, postQuote) : std::string_view{};
    if (!isGet) requestPath = isPost ? postPath : OwnRequestPath(l);
    t.connectionLines->add(EntryForm::TimeHostSpan, li, raw, requestPath);
    const DistinctList::Added hostEntry = t.hosts.add(li, raw, host);
    if (t.watcher) t.watcher->ahead(line, hostEntry.index);
    if (hostEntry) ++t.hostCount;
    // A host that holds several watched entries is listed once for each.
    for (std::size_t n = lists.watchedHosts.count(host); n > 0; --n) t.watchedLines->add(EntryForm::Whole, li, raw);

    if (isPost) {
        if (inDay) ++t.hourPosts[h];
        t.postExtract->add(EntryForm::TimeSpan, li, raw, postPath);
        ++t.postCount;
        if (t.postFiles.add(li, raw, postPath)) ++t.postFileCount;
        if (status == Status::Ok) ++t.post200Count;
        fileByStatus(status, *t.post403Lines, *t.post404Lines, *t.postOtherLines, li, raw, postPath);
    }

    if (status == Status::Ok) ++t.status200Count;
    fileByStatus(status, *t.host403Lines, *t.host404Lines, *t.hostOtherLines, li, raw, requestPath);

    const bool excluded = !lists.excludedHosts.empty() && excludedHost(host, lists.excludedHosts);
    if (t.rankings) {
        ranked.line = raw;
        ranked.status = l.status();
        ranked.toLog = toLog;
        ranked.host = host;
        ranked.hostIndex = hostEntry.index;
        ranked.requestPath = requestPath;
        ranked.virtualHost = cut.virtualHost;
        ranked.is200 = status == Status::Ok;
        ranked.is403 = status == Status::Forbidden;
        ranked.is404 = status == Status::NotFound;
        ranked.time = time;
        ranked.excluded = excluded;
        t.rankings->addLine(ranked);
    }
    if (t.watcher) {
        const std::uint32_t agentRow = t.rankings ? t.rankings->lastAgentRow() : HashSlots::kAbsent;
        t.watcher->counted(line, time, host, hostEntry.index, excluded,
                           agentRow == HashSlots::kAbsent ? std::string_view{} : ranked.agent, agentRow);
    }
}

// Whether the pass can read the line: its hour converts, and so does the byte count of a GET line
// answered 200. l holds the core scanned.
bool readable(const LogLine& l, std::string_view core) {
    try {
        ExtractHour(ExtractTime(core));
        if (l.find(kGetMarker) != LogLine::npos && statusOf(l) == Status::Ok) ByteCount(l);
        return true;
    } catch (const common::AppError&) {
        return false;
    }
}

}  // namespace

ReferenceLists::ReferenceLists(common::StringList w, common::StringList o, common::StringList r)
    : watched(std::move(w)),
      own(std::move(o)),
      robots(std::move(r)),
      watchedHosts(watched),
      ownReferrers(own),
      assetSuffixes(defaultAssetSuffixes()) {
    for (const auto& s : robots) robotsAndFavicon.add(s, 1);
    robotsAndFavicon.add("favicon.ico", 2);
    robotsAndFavicon.build();
}

unsigned passThreads(unsigned requested) {
    if (requested > 0) return requested;
    return std::max(1u, std::thread::hardware_concurrency());
}

std::vector<std::size_t> passChunkEnds(std::size_t count, unsigned threads, std::size_t mostLines) {
    // Enough chunks that a thread which is slowed down (the machine is shared) does not hold up the
    // others for long, few enough that what each chunk sets up and hands over (its own lists, its
    // items new to the rankings) stays small against its counting.
    const std::size_t t = std::max(threads, 1u);
    const std::size_t full = std::clamp<std::size_t>(count / (t * 4), 256, std::max<std::size_t>(mostLines, 256));
    if (count < 2 * full) return {count};
    // Over the last quarter or so the chunks shrink with what is left (a share of it per thread), so
    // that no thread is still busy with a big chunk when the others have run out of work. Not
    // sooner, and not by more: the lists of a small chunk live in fresh small blocks, whose pages
    // the system hands out one by one at a cost that, on some machines, rivals the counting.
    const std::size_t least = std::min<std::size_t>(full, 4096);
    std::vector<std::size_t> ends;
    for (std::size_t at = 0; at < count;) {
        at += std::min(count - at, std::clamp((count - at) / t, least, full));
        ends.push_back(at);
    }
    return ends;
}

bool foreignForRankings(const ReferenceLists& lists, std::string_view referrer, bool ownAnywhere) {
    return !ownAnywhere || !lists.ownReferrers.any(referrer.substr(0, referrer.find_first_of("?#")));
}

void loadBehaviourLists(ReferenceLists& lists, const std::string& dir) {
    auto load = [&dir](const char* file) -> std::optional<common::StringList> {
        const std::string path = dir.empty() ? common::materiaFile(file) : dir + "/" + file;
        std::error_code missing;
        if (!std::filesystem::exists(path, missing)) return std::nullopt;
        return lists::loadList(path);
    };
    if (auto excluded = load(lists::kExcludeList)) lists.excludedHosts.assign(excluded->begin(), excluded->end());
    if (auto assets = load(lists::kAssetList)) lists.assetSuffixes.assign(assets->begin(), assets->end());
}

namespace {

// What one thread of the pass keeps from chunk to chunk: the buffer it reads lines through, and the
// pool that the segments of its lists come from. Fresh memory for each chunk costs more here than
// the counting.
struct PassThread {
    std::vector<char> buffer;
    common::BlockPool pool;
    // Entries per line that the thread's last chunk put in each list of kPerLineLists (one before
    // its first chunk). A chunk reserves about as much: room for every line in a list that fills
    // half of it is huge pages zeroed for nothing.
    std::array<double, 4> perLine{1, 1, 1, 1};
    void reserveIn(LogTally& t, std::size_t lines) const {
        for (std::size_t k = 0; k < perLine.size(); ++k) {
            const auto room = static_cast<std::size_t>(static_cast<double>(lines) * perLine[k] * 1.02) + 64;
            (t.*LogTally::kPerLineLists[k])->reserve(std::min(room, lines));
        }
    }
    void noteFill(const LogTally& t, std::size_t lines) {
        if (lines == 0) return;
        for (std::size_t k = 0; k < perLine.size(); ++k)
            perLine[k] = static_cast<double>((t.*LogTally::kPerLineLists[k])->size()) / static_cast<double>(lines);
    }
};

// Counts lines [begin, end) into t on the thread that owns own; part: where those lines lie, when the
// log has no lines yet (its text is counted as it is inflated).
void countRun(LogTally& t, const ReferenceLists& lists, std::size_t begin, std::size_t end, ResultView* progress,
              PassThread& own, bool skipBad, const LineTable::Part* part = nullptr) {
    struct Pool {
        LogTally& t;
        ~Pool() { t.takeSegmentsFrom(nullptr); }
    } pool{t};
    t.takeSegmentsFrom(&own.pool);
    LogLine l;
    LineReader reader = part ? LineReader(*part, begin, own.buffer) : LineReader(*t.logLines, own.buffer);
    const LogLayout& layout = t.logLines->layout();
    const bool cuts = layout.cuts();
    std::size_t read = begin;
    for (std::size_t i = begin; i < end; ++i) {
        const std::string_view raw = reader.line(i, end);
        LogLayout::Cut cut{raw, {}, {}, false, {}};
        if (cuts) {
            cut = layout.cut(raw, l);
        } else {
            l.scan(raw);
            cut.host = ExtractHost(raw);
        }
        if (skipBad && !readable(l, cut.core)) {
            t.skippedLines.push_back(static_cast<std::uint32_t>(i));
        } else {
            const std::ptrdiff_t toLog = t.rankings ? reader.own(i).data() - raw.data() : 0;
            countLine(t, lists, l, static_cast<std::uint32_t>(i), raw, toLog, cut);
            ++t.lineCount;
        }
        if ((i + 1) % kProgressEvery == 0) {
            if (progress) progress->progressPosition(i + 1);
            t.logLines->doneWith(read, i + 1);
            read = i + 1;
        }
    }
    t.logLines->doneWith(read, end);
}

// Counts lines [begin, end) of t's log (lying in part, if given) into a tally of their own, on the
// thread that owns own. tally is set before the counting, so that a line that stops it leaves tally
// with what the lines before it added.
void countChunk(const LogTally& t, std::unique_ptr<LogTally>& tally, const ReferenceLists& lists, std::size_t begin,
                std::size_t end, PassThread& own, bool skipBad, const LineTable::Part* part = nullptr) {
    const std::size_t lines = end - begin;
    tally = std::make_unique<LogTally>(t.logLines, 0, &own.pool);
    own.reserveIn(*tally, lines);
    if (!t.rankings) tally->rankings.reset();
    if (t.watcher) tally->watcher = t.watcher->fresh();
    countRun(*tally, lists, begin, end, nullptr, own, skipBad, part);
    own.noteFill(*tally, lines);
}

// One chunk of the pass on several threads: its lines, the tally of them, and the error that
// stopped it, if one did.
struct Chunk {
    std::size_t begin = 0, end = 0;
    std::unique_ptr<LogTally> tally;
    std::exception_ptr error;
    bool done = false;  // under the pass's mutex
};

void countInChunks(LogTally& t, const ReferenceLists& lists, ResultView* progress, unsigned threads, bool skipBad) {
    // The tables of a chunk that is merged go to the chunks after it; those left when the last is
    // merged leave the process, before the rankings' last step builds its own.
    const SpareBlocks keep;
    const std::vector<std::size_t> ends = passChunkEnds(t.logLines->size(), threads);
    std::vector<Chunk> chunks(ends.size());
    for (std::size_t c = 0; c < chunks.size(); ++c) {
        chunks[c].begin = c == 0 ? 0 : ends[c - 1];
        chunks[c].end = ends[c];
    }
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable doneSignal;

    // Takes chunks in order until none is left; true when it did one.
    auto workOne = [&](PassThread& own) -> bool {
        const std::size_t c = next.fetch_add(1);
        if (c >= chunks.size()) return false;
        Chunk& chunk = chunks[c];
        if (!stop.load()) {
            try {
                countChunk(t, chunk.tally, lists, chunk.begin, chunk.end, own, skipBad);
            } catch (...) {
                chunk.error = std::current_exception();
            }
        }
        {
            std::lock_guard lock(mutex);
            chunk.done = true;
        }
        doneSignal.notify_all();
        return true;
    };

    std::vector<std::thread> workers;
    struct Join {
        std::vector<std::thread>& workers;
        std::atomic<bool>& stop;
        ~Join() {
            stop.store(true);
            for (auto& w : workers) w.join();
        }
    } join{workers, stop};
    for (unsigned i = 1; i < threads && i < chunks.size(); ++i)
        workers.emplace_back([&] {
            PassThread own;
            while (workOne(own)) {
            }
        });

    // This thread counts chunks too, and appends every finished chunk in order as soon as those before
    // it are in; progress is reported from here only, the thread that owns the view.
    PassThread own;
    for (std::size_t merged = 0; merged < chunks.size(); ++merged) {
        Chunk& chunk = chunks[merged];
        for (;;) {
            {
                std::lock_guard lock(mutex);
                if (chunk.done) break;
            }
            if (!workOne(own)) {
                std::unique_lock lock(mutex);
                doneSignal.wait(lock, [&] { return chunk.done; });
                break;
            }
        }
        // A chunk that failed ends the pass with what came before its failing line, as one thread
        // would have left it; the chunks after it are dropped.
        if (chunk.tally) t.append(std::move(*chunk.tally));
        chunk.tally.reset();
        if (chunk.error) {
            stop.store(true);
            std::rethrow_exception(chunk.error);
        }
        if (progress) progress->progressPosition(chunk.end);
    }
}

// The pass over a log that feed hands out part by part, as it is inflated: each part is a chunk. The
// chunks are counted side by side and appended in order, as countInChunks does.
void countFed(LogTally& t, const ReferenceLists& lists, GzipFeed& feed, unsigned threads, bool skipBad) {
    const SpareBlocks keep;
    struct FedChunk {
        const GzipFeed::Part* part = nullptr;
        std::unique_ptr<LogTally> tally;
        std::exception_ptr error;
        bool done = false;  // under the mutex
    };
    std::deque<FedChunk> chunks;  // under the mutex; a chunk stays where it is
    bool over = false;            // under the mutex: every part has been taken
    std::mutex taking, mutex;
    std::condition_variable doneSignal;
    std::atomic<bool> stop{false};

    // Takes the next part, waiting for it, and counts it; false once none is left or the pass stopped.
    // The part after it is inflated first, unless one is ready for the next thread that asks: the
    // threads take turns at the inflating, which as a thread of its own beside them would crowd the
    // cores (the system leaves a core idle rather than move a waiting thread to it at once).
    auto workOne = [&](PassThread& own) -> bool {
        FedChunk* chunk = nullptr;
        if (!stop.load()) feed.produceAhead(2);
        {
            std::lock_guard take(taking);
            if (stop.load()) return false;
            const GzipFeed::Part* part = nullptr;
            std::exception_ptr failure;
            bool more = false;
            try {
                more = feed.next(part);
            } catch (...) {
                failure = std::current_exception();
            }
            std::lock_guard lock(mutex);
            if (failure) {
                // The loading failed after the parts before: it ends the pass in their order.
                chunks.push_back(FedChunk{nullptr, nullptr, failure, true});
                over = true;
            } else if (!more) {
                over = true;
            } else if (!stop.load()) {
                chunks.push_back(FedChunk{part, nullptr, nullptr, false});
                chunk = &chunks.back();
            }
        }
        if (!chunk) {
            doneSignal.notify_all();
            return false;
        }
        try {
            const std::size_t begin = chunk->part->first;
            countChunk(t, chunk->tally, lists, begin, begin + chunk->part->lines.size(), own, skipBad,
                       &chunk->part->lines);
            feed.counted(*chunk->part);
        } catch (...) {
            chunk->error = std::current_exception();
            // The pass ends here: its text stays, and the feed no longer waits for it to be counted,
            // which would leave a thread that waits for the next part waiting for ever.
            feed.readToEnd();
        }
        {
            std::lock_guard lock(mutex);
            chunk->done = true;
        }
        doneSignal.notify_all();
        return true;
    };

    std::vector<std::thread> workers;
    struct Join {
        std::vector<std::thread>& workers;
        std::atomic<bool>& stop;
        GzipFeed& feed;
        ~Join() {
            stop.store(true);
            // A worker that waits for a part gets one, or the end, without more being counted.
            feed.readToEnd();
            for (auto& w : workers) w.join();
        }
    } join{workers, stop, feed};
    for (unsigned i = 1; i < threads; ++i) {
        try {
            workers.emplace_back([&] {
                PassThread own;
                while (workOne(own)) {
                }
            });
        } catch (const std::system_error&) {
            break;  // fewer threads count
        }
    }

    // This thread counts parts too, and appends every counted chunk in order.
    PassThread own;
    for (std::size_t merged = 0;; ++merged) {
        FedChunk* chunk = nullptr;
        for (;;) {
            {
                std::lock_guard lock(mutex);
                if (merged < chunks.size() && chunks[merged].done) chunk = &chunks[merged];
                else if (over && merged >= chunks.size()) break;
            }
            if (chunk) break;
            if (!workOne(own)) {
                std::unique_lock lock(mutex);
                doneSignal.wait(lock, [&] {
                    return (merged < chunks.size() && chunks[merged].done) || (over && merged >= chunks.size());
                });
            }
        }
        if (!chunk) break;
        if (chunk->tally) t.append(std::move(*chunk->tally));
        chunk->tally.reset();
        if (chunk->error) {
            stop.store(true);
            std::rethrow_exception(chunk->error);
        }
    }
}

}  // namespace

void countLines(LogTally& t, const ReferenceLists& lists, ResultView* progress, unsigned threads, bool skipBadLines) {
    const std::size_t count = t.logLines->size();
    if (threads <= 1 || passChunkEnds(count, threads).size() < 2) {
        PassThread own;
        countRun(t, lists, 0, count, progress, own, skipBadLines);
    } else {
        countInChunks(t, lists, progress, threads, skipBadLines);
    }
    if (progress) progress->progressPosition(count);
}

namespace {

std::string listPath(const std::string& dir, const char* file) {
    return dir.empty() ? common::materiaFile(file) : dir + "/" + file;
}

// Shows a list that has been read: its progress messages and header block.
void showListStep(ResultView& view, std::string_view pane, const common::StringList& list, int step) {
    writeListHeader(view, pane, list);
    view.progressMessage(text::progress(step + 1));
}

// Loads one list file with its progress messages and header block.
common::StringList loadListStep(ResultView& view, const std::string& dir, const char* file, std::string_view pane,
                                int step) {
    view.progressMessage(text::progress(step));
    common::StringList list = lists::loadList(listPath(dir, file));
    showListStep(view, pane, list, step);
    return list;
}

// Tells the view about the loaded log, before the lists are read.
void showLog(ResultView& view, const LogText& log, const LogLayout& layout, bool detected, const std::string& path) {
    view.layoutRead(layout, detected);
    const std::string shownPath = common::pathText(path);
    view.progressMessage(text::progress(2, shownPath));
    view.progressRange(log.size());
    view.progressMessage(text::progress(3, shownPath));
    view.setBox(boxFor(BoxValue::File), shownPath);
    if (const std::size_t zeroLine = log.stoppedAtZeroByte()) view.stoppedAtZeroByte(zeroLine);
}

// The pass (pass() counts tally's lines), then everything the view is given of it.
void passAndShow(ResultView& view, LogTally& tally, const ReferenceLists& lists, const AnalysisOptions& options,
                 unsigned threads, const std::function<void()>& pass) {
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
        if (tally.rankings) {
            tally.rankings->finish();
            view.rankingsReady(tally.rankings);
        }
        if (options.skipBadLines) view.linesSkipped(std::make_shared<SkippedLines>(tally.logLines, tally.skippedLines));
    };
    try {
        pass();
    } catch (...) {
        flushPassPanes();
        // The lines before the failing one are all counted or left out, so together they make its
        // index. The log is shown so that the user can see the line.
        const auto stopped = static_cast<std::size_t>(tally.lineCount) + tally.skippedLines.size();
        if (stopped < tally.logLines->size()) {
            view.replacePane(kRawLogPane, tally.logLines);
            view.stoppedAt(stopped, tally.logLines->lineNumber(stopped));
        }
        throw;
    }
    // The side work runs beside the panes and the rankings' last step, and is over before the tally
    // goes, however this call ends.
    std::thread side;
    std::exception_ptr sideError;
    struct JoinSide {
        std::thread& side;
        ~JoinSide() {
            if (side.joinable()) side.join();
        }
    } joinSide{side};
    if (options.whileFinishing) {
        auto work = [&] {
            try {
                options.whileFinishing(tally, lists);
            } catch (...) {
                sideError = std::current_exception();
            }
        };
        if (threads > 1) {
            try {
                side = std::thread(work);
            } catch (const std::system_error&) {
                work();
            }
        } else {
            work();
        }
    }
    flushPassPanes();
    if (side.joinable()) side.join();
    if (sideError) std::rethrow_exception(sideError);
    view.tallied(tally);

    view.progressMessage(text::progress(11));
    view.progressMessage(text::progress(12));
    outputStep(view, tally);

    view.progressMessage(text::progress(13));
    view.chartBars("Image1", tally.hourConnections, tally.lineCount);
    view.chartBars("Image2", tally.hourGets, tally.lineCount);
    view.chartBars("Image3", tally.hourPosts, tally.lineCount);
}

// Lines that a part of a log holds, for telling the layout from the first of them.
class PartLines final : public LineSource {
public:
    explicit PartLines(const LineTable::Part* part) : part_(part) {}
    std::size_t size() const override { return part_ ? part_->size() : 0; }
    void appendLine(std::size_t i, std::string& out) const override { out += (*part_)[i]; }

private:
    const LineTable::Part* part_;
};

// A gzip log whose lines nothing reads after the pass, counted while it is inflated (GzipFeed), so
// that its text never lies in memory whole. The view is given the same as by the usual steps, in the
// same order, once the text is known to be sound: a file that turns out damaged leaves it as a load
// that failed at once. False, with nothing done, where the usual steps are to be taken instead: a list
// that cannot be read (its error comes after the log's), no memory for the feed.
bool analyseFed(const common::ByteBuffer& bytes, const std::string& path, ResultView& view,
                const AnalysisOptions& options, unsigned threads) {
    const std::string& dir = options.materiaDir;
    std::optional<ReferenceLists> lists;
    try {
        lists.emplace(lists::loadList(listPath(dir, lists::kCheckDomeinList)),
                      lists::loadList(listPath(dir, lists::kDomeinList)),
                      lists::loadList(listPath(dir, lists::kSERobotsList)));
        loadBehaviourLists(*lists, dir);
    } catch (const common::AppError&) {
        return false;
    }
    // Text ahead of the pass: a part on every thread, one waiting and one being inflated.
    constexpr std::size_t kPartBytes = std::size_t(16) << 20;
    std::optional<GzipFeed> feed;
    try {
        feed.emplace(bytes, path, kPassChunkLines, kPartBytes, (threads + 2) * kPartBytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const GzipFeed::Part* first = feed->first();
    LogLayout layout = options.layout ? *options.layout : detectLayout(PartLines(first ? &first->lines : nullptr));
    layout.clientFromForwarded = options.clientFromForwarded;
    feed->log()->setLayout(layout);

    LogTally tally(feed->log(), 0);
    if (!options.rankings) tally.rankings.reset();
    std::exception_ptr passError;
    try {
        countFed(tally, *lists, *feed, threads, options.skipBadLines);
    } catch (...) {
        passError = std::current_exception();
    }
    // A failure of the loading, which may have let through lines of a damaged text first, wins.
    const std::shared_ptr<LogText> log = feed->finish();
    showLog(view, *log, layout, !options.layout, path);
    view.progressMessage(text::progress(4));
    showListStep(view, "CheckDomeinMemo", lists->watched, 4);
    view.progressMessage(text::progress(6));
    showListStep(view, "ReferrerList", lists->own, 6);
    view.progressMessage(text::progress(8));
    showListStep(view, "RobotsLog", lists->robots, 8);
    passAndShow(view, tally, *lists, options, threads, [&] {
        if (passError) std::rethrow_exception(passError);
    });
    return true;
}

void analyse(const std::string& path, ResultView& view, const AnalysisOptions& options) {
    view.showProgress();
    view.progressMessage(text::progress(1));
    MemoFree(view);
    view.rankingsReady(nullptr);
    for (std::string_view image : {"Image1", "Image2", "Image3"}) view.chartBackground(image);

    const unsigned threads = passThreads(options.threads);
    common::ByteBuffer bytes = common::mapFileBytes(path);
    if (options.readOnce && !options.watcher && !options.whileFinishing && isGzipText(bytes.view()) &&
        analyseFed(bytes, path, view, options, threads))
        return;
    std::shared_ptr<LogText> loaded = logFromBytes(std::move(bytes), path, threads);
    LogLayout layout = options.layout ? *options.layout : detectLayout(*loaded);
    layout.clientFromForwarded = options.clientFromForwarded;
    loaded->setLayout(layout);
    showLog(view, *loaded, layout, !options.layout, path);
    std::shared_ptr<const LogText> log = std::move(loaded);

    const std::string& dir = options.materiaDir;
    auto watched = loadListStep(view, dir, lists::kCheckDomeinList, "CheckDomeinMemo", 4);
    auto own = loadListStep(view, dir, lists::kDomeinList, "ReferrerList", 6);
    auto robots = loadListStep(view, dir, lists::kSERobotsList, "RobotsLog", 8);
    ReferenceLists lists(std::move(watched), std::move(own), std::move(robots));
    loadBehaviourLists(lists, dir);

    LogTally tally(log);
    if (!options.rankings) tally.rankings.reset();
    tally.watcher = options.watcher;
    log.reset();
    passAndShow(view, tally, lists, options, threads,
                [&] { countLines(tally, lists, &view, threads, options.skipBadLines); });
}

}  // namespace

void LogCounting(const std::string& path, ResultView& view, const AnalysisOptions& options) {
    try {
        analyse(path, view, options);
    } catch (const std::bad_alloc&) {
        throw common::AppError(common::msg::outOfMemory());
    }
}

}  // namespace analysis
