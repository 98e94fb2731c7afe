// The main window's conveniences: a dropped log, the recent files, the status bar, Alt+F.
#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "app/tform1.h"
#include "app/tform2.h"
#include "common/fileio.h"
#include "common/stringlist.h"
#include "qtedge/qtext.h"
#include "support.h"

namespace {

class DesktopTest : public ::testing::Test {
protected:
    void SetUp() override {
        form.setWindows({&progress});
        apptest::writeExampleLists(dir);
    }
    std::string box(const char* name) const { return fromQString(form.findChild<QLineEdit*>(name)->text()); }
    std::string log(const std::string& name) const { return dir.write("logs/" + name, apptest::exampleLog()); }
    QString status(const char* name) const { return form.findChild<QLabel*>(name)->text(); }
    std::vector<QString> boxTexts(const std::function<void()>& action) {
        std::vector<QString> texts;
        for (const auto& b : boxesShownBy(action)) texts.push_back(b.text);
        return texts;
    }

    apptest::ProgramFont font_;
    apptest::ScratchDir dir;
    TForm1 form;
    TForm2 progress;
};

TEST_F(DesktopTest, ADroppedLogIsAnalysedAndAFolderOrTwoFilesAreRefused) {
    const std::string a = log("a.log");
    // As the file manager drops it: the analysis follows once the drop has ended.
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(a))});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&form, &drop);
    EXPECT_EQ(box("Edit35"), "-") << "not inside the drop";
    QCoreApplication::processEvents();
    EXPECT_EQ(box("Edit35"), a);
    EXPECT_EQ(box("Edit1"), "4");
    // The status bar names the file, its lines and the time taken.
    EXPECT_EQ(status("StatusFile"), QString::fromStdString(a));
    EXPECT_EQ(status("StatusLines"), QStringLiteral("4 行"));
    EXPECT_TRUE(status("StatusTime").startsWith(QStringLiteral("解析 "))) << status("StatusTime").toStdString();

    const std::vector<QString> folder = boxTexts(
        [&] { form.openDropped({QUrl::fromLocalFile(QString::fromStdString(dir.path() + "/logs"))}); });
    ASSERT_EQ(folder.size(), 1u);
    EXPECT_TRUE(folder[0].startsWith(QStringLiteral("フォルダは開けません"))) << folder[0].toStdString();
    const std::string b = log("b.log");
    const std::vector<QString> two = boxTexts([&] {
        form.openDropped(
            {QUrl::fromLocalFile(QString::fromStdString(a)), QUrl::fromLocalFile(QString::fromStdString(b))});
    });
    ASSERT_EQ(two.size(), 1u);
    EXPECT_TRUE(two[0].startsWith(QStringLiteral("ログファイルを1つだけ")));
    EXPECT_EQ(box("Edit35"), a) << "nothing else was analysed";

    // A log that stops the analysis (here: gone before it is read) leaves the file named and the time
    // marked as stopped.
    const std::string gone = dir.path() + "/logs/gone.log";
    EXPECT_EQ(boxTexts([&] { form.openDropped({QUrl::fromLocalFile(QString::fromStdString(gone))}); }).size(), 1u);
    EXPECT_EQ(status("StatusFile"), QString::fromStdString(gone));
    EXPECT_EQ(status("StatusLines"), QString());
    EXPECT_TRUE(status("StatusTime").startsWith(QStringLiteral("中断"))) << status("StatusTime").toStdString();
}

