#include "analysis/report.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "support/recordingview.h"

using namespace analysis;
using common::cp932;
using common::StringList;

TEST(TransferAmount, FifteenDigitsInTheShortestForm) {
    EXPECT_EQ(transferText(2326, 0), "2326");
    EXPECT_EQ(transferText(2326, 1), "2.271484375");
    EXPECT_EQ(transferText(2326, 2), "0.00221824645996094");
    EXPECT_EQ(transferText(2326, 3), "2.1662563085556E-6");
    EXPECT_EQ(numberText(0), "0");
    EXPECT_EQ(numberText(0.00001), "0.00001");
    EXPECT_EQ(numberText(0.0000099), "9.9E-6");
    EXPECT_EQ(numberText(123456789012345.0), "123456789012345");
    EXPECT_EQ(numberText(1234567890123456.0), "1.23456789012346E15");
    EXPECT_EQ(numberText(1e15), "1E15");
    EXPECT_EQ(numberText(-1.5), "-1.5");
    EXPECT_EQ(numberText(100), "100");
}

TEST(UnitSwitch, ConvertsTheShownTextAndRemembersTheUnit) {
    UnitChange c = byteNameChange("2326", 0, 1);
    EXPECT_EQ(c.text, "2.271484375");
    EXPECT_EQ(c.lastByteName, 1);
    c = byteNameChange(*c.text, c.lastByteName, 0);
    EXPECT_EQ(c.text, "2326");
    c = byteNameChange("2326", 0, 3);
    EXPECT_EQ(c.text, "2.1662563085556E-6");
    c = byteNameChange(*c.text, 3, 2);  // Gb to Mb: × 1024 of the 15-digit text
    EXPECT_EQ(c.text, "0.00221824645996093");
    EXPECT_EQ(byteNameChange("1", 3, 0).text, "1073741824");
}

TEST(UnitSwitch, NothingHappensBeforeTheFirstAmountOrWithoutAUnit) {
    EXPECT_EQ(byteNameChange("-", kNoAmountYet, 2).text, std::nullopt);
    EXPECT_EQ(byteNameChange("-", kNoAmountYet, 2).lastByteName, kNoAmountYet);
    const UnitChange none = byteNameChange("12", 1, -1);
    EXPECT_EQ(none.text, std::nullopt);
    EXPECT_EQ(none.lastByteName, -1);
    EXPECT_EQ(byteNameChange("12", -1, 2).text, std::nullopt);  // remembered -1: unconverted
    EXPECT_EQ(byteNameChange("12", 2, 2).text, std::nullopt);
}

TEST(UnitSwitch, BoxWithoutANumberFails) {
    EXPECT_THAT([] { byteNameChange("-", -1, 1); },
                testing::ThrowsMessage<common::AppError>("'-'" + cp932(u8" は浮動小数点数ではありません")));
}

TEST(ListHeaders, EmptyAndFilledListBlocks) {
    RecordingView v;
    writeListHeader(v, "CheckDomeinMemo", {});
    EXPECT_EQ(v.pane("CheckDomeinMemo"), (StringList{cp932(u8"現在監視対象になっているドメインは"),
                                                     cp932(u8"ありません..."), std::string(45, '-')}));
    writeListHeader(v, "ReferrerList", {"a.jp", ""});
    EXPECT_EQ(v.pane("ReferrerList"), (StringList{cp932(u8"現在登録されている自ドメインは"), "a.jp", "",
                                                  cp932(u8"です..."), "[HOST] FileName", std::string(45, '-')}));
}

TEST(MemoFree, EmptiesAllButTheRawLogAndThePostExtracts) {
    RecordingView v;
    for (const auto& pane : kPanes) v.appendLine(pane.name, "old");
    MemoFree(v);
    for (const auto& pane : kPanes) {
        const std::string_view name = pane.name;
        const bool kept = name == "NamaLog" || name == "POST404Memo" || name == "POST403Memo";
        EXPECT_EQ(v.pane(std::string(name)).size(), kept ? 1u : 0u) << name;
    }
}
