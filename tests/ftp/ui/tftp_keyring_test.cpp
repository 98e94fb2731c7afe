// The download dialog keeping the password in a real keyring (gnome-keyring-daemon of the test's own).
#include <gmock/gmock.h>

#include <QCheckBox>
#include <QFontInfo>

#include "common/apperror.h"
#include "ftp/keyring/ftppassword.h"
#include "ftp/keyring/keyring.h"
#include "keyringdialog.h"
#include "support/keyringsession.h"

using ftptest::FtpServer;
using ftptest::readFile;
using testing::HasSubstr;

namespace {

using TftpKeyring = KeyringDialogTest;

TEST_F(TftpKeyring, TheChoiceIsThereUntickedUntilMade) {
    auto* box = dialog.findChild<QCheckBox*>("KeyringBox");
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QStringLiteral("パスワードをキーリングに保存"));
    EXPECT_FALSE(box->isChecked());
    // Its whole caption is shown in the program's font (IPA P Gothic, 12 px, where there is no MS P
    // Gothic), beside 入力情報を保存 and not under it.
    dialog.setFont(QFont(QStringLiteral("IPAPGothic"), 9));
    ASSERT_EQ(QFontInfo(box->font()).family(), QStringLiteral("IPAPGothic"));
    EXPECT_LE(box->sizeHint().width(), box->width());
    EXPECT_FALSE(box->geometry().intersects(dialog.SaveBox->geometry()));
    EXPECT_EQ(box->parentWidget(), dialog.SaveBox->parentWidget());
}

TEST_F(TftpKeyring, SavedPasswordGoesIntoTheKeyringTheLineStaysEmptyAndItComesBack) {
    REQUIRE_KEYRING();
    FtpServer server(root.path(), "munya", "secret");
    EXPECT_TRUE(downloadSaving(server).empty());
    EXPECT_EQ(analysed, (std::vector<std::string>{"logs/access_log_20040105"}));
    EXPECT_EQ(readFile("materia/FTPSetting.dat"), settingsWith("", server.port()));
    EXPECT_EQ(readFile("materia/FTPPasswordPlace.dat"), "keyring\r\n");
    EXPECT_EQ(keyring::readPassword(keyring::ftpKey("127.0.0.1", "munya")), "secret");

    TFTP next;
    EXPECT_TRUE(boxesShownBy([&] { next.FormCreate(); }).empty());
    EXPECT_EQ(next.PassEdit->text(), QStringLiteral("secret"));
    EXPECT_TRUE(next.KeyringBox->isChecked());
    EXPECT_EQ(next.AcountEdit->text(), QStringLiteral("munya"));

    // Untick and save: the password is back in the file, and the keyring no longer keeps it.
    dialog.show();
    EXPECT_TRUE(downloadSaving(server, false).empty());
    EXPECT_EQ(readFile("materia/FTPSetting.dat"), settingsWith("secret", server.port()));
    EXPECT_EQ(readFile("materia/FTPPasswordPlace.dat"), "file\r\n");
    EXPECT_EQ(keyring::readPassword(keyring::ftpKey("127.0.0.1", "munya")), std::nullopt);
}

TEST_F(TftpKeyring, AKeyringWithoutTheAccountFillsTheOtherFieldsAndSaysWhatIsMissing) {
    REQUIRE_KEYRING();
    ftptest::writeFile("materia/FTPSetting.dat", "127.0.0.1\r\nghost\r\n\r\ndir/\r\n");
    ftptest::writeFile("materia/FTPPasswordPlace.dat", "keyring\r\n");
    EXPECT_THAT([&] { dialog.FormCreate(); },
                testing::ThrowsMessage<common::AppError>(HasSubstr("ghost@127.0.0.1")));
    EXPECT_EQ(dialog.AcountEdit->text(), QStringLiteral("ghost"));
    EXPECT_EQ(dialog.DirectoryEdit->text(), QStringLiteral("dir/"));
    EXPECT_EQ(dialog.PassEdit->text(), QString());
    EXPECT_TRUE(dialog.KeyringBox->isChecked());
}

}  // namespace
