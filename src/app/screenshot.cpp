// Opens the program's windows on the current display, analyses a log and saves a PNG of every page of
// the main window, and of the progress and about windows, into a directory.
//   munyaro-screenshot OUTDIR [LOGFILE]   (default: logs/access_log_20261207 beside the program)
#include <cstdio>
#include <string>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPixmap>
#include <QScreen>
#include <QTabWidget>

#include "app/findbar.h"
#include "app/linesview.h"
#include "app/rankingwindow.h"
#include "app/startup.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "app/tversioninfo.h"
#include "common/fileio.h"
#include "common/programdir.h"
#include "qtedge/commandguard.h"

namespace {

// Lets the window system map and paint what was just shown.
void settle(int ms = 250) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget* window, const QDir& dir, const QString& name) {
    settle();
    const QPixmap shot = window->screen()->grabWindow(window->winId());
    const QString file = dir.filePath(name + QStringLiteral(".png"));
    if (!shot.save(file)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
        return false;
    }
    std::printf("%s\n", qPrintable(file));
    return true;
}

// Every page of a tab control, and of the tab controls inside it.
bool shootTabs(QWidget* window, QTabWidget* tabs, const QDir& dir, const QString& prefix) {
    bool ok = true;
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QWidget* page = tabs->widget(i);
        const QString name = QStringLiteral("%1%2-%3").arg(prefix).arg(i + 1).arg(page->objectName());
        auto* inner = page->findChild<QTabWidget*>(QString(), Qt::FindDirectChildrenOnly);
        ok = (inner ? shootTabs(window, inner, dir, name + QLatin1Char('.')) : save(window, dir, name)) && ok;
    }
    tabs->setCurrentIndex(0);
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: munyaro-screenshot OUTDIR [LOGFILE]\n");
        return 2;
    }
    const QDir out(QDir::current().absoluteFilePath(QString::fromLocal8Bit(argv[1])));
    if (!out.exists() && !QDir().mkpath(out.path())) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(out.path()));
        return 1;
    }
    const std::string log = argc == 3 ? common::fullPath(argv[2]) : common::programDir() + "logs/access_log_20261207";

    QApplication::setFont(programFont());
    if (chdir(common::programDir().c_str()) != 0) return 1;
    const std::unique_ptr<Windows> windows = createWindows();
    TForm1* form1 = windows->form1.get();
    showWindow(form1);
    settle();
    // Before any log: the status bar says how to begin.
    bool ok = save(form1, out, QStringLiteral("first-start"));
    if (!runCommand(form1, [&] { form1->LogCounting(log); })) return 1;

    ok = shootTabs(form1, form1->PageControl1, QDir(out), QStringLiteral("main-")) && ok;
    // The first page again at the smallest size the window allows.
    const QSize normal = form1->size();
    form1->resize(form1->minimumSize());
    ok = save(form1, out, QStringLiteral("main-smallest")) && ok;
    // A larger window: the panes grow, the chart keeps its pixels in the middle.
    form1->resize(900, 640);
    form1->PageControl1->setCurrentIndex(1);
    form1->findChild<QTabWidget*>(QStringLiteral("ConnectPages"))->setCurrentIndex(1);
    ok = save(form1, out, QStringLiteral("main-large-chart")) && ok;
    form1->findChild<QTabWidget*>(QStringLiteral("ConnectPages"))->setCurrentIndex(0);
    ok = save(form1, out, QStringLiteral("main-large-hosts")) && ok;
    form1->PageControl1->setCurrentIndex(0);
    form1->resize(normal);

    // The rankings at their first size, every tab in view.
    form1->RankingClick();
    ok = save(form1->rankingWindow(), out, QStringLiteral("rankings")) && ok;
    form1->rankingWindow()->hide();

    // The find bar on the raw log, then its filtered view.
    LinesView* raw = form1->pane(analysis::kRawLogPane);
    form1->PageControl1->setCurrentWidget(raw->parentWidget());
    raw->openFind();
    raw->findBar()->edit->setText(QStringLiteral("bot"));
    QElapsedTimer waited;
    waited.start();
    while (!raw->searchDone() && waited.elapsed() < 30000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    settle();
    ok = save(form1, out, QStringLiteral("find")) && ok;
    raw->findBar()->onlyMatching->setChecked(true);
    settle();
    ok = save(form1, out, QStringLiteral("find-filtered")) && ok;
    raw->closeFind();

    showWindow(windows->form2.get());
    ok = save(windows->form2.get(), out, QStringLiteral("progress")) && ok;
    windows->form2->hide();
    showWindow(windows->versionInfo.get());
    ok = save(windows->versionInfo.get(), out, QStringLiteral("about")) && ok;
    windows->versionInfo->hide();
    return ok ? 0 : 1;
}
