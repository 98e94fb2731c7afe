// 設定 > ログの形式: how the window reads logs (layout, unreadable lines, the client behind a proxy),
// kept in its own settings file.
#pragma once
#include <string>

#include <QObject>

#include "analysis/readsettings.h"

class QAction;
class QActionGroup;
class QMenu;

class ReadMenu : public QObject {
    Q_OBJECT
public:
    // Adds the submenu and the two options to menu, with the settings of the file at path.
    ReadMenu(QMenu* menu, std::string path, QObject* parent);
    const analysis::ReadSettings& settings() const { return settings_; }
    QMenu* formatMenu() const { return formats_; }
    QAction* skipBadLines() const { return skip_; }
    QAction* clientFromForwarded() const { return forwarded_; }

private:
    void changed();
    std::string path_;
    analysis::ReadSettings settings_;
    QMenu* formats_;
    QActionGroup* group_;
    QAction* skip_;
    QAction* forwarded_;
};
