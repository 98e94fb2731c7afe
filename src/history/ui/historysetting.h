// Whether the window keeps every analysis in the history ("解析した日を履歴に残す", on unless
// turned off), and the recording the main window makes after each analysis.
#pragma once
#include <string>
#include <vector>

namespace analysis {
struct LogTally;
}

namespace history::ui {

// materia/HistorySetting.dat: one line, "0" for off; a missing file is on.
inline constexpr const char* kSettingFile = "HistorySetting.dat";
bool recordingOn();
// Saves the setting (AppError when the file cannot be written).
void setRecordingOn(bool on);

// Records the log at path, just analysed into tally, when the setting is on. Never throws: what
// went wrong or what the recording replaced comes back as messages (code page 932) to show.
std::vector<std::string> recordAnalysis(const std::string& path, const analysis::LogTally& tally);

}  // namespace history::ui