TEST_F(DesktopTest, RecentFilesKeepTheLastEightNewestFirst) {
    std::vector<std::string> logs;
    for (int i = 0; i < 10; ++i) logs.push_back(log("l" + std::to_string(i) + ".log"));
    for (const std::string& l : logs) form.LogCounting(l);
    form.LogCounting(logs[4]);  // opened again: to the front, not twice
    const std::vector<std::string> expected{logs[4], logs[9], logs[8], logs[7], logs[6], logs[5], logs[3], logs[2]};
    EXPECT_EQ(form.recentFiles(), expected);
    const QList<QAction*> actions = form.recentMenu()->actions();
    ASSERT_EQ(actions.size(), 8);
    EXPECT_EQ(actions[0]->text(), QStringLiteral("&1 ") + QString::fromStdString(logs[4]));
    // Kept in a file of its own, read by the next window.
    EXPECT_EQ(common::splitLines(common::readWholeFile("materia/RecentFiles.dat")),
              common::StringList(expected.begin(), expected.end()));
    TForm1 next;
    EXPECT_EQ(next.recentFiles(), expected);

    // Chosen from the menu, a log is analysed; one that is gone drops out with a message.
    actions[1]->trigger();
    EXPECT_EQ(box("Edit35"), logs[9]);
    EXPECT_EQ(form.recentFiles().front(), logs[9]);
    dir.remove("logs/l8.log");
    const std::vector<QString> gone = boxTexts([&] { form.openRecent(logs[8]); });
    ASSERT_EQ(gone.size(), 1u);
    EXPECT_TRUE(gone[0].contains(QString::fromStdString(logs[8])));
    EXPECT_EQ(form.recentFiles().size(), 7u);
    EXPECT_EQ(std::count(form.recentFiles().begin(), form.recentFiles().end(), logs[8]), 0);
    EXPECT_EQ(common::splitLines(common::readWholeFile("materia/RecentFiles.dat")).size(), 7u);
    EXPECT_EQ(box("Edit35"), logs[9]) << "nothing analysed";
}

TEST_F(DesktopTest, TwoWindowsKeepEachOthersRecentFiles) {
    const std::string a = log("r_a.log"), b = log("r_b.log"), c = log("r_c.log"), d = log("r_d.log");
    for (const std::string& l : {d, c, a}) form.LogCounting(l);
    // A second window of the program, open beside the first, opens a log of its own.
    TForm1 other;
    TForm2 otherProgress;
    other.setWindows({&otherProgress});
    other.LogCounting(b);
    EXPECT_EQ(other.recentFiles(), (std::vector<std::string>{b, a, c, d}));
    // The first window's menu shows it, and its own change keeps it.
    form.recentMenu()->aboutToShow();
    EXPECT_EQ(form.recentFiles(), (std::vector<std::string>{b, a, c, d}));
    form.openRecent(d);
    const std::vector<std::string> expected{d, b, a, c};
    EXPECT_EQ(form.recentFiles(), expected);
    EXPECT_EQ(common::splitLines(common::readWholeFile("materia/RecentFiles.dat")),
              common::StringList(expected.begin(), expected.end()));
    // A log that is gone drops out of the file as it is, not of the list the window read.
    other.LogCounting(c);
    dir.remove("logs/r_a.log");
    EXPECT_EQ(boxTexts([&] { form.openRecent(a); }).size(), 1u);
    EXPECT_EQ(form.recentFiles(), (std::vector<std::string>{c, d, b}));
}

TEST_F(DesktopTest, AZeroByteThatEndedTheLogIsToldInTheStatusBarAndTheProgressWindow) {
    std::string text = apptest::exampleLog();
    text.insert(text.find("10.0.0.3"), std::string(1, '\0'));
    const std::string cut = dir.write("logs/cut.log", text);
    form.LogCounting(cut);
    EXPECT_EQ(box("Edit1"), "3");
    const auto* zero = form.findChild<QLabel*>("StatusZeroByte");
    EXPECT_FALSE(zero->isHidden());
    EXPECT_EQ(zero->text(), QStringLiteral("4 行目のゼロのバイトで読み終えました"));
    const QStringList messages = progress.Memo2->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(messages.size(), 14);
    EXPECT_EQ(messages[3], zero->text()) << "beside the progress messages, after the log is read";
    form.LogCounting(log("whole.log"));
    EXPECT_TRUE(zero->isHidden());
}

TEST_F(DesktopTest, AltFAlwaysOpensTheFileMenu) {
    QWidget ftp;
    ftp.setWindowFlag(Qt::Window);
    form.setWindows({&progress, nullptr, nullptr, nullptr, &ftp});
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    auto* file = form.findChild<QMenu*>("FileF1");
    ASSERT_NE(file, nullptr);
    for (int press = 0; press < 4; ++press) {
        QTest::keyClick(&form, Qt::Key_F, Qt::AltModifier);
        EXPECT_TRUE(QTest::qWaitFor([&] { return file->isVisible(); }, 2000)) << "press " << press;
        file->close();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !file->isVisible(); }, 2000));
    }
    EXPECT_FALSE(ftp.isVisible());
    // The button keeps its caption and still opens the dialog when clicked.
    EXPECT_EQ(form.Button2->text(), QStringLiteral("FTP接続(&F)"));
    form.Button2->click();
    EXPECT_TRUE(ftp.isVisible());
}

}  // namespace
