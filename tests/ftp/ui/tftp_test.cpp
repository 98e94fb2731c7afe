// The download dialog as the user sees it, against a real FTP server on loopback.
#include "ftp/ui/tftp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGroupBox>
#include <QKeyEvent>
#include <QSpinBox>
#include <QTreeWidget>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>

#include "common/apperror.h"
#include "common/cp932.h"
#include "ftp/ftpserver.h"
#include "ftp/ftpsetting.h"
#include "ftp/secureservers.h"
#include "ftp/ui/remotepicker.h"
#include "dialogtest.h"
#include "qtedge/qtext.h"
#include "support/modalboxes.h"

using ftptest::FtpServer;
using ftptest::listDir;
using ftptest::occurrences;
using ftptest::readFile;
using ftptest::TempDir;
using ftptest::writeFile;
using testing::HasSubstr;

namespace {

// Where Tab moves the focus from w: the next widget in the chain that takes focus by Tab.
QWidget* nextTabStop(QWidget* w) {
    do w = w->nextInFocusChain();
    while ((w->focusPolicy() & Qt::TabFocus) == 0);
    return w;
}

const QString kFailure = QStringLiteral("ダウンロードに失敗しました。\n接続設定、ファイル名設定を見直してください。");

class TftpTest : public DownloadDialogTest {
protected:
    void fill(const FtpServer& server, const QString& password = QStringLiteral("secret")) {
        fill(server.port(), password);
    }
    void fill(int port, const QString& password = QStringLiteral("secret")) {
        dialog.PortEdit->setText(QString::number(port));
        dialog.DomeinEdit->setText(QStringLiteral("127.0.0.1"));
        dialog.AcountEdit->setText(QStringLiteral("munya"));
        dialog.PassEdit->setText(password);
        dialog.DirectoryEdit->setText(QStringLiteral("dir/"));
        dialog.FileNameEdit->setText(QStringLiteral("access_log_20040105"));
    }
    std::vector<SeenBox> click(QMessageBox::StandardButton answer = QMessageBox::No) {
        return boxesShownBy([&] { dialog.RunButton->click(); }, answer);
    }
};

TEST_F(TftpTest, ControlsCaptionsAndTabOrderAreThereByName) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("FTPマネージャ"));
    EXPECT_EQ(dialog.size(), QSize(368, 417));  // grown for the way of transfer, the pattern and 閉じる
    EXPECT_EQ(dialog.findChild<QGroupBox*>("GroupBox1")->title(), QStringLiteral("接続設定"));
    EXPECT_EQ(dialog.findChild<QGroupBox*>("GroupBox2")->title(), QStringLiteral("ファイル設定"));
    EXPECT_EQ(dialog.findChild<QPushButton*>("RunButton")->text(), QStringLiteral("接続(&C)"));
    auto* save = dialog.findChild<QCheckBox*>("SaveBox");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->text(), QStringLiteral("入力情報を保存"));
    EXPECT_FALSE(save->isChecked());
    const char* order[] = {"DomeinEdit", "AcountEdit",      "PassEdit",    "DirectoryEdit", "SaveBox",
                           "FileNameEdit", "RunButton",     "ProtocolBox", "PortEdit",      "PassiveBox",
                           "ForgetKeyButton", "PatternEdit", "ListButton",  "DaysButton"};
    for (const char* name : order) ASSERT_NE(dialog.findChild<QWidget*>(name), nullptr) << name;
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        EXPECT_EQ(nextTabStop(dialog.findChild<QWidget*>(order[i]))->objectName(), order[i + 1]);
    auto* pass = dialog.findChild<QLineEdit*>("PassEdit");
    pass->setText(QStringLiteral("abc"));
    EXPECT_EQ(pass->displayText(), QStringLiteral("***"));
}

