// The main window: its components, an analysis read back by component name, the unit switch, the
// error box, and what an interrupted analysis leaves.
#include "app/tform1.h"

#include <gtest/gtest.h>

#include <map>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>

#include "analysis/report.h"
#include "app/chartimage.h"
#include "app/linesview.h"
#include "app/tform2.h"
#include "common/apperror.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"
#include "support.h"

namespace {

using apptest::sjis;
using common::StringList;

const std::string kDash(45, '-');

class TForm1Test : public ::testing::Test {
protected:
    void SetUp() override { form.setWindows({&progress}); }
    StringList pane(const char* name) const {
        auto* view = form.findChild<LinesView*>(name);
        return view ? view->lines() : StringList{"<no pane " + std::string(name) + ">"};
    }
    std::string box(const char* name) const {
        auto* edit = form.findChild<QLineEdit*>(name);
        return edit ? fromQString(edit->text()) : "<no box>";
    }
    // Runs an analysis as a command does; the texts of the error boxes it showed.
    std::vector<QString> analyse(const std::string& path) {
        std::vector<QString> texts;
        for (const auto& b : boxesShownBy([&] { runCommand(&form, [&] { form.LogCounting(path); }); }))
            texts.push_back(b.text);
        return texts;
    }
    std::string analyseExample() {
        apptest::writeExampleLists(dir);
        const std::string log = dir.write("logs/example.log", apptest::exampleLog());
        EXPECT_TRUE(analyse(log).empty());
        return log;
    }
    // The state an earlier analysis left: every pane and box, and the charts.
    struct Shown {
        std::map<std::string, StringList> panes;
        std::map<std::string, std::string> boxes;
    };
    Shown shown() const {
        Shown s;
        for (const auto& p : analysis::kPanes) s.panes[std::string(p.name)] = form.pane(p.name)->lines();
        for (int i = 1; i <= 35; ++i) s.boxes["Edit" + std::to_string(i)] = box(("Edit" + std::to_string(i)).c_str());
        return s;
    }

    apptest::ProgramFont font_;
    apptest::ScratchDir dir;
    TForm1 form;
    TForm2 progress;
};

TEST_F(TForm1Test, EveryComponentExistsByNameAsTheUserSeesIt) {
    EXPECT_EQ(form.windowTitle(), QStringLiteral("むにゃろ"));
    auto* pages = form.findChild<QTabWidget*>("PageControl1");
    ASSERT_NE(pages, nullptr);
    QStringList captions;
    // The page of unreadable lines is there only while they are left out.
    for (int i = 0; i < pages->count(); ++i)
        if (pages->isTabVisible(i)) captions << pages->tabText(i);
    EXPECT_EQ(captions, (QStringList{"カウント", "接続", "要求ログ", "受信ログ", "リファラ", "bot", "生ログ"}));
    EXPECT_EQ(pages->currentIndex(), 0);

    for (const auto& pane : analysis::kPanes) {
        auto* view = form.findChild<LinesView*>(toQString(pane.name));
        ASSERT_NE(view, nullptr) << pane.name;
        EXPECT_EQ(view->lineCount(), 0u);
        // The tabs that lead to the pane read as the engine's path for it.
        QStringList tabs;
        for (QWidget* w = view; w; w = w->parentWidget())
            if (auto* stack = qobject_cast<QTabWidget*>(w->parentWidget() ? w->parentWidget()->parentWidget()
                                                                          : nullptr))
                if (stack->indexOf(w) >= 0) tabs.prepend(stack->tabText(stack->indexOf(w)));
        EXPECT_EQ(tabs.join(QStringLiteral(" > ")), QString::fromUtf8(pane.path.data(), pane.path.size())) << pane.name;
    }
    for (int i = 1; i <= 35; ++i) {
        auto* edit = form.findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(i));
        ASSERT_NE(edit, nullptr) << i;
        EXPECT_TRUE(edit->isReadOnly());
        EXPECT_EQ(edit->text(), QStringLiteral("-"));
    }
    for (const char* image : {"Image1", "Image2", "Image3"}) EXPECT_NE(form.findChild<ChartImage*>(image), nullptr);

    auto* unit = form.findChild<QComboBox*>("byteName");
    ASSERT_NE(unit, nullptr);
    ASSERT_EQ(unit->count(), 4);
    EXPECT_EQ(unit->itemText(3), QStringLiteral("Gb"));
    EXPECT_EQ(unit->currentText(), QStringLiteral("byte"));
    EXPECT_EQ(form.lastByteName(), 5);

