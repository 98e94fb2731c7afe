// The FTP download dialog.
#include "ftp/ui/tftp.h"

#include <chrono>

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"
#include "common/cp932.h"
#include "common/programdir.h"
#include "ftp/ftpsetting.h"

namespace {

QLineEdit* labelledEdit(QWidget* group, const char* name, const QString& label, int top) {
    auto* caption = new QLabel(label, group);
    caption->setGeometry(16, top + 3, 68, 16);
    auto* edit = new QLineEdit(group);
    edit->setObjectName(name);
    edit->setGeometry(88, top, 209, 21);
    caption->setBuddy(edit);
    return edit;
}

// The cursor says "busy" while the download holds the program; restored on every way out.
class BusyCursor {
public:
    BusyCursor() {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        // Let the new cursor and pending paints reach the screen; user input waits until the end.
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

TFTP::TFTP(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
    setObjectName("FTP");
    setWindowTitle(QStringLiteral("FTPマネージャ"));

    GroupBox1 = new QGroupBox(QStringLiteral("接続設定"), this);
    GroupBox1->setObjectName("GroupBox1");
    GroupBox1->setGeometry(27, 8, 313, 145);
    DomeinEdit = labelledEdit(GroupBox1, "DomeinEdit", QStringLiteral("ドメイン"), 20);
    AcountEdit = labelledEdit(GroupBox1, "AcountEdit", QStringLiteral("アカウント"), 46);
    PassEdit = labelledEdit(GroupBox1, "PassEdit", QStringLiteral("パスワード"), 72);
    PassEdit->setEchoMode(QLineEdit::Password);
    PassEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));   // "*"
    DirectoryEdit = labelledEdit(GroupBox1, "DirectoryEdit", QStringLiteral("ディレクトリ"), 98);
    SaveBox = new QCheckBox(QStringLiteral("入力情報を保存"), GroupBox1);
    SaveBox->setObjectName("SaveBox");
    SaveBox->setGeometry(193, 123, 110, 17);

    GroupBox2 = new QGroupBox(QStringLiteral("ファイル設定"), this);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setGeometry(27, 160, 313, 57);
    FileNameEdit = labelledEdit(GroupBox2, "FileNameEdit", QStringLiteral("ファイル名"), 22);

    RunButton = new QPushButton(QStringLiteral("接続(&C)"), this);
    RunButton->setObjectName("RunButton");
    RunButton->setGeometry(265, 224, 75, 25);

    setTabOrder(DomeinEdit, AcountEdit);
    setTabOrder(AcountEdit, PassEdit);
    setTabOrder(PassEdit, DirectoryEdit);
    setTabOrder(DirectoryEdit, SaveBox);
    setTabOrder(SaveBox, FileNameEdit);
    setTabOrder(FileNameEdit, RunButton);

    setFixedSize(368, 254);
    move(316, 309);

    connect(RunButton, &QPushButton::clicked, this, [this] { runCommand(this, [this] { RunButtonClick(); }); });
}

std::string TFTP::DateFormat(const QDateTime& now) {
    // Date and time come from one reading of the clock, so a click at midnight cannot pair
    // today's time with yesterday's date.
    const QDate d = now.date();
    const std::chrono::year_month_day date{std::chrono::year(d.year()), std::chrono::month(unsigned(d.month())),
                                           std::chrono::day(unsigned(d.day()))};
    return ftp::logDate(date, std::chrono::milliseconds(now.time().msecsSinceStartOfDay()));
}

void TFTP::FormCreate() {
    FileNameEdit->setText(QStringLiteral("access_log_") + QString::fromStdString(DateFormat(QDateTime::currentDateTime())));
    LoadSetting();
}

void TFTP::LoadSetting() {
    const common::StringList lines = ftp::loadFtpSetting(common::materiaFile(ftp::kFtpSetting));
    // Field by field, so the lines a short file has are in place before the missing one is reported.
    QLineEdit* const fields[] = {DomeinEdit, AcountEdit, PassEdit, DirectoryEdit};
    for (std::size_t i = 0; i < 4; ++i) fields[i]->setText(toQString(ftp::settingLine(lines, i)));
}

void TFTP::SaveSetting() {
    ftp::saveFtpSetting(common::materiaFile(ftp::kFtpSetting), {fromQStringStrict(DomeinEdit->text()), fromQStringStrict(AcountEdit->text()),
                                           fromQStringStrict(PassEdit->text()), fromQStringStrict(DirectoryEdit->text())});
}

ftp::TransferResult TFTP::DownLoad() {
    // A character without a Shift-JIS form is refused here, before anything is sent.
    FtpManager1.setServerName(fromQStringStrict(DomeinEdit->text()));
    FtpManager1.setUserName(fromQStringStrict(AcountEdit->text()));
    FtpManager1.setPassWord(fromQStringStrict(PassEdit->text()));
    // The directory goes in front of the name as typed: "dir/" + name, or the name alone.
    const std::string remotePath = fromQStringStrict(DirectoryEdit->text()) + fromQStringStrict(FileNameEdit->text());
    // Locally the name is stored as the file system spells names (UTF-8).
    DownLoadPath_ = "logs/" + pathFromQString(FileNameEdit->text());
    const BusyCursor busy;
    return FtpManager1.GetFile(remotePath, DownLoadPath_, false);
}

void TFTP::RunButtonClick() {
    // A path in the name would fetch or write outside logs/; nothing is contacted or written.
    if (!ftp::isPlainFileName(pathFromQString(FileNameEdit->text()))) {
        static const std::string reason =
            common::cp932(u8"ファイル名には名前だけを入れてください（空欄、\".\"、\"..\"、\"/\" や \"\\\" を含む名前は使えません）");
        showFailure(reason);
        return;
    }
    // Success is this transfer's own result: an older file of the same name in logs/ is no proof.
    const ftp::TransferResult result = DownLoad();
    if (!result.ok) {
        showFailure(result.reason);
        return;
    }
    if (SaveBox->isChecked()) SaveSetting();
    hide();
    if (analyse_) analyse_(DownLoadPath_);
}

void TFTP::showFailure(const std::string& reason) {
    // The message breaks its two lines with a lone CR; the box breaks at LF.
    static const QString text =
        QStringLiteral("ダウンロードに失敗しました。\r接続設定、ファイル名設定を見直してください。").replace('\r', '\n');
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, this);
    box.setObjectName("DownLoadFailure");
    if (!reason.empty()) box.setDetailedText(toQString(reason));
    box.exec();
}
