// The main window's commands: opening a log, the other windows, the amount's unit, the history.
#include <vector>

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QStatusBar>
#include <QTimer>

#include "analysis/report.h"
#include "analysis/resultlayout.h"
#include "app/rankingwindow.h"
#include "app/showwindow.h"
#include "app/tform1.h"
#include "common/apperror.h"
#include "history/ui/historysetting.h"
#include "history/ui/historywindow.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"

void TForm1::OpenO1Click() {
    QFileDialog dialog(this, QStringLiteral("ファイルを開く"), QDir(QStringLiteral("logs")).absolutePath(),
                       QStringLiteral("Apacheログファイル (*)"));
    dialog.setObjectName("OpenDialog1");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted) return;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty()) return;
    const std::string path = pathFromQString(files.first());
    runCommand(this, [&] { LogCounting(path); });
}

void TForm1::FTP1Click() { showWindow(windows_.ftp); }
void TForm1::ExitE1Click() { close(); }
void TForm1::N3Click() { showWindow(windows_.domein); }
void TForm1::UTF81Click() { showWindow(windows_.utf); }
void TForm1::N1Click() { showWindow(windows_.versionInfo); }

void TForm1::RankingClick() {
    if (!rankingWindow_) {
        rankingWindow_ = new RankingWindow(this);
        rankingWindow_->setRankings(rankings_);
        watchRankingWindow();
    }
    showWindow(rankingWindow_);
}

void TForm1::HistoryClick() {
    if (!historyWindow_) historyWindow_ = new history::ui::HistoryWindow(this);
    showWindow(historyWindow_);
}

void TForm1::tallied(const analysis::LogTally& tally) {
    const history::ui::RecordingReport said =
        recorded_ ? *recorded_ : history::ui::recordAnalysis(record_.logPath(), tally);
    recorded_.reset();
    // Said once the analysis has shown its result: it never waits for the user.
    QTimer::singleShot(0, this, [this, said] {
        std::vector<std::string> all = said.warnings;
        all.insert(all.end(), said.notes.begin(), said.notes.end());
        if (historyWindow_ && historyWindow_->isVisible()) {
            runCommand(historyWindow_, [this] { historyWindow_->refresh(); });
            historyWindow_->showNotes(all);
        }
        if (!said.notes.empty()) statusBar()->showMessage(toQString(said.notes.front()), 15000);
        if (!said.warnings.empty()) {
            QStringList lines;
            for (const auto& n : said.warnings) lines << toQString(common::withPeriod(n));
            QMessageBox::warning(this, windowTitle(), lines.join(QLatin1Char('\n')));
        }
    });
}

void TForm1::rankingsReady(std::shared_ptr<const analysis::Rankings> rankings) {
    rankings_ = std::move(rankings);
    if (rankingWindow_) rankingWindow_->setRankings(rankings_);
}

void TForm1::byteNameChange() {
    runCommand(this, [this] {
        QLineEdit* amount = box(analysis::boxFor(analysis::BoxValue::Transfer));
        const analysis::UnitChange change = analysis::byteNameChange(fromQString(amount->text()), lastByteName_,
                                                                     byteName->currentIndex());
        if (change.text) {
            showInBox(amount, toQString(*change.text));
            record_.unitChanged(*change.text, change.lastByteName);
        }
        lastByteName_ = change.lastByteName;
    });
}
