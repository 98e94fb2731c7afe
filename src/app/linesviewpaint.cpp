// Painting a result pane's visible lines, and the line and column under a point.
#include <algorithm>
#include <new>

#include <QElapsedTimer>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

#include "app/findbar.h"
#include "app/linesearch.h"
#include "app/linesview.h"
#include "qtedge/commandguard.h"

namespace {
constexpr qint64 kPaintMatchBudgetMs = 40;  // of matching in one paint, well inside what a user feels
const QColor kMatchColour(255, 226, 110);
}  // namespace

void LinesView::paintEvent(QPaintEvent*) {
    try {
        paintLines();
    } catch (const std::bad_alloc&) {
        // A line too long for the memory left: what was painted stays, and the user is told once,
        // after the paint (a box must not open inside it).
        if (memoryShort_) return;
        memoryShort_ = true;
        QTimer::singleShot(0, this, [this] { showOutOfMemoryBox(window()); });
    }
}

void LinesView::paintLines() {
    QPainter painter(viewport());
    const std::size_t top = topRow();
    const std::size_t rowTotal = rowCount();
    if (top >= rowTotal) return;
    const std::size_t rows = std::min<std::size_t>(static_cast<std::size_t>(visibleLines()) + 1, rowTotal - top);
    const int gutter = gutterWidth();
    const int x = kMargin + gutter - horizontalScrollBar()->value();
    const QFontMetrics fm = fontMetrics();
    const QPalette& pal = palette();
    bool highlight = matcher_ && matcher_->usable() && findBar_ && findBar_->isVisible();
    // Matching is linear in the text, but a paint of many long lines must still not hold the window:
    // past the budget the remaining rows are painted without their marks.
    QElapsedTimer matching;
    matching.start();
    if (gutter > 0) painter.setClipRect(QRect(gutter, 0, viewport()->width() - gutter, viewport()->height()));
    int widest = widest_;
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t i = lineOfRow(top + r);
        const Shown shown = shownLine(i);
        const int textWidth = fm.horizontalAdvance(shown.text);
        const PaintedRow row{i, static_cast<int>(r) * lineHeight_, textWidth,
                             textWidth + (shown.cut ? fm.horizontalAdvance(kMore) : 0)};
        widest = std::max(widest, row.width);
        if (highlight && matching.elapsed() >= kPaintMatchBudgetMs) highlight = false;
        if (highlight) paintMatches(painter, shown.text, x, row.top);
        painter.setPen(pal.color(QPalette::Text));
        painter.drawText(x, row.top + ascent_, shown.text);
        if (shown.cut) {
            painter.setPen(pal.color(QPalette::PlaceholderText));
            painter.drawText(x + row.textWidth, row.top + ascent_, kMore);
        }
        paintSelection(painter, shown, row, x);
    }
    if (gutter > 0) paintGutter(painter, top, rows, gutter);
    if (widest != widest_) {
        widest_ = widest;
        updateScrollBars();
    }
}

void LinesView::paintMatches(QPainter& painter, const QString& text, int x, int rowTop) const {
    const QFontMetrics fm = fontMetrics();
    for (const TextMatch& m : matcher_->findAll(text)) {
        const int left = x + fm.horizontalAdvance(text.left(m.start));
        const int right = x + fm.horizontalAdvance(text.left(m.start + m.length));
        painter.fillRect(QRect(left, rowTop, right - left, lineHeight_), kMatchColour);
    }
}

void LinesView::paintSelection(QPainter& painter, const Shown& shown, const PaintedRow& row, int x) const {
    const auto [from, to] = ordered();
    const std::size_t i = row.line;
    if (!hasSelection() || i < from.line || i > to.line) return;
    // The selected part is drawn again over a highlight, clipped to it. A selection that goes past the
    // shown start of a long line covers the mark as well.
    const QFontMetrics fm = fontMetrics();
    const QString& text = shown.text;
    const auto advance = [&](int column) {
        return column > text.size() ? row.width : fm.horizontalAdvance(text.left(column));
    };
    const int startCol = i == from.line ? from.column : 0;
    const int endCol = i == to.line ? to.column : kLineEnd;
    const int left = x + advance(startCol);
    int right = x + advance(endCol);
    if (i != to.line) right += fm.averageCharWidth();  // the line break is selected too
    if (right <= left) return;
    const QPalette& pal = palette();
    const QRect band(left, row.top, right - left, lineHeight_);
    painter.fillRect(band, pal.color(QPalette::Highlight));
    painter.save();
    painter.setClipRect(band, Qt::IntersectClip);
    painter.setPen(pal.color(QPalette::HighlightedText));
    painter.drawText(x, row.top + ascent_, text);
    if (shown.cut) painter.drawText(x + row.textWidth, row.top + ascent_, kMore);
    painter.restore();
}

// Line numbers of a filtered view stay put while the text scrolls sideways.
void LinesView::paintGutter(QPainter& painter, std::size_t top, std::size_t rows, int gutter) const {
    const QFontMetrics fm = fontMetrics();
    const QPalette& pal = palette();
    painter.setClipping(false);
    painter.fillRect(QRect(0, 0, gutter, viewport()->height()), pal.color(QPalette::AlternateBase));
    painter.setPen(pal.color(QPalette::PlaceholderText));
    for (std::size_t r = 0; r < rows; ++r) {
        const QString number = QString::number(lineOfRow(top + r) + 1);
        painter.drawText(gutter - kMargin * 2 - fm.horizontalAdvance(number),
                         static_cast<int>(r) * lineHeight_ + ascent_, number);
    }
}

int LinesView::columnAt(const QString& text, int x) const {
    // The character boundary nearest to x; advances grow with the prefix, so halve the range.
    const QFontMetrics fm = fontMetrics();
    int lo = 0, hi = static_cast<int>(text.size());
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (fm.horizontalAdvance(text.left(mid)) <= x) lo = mid;
        else hi = mid - 1;
    }
    if (lo < text.size()) {
        const int here = fm.horizontalAdvance(text.left(lo));
        const int next = fm.horizontalAdvance(text.left(lo + 1));
        if (x - here > next - x) ++lo;
    }
    return lo;
}

LinesView::Position LinesView::positionAt(const QPoint& p) const {
    const std::size_t rowTotal = rowCount();
    if (rowTotal == 0) return {};
    const long long row = static_cast<long long>(topRow()) + (p.y() < 0 ? -1 : p.y() / lineHeight_);
    if (row < 0) return {lineOfRow(0), 0};
    if (row >= static_cast<long long>(rowTotal)) return {lineOfRow(rowTotal - 1), kLineEnd};
    const std::size_t i = lineOfRow(static_cast<std::size_t>(row));
    const int x = p.x() - kMargin - gutterWidth() + horizontalScrollBar()->value();
    const Shown shown = shownLine(i);
    // Beyond the shown start of a long line, the position is its end.
    if (shown.cut && x >= fontMetrics().horizontalAdvance(shown.text)) return {i, kLineEnd};
    return {i, columnAt(shown.text, x)};
}
