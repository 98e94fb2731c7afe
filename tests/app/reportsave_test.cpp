// Saving the report from the main window: the two commands, their dialogs, asking before a file is
// replaced, and the same page the engine writes for the CLI.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>

#include "analysis/logcounting.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"
#include "report/htmlreport.h"
#include "support.h"
#include "support/tempdir.h"

namespace {

namespace fs = std::filesystem;

// The page without the time it was made.
std::string timeless(const std::string& page) {
    return std::regex_replace(page, std::regex("<dt>解析日時</dt><dd>[^<]*</dd>"), "");
}

class ReportSaveTest : public ::testing::Test {
protected:
    void SetUp() override { form.setWindows({&progress}); }

    // Runs a command; accepts its file dialog with path and answers each question with answer.
    std::vector<QString> run(QAction* command, const std::string& path, QMessageBox::StandardButton answer) {
        std::vector<QString> seen;
        whileModal(
            [&] { command->trigger(); },
            [&](QWidget* modal) {
                seen.push_back(modal->objectName().isEmpty() ? modal->metaObject()->className() : modal->objectName());
                if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
                    proposed = dialog->selectedFiles().value(0);
                    dialog->selectFile(toQString(path));
                    static_cast<QDialog*>(dialog)->accept();
                } else if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                    questions.push_back(answerBox(box, answer).text);
                }
            });
        return seen;
    }

    apptest::ProgramFont font_;
    apptest::ScratchDir dir;
    TForm1 form;
    TForm2 progress;
    QString proposed;
    std::vector<QString> questions;
};

TEST_F(ReportSaveTest, PageIsSavedBesideTheLogAndReplacedOnlyWhenTheUserSaysSo) {
    EXPECT_FALSE(form.SaveReport1->isEnabled());
    EXPECT_FALSE(form.SaveCsv1->isEnabled());
    EXPECT_EQ(form.SaveReport1->shortcut(), QKeySequence(QKeySequence::Save));
    EXPECT_EQ(form.SaveReport1->text(), QStringLiteral("レポートを保存..."));
    EXPECT_EQ(form.SaveCsv1->text(), QStringLiteral("CSVで保存..."));

    apptest::writeExampleLists(dir);
    const std::string log = dir.write("logs/example.log", apptest::exampleLog());
    ASSERT_TRUE(runCommand(&form, [&] { form.LogCounting(log); }));
    ASSERT_TRUE(form.SaveReport1->isEnabled());

    const std::string page = dir.path() + "/logs/munyaro-report-example.log.html";
    EXPECT_EQ(run(form.SaveReport1, page, QMessageBox::Yes), std::vector<QString>{"SaveReportDialog"});
    EXPECT_EQ(fromQString(proposed), page);
    EXPECT_TRUE(questions.empty());
    // The page the CLI writes: the same engine, fed the same calls.
    report::ReportRecord cli;
    cli.begin(log, 0);
    analysis::LogCounting(log, cli, analysis::AnalysisOptions{dir.path() + "/materia"});
    EXPECT_EQ(timeless(readFile(page)), timeless(report::htmlReport(cli)));

    writeFile(page, "kept");
    EXPECT_EQ(run(form.SaveReport1, page, QMessageBox::No).size(), 2u);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("置き換えますか?")));
    EXPECT_EQ(readFile(page), "kept");
    run(form.SaveReport1, page, QMessageBox::Yes);
    EXPECT_NE(readFile(page), "kept");

    // A page that cannot be written is reported, and the window carries on.
    run(form.SaveReport1, dir.path() + "/missing/report.html", QMessageBox::Yes);
    ASSERT_EQ(questions.size(), 3u);
    EXPECT_TRUE(questions[2].contains(QStringLiteral("missing/report.html")));
}

TEST_F(ReportSaveTest, CsvFilesGoIntoTheChosenFolderAfterAskingAboutOnesThere) {
    apptest::writeExampleLists(dir);
    const std::string log = dir.write("logs/example.log", apptest::exampleLog());
    ASSERT_TRUE(runCommand(&form, [&] { form.LogCounting(log); }));
    const std::string out = dir.path() + "/csv";
    fs::create_directories(out);

    EXPECT_EQ(run(form.SaveCsv1, out, QMessageBox::Yes), std::vector<QString>{"SaveCsvDialog"});
    EXPECT_TRUE(fs::exists(out + "/集計結果.csv"));
    EXPECT_TRUE(fs::exists(out + "/bot.csv"));
    EXPECT_FALSE(fs::exists(out + "/生ログ.csv"));
    EXPECT_EQ(form.SaveNote->text(), QStringLiteral("CSVファイル 37 個を保存しました: %1").arg(toQString(out)));

    writeFile(out + "/接続-集計.csv", "kept");
    run(form.SaveCsv1, out, QMessageBox::No);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_TRUE(questions[0].contains(QStringLiteral("置き換えますか?")));
    EXPECT_EQ(readFile(out + "/接続-集計.csv"), "kept");
    run(form.SaveCsv1, out, QMessageBox::Yes);
    EXPECT_EQ(readFile(out + "/接続-集計.csv").substr(0, 3), "\xEF\xBB\xBF");
}

}  // namespace
