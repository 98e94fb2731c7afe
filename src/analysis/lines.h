// Pane contents as read-only line sequences. Lines collected from a log point into the log's buffer
// and are composed only when read, so a million-line log is not copied into every pane.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "analysis/loglayout.h"
#include "common/bigmemory.h"
#include "common/fileio.h"
#include "common/stringlist.h"

namespace analysis {

class LineSource {
public:
    virtual ~LineSource() = default;
    virtual std::size_t size() const = 0;
    // Appends line i to out.
    virtual void appendLine(std::size_t i, std::string& out) const = 0;
    // Appends at most maxBytes of the start of line i: a window shows only the start of a huge line.
    virtual void appendPrefix(std::size_t i, std::string& out, std::size_t maxBytes) const {
        const std::size_t start = out.size();
        appendLine(i, out);
        if (out.size() - start > maxBytes) out.resize(start + maxBytes);
    }
    std::string line(std::size_t i) const {
        std::string s;
        appendLine(i, s);
        return s;
    }
};
using Lines = std::shared_ptr<const LineSource>;

// Lines that own their text.
class OwnedLines final : public LineSource {
public:
    explicit OwnedLines(common::StringList lines) : lines_(std::move(lines)) {}
    std::size_t size() const override { return lines_.size(); }
    void appendLine(std::size_t i, std::string& out) const override { out += lines_[i]; }
    void appendPrefix(std::size_t i, std::string& out, std::size_t maxBytes) const override {
        out.append(lines_[i], 0, maxBytes);
    }

private:
    common::StringList lines_;
};
Lines makeLines(common::StringList lines);

// Where a log's lines lie, in the parts that were cut on threads of their own: the parts are taken
// over as they are, where joining them would copy every line once more, on one thread. A line is kept
// in 8 bytes, its offset in the text and its length, 32 bits each: the higher bits of the offsets,
// which change only every 4 GB of text, are kept apart.
class LineTable {
public:
    class Part {
    public:
        // The lines of a part lie in the text that begins at base.
        explicit Part(const char* base = nullptr) : base_(base) {}
        std::size_t size() const { return pos_.size(); }
        bool empty() const { return pos_.empty(); }
        void reserve(std::size_t n) { pos_.reserve(n); }
        // A line at offset `at` of the text, of length size (< 4 GB), after those added before it.
        void add(std::size_t at, std::size_t size) {
            if (at >> 32 != high_) {
                high_ = at >> 32;
                highs_.emplace_back(pos_.size(), high_);
            }
            pos_.push_back(Pos{static_cast<std::uint32_t>(at), static_cast<std::uint32_t>(size)});
        }
        std::string_view operator[](std::size_t i) const {
            const Pos p = pos_[i];
            return {base_ + (highs_.empty() ? 0 : highAt(i) << 32) + p.at, p.size};
        }

