// Start-up: the start mode file, which windows open first, and the program's exit without it.
#include "app/startup.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTimer>

#include "app/tform1.h"
#include "app/tform2.h"
#include "app/tversioninfo.h"
#include "common/apperror.h"
#include "decoder/ui/tutf.h"
#include "ftp/ui/tftp.h"
#include "lists/ui/tdomein.h"
#include "qtedge/qtext.h"
#include "support.h"

namespace {

// Records the order in which windows are shown.
class ShowOrder : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow())
            shown.push_back(watched);
        return false;
    }
    std::vector<QObject*> shown;
};

class StartUpTest : public ::testing::Test {
protected:
    std::unique_ptr<Windows> create() {
        std::unique_ptr<Windows> w;
        creationBoxes = boxesShownBy([&] { w = createWindows(); });
        return w;
    }
    apptest::ProgramFont font_;
    apptest::ScratchDir dir;
    std::vector<SeenBox> creationBoxes;
};

TEST_F(StartUpTest, StartModeIsTheWholeFirstLine) {
    dir.write("materia/setup.ini", "ftp \r\nlocal\r\n");
    EXPECT_EQ(readStartMode(), "ftp ");
    dir.write("materia/setup.ini", "local");
    EXPECT_EQ(readStartMode(), "local");
    dir.write("materia/setup.ini", "\r\nftp\r\n");
    EXPECT_EQ(readStartMode(), "");
    dir.write("materia/setup.ini", "");
    EXPECT_EQ(readStartMode(), "");
    dir.remove("materia/setup.ini");
    EXPECT_THROW(
        {
            try {
                readStartMode();
            } catch (const common::AppError& e) {
                EXPECT_NE(std::string(e.what()).find(dir.path() + "/materia/setup.ini"), std::string::npos) << e.what();
                throw;
            }
        },
        common::AppError);
}

TEST_F(StartUpTest, CreatesTheSixWindowsWiredToTheMainWindow) {
    const auto w = create();
    EXPECT_TRUE(creationBoxes.empty());
    ASSERT_TRUE(w->form1 && w->form2 && w->versionInfo && w->domein && w->utf && w->ftp);
    for (QWidget* window : std::initializer_list<QWidget*>{w->form1.get(), w->form2.get(), w->versionInfo.get(),
                                                           w->domein.get(), w->utf.get(), w->ftp.get()})
        EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(w->form2->windowTitle(), QStringLiteral("アクション"));
    EXPECT_EQ(w->versionInfo->windowTitle(), QStringLiteral("バージョン情報"));
    EXPECT_EQ(w->versionInfo->Version->text(), QStringLiteral(MUNYARO_VERSION));  // the project's version

    // The menu reaches the windows created after the main one; the analysis reports into TForm2.
    w->form1->N3->trigger();
    EXPECT_TRUE(w->domein->isVisible());
    w->form1->UTF81->trigger();
    EXPECT_TRUE(w->utf->isVisible());
    apptest::writeExampleLists(dir);
    w->form1->LogCounting(dir.write("logs/a.log", apptest::exampleLog()));
    EXPECT_FALSE(w->form2->Memo2->toPlainText().isEmpty());
}

TEST_F(StartUpTest, FtpModeShowsTheMainWindowBeforeTheFtpDialog) {
    const auto w = create();
    ShowOrder order;
    qApp->installEventFilter(&order);
    applyStartMode(*w, "ftp");
    qApp->removeEventFilter(&order);
    EXPECT_EQ(order.shown, (std::vector<QObject*>{w->form1.get(), w->ftp.get()}));
}

TEST_F(StartUpTest, TheFtpDialogComesUpInFrontOfTheMainWindowCentredOnItAndActive) {
    const auto w = create();
    applyStartMode(*w, "none");
    showWindow(w->form1.get());  // shown last, as the loop does: it would cover the dialog
    w->form1->move(100, 80);
    bringForward(w->ftp.get(), w->form1.get(), true);
    QApplication::processEvents();
    EXPECT_EQ(w->ftp->parentWidget(), w->form1.get());  // owned: above it, no taskbar entry of its own
    EXPECT_TRUE(w->ftp->isWindow());
    EXPECT_LE((w->ftp->frameGeometry().center() - w->form1->frameGeometry().center()).manhattanLength(), 2);
    EXPECT_EQ(QApplication::activeWindow(), w->ftp.get());
}

TEST_F(StartUpTest, UnknownModesOpenOnlyTheFtpDialog) {
    for (const char* mode : {"none", "FTP", "ftp ", "", "Local"}) {
        const auto w = create();
        bool dialog = false;
        whileModal([&] { applyStartMode(*w, mode); },
                   [&](QWidget* modal) {
                       dialog = true;
                       modal->close();
                   });
        EXPECT_FALSE(dialog) << mode;
        EXPECT_TRUE(w->ftp->isVisible()) << mode;
        EXPECT_FALSE(w->form1->isVisible()) << mode << ": the main window follows when the loop starts";
    }
}

