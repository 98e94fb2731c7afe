// The line layouts that web hosts write, how a log's layout is told from its first lines, and the
// combined core of a line: the part that the field rules read.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace analysis {

class LineSource;
class LogLine;

struct LogLayout {
    // A virtual host (%v or %v:%p) written before the client address.
    bool virtualHost = false;
    // Common format: the line ends after the byte count, with no referrer or user agent.
    bool common = false;
    // Fields after the user agent (or after the byte count of a common line): quoted or bare, any number.
    bool trailing = false;

    // The visitor behind a proxy or CDN: the first valid address of a trailing X-Forwarded-For field
    // is the line's host, where a line has one (an option, not part of the layout's name).
    bool clientFromForwarded = false;

    // The specified layout: every line is read whole, as it always was.
    bool plain() const { return !virtualHost && !common && !trailing && !clientFromForwarded; }
    // Whether cut() ever gives other than the whole line and its first field.
    bool cuts() const { return virtualHost || common || trailing || clientFromForwarded; }
    // "combined", "common", "vhost-combined", "combined-extra", "vhost-common-extra", ...
    std::string name() const;
    // What the layout means for the panes, in the user's words (Shift-JIS).
    std::string description() const;

    // What the layout reads of one line, as views into it.
    struct Cut {
        // The part that the field rules read: from the client address on, without the virtual host,
        // up to the closing quote of the user agent (the byte count of a common line). A line that
        // does not fit the layout, and every line of a layout that cuts nothing, is its own core.
        std::string_view core;
        // The virtual host written before the client address, its :port left out; empty when none.
        std::string_view virtualHost;
        // The host of the line: the core's first field, or the forwarded client where that is asked for.
        std::string_view host;
        // A line of a common log: it has no referrer and no user agent to read.
        bool noFields = false;
        // The core's time field (ExtractTime of it) where cutting found it already; empty otherwise.
        std::string_view time = {};
    };
    Cut cut(std::string_view line) const;
    // The same, leaving l holding the core scanned (the pass reads its fields from there).
    Cut cut(std::string_view line, LogLine& l) const;
    std::string_view core(std::string_view line) const { return cut(line).core; }

    bool operator==(const LogLayout&) const = default;
    bool sameLayout(const LogLayout& o) const {
        return virtualHost == o.virtualHost && common == o.common && trailing == o.trailing;
    }
};

// A layout by its name(), or "vhost" for vhost-combined; none for an unknown name.
std::optional<LogLayout> layoutNamed(std::string_view name);
// Every name layoutNamed takes, for help and messages: "combined|common|vhost|...".
std::string layoutNames();

// The layout that at least 95 % of the first `sample` non-blank lines agree on; combined otherwise.
LogLayout detectLayout(const LineSource& lines, std::size_t sample = 1000);

}  // namespace analysis
