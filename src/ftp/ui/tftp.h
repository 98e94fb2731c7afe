// The FTP download dialog.
#pragma once
#include <QWidget>
#include <functional>
#include <string>

#include "ftp/inetman.h"

class QCheckBox;
class QComboBox;
class QDateTime;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QStatusBar;

class TFTP : public QWidget {
    Q_OBJECT
public:
    explicit TFTP(QWidget* parent = nullptr);
    // Creation handler: proposes the day's log name and loads the saved settings.
    void FormCreate();
    // The main window's LogCounting, called with "logs/" + name after a download.
    void setLogCounting(std::function<void(const std::string& path)> analyse) { analyse_ = std::move(analyse); }

    // Downloads the named log into logs/; on success saves the settings when asked to, hides the
    // dialog and hands the file to the analysis; otherwise says why and stays as it was.
    void RunButtonClick();
    // Fills FtpManager1 from the fields and fetches directory + name into logs/ + name.
    ftp::TransferResult DownLoad();
    void SaveSetting();
    void LoadSetting();
    // The eight-digit date of the day's log for the local date and time now.
    static std::string DateFormat(const QDateTime& now);

    QGroupBox* GroupBox1;
    QLineEdit* DomeinEdit;
    QLineEdit* AcountEdit;
    QLineEdit* PassEdit;
    QLineEdit* DirectoryEdit;
    QCheckBox* SaveBox;
    QGroupBox* GroupBox2;
    QLineEdit* FileNameEdit;
    // The day's log name with date placeholders (ファイル名の形式), kept in the settings file.
    QLineEdit* PatternEdit;
    QPushButton* RunButton;
    QPushButton* CloseButton;
    // What became of the last download when no box said it (a stop at the user's request).
    QStatusBar* StatusBar;
    // How the server is reached: FTP, FTPS or SFTP, the port (empty: 21 or 22) and passive mode
    // (FTP only; FTPS is always passive).
    QGroupBox* GroupBox3;
    QComboBox* ProtocolBox;
    QLineEdit* PortEdit;
    QCheckBox* PassiveBox;
    // Forgets the trusted key of the server named in the fields.
    QPushButton* ForgetKeyButton;
    ftp::TFtpManager FtpManager1;

    void ForgetKeyButtonClick();
    // The name the pattern gives for the day whose log is complete at now (the 04:00 rule).
    void proposeName(const QDateTime& now);
    // The remote path of the typed name: directory and name joined with one "/".
    std::string remotePath() const;

private:
    void showFailure(const std::string& reason, const std::string& remote = {});
    void protocolChanged();
    ftp::Protocol protocol() const;
    // Downloads, asking whether to trust a server key met for the first time.
    ftp::TransferResult downLoadTrusting();

    std::function<void(const std::string&)> analyse_;
    std::string DownLoadPath_;  // the most recent download attempt, relative to the program's directory
};
