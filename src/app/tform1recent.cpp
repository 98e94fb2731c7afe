// The main window's menu of the logs opened last.
#include <algorithm>
#include <filesystem>

#include <QAction>
#include <QMenu>

#include "app/recentfiles.h"
#include "app/tform1.h"
#include "common/apperror.h"
#include "common/fileio.h"
#include "common/programdir.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"

void TForm1::buildRecentMenu(QMenu* file) {
    recentMenu_ = file->addMenu(QStringLiteral("最近使ったファイル(&R)"));
    recentMenu_->setObjectName("RecentFiles");
    recentFiles_ = recent::load(common::materiaFile(recent::kFile));
    fillRecentMenu();
    // Another window may have opened logs since: the menu shows the file as it is now.
    connect(recentMenu_, &QMenu::aboutToShow, this, [this] {
        const std::string file = common::materiaFile(recent::kFile);
        std::error_code error;
        if (!std::filesystem::exists(file, error)) return;  // none saved: what this window holds stays
        recentFiles_ = recent::load(file);
        fillRecentMenu();
    });
}

void TForm1::rememberRecent(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return;
    // Merged into the file as another window may have left it; the list is a convenience, so a data
    // directory that cannot be written must not stop the analysis.
    try {
        recentFiles_ = recent::remember(common::materiaFile(recent::kFile), common::fullPath(path));
    } catch (const common::AppError&) {
        recentFiles_ = recent::add(recentFiles_, common::fullPath(path));
    }
    fillRecentMenu();
}

void TForm1::fillRecentMenu() {
    recentMenu_->clear();
    int n = 0;
    for (const std::string& path : recentFiles_) {
        QString shown = QString::fromStdString(path);
        shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
        QAction* a = recentMenu_->addAction(QStringLiteral("&%1 %2").arg(++n).arg(shown));
        connect(a, &QAction::triggered, this, [this, path] { openRecent(path); });
    }
    recentMenu_->setEnabled(!recentFiles_.empty());
}

void TForm1::openRecent(const std::string& path) {
    if (analysing_) return;
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        try {
            recentFiles_ = recent::forget(common::materiaFile(recent::kFile), path);
        } catch (const common::AppError&) {
            std::erase(recentFiles_, path);
        }
        fillRecentMenu();
        showUnicodeErrorBox(this, QStringLiteral("ファイルが見つかりません: %1\n最近使ったファイルの一覧から外しました")
                                      .arg(QString::fromStdString(path)));
        return;
    }
    runCommand(this, [&] { LogCounting(path); });
}
