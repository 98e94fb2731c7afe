// The main window as the engine's ResultView: panes, boxes, charts, progress and the status bar.
#include <cassert>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>

#include "analysis/chart.h"
#include "analysis/resultlayout.h"
#include "app/chartimage.h"
#include "app/linesview.h"
#include "app/tform1.h"
#include "app/tform2.h"
#include "qtedge/qtext.h"

void showInBox(QLineEdit* box, const QString& text) {
    box->setText(text);
    // A box narrower than its number must show where the number begins, not where it ends.
    box->setCursorPosition(0);
}

// --- charts ---------------------------------------------------------------------------------------

void TForm1::imageReady(std::string_view image) {
    ChartImage* c = chart(image);
    c->draw(analysis::chartBackground(c->state(), c->width(), c->height()));
}

void TForm1::Image1Ready() { imageReady("Image1"); }
void TForm1::Image2Ready() { imageReady("Image2"); }
void TForm1::Image3Ready() { imageReady("Image3"); }

void TForm1::GraphDraw(ChartImage* image, const std::array<std::int64_t, 24>& counts, std::int64_t total) {
    image->draw(analysis::chartBars(image->state(), counts, total));
}

// --- ResultView -----------------------------------------------------------------------------------

// The engine names only components of its own lists, which the window builds all of.
LinesView* TForm1::pane(std::string_view name) const {
    const auto it = panes_.find(name);
    assert(it != panes_.end() && "a pane of the engine's list");
    return it->second;
}

QLineEdit* TForm1::box(std::string_view name) const {
    const auto it = boxes_.find(name);
    assert(it != boxes_.end() && "a box of the engine's list");
    return it->second;
}

ChartImage* TForm1::chart(std::string_view name) const {
    const auto it = charts_.find(name);
    assert(it != charts_.end() && "one of the three charts");
    return it->second;
}

void TForm1::clearPane(std::string_view name) { pane(name)->clear(); }
void TForm1::appendLines(std::string_view name, analysis::Lines lines) { pane(name)->append(std::move(lines)); }
void TForm1::appendLine(std::string_view name, std::string line) { pane(name)->append(std::move(line)); }
void TForm1::replacePane(std::string_view name, analysis::Lines lines) { pane(name)->replace(std::move(lines)); }
void TForm1::insertLine(std::string_view name, std::size_t index, std::string line) {
    pane(name)->insert(index, std::move(line));
}
void TForm1::setBox(std::string_view name, std::string text) { showInBox(box(name), toQString(text)); }
int TForm1::selectedUnit() const { return byteName->currentIndex(); }

void TForm1::showProgress() {
    if (windows_.progress) windows_.progress->showProgress();
}
void TForm1::hideProgress() {
    if (windows_.progress) windows_.progress->hideProgress();
}
void TForm1::progressMessage(std::string message) {
    if (windows_.progress) windows_.progress->message(message);
}
void TForm1::progressRange(std::size_t maximum) {
    if (windows_.progress) windows_.progress->setRange(maximum);
}
void TForm1::progressPosition(std::size_t position) {
    if (windows_.progress) windows_.progress->setPosition(position);
}

void TForm1::chartBackground(std::string_view image) {
    if (image == "Image1") Image1Ready();
    else if (image == "Image2") Image2Ready();
    else if (image == "Image3") Image3Ready();
    else assert(!"one of the three charts");
}

void TForm1::chartBars(std::string_view image, const std::array<std::int64_t, 24>& counts, std::int64_t total) {
    GraphDraw(chart(image), counts, total);
}

// The layout is shown at once, so that a pane left empty by it (no referrers in a common log) is
// explained while the user looks.
void TForm1::layoutRead(const analysis::LogLayout& layout, bool detected) {
    StatusFormat->setText(QStringLiteral("形式: ") + toQString(layout.description()));
    StatusFormat->setToolTip((detected ? QStringLiteral("最初の行から判別しました (設定 > ログの形式)")
                                       : QStringLiteral("設定 > ログの形式 で指定されています")));
}

void TForm1::linesSkipped(std::shared_ptr<const analysis::SkippedLines> skipped) {
    StatusSkipped->setText(QStringLiteral("読めなかった行 %L1").arg(skipped->size()));
    SkippedLines->replace(skipped);
    const int page = PageControl1->indexOf(SkippedLines->parentWidget());
    PageControl1->setTabVisible(page, true);
}

// The counts leave out what follows the zero byte: said in the status bar and, beside the progress
// messages, in the progress window.
void TForm1::stoppedAtZeroByte(std::size_t lineNumber) {
    const QString text = QStringLiteral("%L1 行目のゼロのバイトで読み終えました").arg(lineNumber);
    StatusZeroByte->setText(text);
    StatusZeroByte->show();
    if (windows_.progress) windows_.progress->message(fromQString(text));
}

// The line that stopped the pass is shown in the raw log, so that the error box's text can be read
// beside it once the box is closed.
void TForm1::stoppedAt(std::size_t index, std::size_t) {
    LinesView* raw = pane(analysis::kRawLogPane);
    PageControl1->setCurrentWidget(raw->parentWidget());
    raw->selectLine(index);
}
