// Whether the window keeps every analysis in the history ("解析した日を履歴に残す", on unless
// turned off), and the recording the main window makes after each analysis.
#pragma once
#include <string>
#include <vector>

namespace analysis {
struct LogTally;
struct ReferenceLists;
}

namespace history::ui {

// materia/HistorySetting.dat: one line, "0" for off; a missing file is on.
inline constexpr const char* kSettingFile = "HistorySetting.dat";
bool recordingOn();
// Saves the setting (AppError when the file cannot be written).
void setRecordingOn(bool on);

// What a recording has to say (code page 932): warnings for the user to read now (the recording
// failed, a damaged history was moved aside), and notes on what it did (shares replaced).
struct RecordingReport {
    std::vector<std::string> warnings, notes;
};
// Records the log at path, just analysed into tally with lists, when the setting is on. Never throws.
RecordingReport recordAnalysis(const std::string& path, const analysis::LogTally& tally,
                               const analysis::ReferenceLists& lists);
// The same with the lists of the program's materia/, as the analysis reads them.
RecordingReport recordAnalysis(const std::string& path, const analysis::LogTally& tally);

}  // namespace history::ui
