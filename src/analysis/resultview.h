// The window an analysis writes into. The pass never touches a widget: the main window implements
// this with widgets, the CLI with files, tests with a recorder. Panes, boxes and charts are named by
// the component names of the main window ("Memo8", "Edit34", "Image1").
#pragma once
#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "analysis/lines.h"

namespace analysis {

struct LogTally;
class Rankings;

class ResultView {
public:
    virtual ~ResultView() = default;

    // Result panes.
    virtual void clearPane(std::string_view name) = 0;
    virtual void appendLines(std::string_view name, Lines lines) = 0;
    virtual void appendLine(std::string_view name, std::string line) = 0;
    virtual void replacePane(std::string_view name, Lines lines) = 0;
    virtual void insertLine(std::string_view name, std::size_t index, std::string line) = 0;

    // Summary boxes.
    virtual void setBox(std::string_view name, std::string text) = 0;

    // The transfer unit selector "byteName": index of the selected item (-1 none), and the
    // program-wide memory of the unit the transfer box was last written in (5: never written).
    virtual int selectedUnit() const = 0;
    virtual int lastByteName() const = 0;
    virtual void setLastByteName(int unit) = 0;

    // Progress window.
    virtual void showProgress() = 0;
    virtual void hideProgress() = 0;
    virtual void progressMessage(std::string message) = 0;
    virtual void progressRange(std::size_t maximum) = 0;      // position 0
    virtual void progressPosition(std::size_t position) = 0;  // called now and then during the pass

    // Hourly charts: the empty background, then the 24 bars against the total.
    virtual void chartBackground(std::string_view image) = 0;
    virtual void chartBars(std::string_view image, const std::array<std::int64_t, 24>& counts, std::int64_t total) = 0;

    // The pass ran to its end with this result (before the output step).
    virtual void tallied(const LogTally&) {}

    // The rankings of the lines passed: null at the start of an analysis, then once after the pass,
    // also when a line stopped it (then they hold the lines before that one).
    virtual void rankingsReady(std::shared_ptr<const Rankings>) {}
    // The layout the log is read by, as soon as the log is loaded; detected: told from its lines
    // rather than chosen.
    virtual void layoutRead(const LogLayout& /*layout*/, bool /*detected*/) {}
    // The lines the pass left out as unreadable ("N: line", N the line's number in the file), after
    // the pass; only when it was asked to go on past them.
    virtual void linesSkipped(std::shared_ptr<const SkippedLines> /*skipped*/) {}
    // The pass stopped at line index of the log, which the pane "NamaLog" now holds; lineNumber is
    // that line's 1-based number in the text as loaded. The error follows.
    virtual void stoppedAt(std::size_t /*index*/, std::size_t /*lineNumber*/) {}
    // A zero byte in line lineNumber (1-based) ended the log's text: what follows was not read. Told
    // once the log is loaded, beside the progress messages, never in a pane or box.
    virtual void stoppedAtZeroByte(std::size_t /*lineNumber*/) {}
};

}  // namespace analysis