TEST_F(StartUpTest, LocalModeOpensTheFileDialogAtOnce) {
    const auto w = create();
    QString dialogName;
    bool ftpShownFirst = false;
    whileModal([&] { applyStartMode(*w, "local"); },
               [&](QWidget* modal) {
                   dialogName = modal->objectName();
                   ftpShownFirst = w->ftp->isVisible();
                   modal->close();  // cancelled
               });
    EXPECT_EQ(dialogName, QStringLiteral("OpenDialog1"));
    EXPECT_TRUE(ftpShownFirst);
    EXPECT_EQ(w->form1->box("Edit35")->text(), QStringLiteral("-"));

    // Choosing a file there runs the analysis before the loop starts.
    apptest::writeExampleLists(dir);
    const std::string log = dir.write("logs/start.log", apptest::exampleLog());
    whileModal([&] { applyStartMode(*w, "local"); },
               [&](QWidget* modal) {
                   auto* dialog = qobject_cast<QFileDialog*>(modal);
                   ASSERT_NE(dialog, nullptr);
                   dialog->selectFile(toQString(log));
                   static_cast<QDialog*>(dialog)->accept();
               });
    EXPECT_EQ(w->form1->box("Edit1")->text(), QStringLiteral("4"));
}

TEST_F(StartUpTest, WithoutSetupFileTheProgramShowsTheErrorAndExits) {
    dir.remove("materia/setup.ini");
    int status = -1;
    const auto boxes = boxesShownBy([&] { status = startUp(*qApp, dir.path()); });
    EXPECT_EQ(status, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("むにゃろ"));
    EXPECT_TRUE(
        boxes[0].text.startsWith(QStringLiteral("ファイル \"%1/materia/setup.ini\"").arg(toQString(dir.path()))))
        << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.endsWith(QStringLiteral("は開けません.")));
}

TEST_F(StartUpTest, AProgramFolderThatCannotBeEnteredIsNamedReadably) {
    const std::string missing = dir.path() + "/消えたフォルダ";
    int status = -1;
    const auto boxes = boxesShownBy([&] { status = startUp(*qApp, missing); });
    EXPECT_EQ(status, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("ファイル \"%1\"").arg(QString::fromStdString(missing))))
        << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.endsWith(QStringLiteral("は開けません.")));
}

TEST_F(StartUpTest, ALogGivenOnTheCommandLineIsAnalysedAtStartInsteadOfTheStartMode) {
    dir.write("materia/setup.ini", "local\r\n");
    apptest::writeExampleLists(dir);
    dir.write("logs/given.log", apptest::exampleLog());
    // Named relative to where the program was started, which start-up then leaves for its data folder.
    const std::string started = dir.path() + "/logs";
    ASSERT_EQ(chdir(started.c_str()), 0);
    QString analysed, connections;
    bool ftpShown = true, modalSeen = false;
    QTimer poll;
    poll.setInterval(10);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QApplication::activeModalWidget()) modalSeen = true;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* main = qobject_cast<TForm1*>(w);
            if (!main) continue;
            if (main->box("Edit1")->text() == QStringLiteral("-") && std::chrono::steady_clock::now() < deadline)
                return;
            analysed = main->box("Edit35")->text();
            connections = main->box("Edit1")->text();
            for (QWidget* other : QApplication::topLevelWidgets())
                if (qobject_cast<TFTP*>(other)) ftpShown = other->isVisible();
            main->close();
        }
    });
    poll.start();
    EXPECT_EQ(startUp(*qApp, dir.path(), "given.log"), 0);
    EXPECT_EQ(analysed, toQString(dir.path() + "/logs/given.log"));
    EXPECT_EQ(connections, QStringLiteral("4"));
    EXPECT_FALSE(ftpShown);
    EXPECT_FALSE(modalSeen);  // no file-open dialog either
}

TEST_F(StartUpTest, ClosingTheMainWindowEndsTheLoop) {
    dir.write("materia/setup.ini", "ftp\r\n");
    bool bothShown = false;
    // Inside the loop: both windows are up; closing the main window ends the program.
    QTimer::singleShot(50, [&] {
        QWidget* main = nullptr;
        QWidget* ftp = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<TForm1*>(w)) main = w;
            if (qobject_cast<TFTP*>(w)) ftp = w;
        }
        bothShown = main && ftp && main->isVisible() && ftp->isVisible();
        if (main) main->close();
    });
    EXPECT_EQ(startUp(*qApp, dir.path()), 0);
    EXPECT_TRUE(bothShown);
}

TEST_F(StartUpTest, TheNextStartOpensTheWindowsWhereTheyWereLeft) {
    dir.write("materia/setup.ini", "ftp\r\n");
    auto start = [&](const std::function<void(QWidget * main, QWidget * ftp)>& inside) {
        QTimer::singleShot(50, [&] {
            QWidget* main = nullptr;
            QWidget* ftp = nullptr;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                if (qobject_cast<TForm1*>(w)) main = w;
                if (qobject_cast<TFTP*>(w)) ftp = w;
            }
            ASSERT_TRUE(main && ftp);
            inside(main, ftp);
            main->close();
        });
        EXPECT_EQ(startUp(*qApp, dir.path()), 0);
    };
    start([](QWidget* main, QWidget* ftp) {
        main->setGeometry(30, 40, 500, 520);
        ftp->move(200, 100);  // left open: kept as the program ends
    });
    QRect main, ftp;
    start([&](QWidget* m, QWidget* f) {
        main = m->geometry();
        ftp = QRect(f->pos(), f->size());  // where its frame stands
    });
    EXPECT_EQ(main, QRect(30, 40, 500, 520));
    EXPECT_EQ(ftp.size(), QSize(368, 417)) << "a fixed size stays";
    EXPECT_EQ(ftp.topLeft(), QPoint(200, 100));
}

}  // namespace
