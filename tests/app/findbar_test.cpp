// Find in a pane: stepping through matches, Japanese and regular expressions, the filtered view, and a
// new query cancelling the search before it.
#include "app/findbar.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScrollBar>

#include "analysis/lines.h"
#include "analysis/logfile.h"
#include "app/linesview.h"
#include "support.h"
#include "support/numberedlines.h"

namespace {

using apptest::sjis;

// Runs the event loop until pred holds; false after the deadline.
bool waitFor(const std::function<bool()>& pred) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class FindTest : public ::testing::Test {
protected:
    void SetUp() override {
        view.resize(500, 300);
        view.show();
    }
    void key(QObject* to, int k, Qt::KeyboardModifiers m = Qt::NoModifier) {
        QKeyEvent press(QEvent::KeyPress, k, m);
        QApplication::sendEvent(to, &press);
    }
    // Opens the bar with Ctrl+F, types the query and waits for the whole count.
    void find(const QString& query) {
        key(&view, Qt::Key_F, Qt::ControlModifier);
        ASSERT_NE(view.findBar(), nullptr);
        view.findBar()->edit->setText(query);
        ASSERT_TRUE(waitFor([&] { return view.searchDone(); }));
    }
    QString count() const { return view.findBar()->count->text(); }
    apptest::ProgramFont font_;
    LinesView view;
};

TEST_F(FindTest, StepsForwardAndBackRoundTheEnds) {
    view.replace(analysis::makeLines({"alpha", "beta ALPHA alpha", "gamma", "xalphax"}));
    const int linesWithoutBar = view.visibleLines();
    find(QStringLiteral("alpha"));
    EXPECT_LT(view.visibleLines(), linesWithoutBar) << "the bar stands under the lines, not over them";
    EXPECT_TRUE(view.findBar()->isVisible());
    EXPECT_EQ(count(), QStringLiteral("3 件"));
    // Typing selected the first match from the top; plain text ignores case by default.
    EXPECT_EQ(view.selectedText(), QStringLiteral("alpha"));
    QLineEdit* edit = view.findBar()->edit;
    key(edit, Qt::Key_Return);
    EXPECT_EQ(view.selectedText(), QStringLiteral("ALPHA"));
    key(edit, Qt::Key_F3);
    EXPECT_EQ(view.selectedText(), QStringLiteral("alpha"));
    view.findNext();
    EXPECT_EQ(view.selectedText(), QStringLiteral("alpha"));
    view.copy();
    view.findNext();  // round the end to the first line
    EXPECT_EQ(view.selectedText(), QStringLiteral("alpha"));
    EXPECT_FALSE(view.hasSelection() && QApplication::clipboard()->text() != QStringLiteral("alpha"));
    key(edit, Qt::Key_F3, Qt::ShiftModifier);  // and back round the start to the last line
    key(edit, Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(view.selectedText(), QStringLiteral("alpha"));

    view.findBar()->caseSensitive->setChecked(true);
    ASSERT_TRUE(waitFor([&] { return view.searchDone(); }));
    EXPECT_EQ(count(), QStringLiteral("3 件"));
    view.findBar()->edit->setText(QStringLiteral("ALPHA"));
    ASSERT_TRUE(waitFor([&] { return view.searchDone(); }));
    EXPECT_EQ(count(), QStringLiteral("1 件"));
    EXPECT_EQ(view.selectedText(), QStringLiteral("ALPHA"));
    view.findBar()->edit->setText(QStringLiteral("delta"));
    ASSERT_TRUE(waitFor([&] { return view.searchDone(); }));
    EXPECT_EQ(count(), QStringLiteral("0 件"));
    EXPECT_FALSE(view.findNext());

    key(edit, Qt::Key_Escape);
    EXPECT_FALSE(view.findBar()->isVisible());
    EXPECT_EQ(view.visibleLines(), linesWithoutBar) << "the bar's room goes back to the lines";
}

TEST_F(FindTest, JapaneseAndRegularExpressionsMatchTheTextAsShown) {
    // "ソ" is 0x83 0x5C: its second byte is a backslash, which a byte-wise search would take for one.
    view.replace(analysis::makeLines(
        {sjis("ソース"), sjis("アクセス解析の結果"), "10.0.0.1 GET /a\\b", "192.168.1.20 GET /", sjis("解析")}));
    find(QStringLiteral("\\"));
    EXPECT_EQ(count(), QStringLiteral("1 件"));
    EXPECT_EQ(view.selectedText(), QStringLiteral("\\"));
    view.findBar()->edit->setText(QStringLiteral("解析"));
    ASSERT_TRUE(waitFor([&] { return view.searchDone(); }));
    EXPECT_EQ(count(), QStringLiteral("2 件"));
    EXPECT_EQ(view.selectedText(), QStringLiteral("解析"));

    view.findBar()->regex->setChecked(true);
    view.findBar()->edit->setText(QStringLiteral("^1\\d+\\.\\d+\\.[01]\\."));
    ASSERT_TRUE(waitFor([&] { return view.searchDone(); }));
    EXPECT_EQ(count(), QStringLiteral("2 件"));
    EXPECT_EQ(view.selectedText(), QStringLiteral("10.0.0."));
    view.findNext();
    EXPECT_EQ(view.selectedText(), QStringLiteral("192.168.1."));
    view.findBar()->edit->setText(QStringLiteral("(unclosed"));
    EXPECT_EQ(count(), QStringLiteral("正規表現の誤り"));
    EXPECT_FALSE(view.findNext());
}

TEST_F(FindTest, ACatastrophicPatternAnswersAndTheViewPaints) {
    // Runs of x, then z, then y: a backtracking matcher takes exponential time on each line.
    std::vector<std::string> lines(10000, std::string(40, 'x') + "z" + std::string(40, 'x') + "zy");
    lines[7000] = std::string(40, 'x') + "y";
    view.replace(analysis::makeLines(lines));
    key(&view, Qt::Key_F, Qt::ControlModifier);
    view.findBar()->regex->setChecked(true);
    EXPECT_TRUE(view.findBar()->regex->toolTip().contains(QStringLiteral("後方参照")));
    view.findBar()->edit->setText(QStringLiteral("(x+x+)+y"));
    ASSERT_TRUE(waitFor([&] { return view.searchDone(); }));
    EXPECT_EQ(count(), QStringLiteral("1 件"));
    EXPECT_EQ(view.selectedText(), QString::fromStdString(lines[7000]));
    view.scrollToLine(0);
    view.viewport()->repaint();  // every visible line highlighted on this thread
    view.findBar()->edit->setText(QStringLiteral("(a)\\1"));
    EXPECT_EQ(count(), QStringLiteral("正規表現の誤り")) << "RE2 has no back-references";
}

TEST_F(FindTest, FilteredViewShowsMatchingLinesAndKeepsThePlace) {
    view.replace(std::make_shared<NumberedLines>(1000));
    view.scrollToLine(500);
    find(QStringLiteral("7"));
    const std::size_t matching = view.matchingLines();
    EXPECT_EQ(matching, 271u);  // 0-999 with a 7: 1000 - 9 * 9 * 9
    view.findBar()->onlyMatching->setChecked(true);
    EXPECT_EQ(view.rowCount(), matching);
    EXPECT_EQ(view.firstVisibleLine(), 507u) << "the first matching line from where the user was";
    EXPECT_EQ(view.verticalScrollBar()->maximum(), static_cast<int>(matching) - view.visibleLines());
    // Untouched, unticking returns to the same place.
    view.findBar()->onlyMatching->setChecked(false);
    EXPECT_EQ(view.rowCount(), 1000u);
    EXPECT_EQ(view.firstVisibleLine(), 500u);
    // Moved in the filtered view, the full view shows the line that was at the top.
    view.findBar()->onlyMatching->setChecked(true);
    view.scrollToLine(870);
    EXPECT_EQ(view.firstVisibleLine(), 870u);
    view.findBar()->onlyMatching->setChecked(false);
    EXPECT_EQ(view.firstVisibleLine(), 870u);

    // The filtered view copies only the lines it shows.
    view.replace(analysis::makeLines({"keep 1", "drop", "keep 2"}));
    view.findBar()->edit->setText(QStringLiteral("keep"));
    ASSERT_TRUE(waitFor([&] { return view.searchDone(); }));
    view.findBar()->onlyMatching->setChecked(true);
    view.selectAll();
    EXPECT_EQ(view.selectedText(), QStringLiteral("keep 1\nkeep 2"));
    // Esc leaves the filtered view too.
    key(view.findBar()->edit, Qt::Key_Escape);
    EXPECT_FALSE(view.filtered());
    EXPECT_EQ(view.rowCount(), 3u);
}

TEST_F(FindTest, ALoadedLogIsSearchedInItsBufferWithTheSameResult) {
    // A loaded log is searched across its lines at once; each line counts once, a hit must start on a
    // character, and the lines before the top line are found too.
    std::string text;
    common::StringList lines;
    for (int i = 0; i < 3000; ++i) {
        std::string line = i % 7 == 0 ? sjis("ソース") : i % 5 == 0 ? "GET /A\\b Bot bot" : "host " + std::to_string(i);
        text += line + (i % 2 ? "\r\n" : "\n");
        lines.push_back(std::move(line));
    }
    view.replace(analysis::logFromBytes(std::string_view(text), "a.log"));
    LinesView plain;
    plain.replace(analysis::makeLines(lines));
    view.scrollToLine(1500);
    plain.scrollToLine(1500);
    for (const QString& query :
         {QStringLiteral("\\"), QStringLiteral("bot"), QStringLiteral("host 1"), QStringLiteral("t\r")}) {
        for (bool caseSensitive : {false, true}) {
            for (LinesView* v : {&view, &plain}) {
                v->openFind();
                v->findBar()->caseSensitive->setChecked(caseSensitive);
                v->findBar()->edit->setText(query);
                ASSERT_TRUE(waitFor([&] { return v->searchDone(); }));
            }
            EXPECT_EQ(view.matchingLines(), plain.matchingLines()) << query.toStdString() << caseSensitive;
            EXPECT_EQ(view.selectedText(), plain.selectedText());
            EXPECT_EQ(view.firstVisibleLine(), plain.firstVisibleLine());
        }
    }
    view.findBar()->caseSensitive->setChecked(false);
    view.findBar()->edit->setText(QStringLiteral("\\"));
    ASSERT_TRUE(waitFor([&] { return view.searchDone(); }));
    EXPECT_EQ(view.matchingLines(), 514u) << "only the real backslashes: 600 fifths less 86 sevenths";
    view.findBar()->edit->setText(QStringLiteral("bot"));
    ASSERT_TRUE(waitFor([&] { return view.searchDone(); }));
    EXPECT_EQ(view.matchingLines(), 514u);
}

// Lines that stop the first reader of line gateLine until the test opens the gate, and count reads.
class GatedLines final : public analysis::LineSource {
public:
    GatedLines(std::size_t n, std::size_t gateLine) : n_(n), gate_(gateLine) {}
    std::size_t size() const override { return n_; }
    void appendLine(std::size_t i, std::string& out) const override {
        if (std::this_thread::get_id() != ui_) ++reads;
        if (i == gate_) {
            std::unique_lock lock(mutex_);
            if (!waiting_) {
                waiting_ = true;
                changed_.notify_all();
                changed_.wait(lock, [&] { return open_; });
            }
        }
        out += "row " + std::to_string(i);
    }
    bool waiting() const {
        std::lock_guard lock(mutex_);
        return waiting_;
    }
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    mutable std::atomic<std::size_t> reads{0};  // by the search threads

private:
    std::size_t n_, gate_;
    std::thread::id ui_ = std::this_thread::get_id();
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    mutable bool waiting_ = false, open_ = false;
};

TEST_F(FindTest, ANewKeystrokeCancelsTheSearchBefore) {
    auto lines = std::make_shared<GatedLines>(20000, 1000);
    // However the test ends, the held thread is let go before the pane waits for it.
    struct Opener {
        GatedLines& lines;
        ~Opener() { lines.open(); }
    };
    {
        Opener opener{*lines};
        LinesView pane;
        pane.replace(lines);
        pane.openFind();
        pane.findBar()->edit->setText(QStringLiteral("row 1"));  // held at line 1000
        ASSERT_TRUE(waitFor([&] { return lines->waiting(); }));
        pane.findBar()->edit->setText(QStringLiteral("row 19999"));
        ASSERT_TRUE(waitFor([&] { return pane.searchDone(); }));
        EXPECT_EQ(pane.matchingLines(), 1u);
        EXPECT_EQ(pane.findBar()->count->text(), QStringLiteral("1 件"));
        lines->open();
        // The first search's news would not count: only the second query's match stands.
        QCoreApplication::processEvents();
        EXPECT_EQ(pane.matchingLines(), 1u);
    }
    // The pane is gone and every search thread with it: the first stopped right after its held line.
    EXPECT_EQ(lines->reads.load(), 20000u + 1001u);
}

}  // namespace
