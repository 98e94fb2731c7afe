// The main window keeps each analysis in the history, unless told not to, and opens 推移.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include <QAction>
#include <QCoreApplication>
#include <QLineEdit>

#include "app/fetchedlogs.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "history/store.h"
#include <QTableWidget>

#include "history/ui/historywindow.h"
#include "qtedge/commandguard.h"
#include "support.h"

namespace {

class TForm1History : public ::testing::Test {
protected:
    void SetUp() override {
        form.setWindows({&progress});
        apptest::writeExampleLists(dir);
        log = dir.write("logs/example.log", apptest::exampleLog());
    }
    // Analyses the example as a command does, then lets what was put off run; the boxes shown.
    std::vector<SeenBox> analyse() {
        return boxesShownBy([&] {
            runCommand(&form, [&] { form.LogCounting(log); });
            QCoreApplication::processEvents();
        });
    }
    std::string history() const { return dir.path() + "/history.sqlite"; }

    apptest::ProgramFont font_;
    apptest::ScratchDir dir;
    TForm1 form;
    TForm2 progress;
    std::string log;
};

}  // namespace

TEST_F(TForm1History, EveryAnalysisIsKeptOnce) {
    EXPECT_TRUE(analyse().empty());
    EXPECT_TRUE(analyse().empty());
    const auto days = history::Store(history()).days(0, 99991231);
    ASSERT_EQ(days.size(), 1u);
    EXPECT_EQ(days[0].day, 20041010);
    EXPECT_EQ(days[0].counts.lines, 4);
    EXPECT_EQ(days[0].hosts, 3);
    EXPECT_EQ(days[0].counts.robots, 1);
}

TEST_F(TForm1History, NothingIsKeptWhenTheSettingIsOff) {
    dir.write("materia/HistorySetting.dat", "0\r\n");
    EXPECT_TRUE(analyse().empty());
    EXPECT_FALSE(std::filesystem::exists(history()));
}

TEST_F(TForm1History, AHistoryThatCannotBeWrittenIsSaidAfterTheResultIsShown) {
    std::filesystem::create_directory(history());
    const auto boxes = analyse();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_THAT(boxes[0].text.toStdString(), testing::HasSubstr("history.sqlite"));
    EXPECT_EQ(form.findChild<QLineEdit*>("Edit1")->text(), "4");
}

TEST_F(TForm1History, CtrlHOpensTheWindowOnTheRecordedDays) {
    analyse();
    QAction* item = form.findChild<QAction*>("History1");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_H));
    item->trigger();
    ASSERT_TRUE(form.historyWindow());
    EXPECT_TRUE(form.historyWindow()->isVisible());
    EXPECT_EQ(form.historyWindow()->table()->rowCount(), 2);  // the day and the total
}

namespace {

// Days fetched together: the example log moved to 9 and 11 October.
std::string onDay(const std::string& log, const char* day) {
    std::string moved = log;
    for (std::size_t at = 0; (at = moved.find("10/Oct", at)) != std::string::npos;) moved.replace(at, 2, day);
    return moved;
}

TEST_F(TForm1History, SeveralFetchedLogsAreAllKeptAndTheLastIsShownEvenWithTheSettingOff) {
    for (const char* off : {"1\r\n", "0\r\n"}) {
        std::filesystem::remove(history());
        dir.write("materia/HistorySetting.dat", off);
        const std::string first = dir.write("logs/a.log", onDay(apptest::exampleLog(), "09"));
        const std::string last = dir.write("logs/b.log", onDay(apptest::exampleLog(), "11"));
        const auto boxes = boxesShownBy([&] {
            analyseFetched(form, {first, log, last});
            QCoreApplication::processEvents();
        });
        EXPECT_TRUE(boxes.empty()) << off;
        const auto days = history::Store(history()).days(0, 99991231);
        ASSERT_EQ(days.size(), 3u) << off;
        EXPECT_EQ(days[0].day, 20041009);
        EXPECT_EQ(days[2].day, 20041011);
        EXPECT_EQ(days[2].counts.lines, 4);
        EXPECT_EQ(form.findChild<QLineEdit*>("Edit35")->text().toStdString(), last);
    }
}

TEST_F(TForm1History, AFetchedLogThatCannotBeKeptIsNamedAfterwards) {
    const std::string broken = dir.write("logs/broken.log", "not a log line\r\n");
    const auto boxes = boxesShownBy([&] {
        analyseFetched(form, {broken, log});
        QCoreApplication::processEvents();
    });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].name, QStringLiteral("FetchedRecordingProblems"));
    EXPECT_THAT(boxes[0].text.toStdString(), testing::HasSubstr(broken));
    EXPECT_EQ(history::Store(history()).days(0, 99991231).size(), 1u);
}

}  // namespace