TEST_F(TftpTest, FormCreateProposesTheDaysLogAndLoadsTheSettingsAsTheyAre) {
    writeFile("materia/FTPSetting.dat", " host \nuser\r\n\r\ndir/\nignored\n");
    const QDateTime before = QDateTime::currentDateTime();
    dialog.FormCreate();
    const QDateTime after = QDateTime::currentDateTime();
    // Around 04:00 the test may straddle the change of day: either reading is right.
    const auto name = [](const QDateTime& t) {
        const QDate d = t.time() < QTime(4, 0) ? t.date().addDays(-1) : t.date();
        return QStringLiteral("access_log_") + d.toString(QStringLiteral("yyyyMMdd"));
    };
    EXPECT_THAT(dialog.FileNameEdit->text(), testing::AnyOf(name(before), name(after)));
    EXPECT_EQ(dialog.DomeinEdit->text(), QStringLiteral(" host "));
    EXPECT_EQ(dialog.AcountEdit->text(), QStringLiteral("user"));
    EXPECT_EQ(dialog.PassEdit->text(), QString());
    EXPECT_EQ(dialog.DirectoryEdit->text(), QStringLiteral("dir/"));
}

TEST_F(TftpTest, DateFormatTurnsAtFourInTheMorning) {
    EXPECT_EQ(TFTP::DateFormat(QDateTime(QDate(2004, 1, 5), QTime(10, 0))), "20040105");
    EXPECT_EQ(TFTP::DateFormat(QDateTime(QDate(2004, 1, 5), QTime(3, 59, 59, 999))), "20040104");
    EXPECT_EQ(TFTP::DateFormat(QDateTime(QDate(2004, 1, 5), QTime(4, 0))), "20040105");
    EXPECT_EQ(TFTP::DateFormat(QDateTime(QDate(2004, 3, 1), QTime(3, 0))), "20040229");
    EXPECT_EQ(TFTP::DateFormat(QDateTime(QDate(2004, 1, 1), QTime(3, 0))), "20031231");
}

TEST_F(TftpTest, MissingOrShortSettingsFileFailsAfterTheNameAndPresentLines) {
    EXPECT_THAT([&] { dialog.FormCreate(); },
                testing::ThrowsMessage<common::AppError>(HasSubstr(program / "materia/FTPSetting.dat")));
    EXPECT_TRUE(dialog.FileNameEdit->text().startsWith(QStringLiteral("access_log_")));
    EXPECT_EQ(dialog.DomeinEdit->text(), QString());

    writeFile("materia/FTPSetting.dat", "host\r\nuser\r\n");
    EXPECT_THAT([&] { dialog.LoadSetting(); }, testing::ThrowsMessage<common::AppError>(
                                                   common::cp932(u8"リストのインデックスが範囲を超えています (2)")));
    EXPECT_EQ(dialog.DomeinEdit->text(), QStringLiteral("host"));
    EXPECT_EQ(dialog.AcountEdit->text(), QStringLiteral("user"));
    EXPECT_EQ(dialog.PassEdit->text(), QString());
}

TEST_F(TftpTest, DownloadReplacesTheOldFileHidesAndHandsItToTheAnalysis) {
    writeFile("logs/access_log_20040105", "stale\n");
    writeFile("materia/FTPSetting.dat", "keep\r\n\r\n\r\n\r\n");
    FtpServer server(root.path(), "munya", "secret");
    dialog.show();
    fill(server);
    EXPECT_TRUE(click().empty());
    EXPECT_EQ(analysed, (std::vector<std::string>{"logs/access_log_20040105"}));
    EXPECT_EQ(analysedContent, "1.2.3.4 - - line\n");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(readFile("materia/FTPSetting.dat"), "keep\r\n\r\n\r\n\r\n");  // SaveBox unticked
    EXPECT_EQ(listDir("logs"), "access_log_20040105 ");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    const std::string log = server.finishedLog();
    EXPECT_THAT(log, HasSubstr("<- CWD dir"));
    EXPECT_THAT(log, HasSubstr("<- TYPE A"));
    EXPECT_THAT(log, HasSubstr("<- RETR access_log_20040105"));
}

