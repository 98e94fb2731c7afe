// The large-log pane: scroll range, what is painted, selection and copy, keyboard paging.
#include "app/linesview.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <fstream>

#include <algorithm>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include "analysis/lines.h"
#include "qtedge/qtext.h"
#include "support.h"
#include "support/numberedlines.h"

namespace {

// Lowers this process's address-space limit to what it uses now plus headroom, for one scope.
class AddressSpaceLimit {
public:
    explicit AddressSpaceLimit(rlim_t headroom) {
        getrlimit(RLIMIT_AS, &old_);
        std::ifstream status("/proc/self/status");
        std::string key;
        rlim_t kb = 0;
        while (status >> key && key != "VmSize:") status.ignore(1 << 20, '\n');
        status >> kb;
        rlimit low = old_;
        low.rlim_cur = kb * 1024 + headroom;
        setrlimit(RLIMIT_AS, &low);
    }
    ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &old_); }

private:
    rlimit old_{};
};

class LinesViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.resize(300, 200);
        view.show();
    }
    void key(int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, k, m);
        QApplication::sendEvent(&view, &press);
    }
    void mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons = Qt::LeftButton) {
        QMouseEvent e(type, at, view.viewport()->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
        QApplication::sendEvent(view.viewport(), &e);
    }
    apptest::ProgramFont font_;
    LinesView view;
};

TEST_F(LinesViewTest, ScrollRangeEndsWithTheLastLineOnScreen) {
    view.replace(std::make_shared<NumberedLines>(3'000'000));
    const int page = view.visibleLines();
    ASSERT_GT(page, 3);
    EXPECT_EQ(view.lineCount(), 3'000'000u);
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 3'000'000 - page);
    EXPECT_EQ(view.verticalScrollBar()->pageStep(), page);

    key(Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(view.firstVisibleLine() + static_cast<std::size_t>(page), 3'000'000u);
    key(Qt::Key_PageUp);
    EXPECT_EQ(view.firstVisibleLine() + 2u * static_cast<std::size_t>(page), 3'000'000u);
    key(Qt::Key_Up);
    key(Qt::Key_Down);
    key(Qt::Key_Down);
    EXPECT_EQ(view.firstVisibleLine() + 2u * static_cast<std::size_t>(page), 3'000'001u);
    key(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(view.firstVisibleLine(), 0u);
    key(Qt::Key_PageDown);
    EXPECT_EQ(view.firstVisibleLine(), static_cast<std::size_t>(page));

    // Fewer lines than fit: nothing to scroll.
    view.replace(analysis::makeLines({"a", "b"}));
    EXPECT_EQ(view.verticalScrollBar()->maximum(), 0);
    EXPECT_EQ(view.firstVisibleLine(), 0u);
}

TEST_F(LinesViewTest, PaintsTheLinesFromTheScrolledToLine) {
    // A pane scrolled to line 500 looks exactly like a pane whose content begins there.
    view.replace(std::make_shared<NumberedLines>(1000));
    view.scrollToLine(500);
    class From500 final : public analysis::LineSource {
    public:
        std::size_t size() const override { return 500; }
        void appendLine(std::size_t i, std::string& out) const override { out += "line " + std::to_string(i + 500); }
    };
    LinesView other;
    other.resize(view.size());
    other.show();
    other.replace(std::make_shared<From500>());
    const QImage scrolled = view.viewport()->grab().toImage();
    const QImage expected = other.viewport()->grab().toImage();
    EXPECT_EQ(scrolled, expected);

    // And it differs from the top of the pane, so the comparison can fail.
    view.scrollToLine(0);
    EXPECT_NE(view.viewport()->grab().toImage(), expected);
}

TEST_F(LinesViewTest, HeaderLinesGoAboveASource) {
    view.append(std::string("first header"));
    view.append(analysis::makeLines({"x", "y"}));
    view.insert(0, "top");
    view.insert(2, "between");
    EXPECT_EQ(view.lines(), (common::StringList{"top", "first header", "between", "x", "y"}));
    view.clear();
    EXPECT_EQ(view.lineCount(), 0u);
}

TEST_F(LinesViewTest, SelectAllAndCopyGiveTheTextAsUnicode) {
    view.replace(analysis::makeLines({apptest::sjis("ログファイルに含まれるホスト名です..."), "", "10.0.0.1"}));
    key(Qt::Key_A, Qt::ControlModifier);
    key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("ログファイルに含まれるホスト名です...\n\n10.0.0.1"));
}

TEST_F(LinesViewTest, MouseDragSelectsFromLineStartToPastTheEnd) {
    view.replace(analysis::makeLines({"alpha", "beta", "gamma"}));
    const int h = view.lineHeight();
    mouse(QEvent::MouseButtonPress, QPoint(0, h / 2));
    mouse(QEvent::MouseMove, QPoint(280, h + h / 2));
    mouse(QEvent::MouseButtonRelease, QPoint(280, h + h / 2), Qt::NoButton);
    EXPECT_EQ(view.selectedText(), QStringLiteral("alpha\nbeta"));

    // Dragging upwards selects the same way round.
    mouse(QEvent::MouseButtonPress, QPoint(280, 2 * h + h / 2));
    mouse(QEvent::MouseMove, QPoint(280, h + h / 2));
    EXPECT_EQ(view.selectedText(), QStringLiteral("\ngamma"));

    // A double click takes the whole line; new content drops the selection.
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPoint(5, h / 2), view.viewport()->mapToGlobal(QPoint(5, h / 2)),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &dbl);
    EXPECT_EQ(view.selectedText(), QStringLiteral("alpha"));
    view.append(std::string("delta"));
    EXPECT_FALSE(view.hasSelection());
}

