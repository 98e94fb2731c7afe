// The list manager window on Qt's offscreen platform, in a temporary program directory.
#include "lists/ui/tdomein.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "analysis/logcounting.h"
#include "common/apperror.h"
#include "common/cp932.h"
#include "common/programdir.h"
#include "lists/listfile.h"
#include "qtedge/qtext.h"
#include "support/modalboxes.h"
#include "support/tempdir.h"

namespace fs = std::filesystem;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

// The list files as the window names them: materia/ under the current directory.
const std::string kDomeinFile = common::materiaFile(lists::kDomeinList);
const std::string kCheckDomeinFile = common::materiaFile(lists::kCheckDomeinList);
const std::string kSERobotsFile = common::materiaFile(lists::kSERobotsList);

QStringList rows(const QListWidget* box) {
    QStringList out;
    for (int i = 0; i < box->count(); ++i) out << box->item(i)->text();
    return out;
}

void pressKey(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent down(QEvent::KeyPress, key, mods);
    QApplication::sendEvent(w, &down);
    QKeyEvent up(QEvent::KeyRelease, key, mods);
    QApplication::sendEvent(w, &up);
}

// The error box text for message with the path made absolute and the system's description.
QString boxText(const std::string& message, const std::string& relPath, int err) {
    return toQString(common::withPeriod(common::formatMessage(
        message,
        {common::pathText(fs::absolute(relPath).lexically_normal().string()), common::pathText(std::strerror(err))})));
}

// A program directory of its own with materia/ holding the three lists, made current for the test.
class TDomeinTest : public ::testing::Test {
protected:
    static inline const std::string kFiles[3] = {kDomeinFile, kCheckDomeinFile, kSERobotsFile};

    void SetUp() override {
        saved_ = fs::current_path();
        fs::create_directory(fs::path(dir_.path()) / "materia");
        fs::current_path(dir_.path());
        writeLists();
    }
    // LF-only files: a file that was rewritten shows it by its CR LF form.
    static void writeLists() {
        writeFile(kDomeinFile, "my.example\nmy2.example\n");
        writeFile(kCheckDomeinFile, "watch.example\n");
        writeFile(kSERobotsFile, "Googlebot\nbingbot\n");
    }
    void TearDown() override { fs::current_path(saved_); }

    // The window as start-up makes it: created, then its creation handler run.
    std::unique_ptr<TDomein> create(QStringList* boxes = nullptr) {
        auto w = std::make_unique<TDomein>();
        BoxCatcher catcher;
        w->FormCreate();
        if (boxes) *boxes = catcher.texts();
        else EXPECT_THAT(catcher.texts(), IsEmpty());
        return w;
    }

    std::vector<std::string> allFiles() const {
        return {readFile(kFiles[0]), readFile(kFiles[1]), readFile(kFiles[2])};
    }

    static QListWidget* boxOf(TDomein& w, int page) {
        QListWidget* boxes[3] = {w.ResistList, w.BList, w.Robots};
        return boxes[page];
    }

    fs::path saved_;
    TempDir dir_;
};

TEST_F(TDomeinTest, ComponentsCarryTheirNamesCaptionsAndOrder) {
    auto w = create();
    EXPECT_EQ(w->windowTitle(), QStringLiteral("ドメイン管理"));
    EXPECT_NE(w->findChild<QLineEdit*>("InputDomein"), nullptr);
    EXPECT_EQ(w->findChild<QPushButton*>("RunButton")->text(), QStringLiteral("登録(&R)"));
    EXPECT_EQ(w->findChild<QPushButton*>("DelButton")->text(), QStringLiteral("削除(&D)"));
    auto* seet = w->findChild<QTabWidget*>("Seet");
    ASSERT_NE(seet, nullptr);
    // The three pages first; the lists of the visitor tables follow them.
    ASSERT_EQ(seet->count(), 5);
    EXPECT_EQ(seet->widget(3)->objectName(), "ExcludeHosts");
    EXPECT_EQ(seet->widget(4)->objectName(), "AssetSuffixes");
    const char* pages[3] = {"MyDomein", "CheckDomein", "RobotList"};
    const char* boxes[3] = {"ResistList", "BList", "Robots"};
    const QString captions[3] = {QStringLiteral("自ドメイン設定"), QStringLiteral("監視ドメイン"),
                                 QStringLiteral("ロボット")};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(seet->widget(i)->objectName(), pages[i]);
        EXPECT_EQ(seet->tabText(i), captions[i]);
        auto* box = seet->widget(i)->findChild<QListWidget*>(boxes[i]);
        ASSERT_NE(box, nullptr) << boxes[i];
        EXPECT_EQ(box->selectionMode(), QAbstractItemView::SingleSelection);
    }
    EXPECT_EQ(seet->currentIndex(), 0);
    EXPECT_THAT(rows(w->ResistList), ElementsAre("my.example", "my2.example"));
    EXPECT_THAT(rows(w->BList), ElementsAre("watch.example"));
    EXPECT_THAT(rows(w->Robots), ElementsAre("Googlebot", "bingbot"));

    // Keyboard order: the entry box first (it has the focus when the window opens), then the buttons
    // and the tabs.
    w->show();
    w->activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(w->focusWidget(), w->InputDomein);
    std::vector<QWidget*> order;
    for (int i = 0; i < 3; ++i) {
        pressKey(w->focusWidget(), Qt::Key_Tab);
        order.push_back(w->focusWidget());
    }
    EXPECT_THAT(order, ElementsAre(w->RunButton, w->DelButton, seet->tabBar()));
}

