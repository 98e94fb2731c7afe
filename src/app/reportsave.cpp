// The main window's commands that save the report of the last analysis: one HTML page, or CSV files.
#include <filesystem>

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "app/tform1.h"
#include "common/apperror.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"
#include "report/csvreport.h"
#include "report/htmlreport.h"

namespace {

QString pathToQString(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }

// The answer that keeps the user's files is the default one.
bool confirmReplace(QWidget* parent, const QString& text) {
    return QMessageBox::question(parent, QStringLiteral("むにゃろ"), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace

bool TForm1::runSave(const std::function<void()>& save, const QString& done, const QString& folder) {
    QString reason;
    const bool saved = runCommand(this, [&] {
        try {
            save();
        } catch (const common::AppError& e) {
            reason = toQString(e.what());
            throw;
        } catch (const std::bad_alloc&) {
            reason = QStringLiteral("メモリが足りません");
            throw;
        }
    });
    if (saved) showSaveNote(done, folder);
    else showSaveNote(QStringLiteral("保存できませんでした: %1").arg(reason), {});
    return saved;
}

void TForm1::SaveReport1Click() {
    if (!record_.begun()) return;
    const std::string proposed = report::defaultReportPath(record_.logPath());
    QFileDialog dialog(this, QStringLiteral("レポートを保存"), pathToQString(proposed),
                       QStringLiteral("HTMLファイル (*.html *.htm)"));
    dialog.setObjectName("SaveReportDialog");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("html"));
    // Replacing is asked below, the same way for the page and the CSV files.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString chosen = dialog.selectedFiles().first();
    const std::string path = pathFromQString(chosen);
    std::error_code ec;
    if (std::filesystem::exists(path, ec) &&
        !confirmReplace(this, QStringLiteral("%1 は既にあります。\n置き換えますか?").arg(chosen)))
        return;
    runSave([&] { report::writeHtmlReport(record_, path); }, QStringLiteral("レポートを保存しました: %1").arg(chosen),
            QFileInfo(chosen).absolutePath());
}

void TForm1::SaveCsv1Click() {
    if (!record_.begun()) return;
    QFileDialog dialog(this, QStringLiteral("CSVで保存するフォルダ"),
                       pathToQString(std::filesystem::path(record_.logPath()).parent_path().string()));
    dialog.setObjectName("SaveCsvDialog");
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QString folder = dialog.selectedFiles().first();
    const std::string dir = pathFromQString(folder);
    QStringList existing;
    for (const report::CsvFile& f : report::csvFiles(record_)) {
        std::error_code ec;
        if (std::filesystem::exists(std::filesystem::path(dir) / f.name, ec))
            existing << QString::fromStdString(f.name);
    }
    if (!existing.isEmpty()) {
        const QString names = existing.size() > 3
                                  ? existing.mid(0, 3).join(QStringLiteral(", ")) + QStringLiteral(" など")
                                  : existing.join(QStringLiteral(", "));
        if (!confirmReplace(this,
                            QStringLiteral("このフォルダには同じ名前のファイルが %1 個あります (%2)。\n置き換えますか?")
                                .arg(existing.size())
                                .arg(names)))
            return;
    }
    runSave([&] { report::writeCsvReport(record_, dir); },
            QStringLiteral("CSVファイル %1 個を保存しました: %2").arg(report::csvFiles(record_).size()).arg(folder),
            folder);
}
