// むにゃろ: reads one web-server access log at a time and shows what it found.
//   munyaro [LOGFILE]     LOGFILE is analysed at start (the desktop entry's "open with").
#include <QApplication>
#include <QLibraryInfo>
#include <QTranslator>

#include "app/startup.h"
#include "common/programdir.h"
#include "qtedge/commandguard.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);  // takes Qt's own options out of argv
    QApplication::setApplicationName(QStringLiteral("munyaro"));
    QApplication::setDesktopFileName(QStringLiteral("io.github.munyaro.Munyaro"));
    // Qt's own dialogs and buttons (the file-open dialog, message box buttons) in Japanese too.
    QTranslator qtJapanese;
    if (qtJapanese.load(QStringLiteral("qtbase_ja"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtJapanese);
    QApplication::setFont(programFont());  // for a box about the data folder already
    // Without a home folder there is no place for the data: the box says so, and the program ends.
    std::string dir;
    if (!runCommand(nullptr, [&] { dir = prepareDataDir(common::programDir()); })) return 1;
    common::setDataDir(dir);
    // The file names the system handed over, as bytes.
    return startUp(app, common::dataDir(), argc >= 2 ? std::string(argv[1]) : std::string());
}
