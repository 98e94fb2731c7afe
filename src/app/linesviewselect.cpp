// Selecting, copying, keys and the mouse in a result pane.
#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>

#include "app/findbar.h"
#include "app/linesview.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"

void LinesView::ensureVisible(std::size_t line) {
    const std::size_t first = topRow();
    const std::size_t row = rowOfLine(line);
    const auto page = static_cast<std::size_t>(visibleLines());
    if (row < first) verticalScrollBar()->setValue(static_cast<int>(std::min<std::size_t>(row, INT_MAX)));
    else if (row >= first + page)
        verticalScrollBar()->setValue(static_cast<int>(std::min<std::size_t>(row - page + 1, INT_MAX)));
}

std::pair<LinesView::Position, LinesView::Position> LinesView::ordered() const {
    const bool forward = anchor_.line < cursor_.line ||
                         (anchor_.line == cursor_.line && anchor_.column <= cursor_.column);
    return forward ? std::pair{anchor_, cursor_} : std::pair{cursor_, anchor_};
}

QString LinesView::selectedText() const {
    if (!hasSelection()) return {};
    const auto [from, to] = ordered();
    QString out;
    // A filtered view copies the lines it shows.
    const std::size_t lastRow = filter_ ? rowOfLine(to.line) : to.line;
    for (std::size_t row = rowOfLine(from.line); row <= lastRow && row < rowCount(); ++row) {
        const std::size_t i = lineOfRow(row);
        const QString text = fullLine(i);
        const int start = i == from.line ? std::min<int>(from.column, text.size()) : 0;
        const int end = i == to.line ? std::min<int>(to.column, text.size()) : text.size();
        out += text.mid(start, end - start);
        if (i != to.line) out += QLatin1Char('\n');
    }
    return out;
}

void LinesView::selectAll() {
    if (rowCount() == 0) return;
    anchor_ = {lineOfRow(0), 0};
    cursor_ = {lineOfRow(rowCount() - 1), kLineEnd};
    viewport()->update();
}

void LinesView::selectLine(std::size_t line) {
    if (line >= count_) return;
    anchor_ = {line, 0};
    cursor_ = {line, kLineEnd};
    ensureVisible(line);
    viewport()->update();
}

void LinesView::clearSelection() {
    anchor_ = cursor_;
    viewport()->update();
}

void LinesView::copy() const {
    if (!hasSelection()) return;
    // The whole log can be selected: a copy larger than the memory left is refused, not a crash.
    try {
        QApplication::clipboard()->setText(selectedText());
    } catch (const std::bad_alloc&) {
        showOutOfMemoryBox(window());
    }
}

void LinesView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Find)) {
        openFind();
        return;
    }
    if (event->key() == Qt::Key_F3) {
        if (!findBar_ || !findBar_->isVisible()) openFind();
        (event->modifiers() & Qt::ShiftModifier) ? findPrevious() : findNext();
        return;
    }
    if (event->key() == Qt::Key_Escape && findBar_ && findBar_->isVisible()) {
        closeFind();
        return;
    }
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
    if (event->button() != Qt::LeftButton || rowCount() == 0) return;
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
    all->setEnabled(rowCount() > 0);
    menu.addSeparator();
    menu.addAction(QStringLiteral("検索(&F)..."), this, &LinesView::openFind);
    menu.exec(event->globalPos());
}
