// Finding text in a pane.
#include "app/linesearch.h"

#include <chrono>

#include "qtedge/qtext.h"

namespace {

bool isLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

bool isAscii(const QString& s) {
    for (QChar c : s)
        if (c.unicode() >= 0x80) return false;
    return true;
}

// A trail byte of a two-byte character can look like an ASCII letter or sign; a match must begin where a
// character begins. The rest of an ASCII match then holds only whole characters.
bool findAtCharStart(std::string_view hay, std::string_view needle) {
    std::size_t scan = 0;
    for (std::size_t pos = hay.find(needle); pos != std::string_view::npos; pos = hay.find(needle, pos + 1)) {
        while (scan < pos) scan += isLeadByte(static_cast<unsigned char>(hay[scan])) ? 2 : 1;
        if (scan == pos) return true;
    }
    return false;
}

}  // namespace

LineMatcher::LineMatcher(FindQuery query) : query_(std::move(query)) {
    if (query_.text.isEmpty()) return;
    if (query_.regex) {
        re_.setPattern(query_.text);
        if (!query_.caseSensitive) re_.setPatternOptions(QRegularExpression::CaseInsensitiveOption);
        if (!re_.isValid()) {
            error_ = re_.errorString();
            return;
        }
        re_.optimize();
    } else if (isAscii(query_.text)) {
        byteWise_ = true;
        needle_ = query_.text.toStdString();
        if (!query_.caseSensitive)
            for (char& c : needle_) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    usable_ = true;
}

bool LineMatcher::bytesMatch(std::string_view line) const {
    if (query_.caseSensitive) return findAtCharStart(line, needle_);
    thread_local std::string lower;
    lower.assign(line);
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return findAtCharStart(lower, needle_);
}

bool LineMatcher::matches(std::string_view cp932Line) const {
    if (!usable_) return false;
    if (byteWise_) return bytesMatch(cp932Line);
    return !findAll(toQString(cp932Line)).empty();
}

std::vector<TextMatch> LineMatcher::findAll(const QString& text) const {
    std::vector<TextMatch> out;
    if (!usable_) return out;
    if (query_.regex) {
        for (auto it = re_.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.capturedLength() > 0)
                out.push_back({static_cast<int>(m.capturedStart()), static_cast<int>(m.capturedLength())});
        }
        return out;
    }
    const Qt::CaseSensitivity cs = query_.caseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive;
    const auto n = query_.text.size();
    for (qsizetype at = text.indexOf(query_.text, 0, cs); at >= 0; at = text.indexOf(query_.text, at + n, cs))
        out.push_back({static_cast<int>(at), static_cast<int>(n)});
    return out;
}

LineSearch::LineSearch(analysis::PaneContent content, LineMatcher matcher, std::size_t origin,
                       std::function<void()> notify)
    : content_(std::move(content)), matcher_(std::move(matcher)), notify_(std::move(notify)) {
    thread_ = std::thread([this, origin] {
        run(origin);
        finished_ = true;
    });
}

LineSearch::~LineSearch() {
    cancel_ = true;
    if (thread_.joinable()) thread_.join();
}

void LineSearch::take(std::vector<std::uint32_t>& head, std::vector<std::uint32_t>& tail, bool& done) {
    std::lock_guard lock(mutex_);
    head.insert(head.end(), head_.begin(), head_.end());
    tail.insert(tail.end(), tail_.begin(), tail_.end());
    head_.clear();
    tail_.clear();
    done = done_;
}

void LineSearch::run(std::size_t origin) {
    using Clock = std::chrono::steady_clock;
    const std::size_t total = content_.size();
    if (origin > total) origin = total;
    std::vector<std::uint32_t> found;
    bool told = false;
    auto last = Clock::now();
    // Hands over what was found: at once for the first match, then every so often.
    auto flush = [&](std::vector<std::uint32_t>& into, bool force) {
        const auto now = Clock::now();
        if (found.empty() || (!force && now - last < std::chrono::milliseconds(100))) return;
        {
            std::lock_guard lock(mutex_);
            into.insert(into.end(), found.begin(), found.end());
        }
        found.clear();
        told = true;
        last = now;
        notify_();
    };
    auto scan = [&](std::size_t from, std::size_t to, std::vector<std::uint32_t>& into) {
        std::size_t n = 0;
        const bool whole = content_.forRange(from, to, [&](std::size_t i, const std::string& line) {
            if (cancel_.load(std::memory_order_relaxed)) return false;
            if (matcher_.matches(line)) {
                found.push_back(static_cast<std::uint32_t>(i));
                if (!told) flush(into, true);
            }
            if (++n % 4096 == 0) flush(into, false);
            return true;
        });
        if (whole) flush(into, true);
        return whole;
    };
    if (!scan(origin, total, tail_) || !scan(0, origin, head_)) return;
    {
        std::lock_guard lock(mutex_);
        done_ = true;
    }
    notify_();
}
