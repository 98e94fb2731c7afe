// Rankings: what was hit how often (pages, hosts, referrers, search words, robots, 404s, statuses,
// user agents), counted in the same pass as everything else.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/hashslots.h"
#include "analysis/lines.h"
#include "analysis/textstore.h"
#include "common/bigmemory.h"
#include "common/stringlist.h"

namespace analysis {

// The tables, in the order in which every reader shows them.
enum class RankTable : std::uint8_t {
    Pages,          // GET paths (letter case ignored), bytes of their 200 lines
    Hosts,          // every line's host (letter case ignored), bytes of its GET 200 lines
    Referrers,      // the foreign referrers, one hit per GET line that lists one
    ReferrerSites,  // the same grouped by scheme and host (letter case ignored)
    SearchWords,    // search words of foreign referrers and of the site's own GET paths, decoded
    Robots,         // the first robot string of the list that a GET line contains; "/robots.txt" fetches
    NotFound,       // request paths of the lines answered 404 (letter case ignored)
    Forbidden,      // the same for 403
    Statuses,       // the status field of every line ("-" where the line has none)
    UserAgents,     // user agents of GET lines, without their quotes
    VirtualHosts,   // the virtual host written before the client (letter case ignored), bytes as for hosts
};
inline constexpr std::size_t kRankTableCount = 11;
// Names as the JSON keys and the other readers use them.
inline constexpr std::array<std::string_view, kRankTableCount> kRankTableNames = {
    "pages",    "hosts",     "referrers", "referrerSites", "searchWords", "robots",
    "notFound", "forbidden", "statuses",  "userAgents",    "virtualHosts"};
// Captions of the window's tabs and of the text tables (UTF-8).
inline constexpr std::array<std::string_view, kRankTableCount> kRankTableCaptions = {
    "ページ", "ホスト", "リファラ",   "リファラ元サイト", "検索語",          "ロボット",
    "404",    "403",    "ステータス", "ブラウザ",         "バーチャルホスト"};
inline constexpr RankTable rankTable(std::size_t i) { return static_cast<RankTable>(i); }
// Pages and hosts carry the bytes that the transfer box adds up; the other tables have none.
inline constexpr bool hasBytes(RankTable t) {
    return t == RankTable::Pages || t == RankTable::Hosts || t == RankTable::VirtualHosts;
}
// Tables whose items are paths or addresses that are shown percent-decoded.
inline constexpr bool isUrlTable(RankTable t) {
    return t == RankTable::Pages || t == RankTable::Referrers || t == RankTable::ReferrerSites ||
           t == RankTable::NotFound || t == RankTable::Forbidden;
}

// One row: the item (code page 932, as it first appeared), its hits and bytes.
struct RankRow {
    std::string_view item;
    std::int64_t hits = 0;
    std::int64_t bytes = 0;
};

// What the pass hands over for one line: the fields it has already cut, as views into the line.
struct RankedLine {
    std::string_view line;
    std::string_view status;  // the status field ("-" where the line has none)
    // Where the line lies in the log minus where it lies here (the pass reads the log's lines into
    // a buffer of its own): long items are kept as views into the log.
    std::ptrdiff_t toLog = 0;
    std::string_view host;
    // The indexes of the host and the GET path among the distinct ones of the lines counted so far
    // (the ranking rows come in the same order); kNoIndex where not known.
    static constexpr std::uint32_t kNoIndex = 0xffffffffu;
    std::uint32_t hostIndex = kNoIndex, pathIndex = kNoIndex;
    std::string_view requestPath;  // GET path, else POST path, else the line's own request path
    std::string_view virtualHost;  // written before the client address; empty where the log has none
    bool isGet = false;
    std::string_view getPath;
    bool is200 = false, is403 = false, is404 = false;  // the status markers, first found decides
    std::int64_t bytes = 0;                            // the byte count of a GET line with status 200
    bool hasReferrer = false;                          // a referrer was cut (no "-" marker in the GET rest)
    bool foreignReferrer = false;                      // and no own-domain entry occurs in it
    std::string_view referrer;
    std::string_view agent;       // with its quotes, as cut from the GET rest
    bool hasAgent = true;         // false for a line without the field (common log format)
    bool robot = false;           // a robot string occurs in the line
    std::string_view robotEntry;  // the first such string in the list's order
    bool robotsFile = false;      // the GET path is "/robots.txt" in any letter case
    std::string_view time;        // the time field, brackets included
    bool excluded = false;        // the host is on the list of addresses left out of the behaviour tables
    // The suffixes that make a GET path an asset (an image, style, script...) rather than a page;
    // none: the usual ones.
    const std::vector<std::string>* assetSuffixes = nullptr;
};

// A table's rows. A log where nearly every item is new makes tables of a million rows, whose memory
// the big allocator takes in huge pages: in pages of 4 KB their faults cost about a third of the pass.
using RankRows = std::vector<RankRow, common::BigAllocator<RankRow>>;

// One table: distinct items in first-seen order with their counts.
class RankCounts {
public:
    explicit RankCounts(bool foldCase) : fold_(foldCase) { recent_.fill(HashSlots::kAbsent); }
    const RankRows& rows() const { return rows_; }
    std::size_t size() const { return rows_.size(); }
    std::int64_t totalHits() const { return totalHits_; }
    // Row indexes by hits descending, then item ascending (byte order).
    std::vector<std::uint32_t> sortedOrder() const;
    // The row of item, or HashSlots::kAbsent.
    std::uint32_t find(std::string_view item) const;
    // For tables counted outside Rankings: adds to the row of item, or appends a row whose item is a
    // copy that store keeps (no store: item itself, which outlives the table); returns the row.
    std::uint32_t tally(std::string_view item, std::int64_t hits, std::int64_t bytes, TextStore* store);
    // Appends a row for an item that the caller knows to be new, without looking it up: for a table
    // that is built once and then only read (find and merging do not see such rows).
    void reserve(std::size_t rows) { rows_.reserve(rows); }
    void appendNew(std::string_view item, std::int64_t hits, std::int64_t bytes) {
        rows_.push_back(RankRow{item, hits, bytes});
        totalHits_ += hits;
    }

private:
    friend class Rankings;
    // Adds to the row of item, or appends a row whose item is the text keep() gives; returns the row.
    template <class Keep>
    std::uint32_t add(std::string_view item, std::int64_t hits, std::int64_t bytes, Keep keep);
    // The same with the item's hash already worked out (as another table of the same kind has it).
    template <class Keep>
    std::uint32_t add(std::string_view item, std::uint32_t hash, std::int64_t hits, std::int64_t bytes, Keep keep);
    // The same, looking first at the row that last had an item much like this one: a few long
    // items (user agents, referrers) make most of a table's hits, and comparing costs less than
    // hashing them.
    template <class Keep>
    std::uint32_t addRecent(std::string_view item, Keep keep);
    // Adds every row of from, a table of the same kind, in its order; rows[i] is then the row here
    // that from's row i went to.
    template <class Keep>
    void addRows(const RankCounts& from, Keep keep, std::vector<std::uint32_t>& rows);
    // Gives back what finds a row by its item (its slots, and its rows' hashes): for a table that
    // takes no more rows and is only read from now on, in the order of its rows.
    void dropLookups() {
        slots_ = HashSlots(1);
        decltype(hashes_)().swap(hashes_);
    }
    // Adds to row index, which exists.
    void addTo(std::uint32_t index, std::int64_t hits, std::int64_t bytes) {
        rows_[index].hits += hits;
        rows_[index].bytes += bytes;
        totalHits_ += hits;
    }
    bool fold_;
    RankRows rows_;
    // The hash of every row, for the accumulator that merges this one.
    std::vector<std::uint32_t, common::BigAllocator<std::uint32_t>> hashes_;
    HashSlots slots_{64};
    std::int64_t totalHits_ = 0;
    std::array<std::uint32_t, 256> recent_;  // by length, first and last bytes: a row, or none
};

// The accumulator of one pass (or of one run of consecutive lines of it).
class Behaviour;

class Rankings {
public:
    // Items are kept as copies of their own, not as views into the log: comparing a new item with one
    // first seen far back would bring that part of the log back into memory, and the first sights of
    // a log's items are spread over the whole of it. Only items of kLongItem bytes or more that lie in
    // the log stay views into it, so that a freak line does not take twice its size.
    // withBehaviour: count the behaviour tables too (the history's rankings of a day need none).
    explicit Rankings(std::shared_ptr<const LogText> log = nullptr, bool withBehaviour = true);
    static constexpr std::size_t kLongItem = 4096;
    Rankings(Rankings&&) = default;
    Rankings& operator=(Rankings&&) = default;
    Rankings(const Rankings&) = delete;
    Rankings& operator=(const Rankings&) = delete;

