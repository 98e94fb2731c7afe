// The top-level error handler: what reaches the user's box.
#include "qtedge/commandguard.h"

#include <gtest/gtest.h>

#include "support/modalboxes.h"

namespace {

// Runs f inside runCommand and returns the texts of the boxes it showed.
template <class F>
QStringList boxTexts(F f) {
    BoxCatcher catcher;
    EXPECT_FALSE(runCommand(nullptr, f));
    return catcher.texts();
}

TEST(RunCommand, AFailureWithoutAMessageIsShownInJapanese) {
    EXPECT_EQ(boxTexts([] { throw 42; }), QStringList{QStringLiteral("原因のわからないエラーが起きました.")});
}

TEST(RunCommand, TextWithoutAShiftJisFormShowsTheCharacterItself) {
    EXPECT_EQ(boxTexts([] { fromQStringStrict(QStringLiteral("é")); }),
              QStringList{QStringLiteral("「é」(U+00E9) は Shift-JIS にない文字のため使えません.")});
}

}  // namespace
