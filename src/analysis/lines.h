// Pane contents as read-only line sequences. Lines collected from a log point into the log's buffer
// and are composed only when read, so a million-line log is not copied into every pane.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

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

// A loaded log: one buffer and a view per line.
class LogText final : public LineSource {
public:
    // The lines are views into the buffer, so they are set once the buffer has its final home.
    explicit LogText(common::ByteBuffer buffer) : buffer_(std::move(buffer)) {}
    std::string_view buffer() const { return buffer_.view(); }
    bool isMapped() const { return buffer_.isMapped(); }
    // The open file that a mapped buffer maps; -1 when there is none.
    int file() const { return buffer_.file(); }
    using LineViews = std::vector<std::string_view, common::BigAllocator<std::string_view>>;
    void setLines(LineViews lines) { lines_ = std::move(lines); }
    LogText(const LogText&) = delete;
    LogText& operator=(const LogText&) = delete;
    std::size_t size() const override { return lines_.size(); }
    void appendLine(std::size_t i, std::string& out) const override { out += lines_[i]; }
    void appendPrefix(std::size_t i, std::string& out, std::size_t maxBytes) const override {
        out += lines_[i].substr(0, maxBytes);
    }
    std::string_view operator[](std::size_t i) const { return lines_[i]; }
    std::size_t bufferSize() const { return buffer_.size(); }
    // 1-based number of line i in the text as loaded, where the blank lines left out count too.
    std::size_t lineNumber(std::size_t i) const;
    // Lines [from, to) have been read for now: a mapped log gives their pages back to the page cache
    // (the pass reads a log once, and the lists it collects read single lines later), so that the
    // process does not hold the whole file besides what it collected.
    void doneWith(std::size_t from, std::size_t to) const {
        if (buffer_.isMapped() && from < to)
            common::releaseMapped(lines_[from].data(), lines_[to - 1].data() + lines_[to - 1].size());
    }

private:
    common::ByteBuffer buffer_;
    LineViews lines_;
};

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
// counted in chunks takes over each chunk's entries as they are, instead of copying them all.
class EntryList final : public LineSource {
public:
    explicit EntryList(std::shared_ptr<const LogText> log) : log_(std::move(log)) {}
    std::size_t size() const override { return tailStart_ + tail_.size(); }
    void appendLine(std::size_t i, std::string& out) const override;
    void appendPrefix(std::size_t i, std::string& out, std::size_t maxBytes) const override;

    void add(EntryForm form, std::uint32_t line, std::string_view lineText, std::string_view a = {},
             std::string_view b = {}) {
        tail_.push_back(Entry{line, offsetIn(lineText, a), static_cast<std::uint32_t>(a.size()), offsetIn(lineText, b),
                              static_cast<std::uint32_t>(b.size()), form});
    }
    std::string_view spanA(std::size_t i) const {
        const Entry& e = at(i);
        return (*log_)[e.line].substr(e.aOff, e.aLen);
    }
    // Room for n entries in all.
    void reserve(std::size_t n) {
        if (n > tailStart_) tail_.reserve(n - tailStart_);
    }
    // Takes over the entries of later (a list of the same log, of lines after these) after these;
    // later is left empty.
    void append(EntryList&& later);
    std::uint32_t lineOf(std::size_t i) const { return at(i).line; }
    std::string_view lineText(std::size_t i) const { return (*log_)[at(i).line]; }

private:
    using Segment = std::vector<Entry, common::BigAllocator<Entry>>;
    // Entry i: a list in one piece (the usual case) finds it at once.
    const Entry& at(std::size_t i) const { return i >= tailStart_ ? tail_[i - tailStart_] : inHead(i); }
    const Entry& inHead(std::size_t i) const;
    void compose(const Entry& e, std::string_view line, std::string_view a, std::string_view b, std::string& out) const;
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
};

// The lines of a source as a string list (for tests and small panes).
common::StringList toStringList(const LineSource& lines);

}  // namespace analysis