TEST_F(TftpTest, DirectoryWithoutItsSlashIsJoinedWithOneAndASavedOneKeepsWorking) {
    // "dir" once gave "diraccess_log_..." and a failure; a user who learnt to type "dir/" must not
    // get "dir//...".
    writeFile(root / "diraccess_log_20040105", "glued\r\n");
    FtpServer server(root.path(), "munya", "secret");
    fill(server);
    for (const char* dir : {"dir", "dir/", "/dir", "/dir/"}) {
        analysed.clear();
        dialog.DirectoryEdit->setText(QString::fromLatin1(dir));
        EXPECT_TRUE(click().empty()) << dir;
        EXPECT_EQ(analysedContent, "1.2.3.4 - - line\n") << dir;
        EXPECT_EQ(analysed, (std::vector<std::string>{"logs/access_log_20040105"}));
    }
    EXPECT_EQ(occurrences(server.finishedLog(), "diraccess"), 0);
}

TEST_F(TftpTest, FailureNamesTheRemotePathTriedAndShowsTheReasonInSight) {
    FtpServer server(root.path(), "munya", "secret");
    fill(server);
    dialog.DirectoryEdit->setText(QStringLiteral("dir"));
    dialog.FileNameEdit->setText(QStringLiteral("access_log_<b>x<b>"));
    const auto boxes = click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kFailure);
    EXPECT_THAT(boxes[0].informative.toStdString(), HasSubstr("dir/access_log_<b>x<b>"));
    EXPECT_THAT(fromQString(boxes[0].informative),
                HasSubstr(common::cp932(u8"理由: サーバーにそのファイルがありません")));
}

TEST_F(TftpTest, TheCloseButtonPutsTheDialogAwayKeepingWhatWasTyped) {
    dialog.show();
    dialog.FileNameEdit->setText(QStringLiteral("typed"));
    dialog.CloseButton->click();
    EXPECT_FALSE(dialog.isVisible());
    dialog.show();
    EXPECT_EQ(dialog.FileNameEdit->text(), QStringLiteral("typed"));
}

TEST_F(TftpTest, TheWayOfTransferAndTheTrustQuestionExplainThemselves) {
    for (QWidget* w : std::initializer_list<QWidget*>{dialog.ProtocolBox, dialog.PortEdit, dialog.PassiveBox,
                                                      dialog.PatternEdit, dialog.ForgetKeyButton})
        EXPECT_GT(w->toolTip().size(), 20) << w->objectName().toStdString();
    ftptest::SftpServer server(root.path(), "munya", "secret", program / "hostkey");
    fill(server.port());
    dialog.ProtocolBox->setCurrentIndex(2);
    QString yesTip;
    whileModal([&] { dialog.RunButton->click(); },
               [&](QWidget* modal) {
                   auto* box = qobject_cast<QMessageBox*>(modal);
                   if (box != nullptr && box->objectName() == "TrustQuestion")
                       yesTip = box->button(QMessageBox::Yes)->toolTip();
                   answerBox(box, QMessageBox::No);
               });
    EXPECT_TRUE(yesTip.contains(QStringLiteral("指紋"))) << yesTip.toStdString();
    EXPECT_TRUE(analysed.empty());
}

