// The FTP download dialog.
#include "ftp/ui/tftp.h"

#include <chrono>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "common/cp932.h"
#include "common/programdir.h"
#include "ftp/ftpsetting.h"
#include "ftp/keyring/ftppassword.h"
#include "ftp/serverkey.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"
#include "qtedge/windowkeys.h"

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

// The window a download runs under: the bytes received so far and a button that stops it. It is
// application-modal, so the rest of the program takes no input meanwhile, but it repaints.
class DownLoadProgress : public QDialog {
public:
    DownLoadProgress(QWidget* parent, ftp::Download& download, const QString& name)
        : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
          download_(download) {
        setObjectName("DownLoadProgress");
        setWindowTitle(QStringLiteral("ダウンロード中"));
        setWindowModality(Qt::ApplicationModal);
        auto* layout = new QVBoxLayout(this);
        auto* file = new QLabel(name, this);
        file->setTextFormat(Qt::PlainText);
        layout->addWidget(file);
        bytes_ = new QLabel(this);
        bytes_->setObjectName("ReceivedLabel");
        layout->addWidget(bytes_);
        stop_ = new QPushButton(QStringLiteral("中止"), this);
        stop_->setObjectName("CancelButton");
        layout->addWidget(stop_, 0, Qt::AlignRight);
        connect(stop_, &QPushButton::clicked, this, &DownLoadProgress::reject);
        connect(&poll_, &QTimer::timeout, this, &DownLoadProgress::update);
        poll_.start(50);
        update();
    }
    // Escape, the close button and 中止 all stop the download; the window goes when it has ended.
    void reject() override {
        download_.cancel();
        stop_->setEnabled(false);
        bytes_->setText(QStringLiteral("中止しています…"));
    }

private:
    void update() {
        if (download_.finished()) {
            poll_.stop();
            accept();
            return;
        }
        if (stop_->isEnabled())
            bytes_->setText(QStringLiteral("受信済み %1 バイト").arg(QLocale::system().toString(download_.received())));
    }

    ftp::Download& download_;
    QLabel* bytes_;
    QPushButton* stop_;
    QTimer poll_;
};

// The download on a thread of its own; a quick one is over before its window would flash up.
ftp::TransferResult runDownload(QWidget* parent, ftp::TFtpManager& manager, const std::string& remotePath,
                                const std::string& localPath, const QString& name) {
    ftp::Download download(manager, remotePath, localPath, false);
    for (int i = 0; i < 20 && !download.finished(); ++i) QThread::msleep(10);
    if (!download.finished()) {
        DownLoadProgress window(parent, download, name);
        window.exec();
    }
    return download.result();
}

