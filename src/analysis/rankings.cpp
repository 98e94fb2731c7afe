// Rankings: counting, merging and sorting the tables.
#include "analysis/rankings.h"

#include <algorithm>
#include <cassert>
#include <cstring>
#include <functional>
#include <stdexcept>

#include "analysis/behaviour.h"
#include "analysis/searchengines.h"
#include "common/casefold.h"

namespace analysis {

namespace {

inline std::uint64_t mixed(std::uint64_t h, std::uint64_t v) {
    h = (h ^ v) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 29);
}

inline std::uint64_t word(const char* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Eight bytes at a time in four lanes that do not wait for each other: user agents and referrers are
// long, and one chain of multiplications made hashing them the dearest part of their counting.
std::uint64_t bytesHash(std::string_view s) {
    const char* p = s.data();
    std::size_t n = s.size();
    std::uint64_t a = 0x243F6A8885A308D3ull ^ n, b = 0x13198A2E03707344ull, c = 0xA4093822299F31D0ull,
                  d = 0x082EFA98EC4E6C89ull;
    for (; n >= 32; p += 32, n -= 32) {
        a = mixed(a, word(p));
        b = mixed(b, word(p + 8));
        c = mixed(c, word(p + 16));
        d = mixed(d, word(p + 24));
    }
    for (; n >= 8; p += 8, n -= 8) a = mixed(a, word(p));
    if (n > 0) {
        // The last bytes: the word that ends the text where there is one, else byte by byte.
        std::uint64_t v = 0;
        if (s.size() >= 8) {
            v = word(s.data() + s.size() - 8) >> (8 * (8 - n));
        } else {
            for (std::size_t i = 0; i < n; ++i)
                v |= static_cast<std::uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
        }
        b = mixed(b, v);
    }
    return mixed(mixed(mixed(a, b), c), d);
}

std::uint32_t hashOf(std::string_view s, bool fold) {
    // The folded hash has its halves mixed already: folding them again would leave the low bits, which
    // pick the slot, to the low bits of the last word alone, and items that differ only at their end
    // (hosts of one network, numbered paths) would pile up in one run of slots.
    if (fold) return static_cast<std::uint32_t>(common::foldedHash(s));
    const std::uint64_t h = bytesHash(s);
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

bool sameItem(std::string_view a, std::string_view b, bool fold) { return fold ? common::foldedEqual(a, b) : a == b; }

}  // namespace

// ---- one table ----

template <class Keep>
std::uint32_t RankCounts::add(std::string_view item, std::int64_t hits, std::int64_t bytes, Keep keep) {
    return add(item, hashOf(item, fold_), hits, bytes, keep);
}

template <class Keep>
std::uint32_t RankCounts::add(std::string_view item, std::uint32_t h, std::int64_t hits, std::int64_t bytes,
                              Keep keep) {
    const HashSlots::Found f = slots_.find(h, [&](std::uint32_t i) { return sameItem(rows_[i].item, item, fold_); });
    if (f.index != HashSlots::kAbsent) {
        addTo(f.index, hits, bytes);
        return f.index;
    }
    totalHits_ += hits;
    rows_.push_back(RankRow{keep(item), hits, bytes});
    hashes_.push_back(h);
    const auto index = static_cast<std::uint32_t>(rows_.size() - 1);
    slots_.put(f.slot, h, index);
    return index;
}

template <class Keep>
void RankCounts::addRows(const RankCounts& from, Keep keep, std::vector<std::uint32_t>& rows) {
    // The rows of a big table lie far apart, so a lookup waits for memory: with the hashes known,
    // the slots of the lookups a little ahead are fetched while this one is done.
    constexpr std::size_t kAhead = 8;
    const std::size_t n = from.rows_.size();
    rows.resize(n);
    slots_.reserve(rows_.size() + n);
    for (std::size_t i = 0; i < n && i < kAhead; ++i) slots_.prefetch(from.hashes_[i]);
    for (std::size_t i = 0; i < n; ++i) {
        if (i + kAhead < n) slots_.prefetch(from.hashes_[i + kAhead]);
        const RankRow& row = from.rows_[i];
        rows[i] = add(row.item, from.hashes_[i], row.hits, row.bytes, keep);
    }
}

template <class Keep>
std::uint32_t RankCounts::addRecent(std::string_view item, Keep keep) {
    std::uint64_t first = 0, last = 0;
    if (item.size() >= 8) {
        first = word(item.data());
        last = word(item.data() + item.size() - 8);
    } else {
        for (std::size_t i = 0; i < item.size(); ++i)
            first |= static_cast<std::uint64_t>(static_cast<unsigned char>(item[i])) << (8 * i);
    }
    const std::uint64_t h = (first * 0x9E3779B97F4A7C15ull) ^ (last * 0xC2B2AE3D27D4EB4Full) ^ item.size();
    std::uint32_t& row = recent_[(h ^ (h >> 29)) >> 56];
    if (row < rows_.size() && rows_[row].item == item) {
        addTo(row, 1, 0);
        return row;
    }
    return row = add(item, 1, 0, keep);
}

std::vector<std::uint32_t> RankCounts::sortedOrder() const {
    std::vector<std::uint32_t> order(rows_.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const RankRow& x = rows_[a];
        const RankRow& y = rows_[b];
        if (x.hits != y.hits) return x.hits > y.hits;
        return x.item < y.item;
    });
    return order;
}

std::uint32_t RankCounts::find(std::string_view item) const {
    return slots_.find(hashOf(item, fold_), [&](std::uint32_t i) { return sameItem(rows_[i].item, item, fold_); })
        .index;
}

std::uint32_t RankCounts::tally(std::string_view item, std::int64_t hits, std::int64_t bytes, TextStore* store) {
    return add(item, hits, bytes, [store](std::string_view s) { return store ? store->keep(s) : s; });
}

// ---- the accumulator ----

Rankings::Rankings(std::shared_ptr<const LogText> log, bool withBehaviour)
    : log_(std::move(log)),
      buffer_(log_ ? log_->buffer() : std::string_view{}),
      tables_{RankCounts(true),  RankCounts(true),  RankCounts(false), RankCounts(true),
              RankCounts(true),  RankCounts(false), RankCounts(true),  RankCounts(true),
              RankCounts(false), RankCounts(false), RankCounts(true)},
      behaviour_(std::make_shared<Behaviour>()),
      withBehaviour_(withBehaviour) {
    statusRows_.fill(HashSlots::kAbsent);
}

std::string_view Rankings::keep(std::string_view text) {
    const char* b = buffer_.data();
    if (text.size() >= kLongItem && b) {
        const char* p = text.data();
        const std::less_equal<const char*> le;
        if (le(line_.data(), p) && le(p + text.size(), line_.data() + line_.size())) p += lineToLog_;
        if (le(b, p) && le(p + text.size(), b + buffer_.size())) return {p, text.size()};
    }
    return items_.keep(text);
}

std::uint32_t Rankings::add(RankTable t, std::string_view item, std::int64_t hits, std::int64_t bytes) {
    return tableRef(t).add(item, hits, bytes, [this](std::string_view s) { return keep(s); });
}

std::uint32_t Rankings::addRecent(RankTable t, std::string_view item) {
    return tableRef(t).addRecent(item, [this](std::string_view s) { return keep(s); });
}

std::uint32_t Rankings::addAt(RankTable t, std::uint32_t index, std::string_view item, std::int64_t hits,
                              std::int64_t bytes) {
    RankCounts& counts = tableRef(t);
    if (index >= counts.rows_.size()) return add(t, item, hits, bytes);
    assert(counts.fold_ && common::foldedEqual(counts.rows_[index].item, item));
    counts.addTo(index, hits, bytes);
    return index;
}

void Rankings::addStatus(std::string_view status) {
    std::size_t code = 1000;  // "-"
    if (status.size() == 3)
        code = std::size_t(status[0] - '0') * 100 + std::size_t(status[1] - '0') * 10 + (status[2] - '0');
    std::uint32_t& row = statusRows_[code];
    if (row == HashSlots::kAbsent) row = add(RankTable::Statuses, status);
    else tableRef(RankTable::Statuses).addTo(row, 1, 0);
}

void Rankings::addLine(const RankedLine& l) {
    if (finished_) throw std::logic_error("Rankings::addLine after finish");
    // The line is known only while it is counted: its buffer is gone after, however the count ends.
    struct Current {
        Rankings& r;
        ~Current() {
            r.line_ = {};
            r.lineToLog_ = 0;
        }
    } current{*this};
    line_ = l.line;
    lineToLog_ = l.toLog;
    LineRows rows;
    if (withBehaviour_) behaviour_->prefetchHost(l.hostIndex);
    addFields(l, rows);
    lastAgentRow_ = rows.agent;
    if (withBehaviour_) behaviour_->addLine(l, rows.host, rows.page, rows.agent);
}

void Rankings::finish() {
    if (finished_) return;
    finished_ = true;
    // The tables are only read from here on, by their rows: the behaviour tables, built next, take
    // the room their lookups leave.
    for (RankCounts& t : tables_) t.dropLookups();
    pageRows_.clear();
    referrerRows_.clear();
    decltype(wordRows_)().swap(wordRows_);
    if (withBehaviour_) behaviour_->finish(*this);
}

void Rankings::addFields(const RankedLine& l, LineRows& rows) {
    // The pass has looked the host and the path up in its distinct lists already.
    rows.host = addAt(RankTable::Hosts, l.hostIndex, l.host, 1, l.bytes);
    // A log's lines come mostly from one site: its row is looked at before any hashing.
    if (!l.virtualHost.empty())
        tableRef(RankTable::VirtualHosts).addTo(addRecent(RankTable::VirtualHosts, l.virtualHost), 0, l.bytes);
    addStatus(l.status);
    const std::uint32_t page = l.isGet ? addAt(RankTable::Pages, l.pathIndex, l.getPath, 1, l.bytes) : 0;
    if (l.isGet) rows.page = page;
    if (!l.is200) {
        if (l.is403) addFailed(RankTable::Forbidden, page, l);
        else if (l.is404) addFailed(RankTable::NotFound, page, l);
    }
    if (!l.isGet) return;
    std::string_view agent = l.agent;
    if (agent.size() >= 2 && agent.front() == '"' && agent.back() == '"') agent = agent.substr(1, agent.size() - 2);
    if (l.hasAgent) rows.agent = addRecent(RankTable::UserAgents, agent);
    if (l.hasReferrer && l.foreignReferrer) {
        const std::uint32_t referrer = addRecent(RankTable::Referrers, l.referrer);
        // The referrers table compares bytes, so its row's item is this very referrer.
        ReferrerRow& r = rowOf(referrerRows_, referrer);
        if (!r.words.known()) {
            r.site = add(RankTable::ReferrerSites, referrerSite(l.referrer));
            addSearchWords(l.referrer, &r.words, true);
        } else {
            tableRef(RankTable::ReferrerSites).addTo(r.site, 1, 0);
            addKnownWords(r.words);
        }
    }
    if (l.getPath.find('?') != std::string_view::npos) {
        // A page's row compares paths with letter case ignored, and parameter names are not: the
        // words the row worked out hold only for the path as the row has it.
        Words* words = table(RankTable::Pages).rows_[page].item == l.getPath ? &rowOf(pageRows_, page).words : nullptr;
        if (words && words->known()) addKnownWords(*words);
        else addSearchWords(l.getPath, words, false);
    }
    if (l.robot || l.robotsFile) addRecent(RankTable::Robots, l.robot ? l.robotEntry : std::string_view("/robots.txt"));
}

void Rankings::addFailed(RankTable t, std::uint32_t page, const RankedLine& l) {
    if (!l.isGet) {
        add(t, l.requestPath);
        return;
    }
    // A GET line's request path is its page.
    PageRow& p = rowOf(pageRows_, page);
    std::uint32_t& row = t == RankTable::Forbidden ? p.forbidden : p.notFound;
    if (row == HashSlots::kAbsent) row = add(t, l.requestPath);
    else tableRef(t).addTo(row, 1, 0);
}

void Rankings::addSearchWords(std::string_view url, Words* into, bool fromReferrer) {
    // Rows are noted for into only while their places fit the 32-bit index; past that, nothing is
    // known and the words are worked out again each time.
    const std::size_t at = wordRows_.size();
    std::size_t count = 0;
    if (url.find('?') != std::string_view::npos) {  // most referrers: nothing to look at
        // Words come from the result pages of known search engines and the site's own search only: a
        // forum's post number or an address in a parameter is no search word.
        for (const std::string& word : fromReferrer ? engineSearchWords(url) : ownSearchWords(url)) {
            const std::uint32_t row = add(RankTable::SearchWords, word);
            if (into) wordRows_.push_back(row);
            ++count;
        }
    }
    if (!into) return;
    if (wordRows_.size() > 0xffffffffu || count >= Words::kUnknown) {
        wordRows_.resize(at);
        into->count = Words::kUnknown;
        return;
    }
    into->at = static_cast<std::uint32_t>(at);
    into->count = static_cast<std::uint32_t>(count);
}

void Rankings::addKnownWords(const Words& w) {
    RankCounts& words = tableRef(RankTable::SearchWords);
    for (std::uint32_t k = 0; k < w.count; ++k) words.addTo(wordRows_[w.at + k], 1, 0);
}

void Rankings::merge(const Rankings& later) {
    if (finished_ || later.finished_) throw std::logic_error("Rankings::merge after finish");
    auto keepHere = [this](std::string_view s) { return keep(s); };
    for (std::size_t t = 0; t < kRankTableCount; ++t) tables_[t].addRows(later.tables_[t], keepHere, mergedRows_[t]);
    if (withBehaviour_) behaviour_->merge(*later.behaviour_, *this, later);
    for (std::vector<std::uint32_t>& rows : mergedRows_) rows.clear();
}

void Rankings::merge(Rankings&& later) {
    // Every line has a status, so an accumulator without one has counted nothing.
    const bool empty = table(RankTable::Statuses).size() == 0 && later.log_ == log_;
    if (!empty || withBehaviour_ != later.withBehaviour_) {
        merge(static_cast<const Rankings&>(later));
        return;
    }
    *this = std::move(later);
    // later keeps a log, no texts and no rows: whatever still reads it finds an empty accumulator.
    later = Rankings(log_, withBehaviour_);
}

std::vector<RankRow> Rankings::sorted(RankTable t, std::size_t limit) const { return sortedRows(table(t), limit); }

std::vector<RankRow> sortedRows(const RankCounts& counts, std::size_t limit) {
    std::vector<std::uint32_t> order = counts.sortedOrder();
    if (limit > 0 && order.size() > limit) order.resize(limit);
    std::vector<RankRow> rows;
    rows.reserve(order.size());
    for (std::uint32_t i : order) rows.push_back(counts.rows()[i]);
    return rows;
}

}  // namespace analysis
