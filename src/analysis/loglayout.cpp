// Line layouts: detection and the combined core of a line.
#include "analysis/loglayout.h"

#include "analysis/lines.h"

namespace analysis {

std::string LogLayout::name() const { return "combined"; }
std::string LogLayout::description() const { return "combined"; }
std::string_view LogLayout::core(std::string_view line) const { return line; }
std::string_view LogLayout::virtualHostOf(std::string_view) const { return {}; }
std::optional<LogLayout> layoutNamed(std::string_view name) {
    if (name == "combined") return LogLayout{};
    return std::nullopt;
}
std::string layoutNames() { return "combined"; }
LogLayout detectLayout(const LineSource&, std::size_t) { return {}; }

}  // namespace analysis
