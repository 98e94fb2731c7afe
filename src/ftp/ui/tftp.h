// The FTP download dialog.
#pragma once
#include <QWidget>
#include <functional>
#include <string>

class TFTP : public QWidget {
    Q_OBJECT
public:
    explicit TFTP(QWidget* parent = nullptr);
    // Creation handler: proposes the day's log name and loads the saved settings.
    void FormCreate();
    // The main window's LogCounting, called with "logs/" + name after a download.
    void setLogCounting(std::function<void(const std::string& path)> analyse) { analyse_ = std::move(analyse); }

private:
    std::function<void(const std::string&)> analyse_;
};
