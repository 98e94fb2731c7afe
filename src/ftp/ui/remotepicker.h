// The host's folder as a list to pick logs from: date, size and name, newest first.
#pragma once
#include <string>
#include <vector>

#include <QDialog>

#include "ftp/remotelist.h"

class QPushButton;
class QTreeWidget;

class RemotePicker : public QDialog {
    Q_OBJECT
public:
    // The list has the focus; Space, Ctrl and Shift with the arrows pick several, Enter fetches them.
    // Names no local file may take are shown escaped and cannot be picked.
    RemotePicker(QWidget* parent, const QString& folder, const std::vector<ftp::RemoteEntry>& entries);
    // The picked names (the server's bytes), newest first.
    std::vector<std::string> picked() const;

    QTreeWidget* FileList;
    QPushButton* PickButton;

private:
    const std::vector<ftp::RemoteEntry>& entries_;
};