    // Counts one line.
    void addLine(const RankedLine& line);
    // The row of the user agents' table that the line counted last went to (HashSlots::kAbsent: it
    // had no agent). A row is one agent's text, byte for byte, for as long as this accumulator counts.
    std::uint32_t lastAgentRow() const { return lastAgentRow_; }
    // Adds the counts of the lines that follow this accumulator's, exactly as one pass over both runs
    // would: the form met first stays, new items follow in their first-seen order.
    void merge(const Rankings& later);
    // The same for an accumulator that is no longer needed: into one that has counted nothing yet
    // (the first run of a pass), it is taken over whole.
    void merge(Rankings&& later);
    // While merge hands the behaviour tables over: the row of table t here that row `row` of the
    // later accumulator's table went to (HashSlots::kAbsent for a row it does not have).
    std::uint32_t mergedRow(RankTable t, std::uint32_t row) const {
        const std::vector<std::uint32_t>& rows = mergedRows_[static_cast<std::size_t>(t)];
        return row < rows.size() ? rows[row] : HashSlots::kAbsent;
    }

    const RankCounts& table(RankTable t) const { return tables_[static_cast<std::size_t>(t)]; }
    // Whether the readers show table t: the virtual hosts only for a log that has them.
    bool shows(RankTable t) const { return t != RankTable::VirtualHosts || table(t).size() > 0; }
    // Rows of a table sorted by hits descending, then item ascending; at most limit rows (0: all).
    std::vector<RankRow> sorted(RankTable t, std::size_t limit = 0) const;
    // What the lines tell of their visitors (behaviour.h); complete once finish() ran after the pass.
    const Behaviour& behaviour() const { return *behaviour_; }
    // Once, after the last line and merge: builds the behaviour tables, and gives back what the tables
    // needed to take more lines (on a log where nearly every item is new, about a tenth of the
    // memory the results hold). Lines and merges after it are refused with std::logic_error.
    void finish();

private:
    RankCounts& tableRef(RankTable t) { return tables_[static_cast<std::size_t>(t)]; }
    std::uint32_t add(RankTable t, std::string_view item, std::int64_t hits = 1, std::int64_t bytes = 0);
    // The same for one hit, looking first at the row that last had a like item (RankCounts::addRecent).
    std::uint32_t addRecent(RankTable t, std::string_view item);
    // The same where the item's row, if it has one, is known to be row `index`.
    std::uint32_t addAt(RankTable t, std::uint32_t index, std::string_view item, std::int64_t hits, std::int64_t bytes);
    void addStatus(std::string_view status);
    std::string_view keep(std::string_view text);

