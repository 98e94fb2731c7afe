// Text between the widgets and the program's code page 932 bytes.
#include "qtedge/qtext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/cp932.h"

namespace {

TEST(FromQStringStrict, TextWithAShiftJisFormConvertsLikeTheLenientOne) {
    for (const QString& text : {QString(), QStringLiteral("a?b"), QStringLiteral("ロボ①～"), QStringLiteral("?")})
        EXPECT_EQ(fromQStringStrict(text), fromQString(text)) << text.toStdString();
    EXPECT_EQ(fromQStringStrict(QStringLiteral("ロボ①")), common::cp932(u8"ロボ①"));
}

TEST(FromQStringStrict, TheFirstCharacterWithoutAFormIsNamedByItselfAndItsCodePoint) {
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("aü€"), QStringLiteral("「ü」(U+00FC)")},
        {QStringLiteral("?😀"), QStringLiteral("「😀」(U+1F600)")},
        {QStringLiteral("x\u200By"), QStringLiteral("「\u200B」(U+200B)")},  // invisible, named by its number
    };
    for (const auto& [text, named] : cases) {
        try {
            fromQStringStrict(text);
            ADD_FAILURE() << text.toStdString();
        } catch (const NoCp932Form& e) {
            EXPECT_TRUE(e.message().startsWith(named)) << e.message().toStdString();
        }
    }
}

}  // namespace