TEST_F(TDomeinTest, RegisterOnEachPageAppendsAndSavesOnlyThatList) {
    const std::string added[3] = {"new.example\r\n", "watch2.example\r\n", "MyBot\r\n"};
    const std::string rewritten[3] = {"my.example\r\nmy2.example\r\n", "watch.example\r\n", "Googlebot\r\nbingbot\r\n"};
    for (int page = 0; page < 3; ++page) {
        writeLists();
        auto w = create();
        const auto before = allFiles();
        w->ResistList->setFocus();
        w->Seet->setCurrentIndex(page);
        const std::string entry = added[page].substr(0, added[page].size() - 2);
        w->InputDomein->setText(QString::fromStdString(entry));
        w->RunButton->click();
        EXPECT_EQ(rows(boxOf(*w, page)).last().toStdString(), entry);
        EXPECT_TRUE(w->InputDomein->text().isEmpty());
        EXPECT_EQ(w->focusWidget(), w->InputDomein);
        const auto after = allFiles();
        for (int other = 0; other < 3; ++other)
            EXPECT_EQ(after[other], other == page ? rewritten[page] + added[page] : before[other]) << page;
    }
}

TEST_F(TDomeinTest, DeleteOnEachPageRemovesTheSelectedEntryAndSavesOnlyThatList) {
    const std::string expected[3] = {"my2.example\r\n", "", "bingbot\r\n"};
    for (int page = 0; page < 3; ++page) {
        writeLists();
        auto w = create();
        const auto before = allFiles();
        w->Seet->setCurrentIndex(page);
        boxOf(*w, page)->setCurrentRow(0);
        w->DelButton->click();
        const auto after = allFiles();
        for (int other = 0; other < 3; ++other)
            EXPECT_EQ(after[other], other == page ? expected[page] : before[other]) << page;
        EXPECT_EQ(boxOf(*w, page)->count(), std::ranges::count(expected[page], '\n'));
        // Nothing is selected afterwards: a second Delete removes nothing.
        EXPECT_THAT(boxOf(*w, page)->selectedItems(), IsEmpty());
        w->DelButton->click();
        EXPECT_EQ(readFile(kFiles[page]), expected[page]);
    }
}