    private:
        friend class LineTable;
        struct Pos {
            std::uint32_t at, size;
        };
        std::size_t highAt(std::size_t i) const;
        const char* base_;
        std::vector<Pos, common::BigAllocator<Pos>> pos_;
        // From which line on the offsets have which higher bits (none: all zero).
        std::vector<std::pair<std::size_t, std::size_t>> highs_;
        std::size_t high_ = 0;
    };
    LineTable() = default;
    LineTable(Part lines) { append(std::move(lines)); }  // NOLINT: one part is a table
    LineTable(LineTable&& other) noexcept { *this = std::move(other); }
    LineTable& operator=(LineTable&& other) noexcept;
    LineTable(const LineTable&) = delete;
    LineTable& operator=(const LineTable&) = delete;
    // Adds the lines of part, of the same text, after these.
    void append(Part part);
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    // Every line but those of later parts, or of a first part past 4 GB, is found at once.
    std::string_view operator[](std::size_t i) const {
        if (i < firstSize_) {
            const Part::Pos p = first_[i];
            return {base_ + p.at, p.size};
        }
        return inLater(i);
    }

private:
    std::string_view inLater(std::size_t i) const;
    std::vector<Part> parts_;  // none empty
    std::vector<std::size_t> starts_;
    const Part::Pos* first_ = nullptr;
    const char* base_ = nullptr;
    std::size_t firstSize_ = 0, size_ = 0;  // firstSize_: the lines of the first part below 4 GB
};

// A loaded log: one buffer and a view per line.
class LogText final : public LineSource {
public:
    // The lines are views into the buffer, so they are set once the buffer has its final home.
    explicit LogText(common::ByteBuffer buffer) : buffer_(std::move(buffer)) {}
    std::string_view buffer() const { return buffer_.view(); }
    bool isMapped() const { return buffer_.isMapped(); }
    // The open file that a mapped buffer maps; -1 when there is none.
    int file() const { return buffer_.file(); }
    using LineViews = LineTable::Part;
    void setLines(LineTable lines) { lines_ = std::move(lines); }
    LogText(const LogText&) = delete;
    LogText& operator=(const LogText&) = delete;
    std::size_t size() const override { return lines_.size(); }
    void appendLine(std::size_t i, std::string& out) const override { out += lines_[i]; }
    void appendPrefix(std::size_t i, std::string& out, std::size_t maxBytes) const override {
        out += lines_[i].substr(0, maxBytes);
    }
    std::string_view operator[](std::size_t i) const { return lines_[i]; }
    std::size_t bufferSize() const { return buffer_.size(); }
    // The layout its lines are read by (detected once the lines are cut, or chosen by the user).
    const LogLayout& layout() const { return layout_; }
    void setLayout(const LogLayout& layout) { layout_ = layout; }
    // 1-based number of line i in the text as loaded, where the blank lines left out count too.
    std::size_t lineNumber(std::size_t i) const;
    // A line whose number was noted while the text was cut: lineNumber counts from the last one at or
    // before its line instead of from the text's start, which a text given back behind its reading
    // no longer holds.
    struct LineMark {
        std::size_t index, offset, number;  // the line, where it begins in the text, its 1-based number
    };
    void setLineMarks(std::vector<LineMark> marks) { marks_ = std::move(marks); }
    // The buffer of a text that was counted while it was made, once it is complete; its lines are set
    // after it.
    void setBuffer(common::ByteBuffer buffer) { buffer_ = std::move(buffer); }
    // The 1-based number of the line in which a zero byte ended the text, so that what follows it was
    // not read; 0 when none did.
    std::size_t stoppedAtZeroByte() const { return zeroByteLine_; }
    void setStoppedAtZeroByte(std::size_t lineNumber) { zeroByteLine_ = lineNumber; }
    // Lines [from, to) have been read for now: a mapped log gives their pages back to the page cache
    // (the pass reads a log once, and the lists it collects read single lines later), so that the
    // process does not hold the whole file besides what it collected.
    void doneWith(std::size_t from, std::size_t to) const {
        if (buffer_.isMapped() && from < to)
            common::releaseMapped(lines_[from].data(), lines_[to - 1].data() + lines_[to - 1].size());
    }

private:
    common::ByteBuffer buffer_;
    LineTable lines_;
    LogLayout layout_;
    std::size_t zeroByteLine_ = 0;
    std::vector<LineMark> marks_;  // in the order of their lines
};

// The 1-based number of the line that holds byte offset of text: one more than the line breaks
// before it (CR LF, a lone CR and a lone LF are one each).
std::size_t lineNumberAt(std::string_view text, std::size_t offset);

// How an entry is written; t = time field, h = host, a and b = the entry's two spans of its line.
enum class EntryForm : std::uint8_t {
    Whole,         // the line
    Span,          // a
    TimeSpan,      // t " " a                     (GET / POST extract)
    TimeRefPath,   // t " [" a "] " b             (referrer extract)
    RefPath,       // "[" a "] " b                (foreign referrers)
    Robot,         // "*" h " " t " [" a "] " b   (robot line)
    RobotsFile,    // h " " t " " a               (robots-file line)
    TimeHostSpan,  // t " " h " " a               (connections, 403/404 extracts)
};

struct Entry {
    std::uint32_t line;
    std::uint32_t aOff, aLen, bOff, bLen;
    EntryForm form;
};

// Entries of one collected list, all pointing into one log. The entries are kept in segments: a list
// counted in chunks takes over each chunk's entries as they are, instead of copying them all. An
// entry is kept in a few bytes (a list of a million lines would otherwise take as much memory as a
// tenth of its log): its line as the step from the line before, its offsets and lengths as
// variable-length numbers; every 16th entry's place and line are kept at the segment's start, so that
// any entry is found by decoding at most 15 before it.
class EntryList final : public LineSource {
public:
    explicit EntryList(std::shared_ptr<const LogText> log) : log_(std::move(log)) {}
    std::size_t size() const override { return tailStart_ + tail_.size(); }
    void appendLine(std::size_t i, std::string& out) const override;
    void appendPrefix(std::size_t i, std::string& out, std::size_t maxBytes) const override;