TEST_F(TftpTest, PatternProposesTheDaysNameIsSavedAsAFurtherLineAndReadBack) {
    EXPECT_EQ(dialog.PatternEdit->text(), QStringLiteral("access_log_%Y%m%d"));
    dialog.PatternEdit->setText(QStringLiteral("example.jp.access_log_%Y-%m-%d"));
    dialog.proposeName(QDateTime(QDate(2004, 3, 1), QTime(3, 59, 59)));
    EXPECT_EQ(dialog.FileNameEdit->text(), QStringLiteral("example.jp.access_log_2004-02-29"));
    dialog.proposeName(QDateTime(QDate(2004, 3, 1), QTime(4, 0, 0)));
    EXPECT_EQ(dialog.FileNameEdit->text(), QStringLiteral("example.jp.access_log_2004-03-01"));

    dialog.DomeinEdit->setText(QStringLiteral("host"));
    dialog.SaveSetting();
    EXPECT_EQ(readFile("materia/FTPSetting.dat"),
              "host\r\n\r\n\r\n\r\nftp\r\n\r\nactive\r\npattern=example.jp.access_log_%Y-%m-%d\r\n");
    // A reader of seven lines sees plain FTP on 21, active.
    EXPECT_EQ(ftp::transferWay(ftp::loadFtpSetting("materia/FTPSetting.dat")), ftp::TransferWay{});
    TFTP next;
    next.FormCreate();
    EXPECT_EQ(next.PatternEdit->text(), QStringLiteral("example.jp.access_log_%Y-%m-%d"));
    EXPECT_TRUE(next.FileNameEdit->text().startsWith(QStringLiteral("example.jp.access_log_2")));

    // A wrong placeholder is named, and the name stays as it was.
    const QString before = next.FileNameEdit->text();
    next.PatternEdit->setText(QStringLiteral("log_%Q"));
    const auto boxes = boxesShownBy([&] { emit next.PatternEdit->textEdited(next.PatternEdit->text()); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_THAT(fromQString(boxes[0].text), HasSubstr("\"%Q\""));
    EXPECT_EQ(next.FileNameEdit->text(), before);
}

TEST_F(TftpTest, TickedSaveBoxStoresTheFieldsOwnerOnlyAndTheyReadBack) {
    FtpServer server(root.path(), "munya", " se cret ");
    fill(server, QStringLiteral(" se cret "));
    dialog.SaveBox->setChecked(true);
    EXPECT_TRUE(click().empty());
    const std::string port = std::to_string(server.port());
    EXPECT_EQ(readFile("materia/FTPSetting.dat"),
              "127.0.0.1\r\nmunya\r\n se cret \r\ndir/\r\nftp\r\n" + port + "\r\nactive\r\n");
    struct stat st {};
    ASSERT_EQ(::stat("materia/FTPSetting.dat", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    TFTP next;
    next.FormCreate();
    EXPECT_EQ(next.PassEdit->text(), QStringLiteral(" se cret "));
    EXPECT_EQ(next.DirectoryEdit->text(), QStringLiteral("dir/"));
    EXPECT_EQ(next.PortEdit->text(), QString::fromStdString(port));
    EXPECT_FALSE(next.SaveBox->isChecked());
}

TEST_F(TftpTest, WayOfTransferIsSavedAfterTheFourLinesAndAnOldFileMeansActiveFtpOn21) {
    dialog.DomeinEdit->setText(QStringLiteral("host"));
    dialog.ProtocolBox->setCurrentIndex(2);
    EXPECT_FALSE(dialog.PassiveBox->isEnabled());
    EXPECT_EQ(dialog.PortEdit->placeholderText(), QStringLiteral("22"));
    dialog.SaveSetting();
    EXPECT_EQ(readFile("materia/FTPSetting.dat"), "host\r\n\r\n\r\n\r\nsftp\r\n\r\nactive\r\n");
    // What a reader of four lines takes from it.
    const auto lines = ftp::loadFtpSetting("materia/FTPSetting.dat");
    EXPECT_EQ(ftp::settingLine(lines, 0), "host");
    EXPECT_EQ(ftp::settingLine(lines, 3), "");

    dialog.ProtocolBox->setCurrentIndex(1);
    EXPECT_TRUE(dialog.PassiveBox->isChecked());  // FTPS is always passive
    EXPECT_FALSE(dialog.PassiveBox->isEnabled());
    dialog.ProtocolBox->setCurrentIndex(0);
    dialog.PassiveBox->setChecked(true);
    dialog.SaveSetting();
    EXPECT_EQ(readFile("materia/FTPSetting.dat"), "host\r\n\r\n\r\n\r\nftp\r\n\r\npassive\r\n");

    writeFile("materia/FTPSetting.dat", "old\r\nuser\r\npw\r\ndir/\r\n");
    dialog.LoadSetting();
    EXPECT_EQ(dialog.ProtocolBox->currentIndex(), 0);
    EXPECT_EQ(dialog.PortEdit->text(), QString());
    EXPECT_EQ(dialog.PortEdit->placeholderText(), QStringLiteral("21"));
    EXPECT_FALSE(dialog.PassiveBox->isChecked());
    dialog.SaveSetting();
    EXPECT_EQ(readFile("materia/FTPSetting.dat"), "old\r\nuser\r\npw\r\ndir/\r\n");  // byte for byte as before
}

// Over FTPS: the unverified certificate is shown and asked about; "いいえ" fails, "はい" pins and
// downloads; a changed key is refused with a warning; the pin can be removed in the dialog.
TEST_F(TftpTest, FtpsCertificateIsAskedAboutPinnedOnYesRefusedWhenChanged) {
    writeFile(root / "dir/access_log_20040105", "1.2.3.4 - - line\n");
    auto server = std::make_unique<ftptest::FtpsServer>(root.path(), "munya", "secret");
    const int port = server->port();
    const std::string fingerprint = server->fingerprint();
    dialog.show();
    fill(port);
    dialog.ProtocolBox->setCurrentIndex(1);

    auto boxes = click(QMessageBox::No);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0].name, QStringLiteral("TrustQuestion"));
    EXPECT_THAT(boxes[0].text.toStdString(), HasSubstr(fingerprint));
    EXPECT_THAT(boxes[0].text.toStdString(), HasSubstr("CN=munyaro-test-server"));
    EXPECT_EQ(boxes[1].text, kFailure);
    EXPECT_TRUE(analysed.empty());
    EXPECT_EQ(listDir("materia"), "");

    boxes = click(QMessageBox::Yes);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].name, QStringLiteral("TrustQuestion"));
    EXPECT_EQ(analysed, (std::vector<std::string>{"logs/access_log_20040105"}));
    EXPECT_EQ(analysedContent, "1.2.3.4 - - line\n");
    EXPECT_THAT(readFile("materia/ftps_pins"), HasSubstr(fingerprint));

    server.reset();
    ftptest::FtpsServer other(root.path(), "munya", "secret", port);
    analysed.clear();
    dialog.show();
    boxes = click(QMessageBox::Yes);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].name, QStringLiteral("KeyChangedWarning"));
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    EXPECT_THAT(fromQString(boxes[0].text), HasSubstr(fingerprint));
    EXPECT_THAT(fromQString(boxes[0].text), HasSubstr(other.fingerprint()));
    EXPECT_TRUE(analysed.empty());

    boxes = boxesShownBy([&] { dialog.ForgetKeyButton->click(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(readFile("materia/ftps_pins"), "");
    boxes = click(QMessageBox::Yes);  // asked again, and trusted anew
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].name, QStringLiteral("TrustQuestion"));
    EXPECT_EQ(analysed.size(), 1u);
}

