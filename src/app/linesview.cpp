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

namespace {
constexpr int kMargin = 2;                  // left of the text, as a text area leaves it
constexpr qint64 kPaintMatchBudgetMs = 40;  // of matching in one paint, well inside what a user feels
const QColor kMatchColour(255, 226, 110);
}  // namespace

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
    const auto [from, to] = ordered();
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
        const QString& text = shown.text;
        const int rowTop = static_cast<int>(r) * lineHeight_;
        const int textWidth = fm.horizontalAdvance(text);
        const int width = textWidth + (shown.cut ? fm.horizontalAdvance(kMore) : 0);
        widest = std::max(widest, width);
        if (highlight && matching.elapsed() >= kPaintMatchBudgetMs) highlight = false;
        if (highlight) {
            for (const TextMatch& m : matcher_->findAll(text)) {
                const int left = x + fm.horizontalAdvance(text.left(m.start));
                const int right = x + fm.horizontalAdvance(text.left(m.start + m.length));
                painter.fillRect(QRect(left, rowTop, right - left, lineHeight_), kMatchColour);
            }
        }
        painter.setPen(pal.color(QPalette::Text));
        painter.drawText(x, rowTop + ascent_, text);
        if (shown.cut) {
            painter.setPen(pal.color(QPalette::PlaceholderText));
            painter.drawText(x + textWidth, rowTop + ascent_, kMore);
        }
        if (hasSelection() && i >= from.line && i <= to.line) {
            // The selected part is drawn again over a highlight, clipped to it. A selection that goes
            // past the shown start of a long line covers the mark as well.
            const auto advance = [&](int column) {
                return column > text.size() ? width : fm.horizontalAdvance(text.left(column));
            };
            const int startCol = i == from.line ? from.column : 0;
            const int endCol = i == to.line ? to.column : kLineEnd;
            const int left = x + advance(startCol);
            int right = x + advance(endCol);
            if (i != to.line) right += fm.averageCharWidth();  // the line break is selected too
            if (right > left) {
                const QRect band(left, rowTop, right - left, lineHeight_);
                painter.fillRect(band, pal.color(QPalette::Highlight));
                painter.save();
                painter.setClipRect(band, Qt::IntersectClip);
                painter.setPen(pal.color(QPalette::HighlightedText));
                painter.drawText(x, rowTop + ascent_, text);
                if (shown.cut) painter.drawText(x + textWidth, rowTop + ascent_, kMore);
                painter.restore();
            }
        }
    }
    if (gutter > 0) {
        // Line numbers of a filtered view stay put while the text scrolls sideways.
        painter.setClipping(false);
        painter.fillRect(QRect(0, 0, gutter, viewport()->height()), pal.color(QPalette::AlternateBase));
        painter.setPen(pal.color(QPalette::PlaceholderText));
        for (std::size_t r = 0; r < rows; ++r) {
            const QString number = QString::number(lineOfRow(top + r) + 1);
            painter.drawText(gutter - kMargin * 2 - fm.horizontalAdvance(number),
                             static_cast<int>(r) * lineHeight_ + ascent_, number);
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

// --- find -----------------------------------------------------------------------------------------

void LinesView::openFind() {
    if (!findBar_) {
        findBar_ = new FindBar(this);
        connect(findBar_, &FindBar::queryChanged, this, &LinesView::restartSearch);
        connect(findBar_, &FindBar::nextRequested, this, [this] { findNext(); });
        connect(findBar_, &FindBar::previousRequested, this, [this] { findPrevious(); });
        connect(findBar_, &FindBar::closeRequested, this, &LinesView::closeFind);
        connect(findBar_, &FindBar::filterToggled, this, &LinesView::setFiltered);
    }
    const bool wasOpen = findBar_->isVisible();
    findBar_->show();
    layoutFindBar();
    // A short selection within one line is what the user wants to find.
    if (hasSelection() && anchor_.line == cursor_.line) {
        const QString selected = selectedText();
        if (!selected.isEmpty() && selected.size() <= 200 && selected != findBar_->edit->text())
            findBar_->edit->setText(selected);  // searches
    } else if (!wasOpen && !findBar_->edit->text().isEmpty()) {
        restartSearch();
    }
    findBar_->edit->setFocus(Qt::ShortcutFocusReason);
    findBar_->edit->selectAll();
}

void LinesView::closeFind() {
    if (!findBar_ || !findBar_->isVisible()) return;
    if (filter_) findBar_->onlyMatching->setChecked(false);  // back to every line, at the same place
    stopSearch();
    findBar_->hide();
    layoutFindBar();
    setFocus(Qt::ShortcutFocusReason);
    viewport()->update();
}

void LinesView::layoutFindBar() {
    const int height = findBar_ && findBar_->isVisible() ? findBar_->sizeHint().height() : 0;
    if (viewportMargins().bottom() != height) setViewportMargins(0, 0, 0, height);
    if (height == 0) return;
    const QRect v = viewport()->geometry();
    findBar_->setGeometry(v.left(), v.bottom() + 1, v.width(), height);
}

void LinesView::stopSearch() {
    if (search_) {
        search_->cancel();
        retired_.push_back(std::move(search_));
    }
    // Threads that have ended are let go; one still inside a line ends on its own.
    std::erase_if(retired_, [](const std::unique_ptr<LineSearch>& s) { return s->finished(); });
    ++generation_;
    matcher_.reset();
    head_.clear();
    tail_.clear();
    searchDone_ = false;
    pendingStep_ = 0;
    if (filter_) updateScrollBars();
    updateCount();
}

void LinesView::restartSearch() {
    const std::size_t origin = firstVisibleLine();
    stopSearch();
    if (!findBar_) return;
    // The match the user stepped to belongs to the old query: the new one starts from the top line.
    anchor_ = cursor_;
    auto matcher = std::make_unique<LineMatcher>(findBar_->query());
    if (matcher->usable()) {
        const std::uint64_t generation = generation_;
        search_ = std::make_unique<LineSearch>(content_, *matcher, filter_ ? 0 : origin, [this, generation] {
            QMetaObject::invokeMethod(
                this, [this, generation] { searchNews(generation); }, Qt::QueuedConnection);
        });
        pendingStep_ = 1;
    }
    matcher_ = std::move(matcher);
    updateCount();
    viewport()->update();
}

void LinesView::searchNews(std::uint64_t generation) {
    if (generation != generation_ || !search_) return;
    const std::size_t top = firstVisibleLine();
    search_->take(head_, tail_, searchDone_);
    if (filter_) {
        // Lines found before the origin come in above: the line at the top stays at the top.
        updateScrollBars();
        scrollToLine(top);
    }
    if (pendingStep_ != 0) findStep(pendingStep_ > 0);
    updateCount();
    viewport()->update();
}

void LinesView::updateCount() {
    if (!findBar_) return;
    if (matcher_ && !matcher_->error().isEmpty()) {
        findBar_->setCount(QStringLiteral("正規表現の誤り"));
        findBar_->count->setToolTip(matcher_->error());
        return;
    }
    findBar_->count->setToolTip({});
    if (!matcher_ || !matcher_->usable()) {
        findBar_->setCount({});
        return;
    }
    findBar_->setCount(
        QStringLiteral("%L1 件%2").arg(matchingLines()).arg(searchDone_ ? QString() : QStringLiteral("…")));
}

bool LinesView::findStep(bool forward) {
    pendingStep_ = 0;
    if (!matcher_ || !matcher_->usable() || count_ == 0) return false;
    Position at{firstVisibleLine(), 0};
    if (hasSelection()) {
        const auto [from, to] = ordered();
        at = forward ? to : from;
    }
    if (at.line >= count_) at = {count_ - 1, 0};
    // First in the line where the step starts, from the place in it.
    const std::vector<TextMatch> here = matcher_->findAll(fullLine(at.line));
    if (forward) {
        for (const TextMatch& m : here)
            if (m.start >= at.column) {
                selectMatch(at.line, m.start, m.length);
                return true;
            }
    } else {
        for (auto m = here.rbegin(); m != here.rend(); ++m)
            if (m->start + m->length <= at.column) {
                selectMatch(at.line, m->start, m->length);
                return true;
            }
    }
    // Then the other matching lines in order, round the end to the start once everything is found.
    const std::size_t total = matchingLines();
    std::size_t k = 0;
    {
        std::size_t lo = 0, hi = total;
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (forward ? matchLine(mid) <= at.line : matchLine(mid) < at.line) lo = mid + 1;
            else hi = mid;
        }
        k = lo;  // forward: the first match line after at.line; backward: one past the last before it
    }
    for (std::size_t n = 0; n < total; ++n) {
        std::size_t index;
        if (forward) {
            if (k + n >= total && !searchDone_) break;
            index = (k + n) % total;
        } else {
            if (n >= k && !searchDone_) break;
            index = (k + total - 1 - n) % total;
        }
        const std::size_t line = matchLine(index);
        const std::vector<TextMatch> ms = matcher_->findAll(fullLine(line));
        if (ms.empty()) continue;  // a line whose bytes matched but whose text does not: step over it
        const TextMatch& m = forward ? ms.front() : ms.back();
        selectMatch(line, m.start, m.length);
        return true;
    }
    if (!searchDone_) pendingStep_ = forward ? 1 : -1;  // tried again as more matches come in
    return false;
}

void LinesView::selectMatch(std::size_t line, int start, int length) {
    anchor_ = {line, start};
    cursor_ = {line, start + length};
    ensureVisible(line);
    // Sideways too, as far as the shown start of the line reaches.
    const Shown shown = shownLine(line);
    if (start <= shown.text.size()) {
        const QFontMetrics fm = fontMetrics();
        const int left = fm.horizontalAdvance(shown.text.left(start));
        const int right = fm.horizontalAdvance(shown.text.left(std::min<int>(start + length, shown.text.size())));
        widest_ = std::max(widest_, fm.horizontalAdvance(shown.text) + (shown.cut ? fm.horizontalAdvance(kMore) : 0));
        updateScrollBars();
        QScrollBar* h = horizontalScrollBar();
        const int width = viewport()->width() - gutterWidth() - 2 * kMargin;
        if (left < h->value()) h->setValue(std::max(0, left - width / 4));
        else if (right > h->value() + width) h->setValue(right - width + width / 4);
    }
    viewport()->update();
}

void LinesView::setFiltered(bool on) {
    if (on == filter_) return;
    const std::size_t top = firstVisibleLine();
    if (on) {
        topBeforeFilter_ = top;
        filter_ = true;
        updateScrollBars();
        scrollToLine(top);
        filterTopAtStart_ = firstVisibleLine();
    } else {
        // Untouched, the view goes back where it was; moved, it shows the line that was at the top.
        const bool moved = top != filterTopAtStart_;
        filter_ = false;
        updateScrollBars();
        scrollToLine(moved ? top : topBeforeFilter_);
    }
    if (findBar_ && findBar_->onlyMatching->isChecked() != on) findBar_->onlyMatching->setChecked(on);
    viewport()->update();
}
