// Find in a result pane: the bar, the search on its own thread, stepping through the matches, the
// filtered view.
#include <algorithm>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>

#include "app/findbar.h"
#include "app/linesearch.h"
#include "app/linesview.h"
#include "qtedge/commandguard.h"
#include "qtedge/qtext.h"

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
