// The window 推移 on a year of days: a real day (the log's, counted as recording counts it) written
// 365 times under the days of a year, then the time from opening the window to its table and chart
// painted, the time until the distinct counts of the months and the year and the rankings are painted
// too (counted on a worker when the range is large), and the size of the history file.
//   munyaro-historybench LOGFILE|- HISTORYFILE [RUNS]     (run with QT_QPA_PLATFORM=offscreen)
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <QApplication>
#include <QTableWidget>

#include "analysis/logcounting.h"
#include "analysis/logfile.h"
#include "history/store.h"
#include "history/ui/historywindow.h"

namespace {

// CPU time of the calling thread: the window's own work, less disturbed than the elapsed time by a
// machine that other programs load.
double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: munyaro-historybench LOGFILE HISTORYFILE [RUNS]\n");
        return 2;
    }
    const std::string logPath = argv[1], historyPath = argv[2];
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;
    QApplication app(argc, argv);

    // LOGFILE "-": the history file made by an earlier run is shown again (for a profiler).
    if (logPath != "-") {
        const analysis::ReferenceLists lists({}, {}, {"Googlebot", "bingbot"});
        const auto log = analysis::loadLog(logPath, 0);
        history::LogDays days = history::splitIntoDays(log, lists, 0);
        if (days.days.size() != 1) {
            std::fprintf(stderr, "the log is to hold one day, it holds %zu\n", days.days.size());
            return 1;
        }
        {
            std::remove(historyPath.c_str());
            history::Store store(historyPath);
            history::SourceInfo source = history::sourceOf(logPath, *log);
            static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
            int n = 0;
            for (int month = 1; month <= 12; ++month)
                for (int day = 1; day <= kDays[month - 1]; ++day) {
                    // Each day of 2025 its own log, as rotated logs are.
                    days.days[0].day = 20250000 + month * 100 + day;
                    source.name = "access_log-" + std::to_string(days.days[0].day);
                    source.firstLineHash = std::to_string(++n);
                    store.record(source, days);
                }
        }
    }
    struct stat st {};
    ::stat(historyPath.c_str(), &st);

    std::vector<double> ms, counted, cpu;
    std::size_t rows = 0;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadCpuMs();
        history::ui::HistoryWindow w(nullptr, historyPath);
        w.resize(1366, 768);
        w.show();
        QApplication::processEvents();
        w.repaint();
        ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        cpu.push_back(threadCpuMs() - cpuStart);
        rows = static_cast<std::size_t>(w.table()->rowCount());
        if (!w.waitForCounts()) {
            std::fprintf(stderr, "the counting did not end\n");
            return 1;
        }
        QApplication::processEvents();
        w.repaint();
        counted.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(ms.begin(), ms.end());
    std::sort(counted.begin(), counted.end());
    std::sort(cpu.begin(), cpu.end());
    std::printf("history.sqlite of a year (%zu rows with the total): %.1f MB (limit 50)\n", rows,
                static_cast<double>(st.st_size) / 1e6);
    std::printf("推移 window: table and chart shown in median %.0f ms (best %.0f) of %d runs (limit 200); "
                "with the year's distinct counts and rankings in median %.0f ms (best %.0f)\n",
                ms[ms.size() / 2], ms.front(), runs, counted[counted.size() / 2], counted.front());
    std::printf("the window's thread until the table and chart were shown: median %.0f ms of CPU time\n",
                cpu[cpu.size() / 2]);
    return 0;
}