TEST_F(TDomeinTest, EnterAndDeleteKeysPressTheButtonsWhateverTheModifiers) {
    auto w = create();
    int returnPressed = 0;
    QObject::connect(w->InputDomein, &QLineEdit::returnPressed, [&] { ++returnPressed; });
    const std::pair<int, Qt::KeyboardModifiers> enters[] = {{Qt::Key_Return, Qt::NoModifier},
                                                            {Qt::Key_Return, Qt::ShiftModifier},
                                                            {Qt::Key_Enter, Qt::KeypadModifier},
                                                            {Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier}};
    int n = 0;
    for (auto [key, mods] : enters) {
        w->InputDomein->setText(QStringLiteral("k%1.example").arg(n++));
        pressKey(w->InputDomein, key, mods);
    }
    EXPECT_THAT(rows(w->ResistList),
                ElementsAre("my.example", "my2.example", "k0.example", "k1.example", "k2.example", "k3.example"));
    EXPECT_EQ(returnPressed, 4);  // the edit box still sees its key

    w->Seet->setCurrentIndex(2);
    w->Robots->setCurrentRow(1);
    pressKey(w->Robots, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_THAT(rows(w->Robots), ElementsAre("Googlebot"));
    EXPECT_EQ(readFile(kSERobotsFile), "Googlebot\r\n");
    w->Seet->setCurrentIndex(1);
    w->BList->setCurrentRow(0);
    pressKey(w->BList, Qt::Key_Delete);
    EXPECT_THAT(rows(w->BList), IsEmpty());
    w->Seet->setCurrentIndex(0);
    w->ResistList->setCurrentRow(0);
    pressKey(w->ResistList, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_EQ(w->ResistList->count(), 5);
}

TEST_F(TDomeinTest, EnterInAListAndDeleteInTheEntryBoxDoNothingSpecial) {
    auto w = create();
    w->ResistList->setCurrentRow(0);
    pressKey(w->ResistList, Qt::Key_Return);
    w->InputDomein->setText("abc");
    w->InputDomein->setCursorPosition(0);
    pressKey(w->InputDomein, Qt::Key_Delete);
    EXPECT_EQ(w->InputDomein->text(), "bc");
    EXPECT_EQ(w->ResistList->count(), 2);
    EXPECT_EQ(readFile(kDomeinFile), "my.example\nmy2.example\n");  // never rewritten
}

TEST_F(TDomeinTest, EmptyInputIsIgnoredWhileBlanksAndDuplicatesAreAdded) {
    auto w = create();
    BoxCatcher catcher;
    w->RunButton->click();
    pressKey(w->InputDomein, Qt::Key_Return);
    EXPECT_EQ(w->ResistList->count(), 2);
    EXPECT_EQ(readFile(kDomeinFile), "my.example\nmy2.example\n");
    for (const char* text : {"  ", "my.example", "my.example"}) {
        w->InputDomein->setText(text);
        w->RunButton->click();
    }
    EXPECT_EQ(readFile(kDomeinFile), "my.example\r\nmy2.example\r\n  \r\nmy.example\r\nmy.example\r\n");
    EXPECT_THAT(catcher.texts(), IsEmpty());
}

TEST_F(TDomeinTest, DeleteWithNothingSelectedRewritesAnyFileFormAsCrLf) {
    writeFile(kDomeinFile, "a\rb\r\rc");                         // CR only, empty entry, no final break
    writeFile(kCheckDomeinFile, std::string("x\ny\n\0z\n", 7));  // text after a zero byte
    writeFile(kSERobotsFile, "r1\r\nr2\nr3\rr4");                // mixed
    const std::string expected[3] = {"a\r\nb\r\n\r\nc\r\n", "x\r\ny\r\n", "r1\r\nr2\r\nr3\r\nr4\r\n"};
    auto w = create();
    EXPECT_THAT(rows(w->ResistList), ElementsAre("a", "b", "", "c"));
    for (int page = 0; page < 3; ++page) {
        w->Seet->setCurrentIndex(page);
        w->DelButton->click();
        EXPECT_EQ(readFile(kFiles[page]), expected[page]) << page;
    }
}

TEST_F(TDomeinTest, DeletingTheLastEntryLeavesAZeroByteFileThatLoadsEmpty) {
    auto w = create();
    w->Seet->setCurrentIndex(1);
    w->BList->setCurrentRow(0);
    w->DelButton->click();
    EXPECT_TRUE(fs::exists(kCheckDomeinFile));
    EXPECT_EQ(fs::file_size(kCheckDomeinFile), 0u);
    auto again = create();
    EXPECT_EQ(again->BList->count(), 0);
}

TEST_F(TDomeinTest, EntryBytesWithoutUnicodeFormSurviveASave) {
    // 0x81 0x20 is no code page 932 character; the box shows U+FFFD, the file keeps the bytes.
    const std::string odd = "\x81\x20odd\xfd";
    writeFile(kSERobotsFile, odd + "\r\n");
    auto w = create();
    w->Seet->setCurrentIndex(2);
    w->InputDomein->setText(QStringLiteral("ロボ①"));
    w->RunButton->click();
    EXPECT_EQ(readFile(kSERobotsFile), odd + "\r\n" + common::cp932(u8"ロボ①") + "\r\n");
}

TEST_F(TDomeinTest, MissingFileReportsItselfAloneAndItsFirstSaveCreatesIt) {
    fs::remove(kCheckDomeinFile);
    QStringList boxes;
    auto w = create(&boxes);
    EXPECT_THAT(boxes, ElementsAre(boxText(common::msg::cannotOpen(), kCheckDomeinFile, ENOENT)));
    EXPECT_EQ(w->ResistList->count(), 2);
    EXPECT_EQ(w->BList->count(), 0);
    EXPECT_EQ(w->Robots->count(), 2);  // the list after the missing one still loads

    w->Seet->setCurrentIndex(1);
    w->InputDomein->setText("w.example");
    BoxCatcher catcher;
    w->RunButton->click();
    EXPECT_THAT(catcher.texts(), IsEmpty());
    EXPECT_EQ(readFile(kCheckDomeinFile), "w.example\r\n");
}

TEST_F(TDomeinTest, UnreadableFileRefusesChangesUntilItCanBeRead) {
    // Root reads any file, so a directory in the file's place makes it unreadable.
    fs::remove(kDomeinFile);
    fs::create_directory(kDomeinFile);
    QStringList boxes;
    auto w = create(&boxes);
    const QString openError = boxText(common::msg::cannotOpen(), kDomeinFile, EISDIR);
    EXPECT_THAT(boxes, ElementsAre(openError));
    EXPECT_EQ(w->BList->count(), 1);
    EXPECT_EQ(w->Robots->count(), 2);

    {
        BoxCatcher catcher;
        w->InputDomein->setText("x.example");
        w->RunButton->click();
        w->DelButton->click();
        EXPECT_THAT(catcher.texts(), ElementsAre(openError, openError));
    }
    EXPECT_EQ(w->InputDomein->text(), "x.example");
    EXPECT_EQ(w->ResistList->count(), 0);
    EXPECT_TRUE(fs::is_directory(kDomeinFile));

    // Once the file can be read, the next change reads it first and so keeps its entries.
    fs::remove(kDomeinFile);
    writeFile(kDomeinFile, "kept.example\n");
    BoxCatcher catcher;
    w->RunButton->click();
    EXPECT_THAT(catcher.texts(), IsEmpty());
    EXPECT_THAT(rows(w->ResistList), ElementsAre("kept.example", "x.example"));
    EXPECT_EQ(readFile(kDomeinFile), "kept.example\r\nx.example\r\n");
}

TEST_F(TDomeinTest, AFailedSaveShowsWhatTheFileHoldsAndARetryAddsOnce) {
    ::chmod(kSERobotsFile.c_str(), 0444);
    auto w = create();
    w->Seet->setCurrentIndex(2);
    w->InputDomein->setText("MyBot");
    const QString createError = boxText(common::msg::cannotCreate(), kSERobotsFile, EACCES);
    {
        BoxCatcher catcher;
        w->RunButton->click();
        EXPECT_THAT(catcher.texts(), ElementsAre(createError));
    }
    EXPECT_THAT(rows(w->Robots), ElementsAre("Googlebot", "bingbot"));
    EXPECT_EQ(w->InputDomein->text(), "MyBot");  // kept for another try
    {
        BoxCatcher catcher;
        w->Robots->setCurrentRow(0);
        w->DelButton->click();
        EXPECT_THAT(catcher.texts(), ElementsAre(createError));
    }
    EXPECT_THAT(rows(w->Robots), ElementsAre("Googlebot", "bingbot"));
    EXPECT_EQ(readFile(kSERobotsFile), "Googlebot\nbingbot\n");
    EXPECT_EQ(fs::status(kSERobotsFile).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);

    // Writable again: the retry adds the entry once.
    ::chmod(kSERobotsFile.c_str(), 0644);
    w->RunButton->click();
    EXPECT_EQ(readFile(kSERobotsFile), "Googlebot\r\nbingbot\r\nMyBot\r\n");
    EXPECT_THAT(rows(w->Robots), ElementsAre("Googlebot", "bingbot", "MyBot"));
}

TEST_F(TDomeinTest, AFullDiskLeavesTheFileAndTheWindowAsTheyWere) {
    // A file size limit makes the write fall short the way a full disk does.
    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    auto w = create();
    const std::string entry(64, 'x');
    w->InputDomein->setText(QString::fromStdString(entry));
    QStringList texts;
    {
        struct rlimit small = saved;
        small.rlim_cur = 32;
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        BoxCatcher catcher;
        w->RunButton->click();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        texts = catcher.texts();
    }
    std::signal(SIGXFSZ, oldHandler);
    ASSERT_EQ(texts.size(), 1);
    EXPECT_TRUE(texts[0].startsWith(toQString(common::msg::writeError() + ": "))) << texts[0].toStdString();
    EXPECT_TRUE(texts[0].contains(QStringLiteral("DomeinList.dat"))) << texts[0].toStdString();
    EXPECT_THAT(rows(w->ResistList), ElementsAre("my.example", "my2.example"));
    EXPECT_EQ(readFile(kDomeinFile), "my.example\nmy2.example\n");
    EXPECT_EQ(std::distance(fs::directory_iterator("materia"), {}), 3);  // no temporary left
    w->RunButton->click();
    EXPECT_EQ(readFile(kDomeinFile), "my.example\r\nmy2.example\r\n" + entry + "\r\n");
}

TEST_F(TDomeinTest, TwoWindowsOnOneFolderKeepEachOthersEntries) {
    auto first = create();
    auto second = create();
    first->InputDomein->setText("alpha.example");
    first->RunButton->click();
    second->InputDomein->setText("beta.example");
    second->RunButton->click();
    EXPECT_EQ(readFile(kDomeinFile), "my.example\r\nmy2.example\r\nalpha.example\r\nbeta.example\r\n");
    EXPECT_THAT(rows(second->ResistList), ElementsAre("my.example", "my2.example", "alpha.example", "beta.example"));

    // An edit by hand while the window is open survives its next delete, which shows the file.
    writeFile(kDomeinFile, "hand.example\r\nmy.example\r\nmy2.example\r\nalpha.example\r\nbeta.example\r\n");
    first->ResistList->setCurrentRow(2);  // "alpha.example"
    first->DelButton->click();
    EXPECT_EQ(readFile(kDomeinFile), "hand.example\r\nmy.example\r\nmy2.example\r\nbeta.example\r\n");
    EXPECT_THAT(rows(first->ResistList), ElementsAre("hand.example", "my.example", "my2.example", "beta.example"));
}

TEST_F(TDomeinTest, TextWithoutAShiftJisFormIsRefusedNamingTheCharacter) {
    auto w = create();
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("müller.example"), QStringLiteral("「ü」(U+00FC)")},
        {QStringLiteral("price€"), QStringLiteral("「€」(U+20AC)")},
        {QStringLiteral("smile😀"), QStringLiteral("「😀」(U+1F600)")},
    };
    for (const auto& [typed, named] : cases) {
        w->InputDomein->setText(typed);
        BoxCatcher catcher;
        w->RunButton->click();
        ASSERT_EQ(catcher.texts().size(), 1u) << typed.toStdString();
        EXPECT_TRUE(catcher.texts()[0].startsWith(named)) << catcher.texts()[0].toStdString();
        EXPECT_TRUE(catcher.texts()[0].endsWith(QStringLiteral("使えません."))) << catcher.texts()[0].toStdString();
        EXPECT_EQ(w->InputDomein->text(), typed);
    }
    EXPECT_EQ(readFile(kDomeinFile), "my.example\nmy2.example\n");
    EXPECT_EQ(w->ResistList->count(), 2);
    // A "?" typed as such is an ordinary character.
    w->InputDomein->setText(QStringLiteral("q?①"));
    w->RunButton->click();
    EXPECT_EQ(readFile(kDomeinFile), "my.example\r\nmy2.example\r\n" + common::cp932(u8"q?①") + "\r\n");
}

