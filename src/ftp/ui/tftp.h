// The FTP download dialog.
#pragma once
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

#include "ftp/inetman.h"

class QCheckBox;
class QComboBox;
class QDateTime;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStatusBar;

class TFTP : public QWidget {
    Q_OBJECT
public:
    explicit TFTP(QWidget* parent = nullptr);
    // Creation handler: proposes the day's log name and loads the saved settings.
    void FormCreate();
    // The main window's LogCounting, called with "logs/" + name after a download.
    void setLogCounting(std::function<void(const std::string& path)> analyse) { analyse_ = std::move(analyse); }
    // The main window's side of several downloads: each is analysed into the history and the last
    // one shown. Without it, only the last one is handed to LogCounting.
    void setAnalyseSeveral(std::function<void(const std::vector<std::string>& paths)> analyse) {
        analyseSeveral_ = std::move(analyse);
    }

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
    // Saving keeps the password in the desktop's keyring instead of FTPSetting.dat.
    QCheckBox* KeyringBox;
    QGroupBox* GroupBox2;
    QLineEdit* FileNameEdit;
    // The day's log name with date placeholders (ファイル名の形式), kept in the settings file.
    QLineEdit* PatternEdit;
    QPushButton* RunButton;
    QPushButton* CloseButton;
    // The host's folder listed to pick from; the last days by the pattern.
    QPushButton* ListButton;
    QPushButton* DaysButton;
    QSpinBox* DaysBox;
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
    // Lists the directory, lets the user pick, fetches the picks (binary) into logs/ and hands them on.
    void ListButtonClick();
    // Fetches the DaysBox days that end with the proposed day, says how it went, hands on the new ones.
    void DaysButtonClick();
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
    // Asks whether to trust a server key met for the first time; true when it is trusted now.
    bool askTrust(const ftp::ServerKey& key);
    void fillManager();
    // After "no such file": offers the name with ".gz" when the folder has it; true when taken up.
    bool offerCompressed();
    // Hands downloaded files (relative to the program's directory) to the analysis.
    void handOn(const std::vector<std::string>& paths);

    std::function<void(const std::string&)> analyse_;
    std::function<void(const std::vector<std::string>&)> analyseSeveral_;
    std::string DownLoadPath_;  // the most recent download attempt, relative to the program's directory
};