    const std::map<const char*, QString> actions = {{"OpenO1", "ローカルから読み込み(&O)"},
                                                    {"FTP1", "FTPから読み込み(&F)"},
                                                    {"ExitE1", "終了(&X)"},
                                                    {"N3", "ドメイン管理(&D)"},
                                                    {"UTF81", "UTF-8デコーダ(&U)"},
                                                    {"N1", "バージョン情報(&I)"}};
    for (const auto& [name, caption] : actions) {
        auto* action = form.findChild<QAction*>(name);
        ASSERT_NE(action, nullptr) << name;
        EXPECT_EQ(action->text(), caption);
    }
    EXPECT_EQ(form.Button1->text(), QStringLiteral("ローカル(&L)"));
    EXPECT_EQ(form.Button2->text(), QStringLiteral("FTP接続(&F)"));
}

TEST_F(TForm1Test, WorkedExampleFillsEveryPaneAndBox) {
    const std::string log = analyseExample();
    const std::string t1 = "[10/Oct/2004:13:55:36 +0900]", t2 = "[10/Oct/2004:13:56:01 +0900]";
    const std::string t3 = "[10/Oct/2004:14:02:10 +0900]", t4 = "[10/Oct/2004:14:05:00 +0900]";
    const StringList logLines = common::splitLines(apptest::exampleLog());
    const std::string timeHostFile = "[Time] Host /File";

    EXPECT_EQ(pane("NamaLog"), logLines);
    EXPECT_EQ(pane("Memo8"), (StringList{sjis("ログファイルに含まれるホスト名・IPアドレスです..."), kDash, "10.0.0.1",
                                         "10.0.0.2", "10.0.0.3"}));
    EXPECT_EQ(pane("HOST404Memo"), (StringList{sjis("接続中404(NotFound)となったログの抜粋です..."), timeHostFile,
                                               kDash, t2 + " 10.0.0.2 /robots.txt"}));
    EXPECT_EQ(pane("HOST403Memo"), (StringList{sjis("接続中403(Forbidden)となったログの抜粋です..."), timeHostFile,
                                               kDash, t4 + " 10.0.0.3 /favicon.ico"}));
    EXPECT_EQ(pane("Memo2"), StringList{});
    const StringList memo9 = pane("Memo9");
    ASSERT_EQ(memo9.size(), 4u);
    EXPECT_EQ(memo9[0], t1 + " 10.0.0.1 /index.html");
    EXPECT_EQ(memo9[1], t2 + " 10.0.0.2 /robots.txt");
    EXPECT_EQ(memo9[2].substr(0, t3.size() + 10), t3 + " 10.0.0.1 ");
    EXPECT_EQ(memo9[3], t4 + " 10.0.0.3 /favicon.ico");
    EXPECT_EQ(pane("CheckDomeinMemo"), (StringList{sjis("現在監視対象になっているドメインは"), "10.0.0.3",
                                                   sjis("です..."), kDash, logLines[3]}));
    EXPECT_EQ(pane("Memo7"), (StringList{sjis("要求(GET)の対象となったファイル名です..."), kDash, "/index.html",
                                         "/robots.txt", "/favicon.ico"}));
    EXPECT_EQ(pane("File404Memo"), (StringList{sjis("要求中404(NotFound)となったログの抜粋です..."), timeHostFile,
                                               kDash, t2 + " 10.0.0.2 /robots.txt"}));
    EXPECT_EQ(pane("File403Memo"), (StringList{sjis("要求中403(Forbidden)となったログの抜粋です..."), timeHostFile,
                                               kDash, t4 + " 10.0.0.3 /favicon.ico"}));
    EXPECT_EQ(pane("Memo10"), StringList{});
    EXPECT_EQ(pane("Memo4"), (StringList{t1 + " /index.html", t2 + " /robots.txt", t4 + " /favicon.ico"}));
    EXPECT_EQ(pane("Memo6"),
              (StringList{sjis("受信(POST)の対象となったファイル名です..."), kDash, "/cgi-bin/form.cgi"}));
    EXPECT_EQ(pane("POST404Memo"),
              (StringList{sjis("要求中404(NotFound)となったログの抜粋です..."), timeHostFile, kDash}));
    EXPECT_EQ(pane("POST403Memo"),
              (StringList{sjis("要求中403(Forbidden)となったログの抜粋です..."), timeHostFile, kDash}));
    EXPECT_EQ(pane("Memo11"), StringList{});
    EXPECT_EQ(pane("Memo5"), StringList{t3 + " /cgi-bin/form.cgi"});
    EXPECT_EQ(pane("ReferrerList"), (StringList{sjis("現在登録されている自ドメインは"), "mysite", sjis("です..."),
                                                "[HOST] FileName", kDash, "[/links.html] /index.html"}));
    EXPECT_EQ(pane("ReferrerLog"), StringList{t1 + " [/links.html] /index.html"});
    EXPECT_EQ(pane("RobotsLog"), (StringList{sjis("現在登録されている文字列は"), "Bot/", sjis("です..."),
                                             "HOST [Time] \"UserAgent\"", "*HOST [Time] [FileName] \"UserAgent\"",
                                             kDash, "*10.0.0.2 " + t2 + " [/robots.txt] \"ExampleBot/1.0\""}));

    const std::map<std::string, std::string> boxes = {
        {"Edit1", "4"},  {"Edit2", "3"},  {"Edit12", "4"}, {"Edit11", "3"},    {"Edit3", "3"},  {"Edit8", "3"},
        {"Edit4", "1"},  {"Edit6", "1"},  {"Edit7", "3"},  {"Edit9", "3"},     {"Edit5", "1"},  {"Edit10", "1"},
        {"Edit33", "1"}, {"Edit31", "1"}, {"Edit32", "0"}, {"Edit34", "2326"}, {"Edit20", "2"}, {"Edit19", "1"},
        {"Edit21", "1"}, {"Edit22", "2"}, {"Edit23", "1"}, {"Edit24", "1"},    {"Edit13", "1"}, {"Edit14", "1"},
        {"Edit15", "1"}, {"Edit27", "1"}, {"Edit26", "1"}, {"Edit25", "1"},    {"Edit17", "1"}, {"Edit16", "0"},
        {"Edit18", "0"}, {"Edit30", "1"}, {"Edit29", "0"}, {"Edit28", "0"},    {"Edit35", log}};
    for (const auto& [name, value] : boxes) EXPECT_EQ(box(name.c_str()), value) << name;
    EXPECT_EQ(form.lastByteName(), 0);

    // The progress window: its thirteen messages, the bar full, hidden at the end.
    const QStringList messages = progress.Memo2->toPlainText().split(QLatin1Char('\n'));
    ASSERT_EQ(messages.size(), 13);
    EXPECT_EQ(messages[0], QStringLiteral("初期化しています..."));
    EXPECT_EQ(messages[1], toQString(log) + QStringLiteral("を読み込んでいます..."));
    EXPECT_EQ(messages[12], QStringLiteral("グラフを描画しています..."));
    EXPECT_EQ(progress.ProgressBar1->maximum(), 4);
    EXPECT_EQ(progress.ProgressBar1->value(), 4);
    EXPECT_FALSE(progress.isVisible());
    EXPECT_FALSE(form.analysing());

    // Charts: 2 of 4 lines at 13 and at 14 = 141 pixels; GET 1 of 4 at 14 = 70.
    const QColor bar(255, 136, 208);
    const QImage& connections = form.chart("Image1")->image();
    EXPECT_EQ(connections.pixelColor(15 + 140, 101), bar);
    EXPECT_NE(connections.pixelColor(15 + 141, 101), bar);
    EXPECT_EQ(connections.pixelColor(15 + 140, 111), bar);
    const QImage& gets = form.chart("Image2")->image();
    EXPECT_EQ(gets.pixelColor(15 + 69, 111), bar);
    EXPECT_NE(gets.pixelColor(15 + 70, 111), bar);
    const QImage& posts = form.chart("Image3")->image();
    EXPECT_NE(posts.pixelColor(16, 101), bar);
    EXPECT_EQ(posts.pixelColor(15 + 69, 111), bar);

    // A second analysis appends its messages below the first ones.
    EXPECT_TRUE(analyse(log).empty());
    EXPECT_EQ(progress.Memo2->toPlainText().split(QLatin1Char('\n')).size(), 26);
    EXPECT_EQ(pane("Memo4").size(), 3u) << "panes start empty again";
}