TEST_F(TDomeinTest, MissingMateriaShowsOneBoxPerListAndTheCreateErrorOnSave) {
    fs::remove_all("materia");
    QStringList boxes;
    auto w = create(&boxes);
    EXPECT_THAT(boxes, ElementsAre(boxText(common::msg::cannotOpen(), kDomeinFile, ENOENT),
                                   boxText(common::msg::cannotOpen(), kCheckDomeinFile, ENOENT),
                                   boxText(common::msg::cannotOpen(), kSERobotsFile, ENOENT)));
    w->InputDomein->setText("a.example");
    BoxCatcher catcher;
    w->RunButton->click();
    ASSERT_EQ(catcher.texts().size(), 1u);
    EXPECT_TRUE(catcher.texts()[0].startsWith(QStringLiteral("ファイル \"") +
                                              QString::fromStdString(fs::absolute(kDomeinFile).string())));
    EXPECT_TRUE(catcher.texts()[0].contains(QStringLiteral("を作成できません")));
    EXPECT_THAT(rows(w->ResistList), IsEmpty());  // nothing was saved
    EXPECT_EQ(w->InputDomein->text(), "a.example");
    EXPECT_FALSE(fs::exists("materia"));
}

// Keeps what the pass found; everything else the view is told is of no interest here.
class TallyView : public analysis::ResultView {
public:
    std::size_t watched = 0, foreignReferrers = 0, robots = 0;
    void clearPane(std::string_view) override {}
    void appendLines(std::string_view, analysis::Lines) override {}
    void appendLine(std::string_view, std::string) override {}
    void replacePane(std::string_view, analysis::Lines) override {}
    void insertLine(std::string_view, std::size_t, std::string) override {}
    void setBox(std::string_view, std::string) override {}
    int selectedUnit() const override { return 0; }
    int lastByteName() const override { return 5; }
    void setLastByteName(int) override {}
    void showProgress() override {}
    void hideProgress() override {}
    void progressMessage(std::string) override {}
    void progressRange(std::size_t) override {}
    void progressPosition(std::size_t) override {}
    void chartBackground(std::string_view) override {}
    void chartBars(std::string_view, const std::array<std::int64_t, 24>&, std::int64_t) override {}
    void tallied(const analysis::LogTally& t) override {
        watched = t.watchedLines->size();
        foreignReferrers = t.referrerList->size();
        robots = t.robotsLog->size();
    }
};