    void add(EntryForm form, std::uint32_t line, std::string_view lineText, std::string_view a = {},
             std::string_view b = {}) {
        if (!tail_.hasRoom()) startSegment();
        tail_.push_back(Entry{line, offsetIn(lineText, a), static_cast<std::uint32_t>(a.size()), offsetIn(lineText, b),
                              static_cast<std::uint32_t>(b.size()), form});
    }
    // Adds an entry of another list of the same log as it is, without reading the log.
    void add(const Entry& e) {
        if (!tail_.hasRoom()) startSegment();
        tail_.push_back(e);
    }
    Entry entry(std::size_t i) const { return at(i); }
    std::string_view spanA(std::size_t i) const {
        const Entry e = at(i);
        return (*log_)[e.line].substr(e.aOff, e.aLen);
    }
    // Room for n entries in all: at first for entries of the least size; once those fill it, for the
    // rest at the size the entries so far took. Room that is reserved from a pool takes memory even
    // where it stays unused.
    void reserve(std::size_t n) {
        wanted_ = std::max(wanted_, n);
        if (n > size() && !tail_.hasRoomFor(n - size(), Segment::kLeastBytes))
            newSegment(Segment::roomFor(n - size(), Segment::kLeastBytes));
    }
    // New segments of fewer than 1 MB come from pool while it is set (none: each its own block). The
    // pool must outlive the adds, not the list.
    void takeSegmentsFrom(common::BlockPool* pool) { pool_ = pool; }
    // Takes over the entries of later (a list of the same log, of lines after these) after these;
    // later is left empty.
    void append(EntryList&& later);
    std::uint32_t lineOf(std::size_t i) const { return at(i).line; }

private:
    // A run of entries in room of a fixed size, from a pool or a big block of its own: a Group for
    // every 16 entries at its start, then the entries' bytes. Room that a reservation left unused is
    // never written, so it takes no memory.
    class Segment {
    public:
        static constexpr std::size_t kGroup = 16;
        Segment() = default;
        Segment(std::size_t room, common::BlockPool* pool);
        Segment(Segment&& other) noexcept { *this = std::move(other); }
        Segment& operator=(Segment&& other) noexcept;
        ~Segment() { release(); }
        std::size_t size() const { return size_; }
        std::size_t capacity() const { return room_; }
        bool empty() const { return size_ == 0; }
        // Room for one more entry of any size.
        bool hasRoom() const { return size_ / kGroup < groups_ && used_ + kMostBytes <= room_; }
        // Room for n more entries of `each` bytes.
        bool hasRoomFor(std::size_t n, double each) const {
            return (size_ + n) / kGroup < groups_ &&
                   static_cast<double>(used_ + kMostBytes) + static_cast<double>(n) * each <= static_cast<double>(room_);
        }
        // The room that n entries of `each` bytes take.
        static std::size_t roomFor(std::size_t n, double each) {
            const double bytes = (static_cast<double>(n) * each + kMostBytes) * kGroupEvery / (kGroupEvery - sizeof(Group));
            return std::min(static_cast<std::size_t>(bytes) + sizeof(Group), kMostRoom);
        }
        // The bytes its entries took, on average.
        double bytesEach() const {
            return static_cast<double>(used_ - groups_ * sizeof(Group)) / static_cast<double>(std::max<std::size_t>(size_, 1));
        }
        // With room.
        void push_back(const Entry& e) {
            unsigned char* p = data_ + used_;
            if (size_ % kGroup == 0) {
                const Group g{static_cast<std::uint32_t>(used_), e.line};
                std::memcpy(data_ + size_ / kGroup * sizeof(Group), &g, sizeof(Group));
                last_ = e.line;
            }
            const bool hasB = (e.bOff | e.bLen) != 0;
            const std::uint32_t step = e.line >= last_ && e.line - last_ < kLineFollows ? e.line - last_ : kLineFollows;
            *p++ = static_cast<unsigned char>(static_cast<unsigned>(e.form) | (hasB ? kHasB : 0u) | step << kStepShift);
            if (step == kLineFollows) p = put(p, e.line);
            p = put(put(p, e.aOff), e.aLen);
            if (hasB) p = put(put(p, e.bOff), e.bLen);
            last_ = e.line;
            used_ = static_cast<std::size_t>(p - data_);
            ++size_;
        }
        Entry operator[](std::size_t i) const;

