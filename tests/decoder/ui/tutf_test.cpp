// The decoder window as the user sees it, on Qt's offscreen platform.
#include "decoder/ui/tutf.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>

#include "support/modalboxes.h"

namespace {

// Clicks RunButton and closes every message box the click opens, noting what each showed.
class DecoderWindow : public testing::Test {
protected:
    DecoderWindow() : window_(&parent_) {
        memo_ = window_.findChild<QPlainTextEdit*>("Memo1");
        button_ = window_.findChild<QPushButton*>("RunButton");
    }

    void SetUp() override {
        ASSERT_NE(memo_, nullptr);
        ASSERT_NE(button_, nullptr);
        window_.show();
    }

    void run() {
        for (SeenBox& box : boxesShownBy([this] { button_->click(); })) boxes_.push_back(std::move(box));
    }

    QWidget parent_;
    TUTF window_;
    QPlainTextEdit* memo_ = nullptr;
    QPushButton* button_ = nullptr;
    std::vector<SeenBox> boxes_;
};

}  // namespace

TEST_F(DecoderWindow, HasAnEditableUnwrappedMemoAndTheStartButton) {
    EXPECT_EQ(window_.windowTitle(), QStringLiteral("UTF-8デコーダ"));
    EXPECT_TRUE(window_.isWindow());
    EXPECT_FALSE(window_.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(window_.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(memo_->isReadOnly());
    EXPECT_EQ(memo_->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_TRUE(memo_->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(memo_->verticalScrollBar()->isVisible());
    EXPECT_TRUE(memo_->toPlainText().isEmpty());
    EXPECT_EQ(button_->text(), QStringLiteral("開始(&D)"));

    // The memo grows with the window; the button keeps to the bottom right corner.
    window_.resize(700, 500);
    QApplication::processEvents();
    const QRect buttonRect = button_->geometry();
    EXPECT_GT(memo_->width(), 600);
    EXPECT_GT(memo_->height(), 400);
    EXPECT_EQ(buttonRect.size(), QSize(75, 25));
    EXPECT_GT(buttonRect.right(), 700 - 20);
    EXPECT_GT(buttonRect.bottom(), 500 - 20);
    EXPECT_LE(memo_->geometry().bottom(), buttonRect.top());
}

TEST_F(DecoderWindow, DecodesEveryLineInPlace) {
    memo_->setPlainText(QStringLiteral(
        "q=%E6%97%A5%E6%9C%AC\n%e3%81%82\n\na+b\n50%25\ncaf%C3%A9%E2%91%A0\n/blog/%E6%97%A5%E6%9C%AC%F0%9F%98%80x"));
    run();
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(memo_->toPlainText(), QStringLiteral("q=日本\nあ\n\na+b\n50%\ncaf?①\n/blog/日本?x"));
}

TEST_F(DecoderWindow, ABadLineStopsTheRunWithOneErrorBox) {
    memo_->setPlainText(QStringLiteral("%E3%81%82\nx=%G1\n%E3%81%84"));
    run();
    EXPECT_EQ(memo_->toPlainText(), QStringLiteral("あ\nx=%G1\n%E3%81%84"));
    ASSERT_EQ(boxes_.size(), 1u);
    EXPECT_EQ(boxes_[0].text, QStringLiteral("不正なURL."));
    EXPECT_EQ(boxes_[0].title, QStringLiteral("むにゃろ"));
    EXPECT_TRUE(window_.isVisible());
}

TEST_F(DecoderWindow, ABadFirstLineChangesNothing) {
    memo_->setPlainText(QStringLiteral("%4Z\n%41"));
    run();
    EXPECT_EQ(memo_->toPlainText(), QStringLiteral("%4Z\n%41"));
    EXPECT_EQ(boxes_.size(), 1u);
}

TEST_F(DecoderWindow, AnEmptyMemoStaysEmptyWithoutABox) {
    run();
    EXPECT_TRUE(boxes_.empty());
    EXPECT_TRUE(memo_->toPlainText().isEmpty());
    EXPECT_EQ(memo_->blockCount(), 1);
}

TEST_F(DecoderWindow, ShiftJisTextComesBackEmptyOrAsQuestionMarks) {
    // 日本 as Shift-JIS is no UTF-8; あ (82 A0) reads as U+00A0, which has no Shift-JIS form.
    memo_->setPlainText(QStringLiteral("日本\nok\nあ"));
    run();
    EXPECT_TRUE(boxes_.empty());
    EXPECT_EQ(memo_->toPlainText(), QStringLiteral("\nok\n?"));
}

TEST_F(DecoderWindow, ZeroAndLineBreakBytesShowAsMarksAndKeepTheLineCount) {
    memo_->setPlainText(QStringLiteral("a%0D%0Ab\nabc%\n%00x\nlast"));
    run();
    EXPECT_EQ(memo_->blockCount(), 4);
    EXPECT_EQ(memo_->toPlainText(), QStringLiteral("a\u240D\u240Ab\nabc\u2400\n\u2400x\nlast"));
}

TEST_F(DecoderWindow, ASecondRunDecodesAgainAndTheRunIsOneUndoStep) {
    memo_->setPlainText(QStringLiteral("50%2541\n%2525"));
    run();
    EXPECT_EQ(memo_->toPlainText(), QStringLiteral("50%41\n%25"));
    run();
    EXPECT_EQ(memo_->toPlainText(), QStringLiteral("50A\n%"));
    memo_->undo();
    EXPECT_EQ(memo_->toPlainText(), QStringLiteral("50%41\n%25"));
}

TEST_F(DecoderWindow, TextSurvivesHidingAndShowing) {
    memo_->setPlainText(QStringLiteral("%41"));
    window_.close();
    EXPECT_FALSE(window_.isVisible());
    window_.show();
    EXPECT_EQ(memo_->toPlainText(), QStringLiteral("%41"));
    run();
    EXPECT_EQ(memo_->toPlainText(), QStringLiteral("A"));
}