    // What an item gives the other tables. An item that comes again gives the same again, so it is
    // worked out once per row and then only counted: search words take decoding, the rest a look-up.
    struct Words {
        static constexpr std::uint32_t kUnknown = 0xffffffffu;  // as count: not worked out (yet)
        std::uint32_t at = 0, count = kUnknown;                 // the rows of the words, in wordRows_
        bool known() const { return count != kUnknown; }
    };
    struct ReferrerRow {
        Words words;
        std::uint32_t site = 0;  // row of the referrer's site, once words.known()
    };
    struct PageRow {
        Words words;
        // Its rows among the 403 and the 404 paths (compared as pages are, so the same for any
        // letter case of the path).
        std::uint32_t forbidden = HashSlots::kAbsent, notFound = HashSlots::kAbsent;
    };
    // Rows of a log where nearly every item is new would be copied into fresh memory each time
    // they doubled: they lie in blocks that never move instead.
    template <class Row>
    static Row& rowOf(BlockRows<Row>& of, std::uint32_t row) {
        if (row >= of.size()) of.grow(std::size_t(row) + 1);
        return of[row];
    }
    // Counts the search words of url, and notes their rows in into where it is given.
    void addSearchWords(std::string_view url, Words* into, bool fromReferrer);
    void addKnownWords(const Words& w);
    void addFailed(RankTable t, std::uint32_t page, const RankedLine& l);
    // The rows the line went to, for the behaviour tables.
    struct LineRows {
        std::uint32_t host = HashSlots::kAbsent, page = HashSlots::kAbsent, agent = HashSlots::kAbsent;
    };
    void addFields(const RankedLine& l, LineRows& rows);

