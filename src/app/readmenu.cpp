// The log reading choices of the 設定 menu.
#include "app/readmenu.h"

#include <QActionGroup>
#include <QMenu>

#include "qtedge/commandguard.h"

ReadMenu::ReadMenu(QMenu* menu, std::string path, QObject* parent) : QObject(parent), path_(std::move(path)) {
    // A settings file that cannot be read leaves the defaults: reading logs must still work.
    runCommand(nullptr, [&] { settings_ = analysis::loadReadSettings(path_); });
    formats_ = menu->addMenu(QStringLiteral("ログの形式(&L)"));
    formats_->setObjectName("LogFormatMenu");
    group_ = new QActionGroup(this);
    auto add = [&](const QString& caption, const QString& name, bool on) {
        QAction* a = formats_->addAction(caption);
        a->setObjectName(name);
        a->setCheckable(true);
        a->setChecked(on);
        group_->addAction(a);
        connect(a, &QAction::triggered, this, &ReadMenu::changed);
    };
    add(QStringLiteral("自動で判別(&A)"), QStringLiteral("auto"), !settings_.layout);
    formats_->addSeparator();
    for (const char* name : {"combined", "common", "vhost-combined", "vhost-common", "combined-extra", "common-extra",
                             "vhost-combined-extra", "vhost-common-extra"}) {
        const auto layout = analysis::layoutNamed(name);
        add(QString::fromLatin1(name), QString::fromLatin1(name),
            settings_.layout && layout->sameLayout(*settings_.layout));
    }
    skip_ = menu->addAction(QStringLiteral("読めない行を飛ばす(&K)"));
    skip_->setObjectName("SkipBadLines");
    skip_->setCheckable(true);
    skip_->setChecked(settings_.skipBadLines);
    skip_->setToolTip(QStringLiteral("時刻や転送量の読めない行を数えて一覧にし、解析を続けます"));
    connect(skip_, &QAction::triggered, this, &ReadMenu::changed);
    forwarded_ = menu->addAction(QStringLiteral("X-Forwarded-For をホストにする(&X)"));
    forwarded_->setObjectName("ClientFromForwarded");
    forwarded_->setCheckable(true);
    forwarded_->setChecked(settings_.clientFromForwarded);
    forwarded_->setToolTip(QStringLiteral(
        "CDN やリバースプロキシの後ろのサイト向け: 行末の X-Forwarded-For の最初のアドレスを訪問者とします"));
    connect(forwarded_, &QAction::triggered, this, &ReadMenu::changed);
    menu->setToolTipsVisible(true);
}

void ReadMenu::changed() {
    const QAction* chosen = group_->checkedAction();
    const std::string name = chosen ? chosen->objectName().toStdString() : "auto";
    settings_.layout = name == "auto" ? std::nullopt : analysis::layoutNamed(name);
    settings_.skipBadLines = skip_->isChecked();
    settings_.clientFromForwarded = forwarded_->isChecked();
    // The choice applies from the next analysis on, saved or not.
    runCommand(qobject_cast<QWidget*>(parent()), [&] { analysis::saveReadSettings(path_, settings_); });
}