TEST_F(TftpTest, SftpHostKeyIsAskedAboutAndKnownAfterwards) {
    ftptest::SftpServer server(root.path(), "munya", "secret", program / "host_key");
    dialog.show();
    fill(server.port());
    dialog.ProtocolBox->setCurrentIndex(2);
    auto boxes = click(QMessageBox::Yes);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].name, QStringLiteral("TrustQuestion"));
    EXPECT_THAT(boxes[0].text.toStdString(), HasSubstr("ssh-ed25519"));
    EXPECT_THAT(boxes[0].text.toStdString(), HasSubstr(server.fingerprint()));
    EXPECT_EQ(analysedContent, "1.2.3.4 - - line\r\n");  // binary: the analysis reads any line ends
    analysed.clear();
    dialog.show();
    EXPECT_TRUE(click().empty());  // known now: no question
    EXPECT_EQ(analysed.size(), 1u);
}

TEST_F(TftpTest, FailedDownloadSaysWhyAndLosesNothingEvenBesideAStaleFile) {
    writeFile("logs/access_log_20040105", "stale\n");
    writeFile("materia/FTPSetting.dat", "keep\r\n\r\n\r\n\r\n");
    FtpServer server(root.path(), "munya", "secret");
    dialog.show();
    fill(server, QStringLiteral("wrong"));
    dialog.SaveBox->setChecked(true);
    const auto boxes = click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("むにゃろ"));
    EXPECT_EQ(boxes[0].text, kFailure);
    EXPECT_EQ(boxes[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_FALSE(boxes[0].busyCursor);
    EXPECT_THAT(fromQString(boxes[0].detail), HasSubstr(common::cp932(u8"ログインが拒否されました")));
    EXPECT_TRUE(analysed.empty());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.PassEdit->text(), QStringLiteral("wrong"));
    EXPECT_EQ(dialog.FileNameEdit->text(), QStringLiteral("access_log_20040105"));
    EXPECT_EQ(readFile("logs/access_log_20040105"), "stale\n");
    EXPECT_EQ(listDir("logs"), "access_log_20040105 ");
    EXPECT_EQ(readFile("materia/FTPSetting.dat"), "keep\r\n\r\n\r\n\r\n");

    // The button works again, and a missing remote file says so.
    dialog.PassEdit->setText(QStringLiteral("secret"));
    dialog.FileNameEdit->setText(QStringLiteral("access_log_19990101"));
    const auto again = click();
    ASSERT_EQ(again.size(), 1u);
    EXPECT_THAT(fromQString(again[0].detail), HasSubstr(common::cp932(u8"ファイルがありません")));
    EXPECT_EQ(listDir("logs"), "access_log_20040105 ");
}

