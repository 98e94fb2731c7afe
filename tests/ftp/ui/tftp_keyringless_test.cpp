// The download dialog asked to keep the password in the keyring where no keyring answers (no D-Bus
// session): it says so, and the password is kept in FTPSetting.dat as before.
#include <gmock/gmock.h>

#include <cstdlib>

#include "common/apperror.h"
#include "common/cp932.h"
#include "keyringdialog.h"

using ftptest::FtpServer;
using ftptest::readFile;
using testing::HasSubstr;

namespace {

class TftpKeyringless : public KeyringDialogTest {
protected:
    void SetUp() override {
        // Nothing of this test program reaches a session bus: the user's own keyring stays untouched.
        ::setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", 1);
        KeyringDialogTest::SetUp();
    }
};

TEST_F(TftpKeyringless, SavingSaysTheKeyringDoesNotAnswerAndKeepsThePasswordInTheFile) {
    FtpServer server(root.path(), "munya", "secret");
    const auto boxes = downloadSaving(server);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].name, QStringLiteral("KeyringFailure"));
    EXPECT_EQ(boxes[0].icon, QMessageBox::Warning);
    EXPECT_EQ(boxes[0].text, QStringLiteral("パスワードをキーリングに保存できませんでした。\n"
                                            "パスワードはこれまでどおり FTPSetting.dat に保存しました。"));
    EXPECT_EQ(readFile("materia/FTPSetting.dat"), settingsWith("secret", server.port()));
    // The download itself went on as before.
    EXPECT_EQ(analysed, (std::vector<std::string>{"logs/access_log_20040105"}));
    EXPECT_FALSE(dialog.isVisible());

    // The next start has the password from the file, asks no keyring, and still offers the choice.
    TFTP next;
    EXPECT_TRUE(boxesShownBy([&] { next.FormCreate(); }).empty());
    EXPECT_EQ(next.PassEdit->text(), QStringLiteral("secret"));
    EXPECT_TRUE(next.KeyringBox->isChecked());
}

TEST_F(TftpKeyringless, APasswordOnlyInTheKeyringIsNotFoundAndTheReasonShown) {
    ftptest::writeFile("materia/FTPSetting.dat", "127.0.0.1\r\nmunya\r\n\r\ndir/\r\n");
    ftptest::writeFile("materia/FTPPasswordPlace.dat", "keyring\r\n");
    EXPECT_THAT([&] { dialog.FormCreate(); },
                testing::ThrowsMessage<common::AppError>(HasSubstr(common::cp932(u8"キーリングを使えません: "))));
    EXPECT_EQ(dialog.AcountEdit->text(), QStringLiteral("munya"));
    EXPECT_EQ(dialog.PassEdit->text(), QString());
}

}  // namespace
