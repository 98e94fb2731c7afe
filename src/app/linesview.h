// A read-only result pane for any number of lines: it keeps the engine's line sources and converts
// and lays out only the lines on screen, so a million-line log shows at once.
#pragma once
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <QAbstractScrollArea>
#include <QString>

#include "analysis/panecontent.h"
#include "common/stringlist.h"

class FindBar;
class LineMatcher;
class LineSearch;
class QMenu;
class QPainter;

class LinesView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LinesView(QWidget* parent = nullptr);
    ~LinesView() override;

    // The pane operations of the analysis.
    void clear();
    void append(analysis::Lines lines);
    void append(std::string line);
    void replace(analysis::Lines lines);
    void insert(std::size_t index, std::string line);

    std::size_t lineCount() const { return count_; }
    std::string line(std::size_t i) const { return content_.line(i); }  // code page 932
    common::StringList lines() const { return content_.toStringList(); }

    // Uniform height of a line in pixels.
    int lineHeight() const { return lineHeight_; }
    // Whole lines that fit the viewport (at least 1).
    int visibleLines() const;
    // Index of the line at the top of the viewport.
    std::size_t firstVisibleLine() const;
    // Scrolls the line to the top (in a filtered view: the first shown line at or after it).
    void scrollToLine(std::size_t line);

    // A selection runs from an anchor to a cursor, each a line and a character position in it.
    struct Position {
        std::size_t line = 0;
        int column = 0;
        friend bool operator==(const Position&, const Position&) = default;
    };
    // A column past every character: the end of the line, however long it is.
    static constexpr int kLineEnd = INT_MAX;
    // Characters of a line that are laid out and painted; a longer line shows them and then kMore.
    static constexpr int kShownChars = 10000;
    static const QString kMore;
    // The start of line i as it is laid out (at most kShownChars characters), and whether the line goes on.
    struct Shown {
        QString text;
        bool cut = false;
    };
    Shown shownLine(std::size_t i) const;

    bool hasSelection() const { return anchor_ != cursor_; }
    QString selectedText() const;
    void selectAll();
    // Selects line i whole and scrolls it into view.
    void selectLine(std::size_t line);
    void clearSelection();
    void copy() const;  // the selection to the clipboard as plain text, lines joined by "\n"

    // Find (Ctrl+F): a bar under the pane. The lines are searched on a thread of their own; the match
    // list grows as it is found and a new query cancels the search before.
    void openFind();
    void closeFind();
    FindBar* findBar() const { return findBar_; }  // null until the bar is first opened
    bool findNext() { return findStep(true); }     // false when no match was selected
    bool findPrevious() { return findStep(false); }
    std::size_t matchingLines() const { return head_.size() + tail_.size(); }  // found so far
    bool searchDone() const { return searchDone_; }
    // Only the matching lines, each with its line number.
    void setFiltered(bool on);
    bool filtered() const { return filter_; }
    // Rows on screen: every line, or the matching lines when filtered.
    std::size_t rowCount() const { return filter_ ? matchingLines() : count_; }
    std::size_t lineOfRow(std::size_t row) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    static constexpr int kMargin = 2;  // left of the text, as a text area leaves it
    void contentChanged(bool toTop);
    void paintLines();
    // A row as painted: its line, its top, the width of its text and of the text with its mark.
    struct PaintedRow {
        std::size_t line;
        int top;
        int textWidth;
        int width;
    };
    void paintMatches(QPainter& painter, const QString& text, int x, int rowTop) const;
    void paintSelection(QPainter& painter, const Shown& shown, const PaintedRow& row, int x) const;
    void paintGutter(QPainter& painter, std::size_t top, std::size_t rows, int gutter) const;
    std::size_t matchLine(std::size_t k) const { return k < head_.size() ? head_[k] : tail_[k - head_.size()]; }
    std::size_t rowOfLine(std::size_t line) const;  // first row whose line is at or after line
    std::size_t topRow() const;
    int gutterWidth() const;
    void layoutFindBar();
    void restartSearch();
    void stopSearch();
    void searchNews(std::uint64_t generation);
    void updateCount();
    bool findStep(bool forward);
    void selectMatch(std::size_t line, int start, int length);
    void updateScrollBars();
    void fontChanged();
    QString fullLine(std::size_t i) const;
    Position positionAt(const QPoint& viewportPoint) const;
    int columnAt(const QString& text, int x) const;
    void ensureVisible(std::size_t line);
    std::pair<Position, Position> ordered() const;  // the selection's start and end

    analysis::PaneContent content_;
    std::size_t count_ = 0;
    int lineHeight_ = 1;
    int ascent_ = 0;
    int widest_ = 0;  // widest line painted so far: the horizontal range grows as lines are seen
    Position anchor_, cursor_;
    bool selecting_ = false;
    bool memoryShort_ = false;  // painting ran out of memory; told once per content

    FindBar* findBar_ = nullptr;
    std::unique_ptr<LineMatcher> matcher_;  // of the bar's query, for this thread
    std::unique_ptr<LineSearch> search_;
    std::vector<std::unique_ptr<LineSearch>> retired_;  // cancelled, ending on their own
    std::uint64_t generation_ = 0;
    std::vector<std::uint32_t> head_, tail_;  // matching lines before and from the search's origin
    bool searchDone_ = false;
    int pendingStep_ = 0;  // +1 or -1: a step that waits for more matches
    bool filter_ = false;
    std::size_t topBeforeFilter_ = 0, filterTopAtStart_ = 0;
};
