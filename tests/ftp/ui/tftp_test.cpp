// The download dialog as the user sees it, against a real FTP server on loopback.
#include "ftp/ui/tftp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QGroupBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include "qtedge/qtext.h"
#include "common/apperror.h"
#include "common/cp932.h"
#include "ftp/ftpserver.h"

using ftptest::FtpServer;
using ftptest::listDir;
using ftptest::readFile;
using ftptest::TempDir;
using ftptest::writeFile;
using testing::HasSubstr;

namespace {

struct SeenBox {
    QString title, text, detail;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    bool busyCursor = false;
};

// Runs action; every message box it opens is recorded and closed with OK.
std::vector<SeenBox> closingBoxes(const std::function<void()>& action) {
    std::vector<SeenBox> seen;
    QTimer timer;
    timer.setInterval(20);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible()) return;
        seen.push_back({box->windowTitle(), box->text(), box->detailedText(), box->icon(),
                        box->standardButtons(), QApplication::overrideCursor() != nullptr});
        box->button(QMessageBox::Ok)->click();
    });
    timer.start();
    action();
    return seen;
}

// Where Tab moves the focus from w: the next widget in the chain that takes focus by Tab.
QWidget* nextTabStop(QWidget* w) {
    do w = w->nextInFocusChain();
    while ((w->focusPolicy() & Qt::TabFocus) == 0);
    return w;
}

const QString kFailure = QStringLiteral("ダウンロードに失敗しました。\n接続設定、ファイル名設定を見直してください。");

// A temporary program directory with materia/ and logs/, made the current directory.
class TftpTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(::getcwd(oldDir_, sizeof oldDir_), nullptr);
        ::mkdir((program / "materia").c_str(), 0755);
        ::mkdir((program / "logs").c_str(), 0755);
        ::mkdir((root / "dir").c_str(), 0755);
        writeFile(root / "dir/access_log_20040105", "1.2.3.4 - - line\r\n");
        ASSERT_EQ(::chdir(program.path().c_str()), 0);
        dialog.setLogCounting([this](const std::string& path) {
            analysed.push_back(path);
            analysedContent = readFile(path);
        });
    }
    void TearDown() override { ASSERT_EQ(::chdir(oldDir_), 0); }

    void fill(const FtpServer& server, const QString& password = QStringLiteral("secret")) {
        dialog.FtpManager1.setPort(server.port());
        dialog.DomeinEdit->setText(QStringLiteral("127.0.0.1"));
        dialog.AcountEdit->setText(QStringLiteral("munya"));
        dialog.PassEdit->setText(password);
        dialog.DirectoryEdit->setText(QStringLiteral("dir/"));
        dialog.FileNameEdit->setText(QStringLiteral("access_log_20040105"));
    }
    std::vector<SeenBox> click() {
        return closingBoxes([&] { dialog.RunButton->click(); });
    }

    TempDir program;
    TempDir root;
    TFTP dialog;
    std::vector<std::string> analysed;
    std::string analysedContent;

private:
    char oldDir_[4096];
};

TEST_F(TftpTest, ControlsCaptionsAndTabOrderAreThereByName) {
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("FTPマネージャ"));
    EXPECT_EQ(dialog.size(), QSize(368, 254));
    EXPECT_EQ(dialog.findChild<QGroupBox*>("GroupBox1")->title(), QStringLiteral("接続設定"));
    EXPECT_EQ(dialog.findChild<QGroupBox*>("GroupBox2")->title(), QStringLiteral("ファイル設定"));
    EXPECT_EQ(dialog.findChild<QPushButton*>("RunButton")->text(), QStringLiteral("接続(&C)"));
    auto* save = dialog.findChild<QCheckBox*>("SaveBox");
    ASSERT_NE(save, nullptr);
    EXPECT_EQ(save->text(), QStringLiteral("入力情報を保存"));
    EXPECT_FALSE(save->isChecked());
    const char* order[] = {"DomeinEdit", "AcountEdit", "PassEdit", "DirectoryEdit", "SaveBox", "FileNameEdit", "RunButton"};
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
    EXPECT_THAT([&] { dialog.LoadSetting(); },
                testing::ThrowsMessage<common::AppError>(
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
    EXPECT_EQ(readFile("materia/FTPSetting.dat"), "keep\r\n\r\n\r\n\r\n");   // SaveBox unticked
    EXPECT_EQ(listDir("logs"), "access_log_20040105 ");
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    const std::string log = server.finishedLog();
    EXPECT_THAT(log, HasSubstr("<- CWD dir"));
    EXPECT_THAT(log, HasSubstr("<- TYPE A"));
    EXPECT_THAT(log, HasSubstr("<- RETR access_log_20040105"));
}

TEST_F(TftpTest, DirectoryIsPutInFrontOfTheNameAsTyped) {
    writeFile(root / "diraccess_log_20040105", "joined\r\n");
    FtpServer server(root.path(), "munya", "secret");
    fill(server);
    dialog.DirectoryEdit->setText(QStringLiteral("dir"));
    EXPECT_TRUE(click().empty());
    EXPECT_EQ(analysedContent, "joined\n");
    EXPECT_EQ(analysed, (std::vector<std::string>{"logs/access_log_20040105"}));
}

TEST_F(TftpTest, TickedSaveBoxStoresTheFieldsOwnerOnlyAndTheyReadBack) {
    FtpServer server(root.path(), "munya", " se cret ");
    fill(server, QStringLiteral(" se cret "));
    dialog.SaveBox->setChecked(true);
    EXPECT_TRUE(click().empty());
    EXPECT_EQ(readFile("materia/FTPSetting.dat"), "127.0.0.1\r\nmunya\r\n se cret \r\ndir/\r\n");
    struct stat st {};
    ASSERT_EQ(::stat("materia/FTPSetting.dat", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    TFTP next;
    next.FormCreate();
    EXPECT_EQ(next.PassEdit->text(), QStringLiteral(" se cret "));
    EXPECT_EQ(next.DirectoryEdit->text(), QStringLiteral("dir/"));
    EXPECT_FALSE(next.SaveBox->isChecked());
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
