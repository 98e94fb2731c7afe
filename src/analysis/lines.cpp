// Pane contents as read-only line sequences.
#include "analysis/lines.h"

#include <algorithm>
#include <utility>

#include "analysis/logline.h"

namespace analysis {

Lines makeLines(common::StringList lines) { return std::make_shared<OwnedLines>(std::move(lines)); }

void LineTable::append(Part part) {
    if (part.empty()) return;
    starts_.push_back(size_);
    size_ += part.size();
    parts_.push_back(std::move(part));
    first_ = parts_.front().data();
    firstSize_ = parts_.front().size();
}

LineTable& LineTable::operator=(LineTable&& other) noexcept {
    if (this == &other) return *this;
    parts_ = std::move(other.parts_);
    starts_ = std::move(other.starts_);
    first_ = std::exchange(other.first_, nullptr);
    firstSize_ = std::exchange(other.firstSize_, 0);
    size_ = std::exchange(other.size_, 0);
    other.parts_.clear();
    other.starts_.clear();
    return *this;
}

std::string_view LineTable::inLater(std::size_t i) const {
    // Parts are as many as the threads that cut them: a few.
    std::size_t k = parts_.size() - 1;
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
    return lineNumberAt(buffer_.view(), static_cast<std::size_t>(lines_[i].data() - buffer_.view().data()));
}

const EntryList::Packed& EntryList::inHead(std::size_t i) const {
    const auto s =
        static_cast<std::size_t>(std::upper_bound(headStarts_.begin(), headStarts_.end(), i) - headStarts_.begin()) - 1;
    return head_[s][i - headStarts_[s]];
}

EntryList::Segment::Segment(std::size_t room, common::BlockPool* pool) : room_(room) {
    const std::size_t bytes = room * sizeof(Packed);
    if (pool && bytes < common::BlockPool::kLargestPiece) data_ = static_cast<Packed*>(pool->take(bytes, block_));
    else data_ = static_cast<Packed*>(common::bigAllocate(bytes));
}

EntryList::Segment& EntryList::Segment::operator=(Segment&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        size_ = std::exchange(other.size_, 0);
        room_ = std::exchange(other.room_, 0);
        block_ = std::exchange(other.block_, nullptr);
    }
    return *this;
}

void EntryList::Segment::release() noexcept {
    if (block_) common::BlockPool::giveBack(block_);
    else if (data_) common::bigFree(data_, room_ * sizeof(Packed));
    data_ = nullptr;
    block_ = nullptr;
    size_ = room_ = 0;
}

void EntryList::newSegment(std::size_t room) {
    if (!tail_.empty()) {
        headStarts_.push_back(tailStart_);
        tailStart_ += tail_.size();
        head_.push_back(std::move(tail_));
    }
    tail_ = Segment(room, pool_);
}

Entry EntryList::whole(std::size_t i) const {
    const auto at = std::lower_bound(whole_.begin(), whole_.end(), i,
                                     [](const std::pair<std::size_t, Entry>& w, std::size_t k) { return w.first < k; });
    return at->second;
}

void EntryList::addWhole(const Entry& e) {
    whole_.emplace_back(size(), e);
    tail_.push_back(Packed{e.line, kWhole, 0, 0, 0});
}

void EntryList::append(EntryList&& later) {
    if (&later == this) return;
    const std::size_t base = size();
    for (const auto& [index, e] : later.whole_) whole_.emplace_back(base + index, e);
    later.whole_.clear();
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
