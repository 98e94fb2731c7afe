// The content of one result pane: a few owned lines (headers) and whole line sources, in order.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "analysis/lines.h"

namespace analysis {

class PaneContent {
public:
    void clear() { segments_.clear(); }
    void append(Lines lines);
    void append(std::string line);
    void replace(Lines lines);
    // Puts line before line index (0-based); an index at or past the end appends.
    void insert(std::size_t index, std::string line);

    std::size_t size() const;
    std::string line(std::size_t i) const;
    // At most the first maxBytes of line i.
    std::string linePrefix(std::size_t i, std::size_t maxBytes) const;
    // Calls f(const std::string&) for every line in order.
    template <class F>
    void forEach(F f) const {
        std::string buf;
        for (const auto& s : segments_)
            for (std::size_t i = 0; i < s.count; ++i) {
                buf.clear();
                s.appendLine(i, buf);
                f(static_cast<const std::string&>(buf));
            }
    }
    // Calls f(index, const std::string&) for the lines from..to-1 in order while f returns true; false when
    // f stopped it.
    template <class F>
    bool forRange(std::size_t from, std::size_t to, F f) const {
        std::string buf;
        std::size_t start = 0;
        for (const auto& s : segments_) {
            const std::size_t end = start + s.count;
            for (std::size_t i = from > start ? from : start; i < end && i < to; ++i) {
                buf.clear();
                s.appendLine(i - start, buf);
                if (!f(i, static_cast<const std::string&>(buf))) return false;
            }
            start = end;
        }
        return true;
    }
    common::StringList toStringList() const;

    // The lines as runs taken from one source each (source null: lines the pane owns), in order.
    struct Run {
        std::size_t first;  // index of the run's first line in the pane
        const LineSource* source;
        std::size_t offset;  // of that line in the source
        std::size_t count;
    };
    std::vector<Run> runs() const {
        std::vector<Run> out;
        std::size_t first = 0;
        for (const auto& s : segments_) {
            out.push_back({first, s.source.get(), s.offset, s.count});
            first += s.count;
        }
        return out;
    }

private:
    // Either owned lines (source empty) or lines [offset, offset + count) of a source.
    struct Segment {
        common::StringList own;
        Lines source;
        std::size_t offset = 0;
        std::size_t count = 0;
        void appendLine(std::size_t i, std::string& out) const {
            if (source) source->appendLine(offset + i, out);
            else out += own[i];
        }
        void appendPrefix(std::size_t i, std::string& out, std::size_t maxBytes) const {
            if (source) source->appendPrefix(offset + i, out, maxBytes);
            else out.append(own[i], 0, maxBytes);
        }
    };
    std::vector<Segment> segments_;
};

}  // namespace analysis
