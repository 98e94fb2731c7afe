// The content of one result pane.
#include "analysis/panecontent.h"

namespace analysis {

void PaneContent::append(Lines lines) {
    if (!lines || lines->size() == 0) return;
    const std::size_t n = lines->size();
    segments_.push_back(Segment{{}, std::move(lines), 0, n});
}

void PaneContent::append(std::string line) {
    if (segments_.empty() || segments_.back().source) segments_.push_back(Segment{});
    segments_.back().own.push_back(std::move(line));
    ++segments_.back().count;
}

void PaneContent::replace(Lines lines) {
    segments_.clear();
    append(std::move(lines));
}

void PaneContent::insert(std::size_t index, std::string line) {
    std::size_t start = 0;
    for (std::size_t k = 0; k < segments_.size(); ++k) {
        Segment& s = segments_[k];
        if (index <= start + s.count && (index < start + s.count || !s.source)) {
            const std::size_t at = index - start;
            if (!s.source) {
                s.own.insert(s.own.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
                ++s.count;
                return;
            }
            if (at == 0 && k > 0 && !segments_[k - 1].source) {
                segments_[k - 1].own.push_back(std::move(line));
                ++segments_[k - 1].count;
                return;
            }
            Segment owned{{std::move(line)}, nullptr, 0, 1};
            if (at == 0) {
                segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(k), std::move(owned));
                return;
            }
            // Split the source segment around the new line.
            Segment tail{{}, s.source, s.offset + at, s.count - at};
            s.count = at;
            segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(k) + 1, std::move(owned));
            segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(k) + 2, std::move(tail));
            return;
        }
        start += s.count;
    }
    append(std::move(line));
}

std::size_t PaneContent::size() const {
    std::size_t n = 0;
    for (const auto& s : segments_) n += s.count;
    return n;
}

std::string PaneContent::line(std::size_t i) const {
    std::string out;
    for (const auto& s : segments_) {
        if (i < s.count) {
            s.appendLine(i, out);
            return out;
        }
        i -= s.count;
    }
    return out;
}

std::string PaneContent::linePrefix(std::size_t i, std::size_t maxBytes) const {
    std::string out;
    for (const auto& s : segments_) {
        if (i < s.count) {
            s.appendPrefix(i, out, maxBytes);
            return out;
        }
        i -= s.count;
    }
    return out;
}

common::StringList PaneContent::toStringList() const {
    common::StringList out;
    out.reserve(size());
    forEach([&](const std::string& l) { out.push_back(l); });
    return out;
}

}  // namespace analysis