TEST_F(TftpTest, NameThatIsNoPlainNameFailsAtOnceContactingNoServer) {
    writeFile("logs/access_log_20040105", "stale\n");
    FtpServer server(root.path(), "munya", "secret");
    fill(server);
    for (const char* name : {"", ".", "..", "../materia/FTPSetting.dat", "sub/x", "a\\b"}) {
        dialog.FileNameEdit->setText(QString::fromUtf8(name));
        const auto boxes = click();
        ASSERT_EQ(boxes.size(), 1u) << name;
        EXPECT_EQ(boxes[0].text, kFailure);
        EXPECT_FALSE(boxes[0].detail.isEmpty());
    }
    EXPECT_EQ(server.sessions(), 0);
    EXPECT_TRUE(analysed.empty());
    EXPECT_EQ(listDir("logs"), "access_log_20040105 ");
}

TEST_F(TftpTest, DownloadRunsUnderAProgressWindowWhoseCancelButtonStopsItLeavingTheOldFile) {
    writeFile("logs/access_log_20040105", "stale\n");
    FtpServer server(root.path(), "munya", "secret", FtpServer::Kind::Endless);
    dialog.show();
    fill(server);
    // Watches the progress window: it must keep painting new counts while the bytes stream in
    // (the program is not frozen) and hold the rest of the program off; then 中止 is pressed.
    QStringList counts;
    bool modal = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto* progress = QApplication::activeModalWidget();
        if (progress == nullptr || progress->objectName() != "DownLoadProgress") return;
        modal = progress->windowModality() == Qt::ApplicationModal;
        const QString text = progress->findChild<QLabel*>("ReceivedLabel")->text();
        if (counts.isEmpty() || counts.back() != text) counts.push_back(text);
        if (counts.size() >= 3) progress->findChild<QPushButton*>("CancelButton")->click();
    });
    watch.start(20);
    EXPECT_TRUE(click().empty());  // cancelled: no failure box
    ASSERT_GE(counts.size(), 3);
    EXPECT_TRUE(counts[2].startsWith(QStringLiteral("受信済み "))) << counts[2].toStdString();
    EXPECT_TRUE(modal);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(analysed.empty());
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(readFile("logs/access_log_20040105"), "stale\n");
    EXPECT_EQ(listDir("logs"), "access_log_20040105 ");
    EXPECT_EQ(dialog.StatusBar->currentMessage(),
              QStringLiteral("ダウンロードを中止しました。logs の access_log_20040105 は以前のままです。"));
}

