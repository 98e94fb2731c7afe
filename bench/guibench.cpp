// The main window on a large log: time from LogCounting called to every pane and chart filled, the
// peak memory of the process, the time to scroll NamaLog and Memo9 to their last line, to open the
// 生ログ page, and to find a text in NamaLog (first match, every matching line, the filtered view).
//   munyaro-guibench LOGFILE [RUNS [QUERY]]     (run with QT_QPA_PLATFORM=offscreen)
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScrollBar>
#include <QTabWidget>

#include "app/findbar.h"
#include "app/linesview.h"
#include "app/startup.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "common/fileio.h"
#include "common/programdir.h"
#include "qtedge/commandguard.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

long peakKib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Brings the pages that hold widget to the front, so it is on screen and paints.
void reveal(QWidget* widget) {
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        auto* tabs = qobject_cast<QTabWidget*>(w->parentWidget() ? w->parentWidget()->parentWidget() : nullptr);
        if (tabs && tabs->indexOf(w) >= 0) tabs->setCurrentWidget(w);
    }
}

// Ctrl+End as the user presses it, then the paint of the last page.
double scrollToEnd(LinesView* pane) {
    reveal(pane);
    QCoreApplication::processEvents();
    const auto start = Clock::now();
    QKeyEvent key(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
    QApplication::sendEvent(pane, &key);
    pane->viewport()->repaint();
    const double ms = msSince(start);
    if (pane->firstVisibleLine() + static_cast<std::size_t>(pane->visibleLines()) < pane->lineCount())
        std::fprintf(stderr, "%s did not reach its last line\n", qPrintable(pane->objectName()));
    return ms;
}

// Pumps events until done() holds; the milliseconds taken, or -1 after a minute.
template <class F>
double until(Clock::time_point start, F done) {
    // The window waits for news as its event loop does, without spinning: the search has the processor.
    while (!done()) {
        if (msSince(start) > 60000) return -1;
        QCoreApplication::processEvents();
        if (!done()) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return msSince(start);
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// Types the query into NamaLog's find bar, runs times: the medians of the time to the first match
// selected and to every line found.
void findIn(LinesView* pane, const QString& query, bool caseSensitive, int runs) {
    std::vector<double> firsts, alls;
    for (int i = 0; i < runs; ++i) {
        pane->openFind();
        pane->findBar()->caseSensitive->setChecked(caseSensitive);
        pane->findBar()->edit->clear();
        pane->scrollToLine(0);
        QCoreApplication::processEvents();
        const auto start = Clock::now();
        pane->findBar()->edit->setText(query);
        firsts.push_back(until(start, [&] { return pane->hasSelection(); }));
        alls.push_back(until(start, [&] { return pane->searchDone(); }));
    }
    const double first = median(firsts), all = median(alls);
    std::printf("find \"%s\" (%s) in NamaLog: first match %.1f ms, all %zu matching lines %.1f ms (medians of %d)\n",
                qPrintable(query), caseSensitive ? "case-sensitive" : "case ignored", first, pane->matchingLines(), all,
                runs);
    std::printf("find_ms %s %.1f %.1f\n", caseSensitive ? "sensitive" : "ignored", first, all);
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    if (argc < 2 || argc > 4) {
        std::fprintf(stderr, "usage: munyaro-guibench LOGFILE [RUNS [QUERY]]\n");
        return 2;
    }
    const std::string log = common::fullPath(argv[1]);
    const int runs = argc >= 3 ? std::max(1, std::atoi(argv[2])) : 1;
    const QString query = argc == 4 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("Googlebot");

    QApplication::setFont(programFont());
    if (chdir(common::programDir().c_str()) != 0) return 1;
    TForm1 form;
    TForm2 progress;
    form.setWindows({&progress});
    form.show();
    QCoreApplication::processEvents();

    double best = 0;
    long peak = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        if (!runCommand(&form, [&] { form.LogCounting(log); })) return 1;
        const double s = msSince(start) / 1000;
        if (i == 0 || s < best) best = s;
        // Later runs also hold the previous log in the panes that keep it until the new one is ready.
        if (i == 0) peak = peakKib();
        QCoreApplication::processEvents();
    }
    std::printf("window LogCounting: %.2f s (best of %d), peak %.0f MB after the first run\n", best, runs,
                static_cast<double>(peak) / 1024);
    std::printf("seconds_peak_kib %.3f %ld\n", best, peak);
    const double nama = scrollToEnd(form.pane("NamaLog"));
    const double memo9 = scrollToEnd(form.pane("Memo9"));
    std::printf("scroll to the last line: NamaLog %.1f ms, Memo9 %.1f ms (%zu and %zu lines)\n", nama, memo9,
                form.pane("NamaLog")->lineCount(), form.pane("Memo9")->lineCount());

    // The 生ログ page from another page: the switch and the first paint of the pane.
    LinesView* namaLog = form.pane("NamaLog");
    namaLog->scrollToLine(0);
    form.PageControl1->setCurrentIndex(0);
    QCoreApplication::processEvents();
    const auto opened = Clock::now();
    reveal(namaLog);
    namaLog->viewport()->repaint();
    QCoreApplication::processEvents();
    std::printf("open the NamaLog page: %.1f ms\n", msSince(opened));

    for (bool caseSensitive : {false, true}) findIn(namaLog, query, caseSensitive, runs);
    const auto filtering = Clock::now();
    namaLog->setFiltered(true);
    namaLog->viewport()->repaint();
    std::printf("filtered view of the %zu matching lines: %.1f ms\n", namaLog->rowCount(), msSince(filtering));
    return 0;
}
