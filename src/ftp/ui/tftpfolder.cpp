// The download dialog's work on the host's folder: the list to pick from and the last N days.
#include <atomic>
#include <chrono>

#include <QCheckBox>
#include <QDateTime>
#include <QLineEdit>
#include <QMessageBox>
#include <QSpinBox>
#include <QStatusBar>

#include "common/cp932.h"
#include "ftp/batchfetch.h"
#include "ftp/ftpsetting.h"
#include "ftp/namepattern.h"
#include "ftp/ui/remotepicker.h"
#include "ftp/ui/tftp.h"
#include "ftp/ui/transferprogress.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"

namespace {

std::chrono::sys_seconds now() { return std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()); }

void tell(QWidget* parent, const char* name, QMessageBox::Icon icon, const QString& text) {
    QMessageBox box(icon, applicationTitle(), text, QMessageBox::Ok, parent);
    box.setObjectName(name);
    box.setTextFormat(Qt::PlainText);  // server names and reasons as they are
    box.exec();
}

}  // namespace

void TFTP::handOn(const std::vector<std::string>& paths) {
    if (paths.empty()) return;
    if (SaveBox->isChecked()) SaveSetting();
    hide();
    if (analyseSeveral_) analyseSeveral_(paths);
    else if (analyse_) analyse_(paths.back());
}

void TFTP::ListButtonClick() {
    fillManager();
    const std::string dir = fromQStringStrict(DirectoryEdit->text());
    ftp::FolderListing folder;
    std::atomic<bool> stop{false};
    // One connection for the listing and the picks (the server may close it while the user picks:
    // then a new one is made).
    FtpManager1.BeginSession();
    struct EndSession {
        ftp::TFtpManager& m;
        ~EndSession() { m.EndSession(); }
    } endSession{FtpManager1};
    auto list = [&] {
        runUnderProgress(this, FtpManager1, QStringLiteral("一覧"), stop,
                         [&] { folder = ftp::listFolder(FtpManager1, dir, now()); });
    };
    list();
    if (askTrust(folder.result.transfer.key)) list();
    const ftp::TransferResult& got = folder.result.transfer;
    if (got.cancelled) return;
    if (!got.ok) {
        // A cut listing still shows what came, after saying it is not all.
        tell(this, "ListFailure", QMessageBox::Warning,
             QStringLiteral("一覧を取得できません: %1\n%2").arg(toQString(dir), toQString(got.reason)));
        if (!folder.result.cut || folder.entries.empty()) return;
    }
    RemotePicker picker(this, toQString(dir), folder.entries);
    if (picker.exec() != QDialog::Accepted) return;
    const std::vector<std::string> names = picker.picked();
    std::vector<std::string> fetched;
    QStringList failures;
    for (const std::string& name : names) {
        const std::string local = "logs/" + common::utf8FromCp932(name);
        ftp::TransferResult r;
        runUnderProgress(this, FtpManager1, toQString(ftp::shownName(name)), stop,
                         [&] { r = FtpManager1.GetFile(ftp::remoteJoin(dir, name), local, true); });
        if (r.cancelled || stop) break;
        if (r.ok) fetched.push_back(local);
        else failures << toQString(ftp::shownName(name)) + QStringLiteral(": ") + toQString(r.reason);
    }
    if (!failures.isEmpty())
        tell(this, "PickFailures", QMessageBox::Warning,
             QStringLiteral("%1 件を取得、%2 件は失敗しました。\n").arg(fetched.size()).arg(failures.size()) +
                 failures.join(QLatin1Char('\n')));
    if (stop) StatusBar->showMessage(QStringLiteral("取得を中止しました。取得済みのファイルはそのままです。"));
    handOn(fetched);
}

void TFTP::DaysButtonClick() {
    fillManager();
    const std::string dir = fromQStringStrict(DirectoryEdit->text());
    std::string pattern = fromQStringStrict(PatternEdit->text());
    if (pattern.empty()) pattern = ftp::kDefaultNamePattern;
    const QDateTime clock = QDateTime::currentDateTime();
    const QDate d = clock.date();
    const auto last = ftp::proposedDay(
        std::chrono::year_month_day{std::chrono::year(d.year()), std::chrono::month(unsigned(d.month())),
                                    std::chrono::day(unsigned(d.day()))},
        std::chrono::milliseconds(clock.time().msecsSinceStartOfDay()));
    ftp::expandPattern(pattern, last);  // a wrong pattern is said before anything is sent
    std::atomic<bool> stop{false};
    ftp::DaysResult result;
    auto fetch = [&] {
        runUnderProgress(this, FtpManager1, QStringLiteral("%1 日分を取得しています").arg(DaysBox->value()), stop,
                         [&] { result = ftp::fetchDays(FtpManager1, dir, pattern, last, DaysBox->value(), "logs", stop); });
    };
    fetch();
    if (askTrust(result.key)) fetch();
    std::vector<std::string> fetched;
    for (const auto& day : result.days)
        if (day.status == ftp::DayOutcome::Status::Fetched) fetched.push_back(day.localPath);
    const QString said = toQString(ftp::summary(result));
    if (result.failed() > 0 || result.key.status != ftp::ServerKey::Status::None || !result.listingNote.empty())
        tell(this, "DaysSummary", QMessageBox::Warning, said);
    StatusBar->showMessage(said.section(QLatin1Char('\n'), 0, 0));
    handOn(fetched);
}