TEST_F(TftpTest, LineBreakInAPastedPasswordIsRefusedAndNothingIsSent) {
    FtpServer server(root.path(), "munya", "secret");
    fill(server, QStringLiteral("secret\r\nDELE dir/access_log_20040105"));
    const auto boxes = click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kFailure);
    EXPECT_THAT(fromQString(boxes[0].detail), HasSubstr(common::cp932(u8"改行や NUL 文字は使えません")));
    EXPECT_EQ(server.sessions(), 0);
    EXPECT_TRUE(analysed.empty());
}

TEST_F(TftpTest, FormCreateRemovesPartFilesAKilledDownloadLeft) {
    writeFile("materia/FTPSetting.dat", "\r\n\r\n\r\n\r\n");
    writeFile("logs/.access_log_20040105.partx1Y2z3", "half a log");
    writeFile("logs/access_log_20040105", "kept\n");
    dialog.FormCreate();
    EXPECT_EQ(listDir("logs"), "access_log_20040105 ");
}

TEST_F(TftpTest, FieldWithoutAShiftJisFormIsRefusedNamingItContactingNoServer) {
    FtpServer server(root.path(), "munya", "secret");
    QLineEdit* const fields[] = {dialog.DomeinEdit, dialog.AcountEdit, dialog.PassEdit, dialog.DirectoryEdit,
                                 dialog.FileNameEdit};
    for (QLineEdit* field : fields) {
        fill(server);
        dialog.SaveBox->setChecked(true);
        field->setText(field->text() + QStringLiteral("€"));
        const auto boxes = click();
        ASSERT_EQ(boxes.size(), 1u) << field->objectName().toStdString();
        EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
        EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("「€」(U+20AC)"))) << boxes[0].text.toStdString();
    }
    EXPECT_EQ(server.sessions(), 0);
    EXPECT_TRUE(analysed.empty());
    EXPECT_EQ(listDir("logs"), "");
    EXPECT_EQ(listDir("materia"), "");
}

TEST_F(TftpTest, MissingLogsDirectoryFailsAndIsNotCreated) {
    ::rmdir("logs");
    FtpServer server(root.path(), "munya", "secret");
    fill(server);
    const auto boxes = click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, kFailure);
    EXPECT_THAT(fromQString(boxes[0].detail), HasSubstr("logs/access_log_20040105"));
    EXPECT_EQ(listDir("."), "materia ");
    EXPECT_TRUE(analysed.empty());
}

TEST_F(TftpTest, SettingsThatCannotBeSavedStopBeforeHidingAndAnalysing) {
    ::rmdir("materia");
    FtpServer server(root.path(), "munya", "secret");
    dialog.show();
    fill(server);
    dialog.SaveBox->setChecked(true);
    const auto boxes = click();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_THAT(fromQString(boxes[0].text), HasSubstr("materia/FTPSetting.dat"));
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(analysed.empty());
}

}  // namespace