// The keyring did not take the password: it went into the settings file as before.
void keyringFailure(QWidget* parent, const std::string& reason) {
    QMessageBox box(QMessageBox::Warning, applicationTitle(),
                    QStringLiteral("パスワードをキーリングに保存できませんでした。\n"
                                   "パスワードはこれまでどおり FTPSetting.dat に保存しました。"),
                    QMessageBox::Ok, parent);
    box.setObjectName("KeyringFailure");
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(toQString(reason));
    box.exec();
}

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
    PassEdit->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));  // "*"
    DirectoryEdit = labelledEdit(GroupBox1, "DirectoryEdit", QStringLiteral("ディレクトリ"), 98);
    SaveBox = new QCheckBox(QStringLiteral("入力情報を保存"), GroupBox1);
    SaveBox->setObjectName("SaveBox");
    SaveBox->setGeometry(193, 123, 110, 17);
    KeyringBox = new QCheckBox(QStringLiteral("パスワードをキーリングに保存"), GroupBox1);
    KeyringBox->setObjectName("KeyringBox");
    KeyringBox->setGeometry(8, 123, 183, 17);

    GroupBox2 = new QGroupBox(QStringLiteral("ファイル設定"), this);
    GroupBox2->setObjectName("GroupBox2");
    GroupBox2->setGeometry(27, 160, 313, 57);
    FileNameEdit = labelledEdit(GroupBox2, "FileNameEdit", QStringLiteral("ファイル名"), 22);

    GroupBox3 = new QGroupBox(QStringLiteral("接続方式"), this);
    GroupBox3->setObjectName("GroupBox3");
    GroupBox3->setGeometry(27, 224, 313, 76);
    auto* protocolLabel = new QLabel(QStringLiteral("接続方式"), GroupBox3);
    protocolLabel->setGeometry(16, 23, 68, 16);
    ProtocolBox = new QComboBox(GroupBox3);
    ProtocolBox->setObjectName("ProtocolBox");
    ProtocolBox->addItems({QStringLiteral("FTP"), QStringLiteral("FTPS (明示的TLS)"), QStringLiteral("SFTP")});
    ProtocolBox->setGeometry(88, 20, 209, 21);
    protocolLabel->setBuddy(ProtocolBox);
    PortEdit = labelledEdit(GroupBox3, "PortEdit", QStringLiteral("ポート"), 46);
    PortEdit->setGeometry(88, 46, 60, 21);
    PortEdit->setMaxLength(5);
    PassiveBox = new QCheckBox(QStringLiteral("パッシブモード"), GroupBox3);
    PassiveBox->setObjectName("PassiveBox");
    PassiveBox->setGeometry(160, 48, 137, 17);

    RunButton = new QPushButton(QStringLiteral("接続(&C)"), this);
    RunButton->setObjectName("RunButton");
    RunButton->setGeometry(265, 307, 75, 25);
    ForgetKeyButton = new QPushButton(QStringLiteral("記憶した鍵を消去(&K)"), this);
    ForgetKeyButton->setObjectName("ForgetKeyButton");
    ForgetKeyButton->setGeometry(27, 307, 150, 25);

    setTabOrder(DomeinEdit, AcountEdit);
    setTabOrder(AcountEdit, PassEdit);
    setTabOrder(PassEdit, DirectoryEdit);
    setTabOrder(DirectoryEdit, SaveBox);
    setTabOrder(SaveBox, FileNameEdit);
    setTabOrder(FileNameEdit, RunButton);
    setTabOrder(RunButton, ProtocolBox);
    setTabOrder(ProtocolBox, PortEdit);
    setTabOrder(PortEdit, PassiveBox);
    setTabOrder(PassiveBox, ForgetKeyButton);
    setTabOrder(ForgetKeyButton, KeyringBox);

    setFixedSize(368, 337);
    move(316, 309);
    closeWithKeys(this, false);  // it opens at every start: Esc puts it away

    // The trusted server keys are kept beside the settings.
    const std::string pins = common::materiaFile(ftp::kPinFile);
    FtpManager1.setKeyDir(pins.substr(0, pins.rfind('/')));

    connect(RunButton, &QPushButton::clicked, this, [this] { runCommand(this, [this] { RunButtonClick(); }); });
    connect(ForgetKeyButton, &QPushButton::clicked, this,
            [this] { runCommand(this, [this] { ForgetKeyButtonClick(); }); });
    connect(ProtocolBox, &QComboBox::currentIndexChanged, this, [this] { protocolChanged(); });
    protocolChanged();
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
    FileNameEdit->setText(QStringLiteral("access_log_") +
                          QString::fromStdString(DateFormat(QDateTime::currentDateTime())));
    // What a program killed during a download left behind.
    ftp::removeStalePartFiles("logs");
    LoadSetting();
}

void TFTP::LoadSetting() {
    const common::StringList lines = ftp::loadFtpSetting(common::materiaFile(ftp::kFtpSetting));
    // Field by field, so the lines a short file has are in place before the missing one is reported.
    QLineEdit* const fields[] = {DomeinEdit, AcountEdit, PassEdit, DirectoryEdit};
    for (std::size_t i = 0; i < 4; ++i) fields[i]->setText(toQString(ftp::settingLine(lines, i)));
    const ftp::TransferWay way = ftp::transferWay(lines);
    ProtocolBox->setCurrentIndex(static_cast<int>(way.protocol));
    PortEdit->setText(toQString(way.port));
    if (way.protocol == ftp::Protocol::Ftp) PassiveBox->setChecked(way.passive);
    // Last, so that a keyring that does not answer leaves every other field filled.
    KeyringBox->setChecked(keyring::keyringChosen(common::materiaFile(keyring::kPasswordPlace)));
    PassEdit->setText(toQString(
        keyring::loadPassword(KeyringBox->isChecked(), lines[0], lines[1], ftp::settingLine(lines, 2))));
}

void TFTP::SaveSetting() {
    const ftp::TransferWay way{protocol(), fromQString(PortEdit->text()),
                               protocol() == ftp::Protocol::Ftp && PassiveBox->isChecked()};
    const std::string server = fromQStringStrict(DomeinEdit->text()), account = fromQStringStrict(AcountEdit->text());
    const keyring::PasswordLine password =
        keyring::placePassword(common::materiaFile(keyring::kPasswordPlace), KeyringBox->isChecked(), server,
                               account, fromQStringStrict(PassEdit->text()));
    ftp::saveFtpSetting(
        common::materiaFile(ftp::kFtpSetting),
        ftp::withTransferWay({server, account, password.line, fromQStringStrict(DirectoryEdit->text())}, way));
    if (!password.warning.empty()) keyringFailure(this, password.warning);
}

ftp::Protocol TFTP::protocol() const { return static_cast<ftp::Protocol>(std::max(0, ProtocolBox->currentIndex())); }

