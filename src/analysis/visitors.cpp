// Visitors and visits: the table of visitors, one line's step, merging the runs of lines in order.
#include "analysis/visitors.h"

#include <algorithm>
#include <cstdlib>

namespace analysis {

// ---- visit lengths ----

void VisitLengths::add(const VisitLengths& other) {
    if (other.counts_.size() > counts_.size()) counts_.resize(other.counts_.size(), 0);
    for (std::size_t i = 0; i < other.counts_.size(); ++i) counts_[i] += other.counts_[i];
    rare_.insert(rare_.end(), other.rare_.begin(), other.rare_.end());
    size_ += other.size_;
}

std::uint32_t VisitLengths::nth(std::uint64_t n) const {
    for (std::size_t i = 0; i < counts_.size(); ++i) {
        if (n < counts_[i]) return static_cast<std::uint32_t>(i);
        n -= counts_[i];
    }
    return rare_[n];
}

std::int64_t VisitLengths::median() {
    if (size_ == 0) return 0;
    std::sort(rare_.begin(), rare_.end());
    const std::uint64_t mid = size_ / 2;
    const std::int64_t middle = nth(mid);
    return size_ % 2 == 0 ? (middle + nth(mid - 1)) / 2 : middle;
}

std::vector<std::uint32_t> VisitLengths::sorted() const {
    std::vector<std::uint32_t> all;
    for (std::size_t i = 0; i < counts_.size(); ++i) all.insert(all.end(), counts_[i], static_cast<std::uint32_t>(i));
    std::vector<std::uint32_t> rare = rare_;
    std::sort(rare.begin(), rare.end());
    all.insert(all.end(), rare.begin(), rare.end());
    return all;
}

std::uint32_t VisitorTable::locate(std::uint32_t host, std::uint32_t agent, bool& created) {
    const std::uint32_t h = hashOf(host, agent);
    const HashSlots::Found f = slots_.find(h, [&](std::uint32_t i) {
        const Visitor& v = visitors_[i];
        return v.host == host && v.agent == agent;
    });
    created = f.index == HashSlots::kAbsent;
    if (!created) {
        __builtin_prefetch(&visitors_[f.index], 1);
        return f.index;
    }
    const auto index = static_cast<std::uint32_t>(visitors_.size());
    visitors_.grow(std::size_t(index) + 1);
    Visitor& v = visitors_[index];
    v.host = host;
    v.agent = agent;
    slots_.put(f.slot, h, index);
    return index;
}

void VisitorTable::count(const Queued& q, std::uint32_t host, std::uint32_t agent, std::uint32_t pageRow) {
    bool created = false;
    add(locate(host, agent, created), q.listed, q.timed, q.seconds, q.page, pageRow);
}

void VisitorTable::queue(std::uint32_t host, std::uint32_t agent, bool listed, bool timed, std::int64_t seconds,
                         bool page, std::uint32_t pageRow) {
    if (queuedCount_ == kQueue) {
        const Queued& oldest = queued_[0];
        count(oldest, oldest.host, oldest.agent, oldest.pageRow);
        queued_[0] = queued_[1];
        queuedCount_ = 1;
    }
    // The slot of the one queued before this has come by now: fetch the record it names.
    if (queuedCount_ == 1) {
        const std::uint32_t candidate = slots_.firstWithHash(queued_[0].hash);
        if (candidate != HashSlots::kAbsent) __builtin_prefetch(&visitors_[candidate], 1);
    }
    const std::uint32_t h = hashOf(host, agent);
    slots_.prefetch(h);
    queued_[queuedCount_++] = Queued{host, agent, h, pageRow, seconds, listed, timed, page};
}

void VisitorTable::flush() {
    for (std::size_t i = 0; i < queuedCount_; ++i)
        count(queued_[i], queued_[i].host, queued_[i].agent, queued_[i].pageRow);
    queuedCount_ = 0;
}

// ---- visits told from a base time ----

VisitorTable::Visit VisitorTable::open(const Span& s, std::int64_t base, bool isLong) {
    return Visit{base - s.back, base + s.ahead, s.pages, s.entry, isLong};
}

VisitorTable::Span VisitorTable::told(const Visit& v, std::int64_t base, bool& isLong) {
    isLong = v.isLong || base - v.low >= kLongest || v.high - base >= kLongest;
    // A long visit's times are of no more use: its length is told as kLongest whatever comes.
    if (isLong) return Span{0, 0, v.pages, v.entry};
    return Span{static_cast<std::uint32_t>(base - v.low), static_cast<std::uint32_t>(v.high - base), v.pages, v.entry};
}

void VisitorTable::setHead(Visitor& v, const Visit& visit) {
    bool isLong = false;
    v.head = told(visit, v.firstTime, isLong);
    v.flags = static_cast<std::uint8_t>(isLong ? v.flags | kHeadLong : v.flags & ~kHeadLong);
}

void VisitorTable::setTail(Visitor& v, const Visit& visit) {
    bool isLong = false;
    v.tail = told(visit, v.lastTime, isLong);
    v.flags = static_cast<std::uint8_t>(isLong ? v.flags | kTailLong : v.flags & ~kTailLong);
}

void VisitorTable::close(const Visit& v) {
    ++visitCount_;
    visitPages_ += v.pages;
    lengths_.add(static_cast<std::uint32_t>(v.isLong ? kLongest : std::min(v.high - v.low, kLongest)));
    if (v.entry != kNone) {
        if (v.entry >= entries_.size()) entries_.resize(std::size_t(v.entry) + 1, 0);
        ++entries_[v.entry];
    }
}

// ---- counting ----

void VisitorTable::add(std::uint32_t visitor, bool listed, bool timed, std::int64_t t, bool page,
                       std::uint32_t pageRow) {
    Visitor& v = visitors_[visitor];
    ++v.hits;
    if (listed) v.flags |= kListed;
    if (!timed) return;
    Span* cur;
    if (!(v.flags & kTimed)) {
        v.flags |= kTimed;
        v.firstTime = t;
        v.head = Span{};
        cur = &v.head;
    } else if (std::llabs(t - v.lastTime) >= kVisitGap) {
        if (v.flags & kSeveral) close(tail(v));
        v.flags = static_cast<std::uint8_t>((v.flags | kSeveral) & ~kTailLong);
        v.tail = Span{};
        cur = &v.tail;
    } else if (v.flags & kSeveral) {
        // The tail is told from the last line's time, which moves on to this line's (less than
        // kVisitGap away, and within the visit after it).
        cur = &v.tail;
        if (!(v.flags & kTailLong)) {
            const std::int64_t d = t - v.lastTime;
            const std::int64_t back = std::max<std::int64_t>(cur->back + d, 0);
            const std::int64_t ahead = std::max<std::int64_t>(cur->ahead - d, 0);
            if (back >= kLongest || ahead >= kLongest) v.flags |= kTailLong;
            cur->back = static_cast<std::uint32_t>(std::min(back, kLongest));
            cur->ahead = static_cast<std::uint32_t>(std::min(ahead, kLongest));
        }
    } else {
        cur = &v.head;  // told from the first line's time
        if (!(v.flags & kHeadLong)) {
            const std::int64_t d = t - v.firstTime;
            if (d <= -kLongest || d >= kLongest) v.flags |= kHeadLong;
            else if (d < 0) cur->back = std::max(cur->back, static_cast<std::uint32_t>(-d));
            else cur->ahead = std::max(cur->ahead, static_cast<std::uint32_t>(d));
        }
    }
    if (page) {
        ++cur->pages;
        if (cur->entry == kNone) cur->entry = pageRow;
    }
    v.lastTime = t;
}

// ---- merging ----

void VisitorTable::follow(Visitor& v, const Visitor& b, const Visit& bHead, const Visit& bTail) {
    v.hits += b.hits;
    v.flags |= b.flags & kListed;
    if (!(b.flags & kTimed)) return;
    const bool bSeveral = (b.flags & kSeveral) != 0;
    if (!(v.flags & kTimed)) {
        v.flags = static_cast<std::uint8_t>(v.flags | kTimed | (b.flags & kSeveral));
        v.firstTime = b.firstTime;
        v.lastTime = b.lastTime;
        setHead(v, bHead);
        if (bSeveral) setTail(v, bTail);
        return;
    }
    const bool several = (v.flags & kSeveral) != 0;
    Visit last = several ? tail(v) : head(v);
    const bool joined = std::llabs(b.firstTime - v.lastTime) < kVisitGap;
    v.lastTime = b.lastTime;
    if (joined) {
        last.low = std::min(last.low, bHead.low);
        last.high = std::max(last.high, bHead.high);
        last.isLong = last.isLong || bHead.isLong;
        last.pages += bHead.pages;
        if (last.entry == kNone) last.entry = bHead.entry;
        if (!several) setHead(v, last);
        if (bSeveral) {
            if (several) close(last);
            setTail(v, bTail);
        } else if (several) {
            setTail(v, last);  // it now ends with b's last line
        }
    } else {
        if (several) close(last);
        if (bSeveral) close(bHead);
        setTail(v, bSeveral ? bTail : bHead);
    }
    if (bSeveral || !joined) v.flags |= kSeveral;
}

void VisitorTable::merge(const VisitorTable& later, const std::function<std::uint32_t(int, std::uint32_t)>& rowOf) {
    flush();
    auto entryRow = [&](std::uint32_t row) { return row == kNone ? kNone : rowOf(2, row); };
    visitCount_ += later.visitCount_;
    visitPages_ += later.visitPages_;
    lengths_.add(later.lengths_);
    for (std::size_t r = 0; r < later.entries_.size(); ++r) {
        if (later.entries_[r] == 0) continue;
        const std::uint32_t m = rowOf(2, static_cast<std::uint32_t>(r));
        if (m >= entries_.size()) entries_.resize(std::size_t(m) + 1, 0);
        entries_[m] += later.entries_[r];
    }
    // As for the queue of requests: the slot of a visitor some way ahead is fetched, then the record
    // of one nearer, so that the look-up of this one waits for neither.
    constexpr std::size_t kSlotsAhead = 16, kRecordsAhead = 8;
    struct Key {
        std::uint32_t host, agent, hash;
    };
    std::array<Key, kSlotsAhead> ahead;  // by visitor number modulo kSlotsAhead
    const std::size_t n = later.visitors_.size();
    auto fetchSlot = [&](std::size_t i) {
        const Visitor& b = later.visitors_[i];
        Key& k = ahead[i % kSlotsAhead];
        k = Key{rowOf(0, b.host), rowOf(1, b.agent), 0};
        k.hash = hashOf(k.host, k.agent);
        slots_.prefetch(k.hash);
    };
    for (std::size_t i = 0; i < n && i < kSlotsAhead; ++i) fetchSlot(i);
    for (std::size_t i = 0; i < n; ++i) {
        if (i + kRecordsAhead < n) {
            const std::uint32_t candidate = slots_.firstWithHash(ahead[(i + kRecordsAhead) % kSlotsAhead].hash);
            if (candidate != HashSlots::kAbsent) __builtin_prefetch(&visitors_[candidate], 1);
        }
        const Visitor& b = later.visitors_[i];
        const Key k = ahead[i % kSlotsAhead];
        if (i + kSlotsAhead < n) fetchSlot(i + kSlotsAhead);
        Visit bHead = head(b), bTail = tail(b);
        bHead.entry = entryRow(bHead.entry);
        bTail.entry = entryRow(bTail.entry);
        bool created = false;
        follow(visitors_[locate(k.host, k.agent, created)], b, bHead, bTail);
    }
    // The requests still queued there are its last ones.
    for (std::size_t i = 0; i < later.queuedCount_; ++i) {
        const Queued& q = later.queued_[i];
        count(q, rowOf(0, q.host), rowOf(1, q.agent), q.page ? entryRow(q.pageRow) : q.pageRow);
    }
}

void VisitorTable::finish() {
    flush();
    for (std::size_t i = 0; i < visitors_.size(); ++i) {
        const Visitor& v = visitors_[i];
        if (!(v.flags & kTimed)) continue;
        close(head(v));
        if (v.flags & kSeveral) close(tail(v));
    }
}

}  // namespace analysis
