// What the panes, boxes and progress window show: header texts, the output step, the transfer amount.
#pragma once
#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/logtally.h"
#include "analysis/panecontent.h"
#include "analysis/resultlayout.h"
#include "analysis/resultview.h"
#include "common/stringlist.h"

namespace analysis {

// Transfer units, the items of "byteName": byte, Kb, Mb, Gb.
inline constexpr std::array<std::string_view, 4> kUnits = {"byte", "Kb", "Mb", "Gb"};
inline constexpr int kNoAmountYet = 5;  // LastByteName before any amount was shown

// Progress messages and header lines (code page 932).
namespace text {
const std::string& dashLine();
std::string progress(int step, std::string_view path = {});  // step 1 to 13 of the progress table
}  // namespace text

// Empties the panes an analysis starts with (not NamaLog, POST404Memo, POST403Memo).
void MemoFree(ResultView& view);

// Header block of a reference-list pane: "CheckDomeinMemo", "ReferrerList" or "RobotsLog".
void writeListHeader(ResultView& view, std::string_view pane, const common::StringList& list);

// The number a box shows for a count of the tally (not for File, RequestsPerHost or Transfer).
std::int64_t boxCount(const LogTally& tally, BoxValue value);

// Fills every pane and box from the tally (the pass's own five panes are already filled).
void outputStep(ResultView& view, const LogTally& tally);

// Inserts the pane headers at the top of the nine panes that carry them.
void MessageToMemo(ResultView& view);

// The header a pane holds at its top, for readers that want the lines alone: the title, list block
// and dash line decorate it; the column lines just above the dash line name its columns
// ("[Time] Host /File"). A pane whose header was not written (an analysis that stopped early) has none.
struct PaneHeader {
    std::size_t lines = 0;    // the header's lines, the dash line included
    std::size_t columns = 0;  // of them, the column lines just before the dash line
};
PaneHeader paneHeader(std::string_view pane, const PaneContent& content);

// The transfer amount as the box shows it: 15 significant digits, shortest form.
std::string numberText(double value);
// bytesSent shown in unit 0 to 3.
std::string transferText(double bytes, int unit);

// A change of the unit selection: the new text of the transfer box (none: unchanged) and the new
// value of LastByteName. Throws "'%s' は浮動小数点数ではありません" for a box that holds no number.
struct UnitChange {
    std::optional<std::string> text;
    int lastByteName;
};
UnitChange byteNameChange(std::string_view boxText, int lastByteName, int selected);

}  // namespace analysis