void TFTP::protocolChanged() {
    // FTPS is always passive, SFTP has no such choice; the port's placeholder shows the default.
    const ftp::Protocol p = protocol();
    PassiveBox->setEnabled(p == ftp::Protocol::Ftp);
    if (p != ftp::Protocol::Ftp) PassiveBox->setChecked(p == ftp::Protocol::Ftps);
    PortEdit->setPlaceholderText(QString::number(ftp::defaultPort(p)));
    ForgetKeyButton->setEnabled(p != ftp::Protocol::Ftp);
}

void TFTP::ForgetKeyButtonClick() {
    const std::string server = fromQStringStrict(DomeinEdit->text());
    const int port = ftp::portNumber(fromQString(PortEdit->text()), protocol());
    const bool forgotten = protocol() == ftp::Protocol::Sftp ? ftp::forgetHostKey(FtpManager1.keyDir(), server, port)
                                                             : ftp::forgetPin(FtpManager1.keyDir(), server, port);
    QMessageBox box(QMessageBox::Information, applicationTitle(),
                    forgotten ? QStringLiteral("記憶していた鍵を消去しました。次の接続で改めて確認します。")
                              : QStringLiteral("このサーバーの鍵は記憶していません。"),
                    QMessageBox::Ok, this);
    box.setObjectName("ForgetKeyResult");
    box.exec();
}

ftp::TransferResult TFTP::DownLoad() {
    // A character without a Shift-JIS form is refused here, before anything is sent.
    FtpManager1.setServerName(fromQStringStrict(DomeinEdit->text()));
    FtpManager1.setUserName(fromQStringStrict(AcountEdit->text()));
    FtpManager1.setPassWord(fromQStringStrict(PassEdit->text()));
    FtpManager1.setProtocol(protocol());
    FtpManager1.setPort(ftp::portNumber(fromQString(PortEdit->text()), protocol()));
    FtpManager1.setPassive(PassiveBox->isChecked());
    // The directory goes in front of the name as typed: "dir/" + name, or the name alone.
    const std::string remotePath = fromQStringStrict(DirectoryEdit->text()) + fromQStringStrict(FileNameEdit->text());
    // Locally the name is stored as the file system spells names (UTF-8).
    DownLoadPath_ = "logs/" + pathFromQString(FileNameEdit->text());
    return runDownload(this, FtpManager1, remotePath, DownLoadPath_, FileNameEdit->text());
}

void TFTP::RunButtonClick() {
    // A path in the name would fetch or write outside logs/; nothing is contacted or written.
    if (!ftp::isPlainFileName(pathFromQString(FileNameEdit->text()))) {
        static const std::string reason = common::cp932(
            u8"ファイル名には名前だけを入れてください（空欄、\".\"、\"..\"、\"/\" や \"\\\" を含む名前は使えません）");
        showFailure(reason);
        return;
    }
    // Success is this transfer's own result: an older file of the same name in logs/ is no proof.
    const ftp::TransferResult result = downLoadTrusting();
    if (result.cancelled) return;  // the user knows; the old file and the fields stay as they were
    if (result.key.status == ftp::ServerKey::Status::Changed) {
        QMessageBox box(QMessageBox::Warning, applicationTitle(), toQString(result.reason), QMessageBox::Ok, this);
        box.setObjectName("KeyChangedWarning");
        box.setTextFormat(Qt::PlainText);
        box.setInformativeText(QStringLiteral("サーバーの鍵を正当に取り替えたと確かめられたときだけ、"
                                              "「記憶した鍵を消去」で記憶を消してから接続し直してください。"));
        box.exec();
        return;
    }
    if (!result.ok) {
        showFailure(result.reason);
        return;
    }
    if (SaveBox->isChecked()) SaveSetting();
    hide();
    if (analyse_) analyse_(DownLoadPath_);
}

ftp::TransferResult TFTP::downLoadTrusting() {
    ftp::TransferResult result = DownLoad();
    if (result.key.status != ftp::ServerKey::Status::Unknown) return result;
    // A key met for the first time: the user compares it (with what the host publishes) and decides.
    const QString what = result.key.ssh ? QStringLiteral("このサーバーのホスト鍵はまだ信頼されていません。")
                                        : QStringLiteral("このサーバーの証明書は確認できませんでした。");
    QMessageBox box(QMessageBox::Question, applicationTitle(),
                    what + QStringLiteral("\n\n") + toQString(ftp::describeKey(result.key)) +
                        QStringLiteral("\n\nこのサーバーを信頼して接続しますか？"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName("TrustQuestion");
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ"));
    box.setDefaultButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes) return result;
    ftp::trustKey(FtpManager1.keyDir(), result.key);
    return DownLoad();
}

void TFTP::showFailure(const std::string& reason) {
    // The message breaks its two lines with a lone CR; the box breaks at LF.
    static const QString text = QStringLiteral(
                                    "ダウンロードに失敗しました。\r接続設定、ファイル名設定を見直してください。")
                                    .replace('\r', '\n');
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, this);
    box.setObjectName("DownLoadFailure");
    if (!reason.empty()) box.setDetailedText(toQString(reason));
    box.exec();
}