// One line of 100 MB that is never made unless the whole line is asked for, which the test counts.
class HugeLine final : public analysis::LineSource {
public:
    static constexpr std::size_t kBytes = 100'000'000;
    std::size_t size() const override { return 1; }
    void appendLine(std::size_t, std::string& out) const override {
        ++wholeReads;
        out.append(kBytes, 'x');
    }
    void appendPrefix(std::size_t, std::string& out, std::size_t maxBytes) const override {
        largestPrefix = std::max(largestPrefix, maxBytes);
        out.append(std::min(maxBytes, kBytes), 'x');
    }
    mutable int wholeReads = 0;
    mutable std::size_t largestPrefix = 0;
};

TEST_F(LinesViewTest, AHugeLineIsLaidOutOnlyAsFarAsItsShownStart) {
    auto huge = std::make_shared<HugeLine>();
    view.replace(huge);
    const QImage painted = view.viewport()->grab().toImage();
    (void)painted;
    // Painting, clicking and dragging into the line read a bounded start of it, never the line.
    const int h = view.lineHeight();
    mouse(QEvent::MouseButtonPress, QPoint(40, h / 2));
    mouse(QEvent::MouseMove, QPoint(250, h / 2));
    view.viewport()->grab();
    EXPECT_EQ(huge->wholeReads, 0);
    EXPECT_GT(huge->largestPrefix, 0u);
    EXPECT_LE(huge->largestPrefix, 2u * LinesView::kShownChars + 2);
    const LinesView::Shown shown = view.shownLine(0);
    EXPECT_EQ(shown.text.size(), LinesView::kShownChars);
    EXPECT_TRUE(shown.cut);
    // The horizontal range covers the shown start and the mark, not 100 million characters.
    const QFontMetrics fm = view.fontMetrics();
    EXPECT_LE(view.horizontalScrollBar()->maximum(), fm.horizontalAdvance(shown.text + LinesView::kMore));
    EXPECT_GT(view.horizontalScrollBar()->maximum(), fm.horizontalAdvance(shown.text) / 2);
}

TEST_F(LinesViewTest, ALongLineIsMarkedYetSelectedAndCopiedWhole) {
    // Two-byte characters from the start, so the shown start ends on a whole character.
    const std::string ja = apptest::sjis("ログ");
    std::string longLine = ja;
    for (int i = 0; longLine.size() < 30'000; ++i) longLine += std::to_string(i % 10);
    const QString whole = toQString(longLine);
    view.replace(analysis::makeLines({"short", longLine, std::string(LinesView::kShownChars, 'y')}));
    const LinesView::Shown shown = view.shownLine(1);
    EXPECT_TRUE(shown.cut);
    EXPECT_EQ(shown.text, whole.left(LinesView::kShownChars));
    // A line of exactly the bound is shown whole, without the mark.
    EXPECT_FALSE(view.shownLine(2).cut);
    EXPECT_FALSE(view.shownLine(0).cut);

    key(Qt::Key_A, Qt::ControlModifier);
    key(Qt::Key_C, Qt::ControlModifier);
    const QString copied = QApplication::clipboard()->text();
    EXPECT_EQ(copied, QStringLiteral("short\n") + whole + QLatin1Char('\n') + QString(LinesView::kShownChars, 'y'));

    // A double click on the long line, and a click past its mark, reach its real end.
    const int h = view.lineHeight();
    QMouseEvent dbl(QEvent::MouseButtonDblClick, QPoint(5, h + h / 2),
                    view.viewport()->mapToGlobal(QPoint(5, h + h / 2)), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &dbl);
    EXPECT_EQ(view.selectedText(), whole);
    view.viewport()->grab();
    view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->maximum());
    mouse(QEvent::MouseButtonPress, QPoint(view.viewport()->width() - 2, h + h / 2));
    mouse(QEvent::MouseMove, QPoint(0, h / 2));
    view.horizontalScrollBar()->setValue(0);
    mouse(QEvent::MouseMove, QPoint(0, h / 2));
    EXPECT_EQ(view.selectedText(), QStringLiteral("short\n") + whole);
}

}  // namespace

TEST_F(LinesViewTest, CopyBeyondTheMemoryLeftGivesTheMemoryBoxAndThePaneGoesOn) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no address-space limit can be set";
#endif
    view.replace(std::make_shared<NumberedLines>(5'000'000));
    QApplication::clipboard()->setText(QStringLiteral("before"));
    std::vector<SeenBox> boxes;
    {
        const AddressSpaceLimit limit(48u << 20);
        boxes = boxesShownBy([&] {
            key(Qt::Key_A, Qt::ControlModifier);
            key(Qt::Key_C, Qt::ControlModifier);
        });
    }
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, QStringLiteral("メモリが足りません."));
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
    view.replace(std::make_shared<NumberedLines>(2));
    key(Qt::Key_A, Qt::ControlModifier);
    key(Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("line 0\nline 1"));
}
