// むにゃろ: reads one web-server access log at a time and shows what it found.
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/startup.h"
#include "common/programdir.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("munyaro"));
    // Qt's own dialogs and buttons (the file-open dialog, message box buttons) in Japanese too.
    QTranslator qtJapanese;
    if (qtJapanese.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtJapanese);
    common::setDataDir(common::programDir());
    return startUp(app, common::dataDir());
}
