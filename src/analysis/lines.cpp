// Pane contents as read-only line sequences.
#include "analysis/lines.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "analysis/logline.h"

namespace analysis {

Lines makeLines(common::StringList lines) { return std::make_shared<OwnedLines>(std::move(lines)); }

std::size_t LineTable::Part::highAt(std::size_t i) const {
    const auto after = std::upper_bound(highs_.begin(), highs_.end(), i,
                                        [](std::size_t k, const std::pair<std::size_t, std::size_t>& h) {
                                            return k < h.first;
                                        });
    return after == highs_.begin() ? 0 : std::prev(after)->second;
}

void LineTable::append(Part part) {
    if (part.empty()) return;
    starts_.push_back(size_);
    size_ += part.size();
    parts_.push_back(std::move(part));
    const Part& first = parts_.front();
    first_ = first.pos_.data();
    base_ = first.base_;
    firstSize_ = first.highs_.empty() ? first.size() : first.highs_.front().first;
}

LineTable& LineTable::operator=(LineTable&& other) noexcept {
    if (this == &other) return *this;
    parts_ = std::move(other.parts_);
    starts_ = std::move(other.starts_);
    first_ = std::exchange(other.first_, nullptr);
    base_ = std::exchange(other.base_, nullptr);
    firstSize_ = std::exchange(other.firstSize_, 0);
    size_ = std::exchange(other.size_, 0);
    other.parts_.clear();
    other.starts_.clear();
    return *this;
}

std::string_view LineTable::inLater(std::size_t i) const {
    // Parts are as many as the threads that cut them, a few, or one per chunk of a text counted as
    // it was inflated.
    std::size_t k = parts_.size() - 1;
    if (k > 8) k = static_cast<std::size_t>(std::upper_bound(starts_.begin(), starts_.end(), i) - starts_.begin()) - 1;
    while (starts_[k] > i) --k;
    return parts_[k][i - starts_[k]];
}

std::size_t lineNumberAt(std::string_view text, std::size_t offset) {
    text = text.substr(0, offset);
    std::size_t breaks = 0;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text[k] == '\n') ++breaks;
        else if (text[k] == '\r' && (k + 1 == text.size() || text[k + 1] != '\n')) ++breaks;
    }
    return breaks + 1;
}

std::size_t LogText::lineNumber(std::size_t i) const {
    const auto at = static_cast<std::size_t>(lines_[i].data() - buffer_.view().data());
    const auto mark = std::upper_bound(marks_.begin(), marks_.end(), i,
                                       [](std::size_t line, const LineMark& m) { return line < m.index; });
    if (mark == marks_.begin()) return lineNumberAt(buffer_.view(), at);
    const LineMark& m = *std::prev(mark);
    return m.number - 1 + lineNumberAt(buffer_.view().substr(m.offset), at - m.offset);
}

namespace {

inline std::uint32_t takeNumber(const unsigned char*& p) {
    std::uint32_t v = *p & 0x7f;
    for (unsigned shift = 7; *p++ & 0x80; shift += 7) v |= static_cast<std::uint32_t>(*p & 0x7f) << shift;
    return v;
}

inline void skipNumber(const unsigned char*& p) {
    while (*p++ & 0x80) {
    }
}

}  // namespace

EntryList::Segment::Group EntryList::Segment::group(std::size_t g) const {
    Group out;
    std::memcpy(&out, data_ + g * sizeof(Group), sizeof(Group));
    return out;
}

unsigned char* EntryList::Segment::putLong(unsigned char* p, std::uint32_t v) {
    while (v >= 0x80) {
        *p++ = static_cast<unsigned char>(v | 0x80);
        v >>= 7;
    }
    *p++ = static_cast<unsigned char>(v);
    return p;
}

Entry EntryList::Segment::operator[](std::size_t i) const {
    const Group g = group(i / kGroup);
    const unsigned char* p = data_ + g.at;
    std::uint32_t line = g.line;
    // The entries before it in its group, for their lines.
    for (std::size_t k = i % kGroup; k > 0; --k) {
        const unsigned head = *p++;
        const unsigned step = head >> kStepShift;
        line = step == kLineFollows ? takeNumber(p) : line + step;
        skipNumber(p);
        skipNumber(p);
        if (head & kHasB) {
            skipNumber(p);
            skipNumber(p);
        }
    }
    const unsigned head = *p++;
    const unsigned step = head >> kStepShift;
    Entry e{};
    e.line = step == kLineFollows ? takeNumber(p) : line + step;
    e.form = static_cast<EntryForm>(head & 7);
    e.aOff = takeNumber(p);
    e.aLen = takeNumber(p);
    if (head & kHasB) {
        e.bOff = takeNumber(p);
        e.bLen = takeNumber(p);
    }
    return e;
}

Entry EntryList::inHead(std::size_t i) const {
    const auto s =
        static_cast<std::size_t>(std::upper_bound(headStarts_.begin(), headStarts_.end(), i) - headStarts_.begin()) - 1;
    return head_[s][i - headStarts_[s]];
}

EntryList::Segment::Segment(std::size_t room, common::BlockPool* pool)
    : room_(room), used_(room / kGroupEvery * sizeof(Group)), groups_(room / kGroupEvery) {
    if (pool && room < common::BlockPool::kLargestPiece)
        data_ = static_cast<unsigned char*>(pool->take(room, block_));
    else data_ = static_cast<unsigned char*>(common::bigAllocate(room));
}