TEST_F(TForm1Test, UnitSwitchConvertsTheShownAmount) {
    // Before any analysis a unit change only selects: the box keeps "-".
    form.byteName->setCurrentIndex(3);
    EXPECT_EQ(box("Edit34"), "-");
    EXPECT_EQ(form.lastByteName(), 5);
    analyseExample();
    EXPECT_EQ(box("Edit34"), "2.1662563085556E-6");
    EXPECT_EQ(form.lastByteName(), 3);

    form.byteName->setCurrentIndex(0);
    EXPECT_EQ(box("Edit34"), "2326");
    form.byteName->setCurrentIndex(1);
    EXPECT_EQ(box("Edit34"), "2.271484375");
    form.byteName->setCurrentIndex(0);
    EXPECT_EQ(box("Edit34"), "2326");
    form.byteName->setCurrentIndex(2);
    EXPECT_EQ(box("Edit34"), "0.00221824645996094");
    EXPECT_EQ(form.lastByteName(), 2);
    // The next analysis writes its amount in the selected unit.
    analyse(box("Edit35"));
    EXPECT_EQ(box("Edit34"), "0.00221824645996094");
}

TEST_F(TForm1Test, ErrorBoxShowsTheMessageWithThePeriodRule) {
    const std::string missing = dir.path() + "/logs/none.log";
    std::vector<SeenBox> boxes;
    boxes = boxesShownBy([&] { runCommand(&form, [&] { form.LogCounting(missing); }); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].title, QStringLiteral("むにゃろ"));
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(boxes[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    EXPECT_EQ(boxes[0].text,
              QStringLiteral("ファイル \"%1\". No such file or directory は開けません.").arg(toQString(missing)));

    // A text that ends at or before "." in byte order is shown as it is.
    boxes = boxesShownBy([&] { runCommand(&form, [] { throw common::AppError("(stopped)"); }); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("(stopped)"));
}

TEST_F(TForm1Test, LoadErrorLeavesHeadersAndThePreviousResult) {
    analyseExample();
    const Shown before = shown();
    dir.remove("materia/SERobotsList.dat");
    const std::string log = dir.write("logs/second.log", apptest::exampleLog());
    const std::vector<QString> errors = analyse(log);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_TRUE(errors[0].contains(QStringLiteral("SERobotsList.dat")));

    // Emptied panes hold only the header blocks written before the failing load.
    EXPECT_EQ(pane("CheckDomeinMemo"),
              (StringList{sjis("現在監視対象になっているドメインは"), "10.0.0.3", sjis("です..."), kDash}));
    EXPECT_EQ(pane("ReferrerList"), (StringList{sjis("現在登録されている自ドメインは"), "mysite", sjis("です..."),
                                                "[HOST] FileName", kDash}));
    for (const char* p :
         {"RobotsLog", "Memo8", "Memo2", "Memo4", "Memo9", "HOST404Memo", "File403Memo", "Memo5", "ReferrerLog"})
        EXPECT_EQ(pane(p), StringList{}) << p;
    // NamaLog, the POST extracts and every box still show the previous analysis; Edit35 the new path.
    for (const char* p : {"NamaLog", "POST404Memo", "POST403Memo"}) EXPECT_EQ(pane(p), before.panes.at(p)) << p;
    for (const auto& [name, value] : before.boxes) EXPECT_EQ(box(name.c_str()), name == "Edit35" ? log : value) << name;
    // The progress window stays with its messages; the charts show their empty backgrounds.
    EXPECT_TRUE(progress.isVisible());
    EXPECT_TRUE(progress.Memo2->toPlainText().endsWith(QStringLiteral("ロボット情報を読み込んでいます...")));
    TForm1 fresh;
    fresh.Image1Ready();
    EXPECT_EQ(form.chart("Image1")->image(), fresh.chart("Image1")->image());
    EXPECT_FALSE(form.analysing());
}

TEST_F(TForm1Test, PassErrorKeepsTheLinesAppendedBeforeIt) {
    analyseExample();
    const Shown before = shown();
    const StringList lines = common::splitLines(apptest::exampleLog());
    const std::string broken = "10.0.0.9 - - [10/Oct/2004:1x:00:00 +0900] \"GET /x HTTP/1.1\" 200 1 \"-\" \"-\"";
    const std::string log = dir.write("logs/broken.log",
                                      lines[0] + "\r\n" + lines[2] + "\r\n" + broken + "\r\n" + lines[3]);
    const std::vector<QString> errors = analyse(log);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], QStringLiteral("'1x' は整数ではありません."));

    EXPECT_EQ(pane("Memo4"), StringList{"[10/Oct/2004:13:55:36 +0900] /index.html"});
    EXPECT_EQ(pane("Memo5"), StringList{"[10/Oct/2004:14:02:10 +0900] /cgi-bin/form.cgi"});
    EXPECT_EQ(pane("ReferrerLog"), StringList{"[10/Oct/2004:13:55:36 +0900] [/links.html] /index.html"});
    EXPECT_EQ(pane("ReferrerList").back(), "[/links.html] /index.html");
    EXPECT_EQ(pane("RobotsLog").size(), 6u) << "only its header block";
    EXPECT_EQ(pane("CheckDomeinMemo").size(), 4u) << "the header block, no watched lines";
    for (const char* p : {"Memo8", "Memo9", "Memo7", "HOST404Memo", "File404Memo", "Memo6"})
        EXPECT_EQ(pane(p), StringList{}) << p;
    for (const char* p : {"POST404Memo", "POST403Memo"}) EXPECT_EQ(pane(p), before.panes.at(p)) << p;
    EXPECT_EQ(box("Edit1"), "4");
    EXPECT_EQ(box("Edit35"), log);
    // The raw log shows the new log with the failing line selected and in view.
    auto* raw = form.pane("NamaLog");
    EXPECT_EQ(pane("NamaLog"), (StringList{lines[0], lines[2], broken, lines[3]}));
    EXPECT_EQ(form.PageControl1->currentWidget(), raw->parentWidget());
    EXPECT_EQ(fromQString(raw->selectedText()), broken);
    EXPECT_LE(raw->firstVisibleLine(), 2u);
    EXPECT_GT(raw->firstVisibleLine() + static_cast<std::size_t>(raw->visibleLines()), 2u);
    EXPECT_FALSE(progress.isVisible()) << "the clean-up hides the progress window";
    TForm1 fresh;
    fresh.Image3Ready();
    EXPECT_EQ(form.chart("Image3")->image(), fresh.chart("Image3")->image());
}

TEST_F(TForm1Test, EmptyLogIsAnalysedToZeros) {
    analyseExample();
    const std::string log = dir.write("logs/empty.log", "");
    EXPECT_TRUE(analyse(log).empty());
    for (const char* b : {"Edit1", "Edit2", "Edit3", "Edit31", "Edit32", "Edit34", "Edit20", "Edit28"})
        EXPECT_EQ(box(b), "0") << b;
    EXPECT_EQ(pane("NamaLog"), StringList{});
    EXPECT_EQ(pane("Memo8").size(), 2u);
    EXPECT_EQ(pane("POST403Memo").size(), 3u);
    // Every bar is empty and every count label reads 0 at x = 20.
    const QImage& image = form.chart("Image1")->image();
    for (int y = 0; y < 255; ++y)
        for (int x = 16; x < 297; ++x) ASSERT_NE(image.pixelColor(x, y), QColor(255, 136, 208)) << x << "," << y;
}

TEST_F(TForm1Test, MenuAndButtonsShowTheirWindows) {
    QWidget about, domein, utf, ftp;
    for (QWidget* w : {&about, &domein, &utf, &ftp}) w->setWindowFlag(Qt::Window);
    form.setWindows({&progress, &about, &domein, &utf, &ftp});
    form.N1->trigger();
    EXPECT_TRUE(about.isVisible());
    form.N3->trigger();
    EXPECT_TRUE(domein.isVisible());
    form.UTF81->trigger();
    EXPECT_TRUE(utf.isVisible());
    form.FTP1->trigger();
    EXPECT_TRUE(ftp.isVisible());
    ftp.hide();
    form.Button2->click();
    EXPECT_TRUE(ftp.isVisible());

    // Both open commands run the same file dialog, starting in logs/ with the one filter.
    std::vector<QString> dialogs;
    auto cancel = [&](QWidget* modal) {
        dialogs.push_back(modal->objectName());
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (dialog) {
            EXPECT_EQ(dialog->directory().absolutePath(), QDir(toQString(dir.path()) + "/logs").absolutePath());
            EXPECT_EQ(dialog->nameFilters(), QStringList{QStringLiteral("Apacheログファイル (*)")});
        }
        modal->close();
    };
    whileModal([&] { form.OpenO1->trigger(); }, cancel);
    whileModal([&] { form.Button1->click(); }, cancel);
    EXPECT_EQ(dialogs, (std::vector<QString>{"OpenDialog1", "OpenDialog1"}));
    EXPECT_EQ(box("Edit35"), "-") << "cancelled: nothing analysed";

    // Confirming a file analyses it by its full path.
    apptest::writeExampleLists(dir);
    const std::string log = dir.write("logs/picked.log", apptest::exampleLog());
    whileModal([&] { form.Button1->click(); },
               [&](QWidget* modal) {
                   auto* dialog = qobject_cast<QFileDialog*>(modal);
                   ASSERT_NE(dialog, nullptr);
                   dialog->selectFile(toQString(log));
                   static_cast<QDialog*>(dialog)->accept();  // QFileDialog hides it
               });
    EXPECT_EQ(box("Edit35"), log);
    EXPECT_EQ(box("Edit1"), "4");

    bool closed = false;
    QObject::connect(&form, &TForm1::closed, [&] { closed = true; });
    form.show();
    form.ExitE1->trigger();
    EXPECT_TRUE(closed);
    EXPECT_FALSE(form.isVisible());
}

TEST_F(TForm1Test, BoxesShowTheirTextFromTheFirstCharacter) {
    analyseExample();
    for (int unit : {1, 3, 2}) {
        form.byteName->setCurrentIndex(unit);
        EXPECT_EQ(form.findChild<QLineEdit*>("Edit34")->cursorPosition(), 0) << unit;
    }
    for (const char* name : {"Edit35", "Edit1", "Edit32"})
        EXPECT_EQ(form.findChild<QLineEdit*>(name)->cursorPosition(), 0) << name;
}

TEST(KeepOnScreen, AWindowThatDoesNotFitIsMovedIntoTheAvailableArea) {
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget fits, below, huge;
    fits.setGeometry(area.left() + 40, area.top() + 60, 100, 80);
    below.setGeometry(area.right() - 100, area.bottom() - 50, 300, 200);
    huge.setGeometry(area.left() + 10, area.top() + 10, area.width() + 300, area.height() + 300);
    for (QWidget* w : {&fits, &below, &huge}) showWindow(w);
    EXPECT_EQ(fits.geometry().topLeft(), QPoint(area.left() + 40, area.top() + 60))
        << "where it was put, since it fits";
    for (QWidget* w : {&below, &huge}) {
        EXPECT_TRUE(area.contains(w->frameGeometry())) << w->frameGeometry().x() << "," << w->frameGeometry().y();
    }
    EXPECT_EQ(below.size(), QSize(300, 200));
}

}  // namespace

