// Several fetched logs into the history.
#include "app/fetchedlogs.h"

#include <QMessageBox>
#include <QStringList>

#include "analysis/logfile.h"
#include "analysis/logcounting.h"
#include "app/tform1.h"
#include "common/apperror.h"
#include "history/recording.h"
#include "history/store.h"
#include "history/ui/historysetting.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"

void analyseFetched(TForm1& form, const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    QStringList problems;
    // The shown one records itself when the setting is on; the others (and it, when off) here.
    const bool shownRecords = history::ui::recordingOn();
    const std::size_t toRecord = shownRecords ? paths.size() - 1 : paths.size();
    if (toRecord > 0) {
        try {
            history::Store store(history::Store::defaultPath());
            for (const auto& note : store.openNotes()) problems << toQString(note);
            for (std::size_t i = 0; i < toRecord; ++i) {
                try {
                    const auto log = analysis::loadLog(paths[i], analysis::passThreads(0));
                    const history::Recording r =
                        history::recordLog(store, paths[i], log, nullptr, {}, analysis::passThreads(0));
                    // Lines left out (no readable date) are worth a word too.
                    for (const auto& note : r.result.notes)
                        problems << QString::fromStdString(paths[i]) + QStringLiteral(": ") + toQString(note);
                } catch (const std::exception& e) {
                    problems << QString::fromStdString(paths[i]) + QStringLiteral(": ") + toQString(e.what());
                }
            }
        } catch (const std::exception& e) {
            problems << toQString(e.what());
        }
    }
    runCommand(&form, [&] { form.LogCounting(paths.back()); });
    if (!problems.isEmpty()) {
        QMessageBox box(QMessageBox::Warning, applicationTitle(),
                        QStringLiteral("履歴に残せなかったものがあります。\n") + problems.join(QLatin1Char('\n')),
                        QMessageBox::Ok, &form);
        box.setObjectName("FetchedRecordingProblems");
        box.setTextFormat(Qt::PlainText);
        box.exec();
    }
}
