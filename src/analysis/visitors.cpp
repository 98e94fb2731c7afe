// Visitors and visits: the table of visitors, one line's step, merging the runs of lines in order.
#include "analysis/visitors.h"

#include <algorithm>
#include <cstdlib>

namespace analysis {

VisitorTable::VisitorTable() : slots_(64) {}

std::size_t VisitorTable::hashOf(std::uint64_t key) {
    std::uint64_t h = key * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    return static_cast<std::size_t>(h ^ (h >> 32));
}

void VisitorTable::prefetch(std::uint32_t host, std::uint32_t agent) const {
    __builtin_prefetch(&slots_[hashOf(keyOf(host, agent)) & (slots_.size() - 1)], 1);
}

VisitorTable::Visitor& VisitorTable::slotOf(std::uint64_t key, bool& created) {
    const std::size_t mask = slots_.size() - 1;
    const auto host = static_cast<std::uint32_t>(key >> 32), agent = static_cast<std::uint32_t>(key);
    std::size_t i = hashOf(key) & mask;
    for (;; i = (i + 1) & mask) {
        const Visitor& v = slots_[i];
        if (v.host == host && v.agent == agent) {
            created = false;
            return slots_[i];
        }
        if (v.host == kNone) break;
    }
    created = true;
    order_.push_back(key);
    // At most three quarters full: the records are the table, and a probe goes on to the next one.
    if (order_.size() * 4 > slots_.size() * 3) {
        grow();
        i = hashOf(key) & (slots_.size() - 1);
        while (slots_[i].host != kNone) i = (i + 1) & (slots_.size() - 1);
    }
    slots_[i].host = host;
    slots_[i].agent = agent;
    return slots_[i];
}

const VisitorTable::Visitor* VisitorTable::find(std::uint64_t key) const {
    const std::size_t mask = slots_.size() - 1;
    const auto host = static_cast<std::uint32_t>(key >> 32), agent = static_cast<std::uint32_t>(key);
    for (std::size_t i = hashOf(key) & mask;; i = (i + 1) & mask) {
        const Visitor& v = slots_[i];
        if (v.host == host && v.agent == agent) return &v;
        if (v.host == kNone) return nullptr;
    }
}

void VisitorTable::grow() {
    decltype(slots_) old(slots_.size() * 2);
    old.swap(slots_);
    const std::size_t mask = slots_.size() - 1;
    for (const Visitor& v : old) {
        if (v.host == kNone) continue;
        std::size_t i = hashOf(keyOf(v.host, v.agent)) & mask;
        while (slots_[i].host != kNone) i = (i + 1) & mask;
        slots_[i] = v;
    }
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
    lengths_.push_back(static_cast<std::uint32_t>(v.isLong ? kLongest : std::min(v.high - v.low, kLongest)));
    if (v.entry != kNone) {
        if (v.entry >= entries_.size()) entries_.resize(std::size_t(v.entry) + 1, 0);
        ++entries_[v.entry];
    }
}

// ---- counting ----

bool VisitorTable::add(std::uint32_t host, std::uint32_t agent, bool listed, bool timed, std::int64_t t, bool page,
                       std::uint32_t pageRow) {
    bool created = false;
    Visitor& v = slotOf(keyOf(host, agent), created);
    ++v.hits;
    if (listed) v.flags |= kListed;
    if (!timed) return created;
    const bool several = (v.flags & kSeveral) != 0;
    Visit cur;
    if (!(v.flags & kTimed)) {
        v.flags |= kTimed;
        v.firstTime = t;
        cur = Visit{t, t, 0, kNone, false};
    } else if (std::llabs(t - v.lastTime) >= kVisitGap) {
        if (several) close(tail(v));
        v.flags |= kSeveral;
        cur = Visit{t, t, 0, kNone, false};
    } else {
        cur = several ? tail(v) : head(v);
        cur.low = std::min(cur.low, t);
        cur.high = std::max(cur.high, t);
    }
    if (page) {
        ++cur.pages;
        if (cur.entry == kNone) cur.entry = pageRow;
    }
    v.lastTime = t;
    if (v.flags & kSeveral) setTail(v, cur);
    else setHead(v, cur);
    return created;
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
    auto entryRow = [&](std::uint32_t row) { return row == kNone ? kNone : rowOf(2, row); };
    visitCount_ += later.visitCount_;
    visitPages_ += later.visitPages_;
    lengths_.insert(lengths_.end(), later.lengths_.begin(), later.lengths_.end());
    for (std::size_t r = 0; r < later.entries_.size(); ++r) {
        if (later.entries_[r] == 0) continue;
        const std::uint32_t m = rowOf(2, static_cast<std::uint32_t>(r));
        if (m >= entries_.size()) entries_.resize(std::size_t(m) + 1, 0);
        entries_[m] += later.entries_[r];
    }
    for (std::uint64_t key : later.order_) {
        const Visitor& b = *later.find(key);
        Visit bHead = head(b), bTail = tail(b);
        bHead.entry = entryRow(bHead.entry);
        bTail.entry = entryRow(bTail.entry);
        const std::uint32_t host = rowOf(0, b.host);
        const std::uint32_t agent = rowOf(1, b.agent);
        bool created = false;
        follow(slotOf(keyOf(host, agent), created), b, bHead, bTail);
    }
}

void VisitorTable::finish() {
    for (std::uint64_t key : order_) {
        const Visitor& v = *find(key);
        if (!(v.flags & kTimed)) continue;
        close(head(v));
        if (v.flags & kSeveral) close(tail(v));
    }
}

}  // namespace analysis