TEST_F(TDomeinTest, AnAnalysisAfterARegisterSeesTheNewEntries) {
    writeFile("access.log", "host.spy.example - - [10/Oct/2023:13:55:36 +0900] \"GET /index.html HTTP/1.1\" 200 2326 "
                            "\"http://shop.example/page\" \"SpiderX/2.0\"\n");
    auto analyse = [] {
        TallyView view;
        analysis::LogCounting("access.log", view, {"materia"});
        return view;
    };
    const TallyView before = analyse();
    EXPECT_EQ(before.watched, 0u);
    EXPECT_EQ(before.foreignReferrers, 1u);
    EXPECT_EQ(before.robots, 0u);

    auto w = create();
    const char* entries[3] = {"shop.example", "spy.example", "SpiderX"};
    for (int page = 0; page < 3; ++page) {
        w->Seet->setCurrentIndex(page);
        w->InputDomein->setText(entries[page]);
        w->RunButton->click();
    }
    const TallyView after = analyse();
    EXPECT_EQ(after.watched, 1u);
    EXPECT_EQ(after.foreignReferrers, 0u);
    EXPECT_EQ(after.robots, 1u);
}

}  // namespace

TEST_F(TDomeinTest, ExcludedAddressesAndAssetSuffixesHaveFilesOfTheirOwn) {
    const std::string excluded = common::materiaFile(lists::kExcludeList);
    const std::string assets = common::materiaFile(lists::kAssetList);
    auto w = create();  // neither file exists yet: no message, and none is written
    EXPECT_FALSE(fs::exists(assets));
    // The asset list shows the suffixes the analysis uses when it has no file, and a first change
    // starts the file from them.
    EXPECT_EQ(w->AssetList->count(), 12);
    EXPECT_EQ(w->ExcludeList->count(), 0);
    const std::vector<std::string> before = allFiles();
    w->Seet->setCurrentWidget(w->ExcludeHosts);
    w->InputDomein->setText(QStringLiteral("192.168."));
    w->RunButton->click();
    EXPECT_EQ(readFile(excluded), "192.168.\r\n");
    w->Seet->setCurrentWidget(w->AssetSuffixes);
    w->InputDomein->setText(QStringLiteral(".xml"));
    w->RunButton->click();
    EXPECT_EQ(readFile(assets), ".css\r\n.js\r\n.png\r\n.jpg\r\n.jpeg\r\n.gif\r\n.ico\r\n.svg\r\n.webp\r\n.woff\r\n"
                                ".woff2\r\n.map\r\n.xml\r\n");
    EXPECT_EQ(w->AssetList->count(), 13);
    EXPECT_EQ(allFiles(), before);  // the three lists untouched

    // The ranking window proposes a robot's word: the robot page, the word ready to register.
    w->Seet->setCurrentWidget(w->MyDomein);
    w->proposeRobot(QStringLiteral("archive.org_bot"));
    EXPECT_EQ(w->Seet->currentWidget(), w->RobotList);
    EXPECT_EQ(w->InputDomein->text(), QStringLiteral("archive.org_bot"));
    w->RunButton->click();
    EXPECT_EQ(readFile(kSERobotsFile), "Googlebot\r\nbingbot\r\narchive.org_bot\r\n");
}
