// How the window reads logs: the layout chosen in 設定 > ログの形式 and the reading options, kept in
// materia/LogFormat.ini as "key=value" lines.
#pragma once
#include <optional>
#include <string>

#include "analysis/loglayout.h"

namespace analysis {

struct ReadSettings {
    std::optional<LogLayout> layout;  // none: told from each log's first lines
    bool skipBadLines = false;
    bool clientFromForwarded = false;
};

inline constexpr const char* kReadSettingsFile = "LogFormat.ini";

// The settings in the file at path; a missing file or an unknown value gives the defaults for it.
ReadSettings loadReadSettings(const std::string& path);
// Writes the settings into the file at path atomically. Lines of other keys are kept, and the file
// is read again first, so that what another running copy of the program saved there stays.
void saveReadSettings(const std::string& path, const ReadSettings& settings);

}  // namespace analysis
