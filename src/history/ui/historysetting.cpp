// The recording setting and the main window's recording of an analysis.
#include "history/ui/historysetting.h"

#include <new>

#include "common/apperror.h"
#include "common/fileio.h"
#include "common/programdir.h"
#include "analysis/logcounting.h"
#include "history/recording.h"
#include "history/store.h"

namespace history::ui {

bool recordingOn() {
    try {
        const std::string text = common::readWholeFile(common::materiaFile(kSettingFile));
        return !(text.starts_with("0"));
    } catch (const std::exception&) {
        return true;
    }
}

void setRecordingOn(bool on) { common::writeFileAtomic(common::materiaFile(kSettingFile), on ? "1\r\n" : "0\r\n"); }

std::vector<std::string> recordAnalysis(const std::string& path, const analysis::LogTally& tally) {
    if (!recordingOn()) return {};
    try {
        Store store(Store::defaultPath());
        std::vector<std::string> messages = store.openNotes();
        const Recording r = recordLog(store, path, tally.logLines, &tally, {}, analysis::passThreads(0));
        messages.insert(messages.end(), r.result.notes.begin(), r.result.notes.end());
        return messages;
    } catch (const std::bad_alloc&) {
        return {common::msg::outOfMemory()};
    } catch (const std::exception& e) {
        return {e.what()};
    }
}

}  // namespace history::ui
