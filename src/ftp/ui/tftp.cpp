// The FTP download dialog.
#include "ftp/ui/tftp.h"

#include <chrono>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDialog>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QThread>
#include <QTimer>
#include <QVBoxLayout>

#include "common/cp932.h"
#include "common/programdir.h"
#include "ftp/ftpsetting.h"
#include "ftp/batchfetch.h"
#include "ftp/keyring/ftppassword.h"
#include "ftp/namepattern.h"
#include "ftp/partfile.h"
#include "ftp/serverkey.h"
#include "ftp/ui/transferprogress.h"
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

// The download on a thread of its own, under the progress window unless it is over at once.
ftp::TransferResult runDownload(QWidget* parent, ftp::TFtpManager& manager, const std::string& remotePath,
                                const std::string& localPath, const QString& name, bool binary) {
    ftp::TransferResult result;
    std::atomic<bool> stop{false};
    runUnderProgress(parent, manager, name, stop, [&] { result = manager.GetFile(remotePath, localPath, binary); });
    return result;
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
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      FtpManager1(common::materiaDir()) {  // the trusted server keys are kept beside the settings
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
    GroupBox2->setGeometry(27, 160, 313, 83);
    FileNameEdit = labelledEdit(GroupBox2, "FileNameEdit", QStringLiteral("ファイル名"), 22);
    PatternEdit = labelledEdit(GroupBox2, "PatternEdit", QStringLiteral("ファイル名の形式"), 50);
    PatternEdit->setText(QString::fromLatin1(ftp::kDefaultNamePattern));
    PatternEdit->setToolTip(QStringLiteral(
        "ホストがログに付ける名前を、日付の部分を %Y（年4桁）%y（年2桁）%m（月）%d（日）%j（年の通算日）"
        "%b（Jan などの月名）に置き換えて入れます。例: example.jp.access_log_%Y%m%d"));

    GroupBox3 = new QGroupBox(QStringLiteral("接続方式"), this);
    GroupBox3->setObjectName("GroupBox3");
    GroupBox3->setGeometry(27, 250, 313, 76);
    auto* protocolLabel = new QLabel(QStringLiteral("接続方式"), GroupBox3);
    protocolLabel->setGeometry(16, 23, 68, 16);
    ProtocolBox = new QComboBox(GroupBox3);
    ProtocolBox->setObjectName("ProtocolBox");
    ProtocolBox->addItems({QStringLiteral("FTP"), QStringLiteral("FTPS (明示的TLS)"), QStringLiteral("SFTP")});
    ProtocolBox->setGeometry(88, 20, 209, 21);
    protocolLabel->setBuddy(ProtocolBox);
    ProtocolBox->setToolTip(QStringLiteral(
        "ホストの案内にある方式を選びます。選べるなら暗号化される FTPS か SFTP を、どちらもなければ FTP を選んでください。"));
    PortEdit = labelledEdit(GroupBox3, "PortEdit", QStringLiteral("ポート"), 46);
    PortEdit->setGeometry(88, 46, 60, 21);
    PortEdit->setMaxLength(5);
    PortEdit->setToolTip(QStringLiteral(
        "空欄なら FTP と FTPS は 21、SFTP は 22 を使います。ホストが別の番号を案内しているときだけ入れてください。"));
    PassiveBox = new QCheckBox(QStringLiteral("パッシブモード"), GroupBox3);
    PassiveBox->setObjectName("PassiveBox");
    PassiveBox->setGeometry(160, 48, 137, 17);
    PassiveBox->setToolTip(QStringLiteral(
        "ルーターやファイアウォールの内側で接続後に止まる、または失敗するときに選んでください（FTPS は常にパッシブです）。"));

    RunButton = new QPushButton(QStringLiteral("接続(&C)"), this);
    RunButton->setObjectName("RunButton");
    RunButton->setGeometry(265, 333, 75, 25);
    ForgetKeyButton = new QPushButton(QStringLiteral("記憶した鍵を消去(&K)"), this);
    ForgetKeyButton->setObjectName("ForgetKeyButton");
    ForgetKeyButton->setGeometry(27, 333, 150, 25);
    ForgetKeyButton->setToolTip(QStringLiteral(
        "ホストが証明書やホスト鍵を取り替えたと確かめられたときだけ、記憶した鍵を消して改めて確認します。"));
    ListButton = new QPushButton(QStringLiteral("一覧(&L)"), this);
    ListButton->setObjectName("ListButton");
    ListButton->setGeometry(27, 364, 70, 25);
    ListButton->setToolTip(QStringLiteral("ディレクトリのファイルを新しい順に一覧にし、選んだものをまとめて取得します。"));
    DaysButton = new QPushButton(QStringLiteral("まとめて取得(&M)"), this);
    DaysButton->setObjectName("DaysButton");
    DaysButton->setGeometry(102, 364, 100, 25);
    DaysButton->setToolTip(QStringLiteral(
        "ファイル名の形式で、提案の日までの指定日数分を取得します。logs に同じ大きさで既にある日は飛ばします。"));
    DaysBox = new QSpinBox(this);
    DaysBox->setObjectName("DaysBox");
    DaysBox->setRange(1, ftp::kMaxDays);
    DaysBox->setValue(7);
    DaysBox->setSuffix(QStringLiteral(" 日分"));
    DaysBox->setGeometry(205, 365, 56, 23);
    CloseButton = new QPushButton(QStringLiteral("閉じる"), this);
    CloseButton->setObjectName("CloseButton");
    CloseButton->setGeometry(265, 364, 75, 25);
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName("StatusBar");
    StatusBar->setSizeGripEnabled(false);
    StatusBar->setGeometry(0, 395, 368, 22);

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
    setTabOrder(ForgetKeyButton, PatternEdit);
    setTabOrder(PatternEdit, ListButton);
    setTabOrder(ListButton, DaysButton);
    setTabOrder(DaysButton, DaysBox);
    setTabOrder(DaysBox, CloseButton);
    setTabOrder(CloseButton, KeyringBox);

    setFixedSize(368, 417);
    move(316, 309);
    closeWithKeys(this, false);  // it opens at every start: Esc puts it away

    connect(RunButton, &QPushButton::clicked, this, [this] { runCommand(this, [this] { RunButtonClick(); }); });
    connect(ForgetKeyButton, &QPushButton::clicked, this,
            [this] { runCommand(this, [this] { ForgetKeyButtonClick(); }); });
    connect(CloseButton, &QPushButton::clicked, this, &QWidget::close);
    connect(ListButton, &QPushButton::clicked, this, [this] { runCommand(this, [this] { ListButtonClick(); }); });
    connect(DaysButton, &QPushButton::clicked, this, [this] { runCommand(this, [this] { DaysButtonClick(); }); });
    // A changed pattern proposes its name for the day at once, so the user sees what it gives.
    connect(PatternEdit, &QLineEdit::textEdited, this, [this] {
        runCommand(this, [this] { proposeName(QDateTime::currentDateTime()); });
    });
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
    const QDateTime now = QDateTime::currentDateTime();
    FileNameEdit->setText(QStringLiteral("access_log_") + QString::fromStdString(DateFormat(now)));
    // What a program killed during a download left behind.
    ftp::removeStalePartFiles("logs");
    LoadSetting();
    if (PatternEdit->text() != QString::fromLatin1(ftp::kDefaultNamePattern)) proposeName(now);
}

void TFTP::proposeName(const QDateTime& now) {
    const QDate d = now.date();
    const std::chrono::year_month_day today{std::chrono::year(d.year()), std::chrono::month(unsigned(d.month())),
                                            std::chrono::day(unsigned(d.day()))};
    const auto day = ftp::proposedDay(today, std::chrono::milliseconds(now.time().msecsSinceStartOfDay()));
    const std::string pattern = fromQStringStrict(PatternEdit->text());
    FileNameEdit->setText(toQString(ftp::expandPattern(pattern.empty() ? ftp::kDefaultNamePattern : pattern, day)));
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
    PatternEdit->setText(toQString(ftp::namePattern(lines)));
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
    const std::string pattern = fromQStringStrict(PatternEdit->text());
    ftp::saveFtpSetting(
        common::materiaFile(ftp::kFtpSetting),
        ftp::withNamePattern(
            ftp::withTransferWay({server, account, password.line, fromQStringStrict(DirectoryEdit->text())}, way),
            pattern.empty() ? ftp::kDefaultNamePattern : pattern));
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
    fillManager();
    // Locally the name is stored as the file system spells names (UTF-8).
    DownLoadPath_ = "logs/" + pathFromQString(FileNameEdit->text());
    // A compressed log is bytes, not text.
    const bool binary = FileNameEdit->text().endsWith(QStringLiteral(".gz"));
    return runDownload(this, FtpManager1, remotePath(), DownLoadPath_, FileNameEdit->text(), binary);
}

void TFTP::fillManager() {
    // A character without a Shift-JIS form is refused here, before anything is sent.
    FtpManager1.setServerName(fromQStringStrict(DomeinEdit->text()));
    FtpManager1.setUserName(fromQStringStrict(AcountEdit->text()));
    FtpManager1.setPassWord(fromQStringStrict(PassEdit->text()));
    FtpManager1.setProtocol(protocol());
    FtpManager1.setPort(ftp::portNumber(fromQString(PortEdit->text()), protocol()));
    FtpManager1.setPassive(PassiveBox->isChecked());
}

std::string TFTP::remotePath() const {
    // "logs" and "logs/" alike name the folder; an empty one is the login folder.
    return ftp::remoteJoin(fromQStringStrict(DirectoryEdit->text()), fromQStringStrict(FileNameEdit->text()));
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
    StatusBar->clearMessage();
    const ftp::TransferResult result = downLoadTrusting();
    if (result.cancelled) {
        // No box for what the user asked for, but a word on what is left of it.
        StatusBar->showMessage(QFileInfo::exists(QString::fromStdString(DownLoadPath_))
                                   ? QStringLiteral("ダウンロードを中止しました。logs の %1 は以前のままです。")
                                         .arg(FileNameEdit->text())
                                   : QStringLiteral("ダウンロードを中止しました。"));
        return;
    }
    if (result.key.status == ftp::ServerKey::Status::Changed) {
        QMessageBox box(QMessageBox::Warning, applicationTitle(), toQString(result.reason), QMessageBox::Ok, this);
        box.setObjectName("KeyChangedWarning");
        box.setTextFormat(Qt::PlainText);
        box.setInformativeText(QStringLiteral("サーバーの鍵を正当に取り替えたと確かめられたときだけ、"
                                              "「記憶した鍵を消去」で記憶を消してから接続し直してください。"));
        box.exec();
        return;
    }
    if (!result.ok && result.missing && offerCompressed()) return;
    if (!result.ok) {
        showFailure(result.reason, remotePath());
        return;
    }
    if (SaveBox->isChecked()) SaveSetting();
    hide();
    if (analyse_) analyse_(DownLoadPath_);
}

ftp::TransferResult TFTP::downLoadTrusting() {
    ftp::TransferResult result = DownLoad();
    if (!askTrust(result.key)) return result;
    return DownLoad();
}

bool TFTP::askTrust(const ftp::ServerKey& key) {
    if (key.status != ftp::ServerKey::Status::Unknown) return false;
    // A key met for the first time: the user compares it (with what the host publishes) and decides.
    const QString what = key.ssh ? QStringLiteral("このサーバーのホスト鍵はまだ信頼されていません。")
                                        : QStringLiteral("このサーバーの証明書は確認できませんでした。");
    QMessageBox box(QMessageBox::Question, applicationTitle(),
                    what + QStringLiteral("\n\n") + toQString(ftp::describeKey(key)) +
                        QStringLiteral("\n\nこのサーバーを信頼して接続しますか？"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName("TrustQuestion");
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ"));
    box.setDefaultButton(QMessageBox::No);
    box.button(QMessageBox::Yes)->setToolTip(
        QStringLiteral("表示された指紋がホストの案内するものと同じだと確かめられたときだけ「はい」を選んでください。"));
    box.button(QMessageBox::No)->setToolTip(
        QStringLiteral("指紋を確かめられないとき、または案内と違うときは「いいえ」を選び、ホストに問い合わせてください。"));
    if (box.exec() != QMessageBox::Yes) return false;
    ftp::trustKey(FtpManager1.keyDir(), key);
    return true;
}

bool TFTP::offerCompressed() {
    // Hosts keep the older days compressed: the name with ".gz" may be there instead.
    const QString name = FileNameEdit->text();
    if (name.endsWith(QStringLiteral(".gz"))) return false;
    ftp::FolderListing folder;
    std::atomic<bool> stop{false};
    runUnderProgress(this, FtpManager1, QStringLiteral("一覧"), stop, [&] {
        folder = ftp::listFolder(FtpManager1, fromQStringStrict(DirectoryEdit->text()),
                                 std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()));
    });
    const ftp::RemoteEntry* gz = ftp::findEntry(folder.entries, fromQStringStrict(name) + ".gz");
    if (gz == nullptr || !gz->usable) return false;
    QMessageBox box(QMessageBox::Question, applicationTitle(),
                    QStringLiteral("サーバーに %1 はありませんが、圧縮された %1.gz があります。こちらを取得しますか？").arg(name),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName("CompressedOffer");
    box.setTextFormat(Qt::PlainText);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ"));
    if (box.exec() != QMessageBox::Yes) return false;
    FileNameEdit->setText(name + QStringLiteral(".gz"));
    RunButtonClick();
    return true;
}

void TFTP::showFailure(const std::string& reason, const std::string& remote) {
    // The message breaks its two lines with a lone CR; the box breaks at LF.
    static const QString text = QStringLiteral(
                                    "ダウンロードに失敗しました。\r接続設定、ファイル名設定を見直してください。")
                                    .replace('\r', '\n');
    QMessageBox box(QMessageBox::NoIcon, applicationTitle(), text, QMessageBox::Ok, this);
    box.setObjectName("DownLoadFailure");
    box.setTextFormat(Qt::PlainText);  // the path and the server's words are shown as they are
    // The path tried and the reason in sight: "dir" + name joined without a "/" was found only by
    // opening the details before.
    QString shown;
    if (!remote.empty()) shown = QStringLiteral("取得しようとしたファイル: %1\n").arg(toQString(remote));
    if (!reason.empty()) shown += QStringLiteral("理由: ") + toQString(reason);
    box.setInformativeText(shown);
    if (!reason.empty()) box.setDetailedText(toQString(reason));
    box.exec();
}
