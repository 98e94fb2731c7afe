// Start-up and the message loop.
#include "app/startup.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

#include <QApplication>
#include <QFontDatabase>
#include <QTimer>

#include "app/fetchedlogs.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "app/tversioninfo.h"
#include "app/windowplaces.h"
#include "common/apperror.h"
#include "common/fileio.h"
#include "common/programdir.h"
#include "common/stringlist.h"
#include "decoder/ui/tutf.h"
#include "ftp/ui/tftp.h"
#include "lists/ui/tdomein.h"
#include "qtedge/commandguard.h"

QFont programFont() {
    const QString preferred = QStringLiteral("ＭＳ Ｐゴシック");
    const QString family = QFontDatabase::families().contains(preferred) ? preferred : QStringLiteral("IPAPGothic");
    QFont font(family, 9);
    font.setStyleHint(QFont::SansSerif);
    return font;
}

Windows::Windows() = default;
Windows::~Windows() {
    ftp.reset();
    utf.reset();
    domein.reset();
    versionInfo.reset();
    form2.reset();
    form1.reset();
}

std::unique_ptr<Windows> createWindows() {
    auto w = std::make_unique<Windows>();
    w->form1 = std::make_unique<TForm1>();
    w->form2 = std::make_unique<TForm2>();
    w->versionInfo = std::make_unique<TVersionINFO>();
    w->domein = std::make_unique<TDomein>(nullptr);
    runCommand(w->domein.get(), [&] { w->domein->FormCreate(); });
    w->utf = std::make_unique<TUTF>(nullptr);
    w->ftp = std::make_unique<TFTP>(nullptr);
    // Owned by the main window as a window of its own: it stays above it and has no taskbar entry
    // of its own.
    w->ftp->setParent(w->form1.get(), w->ftp->windowFlags());
    TForm1* form1 = w->form1.get();
    w->ftp->setLogCounting([form1](const std::string& path) { form1->LogCounting(path); });
    w->ftp->setAnalyseSeveral([form1](const std::vector<std::string>& paths) { analyseFetched(*form1, paths); });
    runCommand(w->ftp.get(), [&] { w->ftp->FormCreate(); });
    w->form1->setWindows({w->form2.get(), w->versionInfo.get(), w->domein.get(), w->utf.get(), w->ftp.get()});
    return w;
}

std::string readStartMode() {
    const common::StringList lines = common::splitLines(common::readWholeFile(common::materiaFile("setup.ini")));
    return lines.empty() ? std::string() : lines.front();
}

void applyStartMode(Windows& w, const std::string& mode) {
    // Exact and case-sensitive: "FTP" and "ftp " are no start mode.
    if (mode == "ftp") showWindow(w.form1.get());
    showWindow(w.ftp.get());
    if (mode == "local") w.form1->OpenO1Click();
}

void bringForward(QWidget* dialog, QWidget* over, bool centre) {
    // The main window, shown last, would cover the dialog the user is meant to fill in first.
    if (centre) {
        QRect place = dialog->frameGeometry();
        place.moveCenter(over->frameGeometry().center());
        dialog->move(place.topLeft());
    }
    dialog->raise();
    dialog->activateWindow();
}

std::string prepareDataDir(const std::string& programDir) {
    const std::string dir = common::locateDataDir(programDir);
    if (dir != programDir) runCommand(nullptr, [&] { common::createDataDir(dir, common::shippedDataDir(programDir)); });
    return dir;
}

int startUp(QApplication& app, const std::string& dir, const std::string& logFile) {
    QApplication::setFont(programFont());
    // A log named on the command line is named relative to where the program was started.
    const std::string log = logFile.empty() ? std::string() : common::fullPath(logFile);
    if (!runCommand(nullptr, [&] {
            if (chdir(dir.c_str()) != 0) common::throwOpenError(dir, errno);
        }))
        return 1;

    const std::unique_ptr<Windows> windows = createWindows();
    const QPoint ftpDefault = windows->ftp->pos();
    // Each window where the user left it at the last start.
    for (QWidget* window :
         std::initializer_list<QWidget*>{windows->form1.get(), windows->form2.get(), windows->versionInfo.get(),
                                         windows->domein.get(), windows->utf.get(), windows->ftp.get()})
        places::remember(window);
    // Where the user left it, it stays; otherwise it comes up over the main window.
    const bool ftpPlaced = windows->ftp->pos() != ftpDefault;
    QObject::connect(windows->form1.get(), &TForm1::closed, &app, &QCoreApplication::quit);
    // Only the main window ends the program; closing any other one merely hides it.
    app.setQuitOnLastWindowClosed(false);

    std::string mode;
    if (!runCommand(nullptr, [&] { mode = readStartMode(); })) return 1;
    if (log.empty()) {
        applyStartMode(*windows, mode);
    } else {
        // Opened with a file: the user wants that file, not the FTP dialog or the file-open dialog.
        // It is analysed once the loop runs, so the main window is on the screen first.
        TForm1* form1 = windows->form1.get();
        QTimer::singleShot(0, form1, [form1, log] { runCommand(form1, [&] { form1->LogCounting(log); }); });
    }
    if (!windows->form1->isVisible()) showWindow(windows->form1.get());
    if (windows->ftp->isVisible()) bringForward(windows->ftp.get(), windows->form1.get(), !ftpPlaced);
    return app.exec();
}
