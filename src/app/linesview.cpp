// A read-only result pane that lays out only the lines on screen.
#include "app/linesview.h"

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "qtedge/qtext.h"

namespace {
constexpr int kMargin = 2;  // left of the text, as a text area leaves it
}

LinesView::LinesView(QWidget* parent) : QAbstractScrollArea(parent) {
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    fontChanged();
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
    if (toTop) widest_ = 0;
    updateScrollBars();
    if (toTop) {
        verticalScrollBar()->setValue(0);
        horizontalScrollBar()->setValue(0);
    }
    viewport()->update();
}

int LinesView::visibleLines() const { return std::max(1, viewport()->height() / lineHeight_); }

std::size_t LinesView::firstVisibleLine() const { return static_cast<std::size_t>(verticalScrollBar()->value()); }

void LinesView::scrollToLine(std::size_t line) {
    verticalScrollBar()->setValue(static_cast<int>(std::min<std::size_t>(line, INT_MAX)));
}

void LinesView::updateScrollBars() {
    const int page = visibleLines();
    const auto count = static_cast<long long>(count_);
    verticalScrollBar()->setRange(0, static_cast<int>(std::clamp<long long>(count - page, 0, INT_MAX)));
    verticalScrollBar()->setPageStep(page);
    verticalScrollBar()->setSingleStep(1);
    const int width = viewport()->width();
    horizontalScrollBar()->setRange(0, std::max(0, widest_ + 2 * kMargin - width));
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

void LinesView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const std::size_t first = firstVisibleLine();
    if (first >= count_) return;
    const std::size_t rows = std::min<std::size_t>(static_cast<std::size_t>(visibleLines()) + 1, count_ - first);
    const int x = kMargin - horizontalScrollBar()->value();
    const QFontMetrics fm = fontMetrics();
    const auto [from, to] = ordered();
    const QPalette& pal = palette();
    int widest = widest_;
    for (std::size_t r = 0; r < rows; ++r) {
        const std::size_t i = first + r;
        const Shown shown = shownLine(i);
        const QString& text = shown.text;
        const int top = static_cast<int>(r) * lineHeight_;
        const int textWidth = fm.horizontalAdvance(text);
        const int width = textWidth + (shown.cut ? fm.horizontalAdvance(kMore) : 0);
        widest = std::max(widest, width);
        painter.setPen(pal.color(QPalette::Text));
        painter.drawText(x, top + ascent_, text);
        if (shown.cut) {
            painter.setPen(pal.color(QPalette::PlaceholderText));
            painter.drawText(x + textWidth, top + ascent_, kMore);
        }
        if (hasSelection() && i >= from.line && i <= to.line) {
            // The selected part is drawn again over a highlight, clipped to it. A selection that goes
            // past the shown start of a long line covers the mark as well.
            const auto advance = [&](int column) { return column > text.size() ? width : fm.horizontalAdvance(text.left(column)); };
            const int startCol = i == from.line ? from.column : 0;
            const int endCol = i == to.line ? to.column : kLineEnd;
            const int left = x + advance(startCol);
            int right = x + advance(endCol);
            if (i != to.line) right += fm.averageCharWidth();  // the line break is selected too
            if (right > left) {
                const QRect band(left, top, right - left, lineHeight_);
                painter.fillRect(band, pal.color(QPalette::Highlight));
                painter.save();
                painter.setClipRect(band);
                painter.setPen(pal.color(QPalette::HighlightedText));
                painter.drawText(x, top + ascent_, text);
                if (shown.cut) painter.drawText(x + textWidth, top + ascent_, kMore);
                painter.restore();
            }
        }
    }
    if (widest != widest_) {
        widest_ = widest;
        updateScrollBars();
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
    if (count_ == 0) return {};
    const long long row = p.y() < 0 ? -1 : p.y() / lineHeight_;
    const long long line = static_cast<long long>(firstVisibleLine()) + row;
    if (line < 0) return {0, 0};
    if (line >= static_cast<long long>(count_)) {
        return {count_ - 1, kLineEnd};
    }
    const auto i = static_cast<std::size_t>(line);
    const int x = p.x() - kMargin + horizontalScrollBar()->value();
    const Shown shown = shownLine(i);
    // Beyond the shown start of a long line, the position is its end.
    if (shown.cut && x >= fontMetrics().horizontalAdvance(shown.text)) return {i, kLineEnd};
    return {i, columnAt(shown.text, x)};
}

void LinesView::ensureVisible(std::size_t line) {
    const std::size_t first = firstVisibleLine();
    const auto page = static_cast<std::size_t>(visibleLines());
    if (line < first) scrollToLine(line);
    else if (line >= first + page) scrollToLine(line - page + 1);
}

std::pair<LinesView::Position, LinesView::Position> LinesView::ordered() const {
    const bool forward = anchor_.line < cursor_.line || (anchor_.line == cursor_.line && anchor_.column <= cursor_.column);
    return forward ? std::pair{anchor_, cursor_} : std::pair{cursor_, anchor_};
}

QString LinesView::selectedText() const {
    if (!hasSelection()) return {};
    const auto [from, to] = ordered();
    QString out;
    for (std::size_t i = from.line; i <= to.line && i < count_; ++i) {
        const QString text = fullLine(i);
        const int start = i == from.line ? std::min<int>(from.column, text.size()) : 0;
        const int end = i == to.line ? std::min<int>(to.column, text.size()) : text.size();
        out += text.mid(start, end - start);
        if (i != to.line) out += QLatin1Char('\n');
    }
    return out;
}

void LinesView::selectAll() {
    if (count_ == 0) return;
    anchor_ = {0, 0};
    cursor_ = {count_ - 1, kLineEnd};
    viewport()->update();
}

void LinesView::selectLine(std::size_t line) {
    if (line >= count_) return;
    anchor_ = {line, 0};
    cursor_ = {line, static_cast<int>(shownLine(line).text.size())};
    ensureVisible(line);
    viewport()->update();
}

void LinesView::clearSelection() {
    anchor_ = cursor_;
    viewport()->update();
}

void LinesView::copy() const {
    if (hasSelection()) QApplication::clipboard()->setText(selectedText());
}

void LinesView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    QScrollBar* v = verticalScrollBar();
    QScrollBar* h = horizontalScrollBar();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    switch (event->key()) {
        case Qt::Key_Up: v->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
        case Qt::Key_Down: v->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
        case Qt::Key_PageUp: v->triggerAction(QAbstractSlider::SliderPageStepSub); break;
        case Qt::Key_PageDown: v->triggerAction(QAbstractSlider::SliderPageStepAdd); break;
        case Qt::Key_Left: h->triggerAction(QAbstractSlider::SliderSingleStepSub); break;
        case Qt::Key_Right: h->triggerAction(QAbstractSlider::SliderSingleStepAdd); break;
        case Qt::Key_Home:
            if (ctrl) v->setValue(0);
            h->setValue(0);
            break;
        case Qt::Key_End:
            if (ctrl) v->setValue(v->maximum());
            else h->setValue(h->maximum());
            break;
        default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    event->accept();
}

void LinesView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    const Position at = positionAt(event->position().toPoint());
    cursor_ = at;
    if (!(event->modifiers() & Qt::ShiftModifier)) anchor_ = at;
    selecting_ = true;
    viewport()->update();
}

void LinesView::mouseMoveEvent(QMouseEvent* event) {
    if (!selecting_ || !(event->buttons() & Qt::LeftButton)) return;
    const QPoint p = event->position().toPoint();
    cursor_ = positionAt(p);
    // Dragging past the top or bottom edge scrolls on.
    if (p.y() < 0 || p.y() >= viewport()->height()) ensureVisible(cursor_.line);
    viewport()->update();
}

void LinesView::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click picks the whole line: log lines are read and copied as units.
    if (event->button() != Qt::LeftButton || count_ == 0) return;
    const Position at = positionAt(event->position().toPoint());
    anchor_ = {at.line, 0};
    cursor_ = {at.line, kLineEnd};
    selecting_ = false;
    viewport()->update();
}

void LinesView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    QAction* copyAction = menu.addAction(QStringLiteral("コピー(&C)"), this, &LinesView::copy);
    copyAction->setEnabled(hasSelection());
    menu.addSeparator();
    QAction* all = menu.addAction(QStringLiteral("すべて選択(&A)"), this, &LinesView::selectAll);
    all->setEnabled(count_ > 0);
    menu.exec(event->globalPos());
}
