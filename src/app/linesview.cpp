// A read-only result pane that lays out only the lines on screen.
#include "app/linesview.h"

#include <algorithm>
#include <new>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "app/findbar.h"
#include "app/linesearch.h"
#include "qtedge/commandguard.h"
#include "qtedge/linefont.h"
#include "qtedge/qtext.h"

LinesView::LinesView(QWidget* parent) : QAbstractScrollArea(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setFont(lineFont());
    fontChanged();
}

LinesView::~LinesView() {
    // The search threads read this pane's content and post to it: they end first.
    search_.reset();
    retired_.clear();
}

void LinesView::clear() {
    content_.clear();
    contentChanged(true);
}

void LinesView::append(analysis::Lines lines) {
    content_.append(std::move(lines));
    contentChanged(false);
}

void LinesView::append(std::string line) {
    content_.append(std::move(line));
    contentChanged(false);
}

void LinesView::replace(analysis::Lines lines) {
    content_.replace(std::move(lines));
    contentChanged(true);
}

void LinesView::insert(std::size_t index, std::string line) {
    content_.insert(index, std::move(line));
    contentChanged(false);
}

void LinesView::contentChanged(bool toTop) {
    count_ = content_.size();
    anchor_ = cursor_ = Position{};
    memoryShort_ = false;
    if (toTop) widest_ = 0;
    // Matches belong to the content searched; a search open on the pane starts again on the new one.
    if (findBar_ && findBar_->isVisible()) restartSearch();
    else stopSearch();
    updateScrollBars();
    if (toTop) {
        verticalScrollBar()->setValue(0);
        horizontalScrollBar()->setValue(0);
    }
    viewport()->update();
}

int LinesView::visibleLines() const { return std::max(1, viewport()->height() / lineHeight_); }

std::size_t LinesView::topRow() const { return static_cast<std::size_t>(verticalScrollBar()->value()); }

std::size_t LinesView::lineOfRow(std::size_t row) const { return filter_ ? matchLine(row) : row; }

std::size_t LinesView::rowOfLine(std::size_t line) const {
    if (!filter_) return line;
    std::size_t lo = 0, hi = matchingLines();
    while (lo < hi) {
        const std::size_t mid = (lo + hi) / 2;
        if (matchLine(mid) < line) lo = mid + 1;
        else hi = mid;
    }
    return lo;
}

std::size_t LinesView::firstVisibleLine() const {
    const std::size_t row = topRow();
    return row < rowCount() ? lineOfRow(row) : row;
}

void LinesView::scrollToLine(std::size_t line) {
    verticalScrollBar()->setValue(static_cast<int>(std::min<std::size_t>(rowOfLine(line), INT_MAX)));
}

int LinesView::gutterWidth() const {
    if (!filter_) return 0;
    return fontMetrics().horizontalAdvance(QString::number(count_)) + 3 * kMargin;
}

void LinesView::updateScrollBars() {
    const int page = visibleLines();
    const auto count = static_cast<long long>(rowCount());
    verticalScrollBar()->setRange(0, static_cast<int>(std::clamp<long long>(count - page, 0, INT_MAX)));
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setSingleStep(1);
    const int width = viewport()->width();
    horizontalScrollBar()->setRange(0, std::max(0, widest_ + 2 * kMargin + gutterWidth() - width));
    horizontalScrollBar()->setPageStep(std::max(1, width));
    horizontalScrollBar()->setSingleStep(std::max(1, fontMetrics().averageCharWidth() * 2));
}

void LinesView::fontChanged() {
    const QFontMetrics fm = fontMetrics();
    lineHeight_ = std::max(1, fm.lineSpacing());
    ascent_ = fm.ascent();
    widest_ = 0;
    updateScrollBars();
}

void LinesView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) fontChanged();
    QAbstractScrollArea::changeEvent(event);
}

void LinesView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    layoutFindBar();
    updateScrollBars();
}

const QString LinesView::kMore = QStringLiteral(" …(続く)");

LinesView::Shown LinesView::shownLine(std::size_t i) const {
    // A character takes at most two bytes, so this many bytes give one character more than is shown;
    // that one may be cut in half, and it is dropped.
    constexpr std::size_t kBytes = 2 * static_cast<std::size_t>(kShownChars) + 2;
    Shown shown{toQString(content_.linePrefix(i, kBytes)), false};
    if (shown.text.size() > kShownChars) {
        shown.text.truncate(kShownChars);
        // Never split a surrogate pair.
        if (shown.text.back().isHighSurrogate()) shown.text.chop(1);
        shown.cut = true;
    }
    return shown;
}

QString LinesView::fullLine(std::size_t i) const { return toQString(content_.line(i)); }