namespace {

// The day proposed now and the days before it, as yyyymmdd (the 04:00 rule).
std::string daysAgo(int n) {
    const QDateTime now = QDateTime::currentDateTime();
    const QDate today = now.time() < QTime(4, 0) ? now.date().addDays(-1) : now.date();
    return today.addDays(-n).toString(QStringLiteral("yyyyMMdd")).toStdString();
}

void press(QWidget* w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(w, &event);
}

class TftpFolderTest : public TftpTest {
protected:
    void SetUp() override {
        TftpTest::SetUp();
        dialog.setAnalyseSeveral([this](const std::vector<std::string>& paths) { handedOn = paths; });
    }
    std::vector<std::string> handedOn;
};

TEST_F(TftpFolderTest, ListIsPickedFromByKeyboardAndThePicksComeOverOneConnection) {
    writeFile(root / "dir/access_log_20040102", "two\r\n");
    writeFile(root / "dir/access_log_20040103.gz", "three\r\n");
    writeFile(root / "dir/access_log_20040104", "four\r\n");
    FtpServer server(root.path(), "munya", "secret", FtpServer::Kind::Hostile);
    fill(server);
    dialog.PassiveBox->setChecked(true);
    dialog.DirectoryEdit->setText(QStringLiteral("dir"));
    dialog.show();
    QStringList rows;
    int pickable = 0;
    whileModal([&] { dialog.ListButton->click(); },
               [&](QWidget* modal) {
                   auto* picker = qobject_cast<RemotePicker*>(modal);
                   if (picker == nullptr) return;  // the progress window goes by itself
                   for (int i = 0; i < picker->FileList->topLevelItemCount(); ++i) {
                       const QTreeWidgetItem* item = picker->FileList->topLevelItem(i);
                       rows << item->text(2);
                       pickable += (item->flags() & Qt::ItemIsSelectable) != 0;
                   }
                   EXPECT_EQ(picker->focusWidget(), picker->FileList);
                   // The newest three: Home takes the first, Shift+Down two more, Enter fetches.
                   press(picker->FileList, Qt::Key_Home);
                   press(picker->FileList, Qt::Key_Down, Qt::ShiftModifier);
                   press(picker->FileList, Qt::Key_Down, Qt::ShiftModifier);
                   press(picker->FileList, Qt::Key_Return);
               });
    // The listing's own names (same time) come by name, the highest first; the hostile ones are
    // listed escaped and cannot be picked.
    EXPECT_EQ(pickable, 4) << rows.join('|').toStdString();
    EXPECT_TRUE(rows.contains(QStringLiteral("bell\\x07\\x1B[2Jcleared"))) << rows.join('|').toStdString();
    EXPECT_EQ(handedOn, (std::vector<std::string>{"logs/access_log_20040105", "logs/access_log_20040104",
                                                  "logs/access_log_20040103.gz"}));
    EXPECT_EQ(readFile("logs/access_log_20040103.gz"), "three\r\n");  // binary
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(server.sessions(), 1);
}

TEST_F(TftpFolderTest, LastDaysByThePatternSkipWhatIsThereFetchGzAndSayWhatFailed) {
    for (int n : {0, 2, 3}) writeFile(root / ("dir/ex.access_log_" + daysAgo(n)), "day\r\n");
    ::rename((root / ("dir/ex.access_log_" + daysAgo(2))).c_str(),
             (root / ("dir/ex.access_log_" + daysAgo(2) + ".gz")).c_str());
    writeFile("logs/ex.access_log_" + daysAgo(3), "day\r\n");  // there already, same size
    FtpServer server(root.path(), "munya", "secret");
    fill(server);
    dialog.PassiveBox->setChecked(true);
    dialog.PatternEdit->setText(QStringLiteral("ex.access_log_%Y%m%d"));
    dialog.DaysBox->setValue(4);
    const auto boxes = boxesShownBy([&] { dialog.DaysButton->click(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].name, QStringLiteral("DaysSummary"));
    EXPECT_THAT(fromQString(boxes[0].text), HasSubstr(common::cp932(u8"2 日分を取得、1 日分は取得済み、1 日分は失敗")));
    EXPECT_THAT(boxes[0].text.toStdString(), HasSubstr("ex.access_log_" + daysAgo(1) + ": "));
    EXPECT_EQ(handedOn, (std::vector<std::string>{"logs/ex.access_log_" + daysAgo(2) + ".gz",
                                                  "logs/ex.access_log_" + daysAgo(0)}));
    EXPECT_EQ(ftptest::occurrences(server.finishedLog(), "<- RETR"), 2);
}

TEST_F(TftpFolderTest, MissingNameIsOfferedAsGzWhenTheServerHasThat) {
    ::rename((root / "dir/access_log_20040105").c_str(), (root / "dir/access_log_20040105.gz").c_str());
    FtpServer server(root.path(), "munya", "secret");
    fill(server);
    const auto boxes = click(QMessageBox::Yes);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].name, QStringLiteral("CompressedOffer"));
    EXPECT_THAT(boxes[0].text.toStdString(), HasSubstr("access_log_20040105.gz"));
    EXPECT_EQ(analysed, (std::vector<std::string>{"logs/access_log_20040105.gz"}));
    EXPECT_EQ(analysedContent, "1.2.3.4 - - line\r\n");  // binary
}

}  // namespace
