// Visitors (a host and a user agent) and their visits, counted over a run of a log's lines and merged
// with the runs after it in order, so that the figures are those of one pass over all of them.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "analysis/blockrows.h"
#include "analysis/hashslots.h"

namespace analysis {

// Two requests of one visitor less than this many seconds apart belong to one visit.
inline constexpr std::int64_t kVisitGap = 30 * 60;

// The lengths of visits (seconds), as many of each as there were: a log has a few hundred thousand
// visits, and nearly all of them last less than a few hours.
class VisitLengths {
public:
    void add(std::uint32_t seconds) {
        if (seconds < kCounted) {
            if (seconds >= counts_.size()) counts_.resize(std::size_t(seconds) + 1, 0);
            ++counts_[seconds];
        } else {
            rare_.push_back(seconds);
        }
        ++size_;
    }
    void add(const VisitLengths& other);
    // The median: the middle length, or the mean of the middle two (rounded down); 0 for none.
    std::int64_t median();
    // Every length, shortest first.
    std::vector<std::uint32_t> sorted() const;

private:
    // The n-th shortest length (from 0), n < size(); rare_ sorted.
    std::uint32_t nth(std::uint64_t n) const;
    static constexpr std::uint32_t kCounted = 4 * 3600;  // lengths below are counted, the rest listed
    std::vector<std::uint32_t> counts_;                  // by length
    std::vector<std::uint32_t> rare_;
    std::uint64_t size_ = 0;
};

class VisitorTable {
public:
    static constexpr std::uint32_t kNone = 0xffffffffu;
    // The longest visit length told (seconds); longer ones are told as this.
    static constexpr std::int64_t kLongest = 0xffffffffll;

    // Counts one request as locate() and add() do, two requests later: the table is far bigger than
    // the cache, and meanwhile the slot and then the record of the visitor are brought towards it.
    // The requests still queued are counted before the table is read or merged.
    void queue(std::uint32_t host, std::uint32_t agent, bool listed, bool timed, std::int64_t seconds, bool page,
               std::uint32_t pageRow);
    // Counts the queued requests now.
    void flush();
    // The visitor (host, agent), made when new (then created is set); its record is brought towards
    // the cache for add(), which a line calls after its other work.
    std::uint32_t locate(std::uint32_t host, std::uint32_t agent, bool& created);
    // One request of visitor number `visitor`: listed, a robot string matched it; timed, its time
    // (seconds) could be read; page, the page row of a request for a page (kNone: an asset).
    void add(std::uint32_t visitor, bool listed, bool timed, std::int64_t seconds, bool page, std::uint32_t pageRow);
    // Adds the visitors of the lines after this table's; rowOf maps the later lines' host, agent and
    // page rows onto this one's (kinds: 0 host, 1 agent, 2 page).
    void merge(const VisitorTable& later, const std::function<std::uint32_t(int, std::uint32_t)>& rowOf);
    // Closes the visits still open; once, after the last line and merge.
    void finish();

    std::size_t size() const { return visitors_.size(); }
    // Calls f(host, agent, hits, listed) for each visitor, in the order they were first seen, and
    // gives the memory of the visitors back as it goes: the table is empty after.
    template <class F>
    void drain(F f) {
        slots_ = HashSlots(64);
        for (std::size_t i = 0; i < visitors_.size(); ++i) {
            const Visitor& v = visitors_[i];
            f(v.host, v.agent, static_cast<std::int64_t>(v.hits), (v.flags & kListed) != 0);
            visitors_.releaseAfterRow(i);
        }
        visitors_.clear();
    }
    std::int64_t visitCount() const { return visitCount_; }
    std::int64_t visitPages() const { return visitPages_; }
    // Lengths of the closed visits (seconds, at most kLongest).
    VisitLengths& lengths() { return lengths_; }
    // Closed visits by the page row of their first page.
    const std::vector<std::uint32_t>& entries() const { return entries_; }

private:
    static constexpr std::uint8_t kTimed = 1, kSeveral = 2, kListed = 4, kHeadLong = 8, kTailLong = 16;
    // An open visit, told from a base time that lies within it (a line of it): its earliest and
    // latest time are base - back and base + ahead. A visit of kLongest or more (a hostile log's)
    // is marked long instead, and its length told as kLongest.
    struct Span {
        std::uint32_t back = 0, ahead = 0, pages = 0, entry = kNone;
    };
    // A visitor's requests in this table's lines. The first visit stays open, for it may go on from
    // the lines before; the last too, for the lines after; the ones between are counted. Its head
    // is told from firstTime, its tail from lastTime (the times of its first and last line). One
    // record is one cache line.
    struct alignas(64) Visitor {
        std::uint32_t host = kNone, agent = kNone;
        std::uint32_t hits = 0;
        std::uint8_t flags = 0;
        std::int64_t firstTime = 0, lastTime = 0;
        Span head, tail;  // tail only when kSeveral
    };
    static_assert(sizeof(Visitor) == 64);
    // A visit with its times written out, for the few steps that combine two of them.
    struct Visit {
        std::int64_t low = 0, high = 0;
        std::uint32_t pages = 0, entry = kNone;
        bool isLong = false;
    };
    static Visit open(const Span& s, std::int64_t base, bool isLong);
    static Span told(const Visit& v, std::int64_t base, bool& isLong);
    static Visit head(const Visitor& v) { return open(v.head, v.firstTime, (v.flags & kHeadLong) != 0); }
    static Visit tail(const Visitor& v) { return open(v.tail, v.lastTime, (v.flags & kTailLong) != 0); }
    static void setHead(Visitor& v, const Visit& visit);
    static void setTail(Visitor& v, const Visit& visit);  // told from v.lastTime
    static std::uint32_t hashOf(std::uint32_t host, std::uint32_t agent) {
        std::uint64_t h = (std::uint64_t(host) << 32 | agent) * 0x9E3779B97F4A7C15ull;
        h ^= h >> 29;
        return static_cast<std::uint32_t>(h ^ (h >> 32));
    }
    void close(const Visit& v);
    // A request waiting in the queue.
    struct Queued {
        std::uint32_t host, agent, hash, pageRow;
        std::int64_t seconds;
        bool listed, timed, page;
    };
    void count(const Queued& q, std::uint32_t host, std::uint32_t agent, std::uint32_t pageRow);
    void follow(Visitor& v, const Visitor& later, const Visit& laterHead, const Visit& laterTail);

    HashSlots slots_{64};
    BlockRows<Visitor> visitors_;  // in first-seen order
    static constexpr std::size_t kQueue = 2;
    std::array<Queued, kQueue> queued_{};  // oldest first
    std::size_t queuedCount_ = 0;
    std::int64_t visitCount_ = 0, visitPages_ = 0;
    VisitLengths lengths_;
    std::vector<std::uint32_t> entries_;
};

}  // namespace analysis
