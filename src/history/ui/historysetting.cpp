// The recording setting and the main window's recording of an analysis.
#include "history/ui/historysetting.h"

#include <new>

#include "analysis/logcounting.h"
#include "common/apperror.h"
#include "common/fileio.h"
#include "common/programdir.h"
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

RecordingReport recordAnalysis(const std::string& path, const analysis::LogTally& tally,
                               const analysis::ReferenceLists& lists) {
    RecordingReport report;
    if (!recordingOn()) return report;
    try {
        Store store(Store::defaultPath());
        report.warnings = store.openNotes();
        const Recording r = recordSplit(store, splitLog(path, tally.logLines, &tally, lists, analysis::passThreads(0)));
        report.notes = r.result.notes;
    } catch (const std::bad_alloc&) {
        report.warnings.push_back(common::msg::outOfMemory());
    } catch (const std::exception& e) {
        report.warnings.push_back(e.what());
    }
    return report;
}

RecordingReport recordAnalysis(const std::string& path, const analysis::LogTally& tally) {
    if (!recordingOn()) return {};
    try {
        return recordAnalysis(path, tally, *loadReferenceLists({}));
    } catch (const std::bad_alloc&) {
        return RecordingReport{{common::msg::outOfMemory()}, {}};
    } catch (const std::exception& e) {
        return RecordingReport{{e.what()}, {}};
    }
}

}  // namespace history::ui
