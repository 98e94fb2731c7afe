// Splitting an analysed log into its days: every line read again with the pass's field rules.
#include "history/dayfigures.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "analysis/behaviour.h"
#include "analysis/logcounting.h"
#include "analysis/logline.h"
#include "common/casefold.h"
#include "common/textpos.h"
#include "history/hashset.h"

namespace history {

using analysis::LogLine;

void DayCounts::add(const DayCounts& o) {
    for (auto m : {&DayCounts::lines, &DayCounts::get, &DayCounts::post, &DayCounts::status200, &DayCounts::status403,
                   &DayCounts::status404, &DayCounts::other, &DayCounts::bytes, &DayCounts::favicon,
                   &DayCounts::faviconIe, &DayCounts::robots, &DayCounts::robotsFile})
        this->*m += o.*m;
    for (std::size_t h = 0; h < 24; ++h) {
        hourConnections[h] += o.hourConnections[h];
        hourGets[h] += o.hourGets[h];
        hourPosts[h] += o.hourPosts[h];
    }
}

namespace {

// A hash whose every bit depends on every bit of its input (splitmix64's finish).
std::uint64_t spread(std::uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ull;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

constexpr std::size_t kReleaseEvery = 16384;
// The longest chunk of a log's lines read for its days.
constexpr std::size_t kDayChunkLines = 262144;

// The hashes of a day's hosts or visitors, gathered as a list that may repeat them and made distinct
// in a few goes (a chunk's list when the chunk is done, long lists as they come together, the day's
// at its end): a line then costs an append, where a set would be looked up and grown on every line,
// and the sets of the pass's chunks merged.
class HashList {
public:
    void add(std::uint64_t h) {
        values_.push_back(h);
        sorted_ = false;
        repeats_ = true;
    }
    // The same, dropping a hash that one of the last added gave already, looked up in a small table
    // by its low bits: most lines of a day repeat a host or visitor met shortly before.
    void addRecent(std::uint64_t h) {
        if (recent_.empty()) recent_.assign(kRecent, 0);
        std::uint64_t& slot = recent_[h & (kRecent - 1)];
        if (slot == h && h != 0) return;
        slot = h;
        add(h);
    }
    // The same for a hash the caller has not given before, or only rarely: the list is then sorted
    // without being made distinct in a set first.
    void addNew(std::uint64_t h) {
        values_.push_back(h);
        sorted_ = false;
    }
    // Takes the hashes of the list that follows.
    void append(HashList&& later) {
        // Lists without repeats of their own (addNew) are kept whole, side by side, and made distinct
        // together when the distinct hashes are asked for, on whichever thread asks.
        if (!repeats_ && !later.repeats_) {
            if (values_.empty() && pieces_.empty()) {
                values_ = std::move(later.values_);
                pieces_ = std::move(later.pieces_);
                pieceHashes_ = later.pieceHashes_;
                sorted_ = later.sorted_;
            } else if (!later.values_.empty() || !later.pieces_.empty()) {
                if (!later.values_.empty()) {
                    pieceHashes_ += later.values_.size();
                    pieces_.push_back(std::move(later.values_));
                }
                for (auto& piece : later.pieces_) pieces_.push_back(std::move(piece));
                pieceHashes_ += later.pieceHashes_;
                sorted_ = false;
            }
            later = HashList();
            if (values_.size() + pieceHashes_ >= compactAt_) compact();
            return;
        }
        gather();
        later.gather();
        if (values_.empty()) {
            values_ = std::move(later.values_);
            repeats_ = later.repeats_;
        } else {
            values_.insert(values_.end(), later.values_.begin(), later.values_.end());
            repeats_ = true;
        }
        sorted_ = false;
        later = HashList();
        if (values_.size() >= compactAt_) compact();
    }
    // Takes the hashes of the list that follows into a set at once, and gives back that list's
    // memory, emptied, for a list still to come: kept as pieces until the day is read, the lists of
    // a pass's chunks took fresh pages each, about a third of what watching the days cost.
    std::vector<std::uint64_t> fold(HashList&& later) {
        later.gather();
        gather();
        // Room for a few lists as long as these at once: the chunks of a day share most of their
        // hashes (see dropRepeatsOfPieces).
        if (set_.size() == 0)
            set_.reserve(std::min(4 * std::max(values_.size(), later.values_.size()), kReserveAtMost));
        set_.insertMany(values_.data(), values_.size());
        values_.clear();
        set_.insertMany(later.values_.data(), later.values_.size());
        std::vector<std::uint64_t> memory = std::move(later.values_);
        memory.clear();
        later = HashList();
        sorted_ = false;
        return memory;
    }
    // Starts the list in memory that a list folded into another gave back.
    void adopt(std::vector<std::uint64_t>&& memory) {
        if (!values_.empty()) return;
        values_ = std::move(memory);
        values_.clear();
    }
    // Drops the repeats of a long list now, on the thread that gathered it, rather than keep them.
    void shrink() {
        if (values_.size() >= kRecent) dropRepeats();
    }
    // Each hash once, in order. A day's list repeats most of its hashes many times over: a set that
    // grows with the distinct ones drops the repeats, and only those are sorted.
    const std::vector<std::uint64_t>& distinct() const {
        if (!sorted_) {
            if (set_.size() > 0) {
                gather();
                set_.insertMany(values_.data(), values_.size());
                values_ = set_.values();
                set_ = HashSet();
                repeats_ = false;
            }
            if (!repeats_ && !pieces_.empty()) dropRepeatsOfPieces();
            gather();
            dropRepeats();
            sortHashes(values_);
            // What addNew() took in twice after all.
            values_.erase(std::unique(values_.begin(), values_.end()), values_.end());
            sorted_ = true;
        }
        return values_;
    }

private:
    static constexpr std::size_t kRecent = 1024;
    static constexpr std::size_t kCompactAt = std::size_t{1} << 20;
    // A set made distinct is given room for as many hashes as it is given (up to this many), rather
    // than grow to them: growing puts every hash in again at each doubling, which cost more than the
    // slots that repeats leave empty.
    static constexpr std::size_t kReserveAtMost = std::size_t{1} << 18;

    // The lists of a long log are made distinct as they come together, so that they stay within
    // about twice the distinct hashes, once they hold 8 MB: those of a day of a million lines are
    // made distinct once, at the end, rather than again there.
    void compact() {
        if (!repeats_ && !pieces_.empty()) dropRepeatsOfPieces();
        gather();
        dropRepeats();
        compactAt_ = std::max(kCompactAt, 2 * values_.size());
    }
    // The pieces put after values_, which may then repeat hashes.
    void gather() const {
        if (pieces_.empty()) return;
        values_.reserve(values_.size() + pieceHashes_);
        for (const auto& piece : pieces_) values_.insert(values_.end(), piece.begin(), piece.end());
        pieces_.clear();
        pieceHashes_ = 0;
        repeats_ = true;
    }
    // values_ and the pieces, each without repeats, made one list without repeats: at least as many
    // distinct hashes as the longest of them, at most all of them. The chunks of a day share most of
    // their visitors and nearly all their hosts, so the set is made big enough for four times the
    // longest at once (up to all, and kReserveAtMost), and grows in the rare day beyond: room for all
    // was up to sixty times the hashes, which cost more to clear and read back than growing.
    void dropRepeatsOfPieces() const {
        std::size_t longest = values_.size(), all = values_.size();
        for (const auto& piece : pieces_) {
            longest = std::max(longest, piece.size());
            all += piece.size();
        }
        HashSet once;
        once.reserve(std::max(longest + longest / 2, std::min({all, 4 * longest, kReserveAtMost})));
        once.insertMany(values_.data(), values_.size());
        for (const auto& piece : pieces_) once.insertMany(piece.data(), piece.size());
        values_ = once.values();
        pieces_.clear();
        pieceHashes_ = 0;
    }
    void dropRepeats() const {
        if (!repeats_) return;
        HashSet once;
        once.reserve(std::min(values_.size(), kReserveAtMost));
        once.insertMany(values_.data(), values_.size());
        values_ = once.values();
        repeats_ = false;
    }

    // Hashes are spread evenly, so their top bits deal them into buckets of a few each, in order,
    // and each bucket is sorted on its own.
    static void sortHashes(std::vector<std::uint64_t>& v) {
        if (v.size() < 4096) {
            std::sort(v.begin(), v.end());
            return;
        }
        const int bits = std::min(16, static_cast<int>(std::bit_width(v.size())) - 4);
        const int shift = 64 - bits;
        std::vector<std::uint32_t> start((std::size_t{1} << bits) + 1, 0);
        for (std::uint64_t h : v) ++start[(h >> shift) + 1];
        for (std::size_t b = 1; b < start.size(); ++b) start[b] += start[b - 1];
        std::vector<std::uint32_t> next(start.begin(), start.end() - 1);
        std::vector<std::uint64_t> out(v.size());
        for (std::uint64_t h : v) out[next[h >> shift]++] = h;
        for (std::size_t b = 0; b + 1 < start.size(); ++b)
            if (start[b + 1] - start[b] > 1) std::sort(out.begin() + start[b], out.begin() + start[b + 1]);
        v.swap(out);
    }

    mutable std::vector<std::uint64_t> values_;
    mutable bool sorted_ = true;
    mutable bool repeats_ = false;  // values_ may hold many repeats (add())
    // Lists of addNew() appended after values_, each without repeats, and how many hashes they hold.
    mutable std::vector<std::vector<std::uint64_t>> pieces_;
    mutable std::size_t pieceHashes_ = 0;
    std::size_t compactAt_ = kCompactAt;
    std::vector<std::uint64_t> recent_;
    mutable HashSet set_;  // what fold() took in, apart from values_ and the pieces
};

// What a run of lines gives one day: counters, hashes, and (when counted in full) rankings.
struct DayRun {
    explicit DayRun(std::unique_ptr<analysis::Rankings> r) : rankings(std::move(r)) {}
    DayCounts counts;
    std::int32_t first = 86400, last = -1;
    HashList hosts, visitors;
    std::unique_ptr<analysis::Rankings> rankings;
};
using DayRuns = std::map<Day, std::unique_ptr<DayRun>>;

struct RunOfLines {
    DayRuns days;
    std::int64_t undated = 0;
};

// The hashes a day keeps of a host and of a visitor (host and user agent), letter case ignored.
std::uint64_t hostHash(std::string_view host) { return spread(common::foldedHash(host)); }
std::uint64_t agentHash(std::string_view agent) { return spread(common::foldedHash(agent) + 0x9e3779b97f4a7c15ull); }
std::uint64_t visitorHash(std::uint64_t host, std::uint64_t agent) { return spread(host ^ agent); }

// The user agent that makes a visitor: the last quoted field of the line (the combined layout's
// user agent), found from the end quote by quote without reading the rest of the line.
std::string_view visitorAgent(std::string_view line) {
    if (line.size() < 3) return {};
    for (std::size_t limit = line.size() - 2;;) {
        const void* q = ::memrchr(line.data(), '"', limit);
        if (!q) return {};
        const auto at = static_cast<std::size_t>(static_cast<const char*>(q) - line.data());
        if (line[at + 1] == ' ' && line[at + 2] == '"') return line.substr(at + 2);
        // Mostly this is the agent's opening quote, the referrer's closing quote and a space before it:
        // that quote is the next one back, and needs no search.
        if (at >= 2 && line[at - 1] == ' ' && line[at - 2] == '"') return line.substr(at);
        limit = at;
    }
}

// Counts lines into their days lightly: each gives its day's time span, hours, hosts and visitors.
// Lines come in order, mostly of one day: the date of the last line is read once, not again.
class DayCounter {
public:
    RunOfLines run;
    // Memory for the visitors' lists of the days this run comes to (none: fresh).
    std::vector<std::vector<std::uint64_t>>* stock = nullptr;

    // The run of the line's day, its time span and hours counted; null for a line without a date.
    // full: the day counts its rankings as well. A busy log has several lines a second: a time field
    // that begins with the same 21 bytes as the last dated line's is of the same day, second and hour.
    DayRun* day(std::string_view timeField, const std::shared_ptr<const analysis::LogText>& log, bool full,
                std::size_t& hour) {
        if (last_ && timeField.size() >= 21 && sameSecond(timeField.data())) {
            hour = lastHour_;
            ++last_->counts.lines;
            ++last_->counts.hourConnections[hour];
            return last_;
        }
        return newSecond(timeField, log, full, hour);
    }

    // The same with the line's host (as the pass counts it) and visitor, read from the line. An
    // excluded address (the user's own, a monitor) is nobody's visit; its host stays, so that the day's
    // hosts add up to the host count of the analysis.
    DayRun* count(std::string_view line, std::string_view hostText, std::string_view timeField,
                  const std::shared_ptr<const analysis::LogText>& log, bool full, bool excluded, std::size_t& hour) {
        DayRun* d = day(timeField, log, full, hour);
        if (d) {
            const std::uint64_t host = hostHash(hostText);
            d->hosts.addRecent(host);
            if (!excluded) d->visitors.addRecent(visitorHash(host, agentHash(visitorAgent(line))));
        }
        return d;
    }

private:
    bool sameSecond(const char* p) const {
        return std::memcmp(p, second_, 8) == 0 && std::memcmp(p + 8, second_ + 8, 8) == 0 &&
               std::memcmp(p + 13, second_ + 13, 8) == 0;
    }

    DayRun* newSecond(std::string_view timeField, const std::shared_ptr<const analysis::LogText>& log, bool full,
                      std::size_t& hour) {
        DayTime when;
        if (!dayTime(timeField, when)) {
            ++run.undated;
            return nullptr;
        }
        if (!last_ || when.day != lastDay_) {
            auto& slot = run.days[when.day];
            if (!slot) {
                slot = std::make_unique<DayRun>(full ? std::make_unique<analysis::Rankings>(log, false) : nullptr);
                if (stock && !stock->empty()) {
                    slot->visitors.adopt(std::move(stock->back()));
                    stock->pop_back();
                }
            }
            last_ = slot.get();
            lastDay_ = when.day;
        }
        DayRun& d = *last_;
        d.first = std::min(d.first, when.second);
        d.last = std::max(d.last, when.second);
        ++d.counts.lines;
        hour = static_cast<std::size_t>(when.second / 3600);
        ++d.counts.hourConnections[hour];
        // An empty second_ matches no field: a time field of 21 bytes begins with '['.
        if (timeField.size() >= 21) std::memcpy(second_, timeField.data(), sizeof second_);
        else second_[0] = 0;
        lastHour_ = hour;
        return &d;
    }

    // dayTimeOf into out (false: no date), the date taken from the last line when the field begins
    // with the same 12 bytes. Not an optional: a day and second handed back through one went through
    // memory in pieces, and reading them back whole stalled the line about as long as the rest of it.
    bool dayTime(std::string_view f, DayTime& out) {
        const char* p = f.data();
        if (hasDate_ && f.size() >= 21 && std::memcmp(p, date_, sizeof date_) == 0 && p[12] == ':' && p[15] == ':' &&
            p[18] == ':') {
            auto digit = [p](int i) { return static_cast<unsigned>(static_cast<unsigned char>(p[i])) - '0'; };
            const unsigned h1 = digit(13), h2 = digit(14), m1 = digit(16), m2 = digit(17), s1 = digit(19),
                           s2 = digit(20);
            if (h1 > 9 || h2 > 9 || m1 > 9 || m2 > 9 || s1 > 9 || s2 > 9) return false;
            const unsigned h = h1 * 10 + h2, mi = m1 * 10 + m2, s = s1 * 10 + s2;
            if (h > 23 || mi > 59 || s > 60) return false;
            out.day = dateDay_;
            out.second = static_cast<std::int32_t>(h * 3600 + mi * 60 + std::min(s, 59u));
            return true;
        }
        const auto when = dayTimeOf(f);
        if (!when) return false;
        std::memcpy(date_, f.data(), sizeof date_);
        dateDay_ = when->day;
        hasDate_ = true;
        out = *when;
        return true;
    }

    char second_[21] = {};  // "[10/Oct/2004:13:55:36" of the last dated line
    std::size_t lastHour_ = 0;
    char date_[12] = {};  // "[10/Oct/2004" of the last dated line
    bool hasDate_ = false;
    Day dateDay_ = 0;
    DayRun* last_ = nullptr;
    Day lastDay_ = 0;
};

bool isExcluded(const analysis::ReferenceLists& lists, std::string_view host) {
    return !lists.excludedHosts.empty() && analysis::excludedHost(host, lists.excludedHosts);
}

// The GET block of the pass for one line: counters, and the fields the rankings take.
void countGet(DayCounts& c, const analysis::ReferenceLists& lists, const LogLine& l, std::size_t getQuote,
              analysis::Status status, analysis::RankedLine& r, std::size_t hour) {
    const std::string_view line = l.text();
    r.isGet = true;
    r.getPath = analysis::GetPath(l, getQuote);
    r.agent = analysis::UserAgent(l, getQuote);
    ++c.get;
    ++c.hourGets[hour];
    if (status == analysis::Status::Ok) {
        r.bytes = analysis::ByteCount(l);
        c.bytes += r.bytes;
    }
    if (l.find(analysis::kNoReferrerMarker, getQuote + 1) == LogLine::npos) {
        r.referrer = analysis::Referrer(l, getQuote);
        r.hasReferrer = !r.referrer.empty();  // as the rankings of the pass take it
        r.foreignReferrer = analysis::foreignForRankings(lists, r.referrer, lists.ownReferrers.any(r.referrer));
    }
    std::string_view robotEntry;
    const std::uint32_t found = lists.robotsAndFavicon.groups(line, 1, robotEntry);
    r.robot = (found & 1) != 0;
    r.robotEntry = robotEntry;
    r.robotsFile = !r.robot && r.getPath.size() == 11 && common::foldedEqual(r.getPath, "/robots.txt");
    if (r.robot) ++c.robots;
    else if (r.robotsFile) ++c.robotsFile;
    if (found & 2) {
        ++c.favicon;
        if (common::TextPos(" MSIE ", line) > 0) ++c.faviconIe;
    }
}

void countStatus(DayCounts& c, const analysis::RankedLine& r) {
    if (r.is200) ++c.status200;
    else if (r.is403) ++c.status403;
    else if (r.is404) ++c.status404;
    else ++c.other;
}

// Counted in full, a line gives everything the pass counts, by its day. l holds the line scanned.
void countLine(DayCounter& counter, const std::shared_ptr<const analysis::LogText>& log,
               const analysis::ReferenceLists& lists, LogLine& l, const analysis::LogLayout::Cut& cut) {
    const std::string_view line = cut.core;
    const std::string_view hostText = cut.host;
    std::size_t hour = 0;
    DayRun* const day = counter.count(line, hostText, analysis::ExtractTime(line), log, true,
                                      isExcluded(lists, hostText), hour);
    if (!day) return;
    DayRun& d = *day;
    DayCounts& c = d.counts;
    const analysis::Status status = analysis::statusOf(l);
    analysis::RankedLine r;
    r.line = line;
    r.host = hostText;
    r.status = l.status();
    r.is200 = status == analysis::Status::Ok;
    r.is403 = status == analysis::Status::Forbidden;
    r.is404 = status == analysis::Status::NotFound;
    const std::size_t getQuote = l.find(analysis::kGetMarker);
    if (getQuote != LogLine::npos) countGet(c, lists, l, getQuote, status, r, hour);
    const std::size_t postQuote = l.find(analysis::kPostMarker);
    const bool isPost = postQuote != LogLine::npos;
    const std::string_view postPath = isPost ? analysis::PostPath(l, postQuote) : std::string_view{};
    r.requestPath = r.isGet ? r.getPath : isPost ? postPath : analysis::OwnRequestPath(l);
    if (isPost) {
        ++c.post;
        ++c.hourPosts[hour];
    }
    countStatus(c, r);
    d.rankings->addLine(r);
}

// skipped: the indexes of the lines the pass left out as unreadable, in order (none: every line counts).
RunOfLines countRun(const std::shared_ptr<const analysis::LogText>& log, const analysis::ReferenceLists& lists,
                    std::size_t begin, std::size_t end, bool full, const std::vector<std::uint32_t>* skipped) {
    DayCounter counter;
    LogLine l;
    const analysis::LogLayout& layout = log->layout();
    const bool cuts = layout.cuts();
    std::size_t read = begin;
    auto nextSkipped = skipped ? std::lower_bound(skipped->begin(), skipped->end(), begin)
                               : decltype(skipped->begin()){};
    for (std::size_t i = begin; i < end; ++i) {
        if (skipped && nextSkipped != skipped->end() && *nextSkipped == i) {
            ++nextSkipped;
            continue;
        }
        const std::string_view raw = (*log)[i];
        if (full) {
            countLine(counter, log, lists, l, layout.cut(raw, l));
        } else if (layout.clientFromForwarded) {
            // The forwarded client is the host the pass counted, so it is the day's too.
            const analysis::LogLayout::Cut cut = layout.cut(raw, l);
            std::size_t hour = 0;
            counter.count(cut.core, cut.host, analysis::ExtractTime(cut.core), log, false, isExcluded(lists, cut.host),
                          hour);
        } else {
            const std::string_view line = cuts ? layout.core(raw) : raw;
            std::size_t hour = 0;
            const std::string_view host = analysis::ExtractHost(line);
            counter.count(line, host, analysis::ExtractTime(line), log, false, isExcluded(lists, host), hour);
        }
        // A mapped log's pages go back to the page cache as the pass gives them back.
        if ((i + 1) % kReleaseEvery == 0) {
            log->doneWith(read, i + 1);
            read = i + 1;
        }
    }
    log->doneWith(read, end);
    for (auto& [day, d] : counter.run.days) {
        d->hosts.shrink();
        d->visitors.shrink();
    }
    return std::move(counter.run);
}

// Adds the run of lines that follows into; days keep the order of their lines. With spare, the
// later run's hashes go into their days' sets at once (HashList::fold), and the memory of its lists
// of visitors goes to spare.
void appendRun(DayRuns& into, RunOfLines&& later, std::vector<std::vector<std::uint64_t>>* spare = nullptr) {
    for (auto& [day, d] : later.days) {
        auto& slot = into[day];
        if (!slot) {
            slot = std::move(d);
            continue;
        }
        slot->counts.add(d->counts);
        slot->first = std::min(slot->first, d->first);
        slot->last = std::max(slot->last, d->last);
        if (spare) {
            slot->hosts.fold(std::move(d->hosts));
            spare->push_back(slot->visitors.fold(std::move(d->visitors)));
        } else {
            slot->hosts.append(std::move(d->hosts));
            slot->visitors.append(std::move(d->visitors));
        }
        if (slot->rankings) slot->rankings->merge(*d->rankings);
    }
}

void takeRankings(DayShare& s, const analysis::Rankings& rankings) {
    for (std::size_t t = 0; t < analysis::kRankTableCount; ++t) {
        const analysis::RankTable table = analysis::rankTable(t);
        for (const analysis::RankRow& row : rankings.sorted(table, kTopRows))
            s.top[t].push_back(RankItem{std::string(row.item), row.hits, row.bytes});
        s.tableHits[t] = rankings.table(table).totalHits();
        s.tableRows[t] = static_cast<std::int64_t>(rankings.table(table).size());
    }
}

DayShare shareOf(Day day, const DayRun& d) {
    DayShare s;
    s.day = day;
    s.firstSecond = d.first;
    s.lastSecond = d.last;
    s.counts = d.counts;
    s.hosts = d.hosts.distinct();
    s.visitors = d.visitors.distinct();
    if (d.rankings) takeRankings(s, *d.rankings);
    return s;
}

// The runs of lines of the log's chunks, in order.
// side, when given, is run once by the first thread free, before it takes chunks.
std::vector<RunOfLines> countChunks(const std::shared_ptr<const analysis::LogText>& log,
                                    const analysis::ReferenceLists& lists, unsigned threads, bool full,
                                    const std::vector<std::uint32_t>* skipped,
                                    const std::function<void()>& side = {}) {
    // Longer chunks than the analysis pass's: each chunk keeps its days' hashes apart until the log's
    // days are put together, so more of them hold more memory.
    const std::vector<std::size_t> ends = analysis::passChunkEnds(log->size(), std::max(threads, 1u), kDayChunkLines);
    std::vector<RunOfLines> runs(ends.size());
    std::vector<std::exception_ptr> errors(ends.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> sideTaken{!side};
    auto work = [&] {
        if (!sideTaken.exchange(true)) side();
        for (std::size_t c; (c = next.fetch_add(1)) < ends.size();) {
            try {
                runs[c] = countRun(log, lists, c == 0 ? 0 : ends[c - 1], ends[c], full, skipped);
            } catch (...) {
                errors[c] = std::current_exception();
            }
        }
    };
    std::vector<std::thread> workers;
    for (unsigned i = 1; i < threads && i < ends.size(); ++i) workers.emplace_back(work);
    work();
    for (auto& w : workers) w.join();
    for (const auto& e : errors)
        if (e) std::rethrow_exception(e);
    return runs;
}

// The chunks' runs put together into the log's days.
LogDays sharesOf(std::vector<RunOfLines>&& runs) {
    LogDays out;
    DayRuns days;
    for (RunOfLines& run : runs) {
        out.undated += run.undated;
        appendRun(days, std::move(run));
    }
    runs.clear();
    for (const auto& [day, d] : days) out.days.push_back(shareOf(day, *d));
    return out;
}

LogDays split(const std::shared_ptr<const analysis::LogText>& log, const analysis::ReferenceLists& lists,
              unsigned threads, bool full, const std::vector<std::uint32_t>* skipped) {
    return sharesOf(countChunks(log, lists, threads, full, skipped));
}

// The light figures of the lines the pass counts, taken as it goes. A log has few distinct hosts and
// agents against its lines: each one's hash is worked out once.
class DayWatcher : public analysis::LineWatcher {
    // An agent's hash, and its bit in a host's mask of agents (kNoId: none, its hash is compared).
    // The same text may come by two numbers (its row, and the watcher's own when read from the
    // line, or again after it left the tables): a visitor is then only listed twice.
    static constexpr std::uint32_t kNoId = 0xffffffffu;
    struct TablePool;
    struct AgentSeen {
        std::uint64_t hash = 0;
        std::uint32_t id = kNoId;
    };

public:
    DayWatcher() : tables_(true), pool_(std::make_shared<TablePool>()) {}
    // A chunk's watcher, whose tables come from those that the chunks appended before it left.
    explicit DayWatcher(std::shared_ptr<TablePool> pool) : pool_(std::move(pool)) {
        {
            std::lock_guard lock(pool_->mutex);
            if (!pool_->lists.empty()) {
                stock_.push_back(std::move(pool_->lists.back()));
                pool_->lists.pop_back();
            }
            if (!pool_->spare.empty()) {
                tables_ = std::move(pool_->spare.back());
                pool_->spare.pop_back();
            } else {
                tables_ = Tables(true);
            }
        }
        counter_.stock = &stock_;
    }
    std::shared_ptr<analysis::LineWatcher> fresh() const override { return std::make_shared<DayWatcher>(pool_); }
    void counted(std::string_view core, std::string_view timeField, std::string_view host, std::uint32_t hostIndex,
                 bool excluded, std::string_view agent, std::uint32_t agentRow) override {
        std::size_t hour = 0;
        DayRun* const d = counter_.day(timeField, nullptr, false, hour);
        if (!d) return;
        const AgentSeen a = excluded ? AgentSeen{} : lineAgent(core, agent, agentRow);
        // The host a day keeps is the one the pass counted, a forwarded client included.
        if (hostIndex >= tables_.hosts.size())
            tables_.hosts.resize(std::max<std::size_t>(hostIndex + 1, tables_.hosts.size() * 2));
        KnownHost& known = tables_.hosts[hostIndex];
        if (!known.day) known.hash = hostHash(host);
        if (known.day != d) {
            d->hosts.addNew(known.hash);
            known.day = d;
            known.mask = 0;
            known.agents = 0;
            known.more = kNoBlock;
        }
        if (excluded) return;
        // A host comes back with the agents it came with: its visitors of the day are known by the
        // host's own short list of agents, and only a new one goes to the day's list.
        if (knows(known, a)) return;
        const std::uint64_t visitor = visitorHash(known.hash, a.hash);
        if (a.id >= 64 && known.agents == kMostAgents) {
            // A proxy with many agents: its visitors are made distinct with the rest of the list.
            d->visitors.add(visitor);
            return;
        }
        d->visitors.addNew(visitor);
        remember(known, a);
    }
    // The host's record and the agent's slot lie far from the cache among the pass's tables: they
    // are fetched while the pass does the rest of the line.
    void ahead(std::string_view core, std::uint32_t hostIndex) override {
        if (hostIndex < tables_.hosts.size()) __builtin_prefetch(&tables_.hosts[hostIndex], 1);
        // The agent's slot too, unless the last line's agent came from the rankings: counted() takes
        // it from here for the same line.
        if (!byRow_ && core.size() >= kTailBytes) {
            aheadEnd_ = core.data() + core.size();
            aheadSlot_ = tailSlot(core);
            __builtin_prefetch(&tables_.tails[aheadSlot_]);
        }
    }
    void append(analysis::LineWatcher& later) override {
        auto& l = static_cast<DayWatcher&>(later);
        counter_.run.undated += l.counter_.run.undated;
        // The days' hashes go into their sets as the chunks come, and the chunk's lists serve the
        // chunks still to come, as its tables do.
        std::vector<std::vector<std::uint64_t>> lists;
        appendRun(counter_.run.days, std::move(l.counter_.run), &lists);
        for (auto& list : l.stock_) lists.push_back(std::move(list));
        l.stock_.clear();
        // Its tables, emptied, serve the chunks still to come: a chunk's host records and agents would
        // otherwise be faulted in afresh, about a thousand pages a pass.
        l.tables_.clear();
        {
            std::lock_guard lock(pool_->mutex);
            pool_->spare.push_back(std::move(l.tables_));
            for (auto& list : lists) pool_->lists.push_back(std::move(list));
        }
    }
    LogDays days() const {
        // The spare tables are of no use once the days are read.
        {
            std::lock_guard lock(pool_->mutex);
            pool_->spare.clear();
            pool_->lists.clear();
        }
        LogDays out;
        out.undated = counter_.run.undated;
        for (const auto& [day, d] : counter_.run.days) out.days.push_back(shareOf(day, *d));
        return out;
    }

private:
    // agentHash of the line's visitorAgent. The rankings' agent is that very field when it ends the
    // line, quoted, after the referrer's closing quote and a space, and holds no quote, space and
    // quote of its own (which visitorAgent would read as the field's start): its row then stands
    // for its text, and what the row gives is worked out once.
    AgentSeen lineAgent(std::string_view line, std::string_view ranked, std::uint32_t row) {
        const std::size_t n = ranked.size();
        byRow_ = row != kNoId && n >= 2 && n + 2 <= line.size() && ranked.data() == line.data() + line.size() - n &&
                 ranked.front() == '"' && ranked.back() == '"' && line[line.size() - n - 1] == ' ' &&
                 line[line.size() - n - 2] == '"';
        if (byRow_) {
            if (row >= tables_.rows.size())
                tables_.rows.resize(std::max<std::size_t>(std::size_t{row} + 1, tables_.rows.size() * 2));
            RowAgent& r = tables_.rows[row];
            if (r.state == RowAgent::kUnknown) {
                r.hash = agentHash(ranked);
                r.state = ranked.find("\" \"") == std::string_view::npos ? RowAgent::kThisField : RowAgent::kOther;
            }
            if (r.state == RowAgent::kThisField) return AgentSeen{r.hash, row < kRowBits ? row : kNoId};
            byRow_ = false;
        }
        return tailAgent(line);
    }

    // The same read from the line. An agent met before is known by the bytes it ends the line
    // with, without a search: a line that ends with an agent's text, its opening quote after the
    // referrer's closing one and a space, has that agent, as nothing in the text can be taken for the
    // end of an earlier field. The agents are found in a table indexed by bytes near the line's end,
    // two to a slot (agents that end alike, the same browser on two systems, share one).
    AgentSeen tailAgent(std::string_view line) {
        if (line.size() < kTailBytes) return agent(visitorAgent(line));
        const char* end = line.data() + line.size();
        TailSlot& slot = tables_.tails[end == aheadEnd_ ? aheadSlot_ : tailSlot(line)];
        for (int i = 0; i < 2; ++i) {
            const KnownAgent& known = slot.agents[i];
            const std::size_t n = known.text.size();
            if (n > 0 && n + 2 <= line.size() && line[line.size() - n - 1] == ' ' && line[line.size() - n - 2] == '"' &&
                std::memcmp(end - n, known.text.data(), n) == 0) {
                if (i == 1) std::swap(slot.agents[0], slot.agents[1]);
                return slot.agents[0].seen;
            }
        }
        const std::string_view a = visitorAgent(line);
        const AgentSeen seen = agent(a);
        // An empty agent (no quoted field at the end) is read again each time.
        if (!a.empty()) {
            std::swap(slot.agents[0], slot.agents[1]);
            slot.agents[0].text.assign(a);
            slot.agents[0].seen = seen;
        }
        return seen;
    }

    // The slot of the tails table for a line of at least kTailBytes.
    static std::size_t tailSlot(std::string_view line) {
        const char* end = line.data() + line.size();
        // Five words 16 bytes apart, each multiplied on its own so that the products need not wait
        // for each other.
        static constexpr std::uint64_t kOdd[] = {0x9e3779b97f4a7c15ull, 0xbf58476d1ce4e5b9ull, 0x94d049bb133111ebull,
                                                 0xd6e8feb86659fd93ull, 0xff51afd7ed558ccdull};
        std::uint64_t key = 0;
        for (std::size_t i = 0; i < 5; ++i) {
            std::uint64_t w;
            std::memcpy(&w, end - 8 - 16 * i, 8);
            key ^= w * kOdd[i];
        }
        key ^= key >> 31;
        key *= 0x9e3779b97f4a7c15ull;
        return key >> (64 - kAgentBits);
    }

    // agentHash, remembered for the agents met last in a small table that the agent's length and
    // outer bytes index.
    AgentSeen agent(std::string_view a) {
        if (a.size() < 16) return AgentSeen{agentHash(a), kNoId};
        std::uint64_t head, middle, tail;
        std::memcpy(&head, a.data(), 8);
        std::memcpy(&middle, a.data() + a.size() / 2 - 4, 8);
        std::memcpy(&tail, a.data() + a.size() - 8, 8);
        const std::uint64_t key = (head ^ (middle * 0x9e3779b97f4a7c15ull) ^ (tail * 0xbf58476d1ce4e5b9ull) ^
                                   a.size()) *
                                  0x94d049bb133111ebull;
        KnownAgent& slot = tables_.agents[key >> (64 - kAgentBits)];
        if (slot.text != a) {
            slot.text.assign(a);
            // Its own numbers follow the rows' in the host's mask.
            slot.seen = AgentSeen{agentHash(a), nextId_ < 64 - kRowBits ? kRowBits + nextId_++ : kNoId};
        }
        return slot.seen;
    }

    static constexpr std::uint32_t kNoBlock = 0xffffffffu;
    static constexpr std::uint8_t kInline = 4, kPerBlock = 7, kMostAgents = 40;
    // A host's record, one cache line: its first agents of the day are in it, the others in blocks.
    struct alignas(64) KnownHost {
        std::uint64_t hash = 0;
        const DayRun* day = nullptr;        // the day last given the host (null: hash not known yet)
        std::uint64_t mask = 0;             // the agents of that day numbered below 64, by bit
        std::uint64_t agent[kInline] = {};  // agentHash of its other agents of that day, the first ones
        std::uint32_t more = kNoBlock;      // the block of its further agents
        std::uint8_t agents = 0;            // how many agents are in agent and the blocks, at most kMostAgents
    };
    struct alignas(64) AgentBlock {
        std::uint64_t agent[kPerBlock] = {};
        std::uint32_t next = kNoBlock;
        std::uint8_t used = 0;
    };
    static_assert(sizeof(KnownHost) == 64 && sizeof(AgentBlock) == 64);

    bool knows(const KnownHost& known, AgentSeen seen) const {
        if (seen.id < 64) return (known.mask >> seen.id) & 1;
        const std::uint64_t a = seen.hash;
        const std::uint8_t inRecord = std::min(known.agents, kInline);
        for (std::uint8_t i = 0; i < inRecord; ++i)
            if (known.agent[i] == a) return true;
        for (std::uint32_t b = known.more; b != kNoBlock; b = tables_.blocks[b].next) {
            const AgentBlock& block = tables_.blocks[b];
            for (std::uint8_t i = 0; i < block.used; ++i)
                if (block.agent[i] == a) return true;
        }
        return false;
    }
    // Adds a to the host's agents (fewer than kMostAgents). A host's blocks are chained newest
    // first; those of a past day are left behind.
    void remember(KnownHost& known, AgentSeen seen) {
        if (seen.id < 64) {
            known.mask |= std::uint64_t{1} << seen.id;
            return;
        }
        const std::uint64_t a = seen.hash;
        if (known.agents < kInline) {
            known.agent[known.agents++] = a;
            return;
        }
        if (known.more == kNoBlock || tables_.blocks[known.more].used == kPerBlock) {
            tables_.blocks.emplace_back();
            tables_.blocks.back().next = known.more;
            known.more = static_cast<std::uint32_t>(tables_.blocks.size() - 1);
        }
        AgentBlock& block = tables_.blocks[known.more];
        block.agent[block.used++] = a;
        ++known.agents;
    }
    struct KnownAgent {
        std::string text;
        AgentSeen seen;
        void clear() {
            text.clear();
            seen = AgentSeen{};
        }
    };
    // What a row of the rankings' agents gives: its agentHash, and whether its text is the line's
    // visitorAgent wherever it ends the line.
    struct RowAgent {
        enum : std::uint8_t { kUnknown, kThisField, kOther };
        std::uint64_t hash = 0;
        std::uint8_t state = kUnknown;
    };
    // The rows below this are numbered in a host's mask as they are; the watcher's own numbers of the
    // agents it reads from lines take the rest of the mask.
    static constexpr std::uint32_t kRowBits = 48;
    struct TailSlot {
        KnownAgent agents[2];  // the one met last first
    };
    static constexpr int kAgentBits = 10;
    static constexpr std::size_t kTailBytes = 72;  // bytes of a line's end that index its agent

    // What a watcher looks hosts and agents up in.
    struct Tables {
        std::vector<KnownHost> hosts;
        std::vector<AgentBlock> blocks;
        std::vector<KnownAgent> agents;
        std::vector<TailSlot> tails;
        std::vector<RowAgent> rows;
        Tables() = default;
        explicit Tables(bool) : agents(std::size_t{1} << kAgentBits), tails(std::size_t{1} << kAgentBits) {}
        // As new, keeping the memory (the agents' texts keep theirs too).
        void clear() {
            std::fill(hosts.begin(), hosts.end(), KnownHost{});
            blocks.clear();
            for (KnownAgent& a : agents) a.clear();
            for (TailSlot& t : tails)
                for (KnownAgent& a : t.agents) a.clear();
            std::fill(rows.begin(), rows.end(), RowAgent{});
        }
    };
    // The tables of the pass's appended chunks, for the chunks after them; shared by a watcher and
    // those it made fresh().
    struct TablePool {
        std::mutex mutex;
        std::vector<Tables> spare;
        std::vector<std::vector<std::uint64_t>> lists;  // of the days' visitors
    };

    DayCounter counter_;
    std::vector<std::vector<std::uint64_t>> stock_;  // memory for counter_'s lists
    Tables tables_;
    std::shared_ptr<TablePool> pool_;
    std::uint32_t nextId_ = 0;
    const char* aheadEnd_ = nullptr;  // the end of the line ahead() was given, and its agent's slot
    std::size_t aheadSlot_ = 0;
    bool byRow_ = false;  // the last line's agent was known by its row
};

// The one day of a log, the figures that the pass counted taken from its tally.
void completeFromTally(DayShare& s, const analysis::LogTally& t) {
    DayCounts& c = s.counts;
    c.get = t.getCount;
    c.post = t.postCount;
    c.status200 = t.status200Count;
    c.status403 = static_cast<std::int64_t>(t.host403Lines->size());
    c.status404 = static_cast<std::int64_t>(t.host404Lines->size());
    c.other = static_cast<std::int64_t>(t.hostOtherLines->size());
    c.bytes = static_cast<std::int64_t>(t.bytesSent);
    c.favicon = t.faviconCount;
    c.faviconIe = t.faviconIeCount;
    // The robots.txt fetches that are no robot lines are the ranking's "/robots.txt" row.
    c.robotsFile = 0;
    const analysis::RankCounts& robots = t.rankings->table(analysis::RankTable::Robots);
    for (const analysis::RankRow& row : robots.rows())
        if (row.item == "/robots.txt") c.robotsFile = row.hits;
    c.robots = static_cast<std::int64_t>(t.robotsLog->size()) - c.robotsFile;
    c.hourGets = t.hourGets;
    c.hourPosts = t.hourPosts;
    takeRankings(s, *t.rankings);
}

}  // namespace

LogDays splitIntoDays(const std::shared_ptr<const analysis::LogText>& log, const analysis::ReferenceLists& lists,
                      unsigned threads, const analysis::LogTally* tally) {
    // Most logs are a day's: the tally has everything of it but its hours, hosts and visitors.
    // Unless a robot string is "/robots.txt" itself, whose lines the rankings would not tell apart.
    const bool robotsEntry = std::any_of(lists.robots.begin(), lists.robots.end(),
                                         [](const std::string& e) { return common::foldedEqual(e, "/robots.txt"); });
    // Lines that the pass left out as unreadable are no day's either.
    const std::vector<std::uint32_t>* skipped = tally && tally->logLines == log && !tally->skippedLines.empty()
                                                    ? &tally->skippedLines
                                                    : nullptr;
    if (tally && tally->rankings && tally->logLines == log && !robotsEntry) {
        // What the pass's watcher saw is what reading the log again would give.
        const auto* watched = dynamic_cast<const DayWatcher*>(tally->watcher.get());
        LogDays light = watched ? watched->days() : split(log, lists, threads, false, skipped);
        if (light.undated == 0 && light.days.size() == 1 && light.days[0].counts.lines == tally->lineCount) {
            completeFromTally(light.days[0], *tally);
            return light;
        }
        if (light.days.empty()) return light;
    }
    return split(log, lists, threads, true, skipped);
}

struct CountedDays::Runs {
    std::shared_ptr<const analysis::LogText> log;  // the rankings' long items are views into it
    std::vector<RunOfLines> runs;
};

CountedDays::CountedDays() = default;
CountedDays::CountedDays(std::unique_ptr<Runs> runs) : runs_(std::move(runs)) {}
CountedDays::CountedDays(CountedDays&&) noexcept = default;
CountedDays& CountedDays::operator=(CountedDays&&) noexcept = default;
CountedDays::~CountedDays() = default;

bool CountedDays::empty() const {
    if (runs_)
        for (const RunOfLines& r : runs_->runs)
            if (!r.days.empty()) return false;
    return true;
}

LogDays CountedDays::finish() {
    if (!runs_) return {};
    const std::unique_ptr<Runs> runs = std::move(runs_);
    return sharesOf(std::move(runs->runs));
}

CountedDays countDays(const std::shared_ptr<const analysis::LogText>& log, const analysis::ReferenceLists& lists,
                      unsigned threads, const std::function<void()>& side) {
    return CountedDays(std::make_unique<CountedDays::Runs>(
        CountedDays::Runs{log, countChunks(log, lists, threads, true, nullptr, side)}));
}

std::shared_ptr<analysis::LineWatcher> dayWatcher() { return std::make_shared<DayWatcher>(); }

std::size_t unionSize(const std::vector<const std::vector<std::uint64_t>*>& lists) {
    if (lists.empty()) return 0;
    if (lists.size() == 1) return lists.front()->size();
    HashSet all;
    for (const auto* l : lists) all.insertAll(*l);
    return all.size();
}

std::optional<std::string> differenceFromTally(const LogDays& days, const analysis::LogTally& t) {
    DayCounts sum;
    std::vector<const std::vector<std::uint64_t>*> hosts;
    for (const DayShare& d : days.days) {
        sum.add(d.counts);
        hosts.push_back(&d.hosts);
    }
    if (sum.lines + days.undated != t.lineCount) return "lineCount";
    if (days.undated > 0) return std::nullopt;  // the other counters count the undated lines too
    const std::pair<const char*, bool> checks[] = {
        {"getCount", sum.get == t.getCount},
        {"postCount", sum.post == t.postCount},
        {"status200Count", sum.status200 == t.status200Count},
        {"host403Lines", sum.status403 == static_cast<std::int64_t>(t.host403Lines->size())},
        {"host404Lines", sum.status404 == static_cast<std::int64_t>(t.host404Lines->size())},
        {"hostOtherLines", sum.other == static_cast<std::int64_t>(t.hostOtherLines->size())},
        {"bytesSent", static_cast<double>(sum.bytes) == t.bytesSent},
        {"faviconCount", sum.favicon == t.faviconCount},
        {"faviconIeCount", sum.faviconIe == t.faviconIeCount},
        {"robotsLog", sum.robots + sum.robotsFile == static_cast<std::int64_t>(t.robotsLog->size())},
        {"hourConnections", sum.hourConnections == t.hourConnections},
        {"hourGets", sum.hourGets == t.hourGets},
        {"hourPosts", sum.hourPosts == t.hourPosts},
        {"hostCount", static_cast<std::int64_t>(unionSize(hosts)) == t.hostCount},
    };
    for (const auto& [name, same] : checks)
        if (!same) return std::string(name);
    return std::nullopt;
}

}  // namespace history