EntryList::Segment& EntryList::Segment::operator=(Segment&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        room_ = std::exchange(other.room_, 0);
        used_ = std::exchange(other.used_, 0);
        groups_ = std::exchange(other.groups_, 0);
        last_ = std::exchange(other.last_, 0);
        block_ = std::exchange(other.block_, nullptr);
    }
    return *this;
}

void EntryList::Segment::release() noexcept {
    if (block_) common::BlockPool::giveBack(block_);
    else if (data_) common::bigFree(data_, room_);
    data_ = nullptr;
    block_ = nullptr;
    size_ = room_ = used_ = groups_ = 0;
}

void EntryList::startSegment() {
    // A little more than the entries so far took: the next ones are of the same kind.
    if (wanted_ > size() && !tail_.empty())
        newSegment(Segment::roomFor(wanted_ - size(), tail_.bytesEach() * 1.05 + 0.1));
    else newSegment(std::clamp(tail_.capacity() * 2, kFirstRoom, kLargestRoom));
}

void EntryList::newSegment(std::size_t room) {
    if (!tail_.empty()) {
        headStarts_.push_back(tailStart_);
        tailStart_ += tail_.size();
        head_.push_back(std::move(tail_));
    }
    // Never so small that not one entry of any size, and its Group, fit.
    tail_ = Segment(std::max(room, kLeastRoom), pool_);
}

void EntryList::append(EntryList&& later) {
    if (&later == this) return;
    const auto take = [this](Segment&& s) {
        if (s.empty()) return;
        if (!tail_.empty()) {
            headStarts_.push_back(tailStart_);
            tailStart_ += tail_.size();
            head_.push_back(std::move(tail_));
        }
        // An empty tail's reservation, if any, is given back here.
        tail_ = std::move(s);
    };
    for (Segment& s : later.head_) take(std::move(s));
    take(std::move(later.tail_));
    later.head_.clear();
    later.headStarts_.clear();
    later.tail_ = Segment();
    later.tailStart_ = 0;
    later.wanted_ = 0;
}

void EntryList::appendLine(std::size_t i, std::string& out) const {
    const Entry e = at(i);
    const std::string_view line = (*log_)[e.line];
    compose(e, line, line.substr(e.aOff, e.aLen), line.substr(e.bOff, e.bLen), out);
}

void EntryList::appendPrefix(std::size_t i, std::string& out, std::size_t maxBytes) const {
    // The first maxBytes of an entry come from the first maxBytes of each of its parts.
    const Entry e = at(i);
    const std::string_view line = (*log_)[e.line];
    const std::size_t start = out.size();
    compose(e, e.form == EntryForm::Whole ? line.substr(0, maxBytes) : line,
            line.substr(e.aOff, std::min<std::size_t>(e.aLen, maxBytes)),
            line.substr(e.bOff, std::min<std::size_t>(e.bLen, maxBytes)), out);
    if (out.size() - start > maxBytes) out.resize(start + maxBytes);
}

void EntryList::compose(const Entry& e, std::string_view line, std::string_view a, std::string_view b,
                        std::string& out) const {
    // Time and host are the visitor's, read from the part of the line that the layout gives the field
    // rules; a whole line is shown as it stands in the file.
    if (e.form != EntryForm::Whole && log_->layout().cuts()) {
        const LogLayout::Cut cut = log_->layout().cut(line);
        composeFields(e, cut.core, cut.host, a, b, out);
    } else {
        const bool withHost = e.form == EntryForm::Robot || e.form == EntryForm::RobotsFile ||
                              e.form == EntryForm::TimeHostSpan;
        composeFields(e, line, withHost ? ExtractHost(line) : std::string_view{}, a, b, out);
    }
}

void EntryList::composeFields(const Entry& e, std::string_view line, std::string_view host, std::string_view a,
                              std::string_view b, std::string& out) {
    switch (e.form) {
        case EntryForm::Whole: out += line; break;
        case EntryForm::Span: out += a; break;
        case EntryForm::TimeSpan: out.append(ExtractTime(line)).append(" ").append(a); break;
        case EntryForm::TimeRefPath: out.append(ExtractTime(line)).append(" [").append(a).append("] ").append(b); break;
        case EntryForm::RefPath: out.append("[").append(a).append("] ").append(b); break;
        case EntryForm::Robot:
            out.append("*").append(host).append(" ").append(ExtractTime(line));
            out.append(" [").append(a).append("] ").append(b);
            break;
        case EntryForm::RobotsFile: out.append(host).append(" ").append(ExtractTime(line)).append(" ").append(a); break;
        case EntryForm::TimeHostSpan:
            out.append(ExtractTime(line)).append(" ").append(host).append(" ").append(a);
            break;
    }
}

void SkippedLines::appendLine(std::size_t i, std::string& out) const {
    out.append(std::to_string(lineNumber(i))).append(": ").append((*log_)[lines_[i]]);
}

common::StringList toStringList(const LineSource& lines) {
    common::StringList out;
    out.reserve(lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) out.push_back(lines.line(i));
    return out;
}

}  // namespace analysis