    private:
        struct Group {
            std::uint32_t at, line;  // where its first entry's bytes begin, and that entry's line
        };
        // A head byte and five numbers (a line, two offsets, two lengths) of up to 5 bytes each, 3
        // bytes the least; a segment's offsets fit in 32 bits.
        static constexpr std::size_t kMostBytes = 26, kMostRoom = std::size_t(1) << 30;

    public:
        static constexpr std::size_t kLeastBytes = 3;

    private:
        // Room for a Group is made in every so many bytes of a segment: enough for entries of the least size.
        static constexpr std::size_t kGroupEvery = kGroup * kLeastBytes + sizeof(Group);
        // An entry's head byte: its form in bits 0-2; bit 3 set when it has a second span; in bits 4-7
        // how many lines after the line before it its line is, 0 to 14, or 15 when its line follows.
        static constexpr unsigned kHasB = 8, kStepShift = 4, kLineFollows = 15;
        // Numbers in 7 bits a byte, low bits first, the top bit set in every byte but the last.
        static unsigned char* put(unsigned char* p, std::uint32_t v) {
            if (v >= 0x80) return putLong(p, v);
            *p = static_cast<unsigned char>(v);
            return p + 1;
        }
        static unsigned char* putLong(unsigned char* p, std::uint32_t v);
        Group group(std::size_t g) const;
        void release() noexcept;
        unsigned char* data_ = nullptr;
        std::size_t size_ = 0, room_ = 0, used_ = 0;
        std::size_t groups_ = 0;  // room for so many Groups, before the entries
        std::uint32_t last_ = 0;                     // the line of the last entry
        common::BlockPool::Block* block_ = nullptr;  // the pool's block that holds data_, if any
    };
    // Entry i: a list in one piece (the usual case) finds its segment at once.
    Entry at(std::size_t i) const { return i >= tailStart_ ? tail_[i - tailStart_] : inHead(i); }
    Entry inHead(std::size_t i) const;
    // A full tail becomes a head segment, and a new tail takes the next entries (a growing list is
    // never copied): one with room for the rest of what was reserved, or one of twice its room.
    void startSegment();
    // From 32 KB up to 2 MB (a huge page) a segment, as it grows.
    static constexpr std::size_t kFirstRoom = std::size_t(32) << 10, kLargestRoom = std::size_t(2) << 20,
                                 kLeastRoom = 256;
    // A new tail with room for `room` bytes; a tail that has entries becomes a head segment.
    void newSegment(std::size_t room);
    void compose(const Entry& e, std::string_view line, std::string_view a, std::string_view b, std::string& out) const;
    static void composeFields(const Entry& e, std::string_view line, std::string_view host, std::string_view a,
                              std::string_view b, std::string& out);
    static std::uint32_t offsetIn(std::string_view line, std::string_view part) {
        return part.empty() ? 0 : static_cast<std::uint32_t>(part.data() - line.data());
    }
    std::shared_ptr<const LogText> log_;
    // The segments before the one that takes new entries, none of them empty, and the index of
    // each one's first entry; the last segment starts at tailStart_.
    std::vector<Segment> head_;
    std::vector<std::size_t> headStarts_;
    Segment tail_;
    std::size_t tailStart_ = 0;
    common::BlockPool* pool_ = nullptr;
    std::size_t wanted_ = 0;  // the entries that room was reserved for
};

// Lines of a log by their indexes, each shown after its number in the file: "12: line".
class SkippedLines final : public LineSource {
public:
    SkippedLines(std::shared_ptr<const LogText> log, std::vector<std::uint32_t> lines)
        : log_(std::move(log)), lines_(std::move(lines)) {}
    std::size_t size() const override { return lines_.size(); }
    void appendLine(std::size_t i, std::string& out) const override;
    // The 1-based number in the file of entry i.
    std::size_t lineNumber(std::size_t i) const { return log_->lineNumber(lines_[i]); }

private:
    std::shared_ptr<const LogText> log_;
    std::vector<std::uint32_t> lines_;
};

// The lines of a source as a string list (for tests and small panes).
common::StringList toStringList(const LineSource& lines);

}  // namespace analysis