    std::shared_ptr<const LogText> log_;
    std::string_view buffer_;
    std::string_view line_;  // the line being counted, and where it lies in the log
    std::ptrdiff_t lineToLog_ = 0;
    std::uint32_t lastAgentRow_ = HashSlots::kAbsent;
    TextStore items_;
    std::array<RankCounts, kRankTableCount> tables_;
    BlockRows<ReferrerRow> referrerRows_;
    BlockRows<PageRow> pageRows_;
    std::vector<std::uint32_t> wordRows_;
    // Row of each status "000" to "999", and of "-" at 1000: a status needs no hashing.
    std::array<std::uint32_t, 1001> statusRows_;
    std::shared_ptr<Behaviour> behaviour_;
    bool withBehaviour_;
    bool finished_ = false;
    std::array<std::vector<std::uint32_t>, kRankTableCount> mergedRows_;  // of the merge under way
};

// Rows of a table by hits descending, then item ascending; at most limit rows (0: all).
std::vector<RankRow> sortedRows(const RankCounts& counts, std::size_t limit = 0);

// What the ranking window sorts a table by.
enum class RankSort : std::uint8_t { Hits, Bytes, Item };

// Row indexes of a table whose shown text or item contains filter (code page 932, letter case
// ignored; empty: every row), sorted by the key (ties by item ascending). Percent-decoded items are
// tested as shown when isUrlTable.
std::vector<std::uint32_t> rankOrder(const RankCounts& counts, RankTable table, std::string_view filter, RankSort by,
                                     bool descending);
// The same for any table, whose items are tested as shown when decoded.
std::vector<std::uint32_t> rankOrder(const RankCounts& counts, bool decoded, std::string_view filter, RankSort by,
                                     bool descending);

// The rank of a row: 1 + the number of rows with more hits, so equal hits share a rank.
class RankPlaces {
public:
    explicit RankPlaces(const RankCounts& counts);
    std::size_t rankOf(std::int64_t hits) const;

private:
    std::vector<std::int64_t> hitsDescending_;
};

// Search words of a URL's query (the text after its first "?", up to a "#"): the values of the
// parameters q, p, wd, word, query, text, kw, keyword, MT and qt, "+" as blank, percent-decoded and
// read as UTF-8, or as Shift_JIS or EUC-JP where an ie, ei or oe parameter names one; bytes that do
// not decode are kept as they are. Given as code page 932, blanks around a word trimmed, empty words
// left out.
std::vector<std::string> searchWords(std::string_view url);
// The same from the named parameters only (compared exactly).
std::vector<std::string> searchWords(std::string_view url, const std::vector<std::string_view>& parameters);

// The text to show for a path or address: percent-decoded when that gives valid UTF-8 without
// control characters, as code page 932; otherwise the item itself.
std::string decodedItem(std::string_view item);

// Scheme and host of a referrer ("http://www.example.jp"); a referrer without a scheme is its own site.
std::string_view referrerSite(std::string_view referrer);

}  // namespace analysis
