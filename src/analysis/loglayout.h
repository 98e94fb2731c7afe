// The line layouts that web hosts write, how a log's layout is told from its first lines, and the
// combined core of a line: the part that the field rules read.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace analysis {

class LineSource;

struct LogLayout {
    // A virtual host (%v or %v:%p) written before the client address.
    bool virtualHost = false;
    // Common format: the line ends after the byte count, with no referrer or user agent.
    bool common = false;
    // Fields after the user agent (or after the byte count of a common line): quoted or bare, any number.
    bool trailing = false;

    // The specified layout: every line is read whole, as it always was.
    bool plain() const { return !virtualHost && !common && !trailing; }
    // "combined", "common", "vhost-combined", "combined-extra", "vhost-common-extra", ...
    std::string name() const;
    // What the layout means for the panes, in the user's words (Shift-JIS).
    std::string description() const;

    // The part of line that the field rules read: from the client address on, without the virtual
    // host, up to the closing quote of the user agent (the byte count of a common line). A line that
    // does not fit the layout, and every line of the plain layout, is its own core.
    std::string_view core(std::string_view line) const;
    // The virtual host written before the client address (its :port left out); empty when the line has
    // none or does not fit.
    std::string_view virtualHostOf(std::string_view line) const;

    bool operator==(const LogLayout&) const = default;
};

// A layout by its name(), or "vhost" for vhost-combined; none for an unknown name.
std::optional<LogLayout> layoutNamed(std::string_view name);
// Every name layoutNamed takes, for help and messages: "combined|common|vhost|...".
std::string layoutNames();

// The layout that at least 95 % of the first `sample` non-blank lines agree on; combined otherwise.
LogLayout detectLayout(const LineSource& lines, std::size_t sample = 1000);

}  // namespace analysis