namespace {

class ReadOptionsTest : public TForm1Test {};

}  // namespace

TEST_F(ReadOptionsTest, StatusBarTellsTheLayoutAndTheChoiceIsRemembered) {
    apptest::writeExampleLists(dir);
    const std::string vhost = "www.example.jp 10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET / HTTP/1.1\" 200 5 "
                              "\"-\" \"UA\"\r\n";
    const std::string log = dir.write("logs/vhost.log", vhost + vhost);
    ASSERT_TRUE(analyse(log).empty());
    EXPECT_EQ(form.StatusFormat->text(), QStringLiteral("形式: vhost-combined（先頭のバーチャルホストを除外）"));
    EXPECT_EQ(box("Edit2"), "1");
    EXPECT_EQ(pane("Memo8").back(), "10.0.0.1");
    // Chosen in the menu: the next analysis reads by it, and a new window starts with it.
    auto* combined = form.findChild<QAction*>("combined");
    ASSERT_TRUE(combined);
    combined->trigger();
    ASSERT_TRUE(analyse(log).empty());
    EXPECT_EQ(form.StatusFormat->text(), QStringLiteral("形式: combined"));
    EXPECT_EQ(pane("Memo8").back(), "www.example.jp");
    TForm1 next;
    EXPECT_TRUE(next.findChild<QAction*>("combined")->isChecked());
}

TEST_F(ReadOptionsTest, SkippedLinesHaveAPageOfTheirOwn) {
    apptest::writeExampleLists(dir);
    const StringList lines = common::splitLines(apptest::exampleLog());
    const std::string log = dir.write("logs/bad.log", lines[0] + "\r\n# comment\r\n" + lines[1] + "\r\n");
    const int page = form.PageControl1->indexOf(form.SkippedLines->parentWidget());
    EXPECT_FALSE(form.PageControl1->isTabVisible(page));
    EXPECT_EQ(analyse(log).size(), 1u) << "stops at the line, as without the option";
    form.findChild<QAction*>("SkipBadLines")->trigger();
    const std::vector<QString> boxes = analyse(log);
    ASSERT_TRUE(boxes.empty()) << boxes.front().toStdString();
    EXPECT_TRUE(form.PageControl1->isTabVisible(page));
    EXPECT_EQ(form.SkippedLines->lines(), StringList{"2: # comment"});
    EXPECT_EQ(form.StatusSkipped->text(), QStringLiteral("読めなかった行 1"));
    EXPECT_EQ(box("Edit1"), "2");
}
