// The download dialog in a temporary program directory (made the current one), for the tests of the
// password kept in the keyring, with and without a keyring that answers.
#pragma once
#include <QCheckBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "dialogtest.h"
#include "support/modalboxes.h"

class KeyringDialogTest : public DownloadDialogTest {
protected:
    // Fills the fields for server, ticks both boxes and presses 接続; returns the boxes shown.
    std::vector<SeenBox> downloadSaving(const ftptest::FtpServer& server, bool keyring = true) {
        dialog.DomeinEdit->setText(QStringLiteral("127.0.0.1"));
        dialog.AcountEdit->setText(QStringLiteral("munya"));
        dialog.PassEdit->setText(QStringLiteral("secret"));
        dialog.DirectoryEdit->setText(QStringLiteral("dir/"));
        dialog.PortEdit->setText(QString::number(server.port()));
        dialog.FileNameEdit->setText(QStringLiteral("access_log_20040105"));
        dialog.SaveBox->setChecked(true);
        dialog.KeyringBox->setChecked(keyring);
        return boxesShownBy([&] { dialog.RunButton->click(); });
    }
    // FTPSetting.dat as the download above saves it, with line 3 as given.
    static std::string settingsWith(const std::string& passwordLine, int port) {
        return "127.0.0.1\r\nmunya\r\n" + passwordLine + "\r\ndir/\r\nftp\r\n" + std::to_string(port) + "\r\nactive\r\n";
    }
};
