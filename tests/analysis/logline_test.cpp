#include "analysis/logline.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "common/apperror.h"
#include "common/cp932.h"
#include "common/textpos.h"

using namespace analysis;
using testing::ThrowsMessage;

namespace {
const std::string kExample =
    "10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET /index.html HTTP/1.1\" 200 2326 \"/links.html\" "
    "\"Mozilla/4.0 (compatible; MSIE 6.0; Windows 98)\"";
std::string notInteger(const std::string& t) { return "'" + t + "'" + common::cp932(u8" は整数ではありません"); }
std::ptrdiff_t getStart(std::string_view line) { return common::TextPos(kGetMarker, line) + 1; }
}  // namespace

TEST(LogLineFields, ExampleLineGivesEveryField) {
    const std::string_view line = kExample;
    EXPECT_EQ(ExtractTime(line), "[10/Oct/2004:13:55:36 +0900]");
    EXPECT_EQ(ExtractHour(ExtractTime(line)), 13);
    EXPECT_EQ(ExtractHost(line), "10.0.0.1");
    const auto g = getStart(line);
    EXPECT_EQ(g, 44);
    const auto rest = GetRest(line, g);
    EXPECT_EQ(ExtractGetPath(line, rest, g), "/index.html");
    EXPECT_EQ(Referrer(rest), "/links.html");
    EXPECT_EQ(UserAgent(rest), "\"Mozilla/4.0 (compatible; MSIE 6.0; Windows 98)\"");
    EXPECT_EQ(ByteCount(line), 2326);
}

TEST(LogLineFields, PostLineGivesHourAndPostPath) {
    const std::string line = "10.0.0.2 - - [10/Oct/2004:09:05:00 +0900] \"POST /cgi-bin/form.cgi HTTP/1.0\" 404 512 \"-\" \"Mozilla/4.0\"";
    EXPECT_EQ(ExtractHour(ExtractTime(line)), 9);
    EXPECT_EQ(PostPath(line, common::TextPos(kPostMarker, line)), "/cgi-bin/form.cgi");
}

TEST(LogLineFields, TimeFieldWithoutBracketOrCutShort) {
    EXPECT_EQ(ExtractTime(""), "");
    EXPECT_EQ(ExtractTime("abcdefghijklmnopqrstuvwxyz0123456789"), "abcdefghijklmnopqrstuvwxyz01");
    EXPECT_EQ(ExtractHour(ExtractTime("0123456789ABC42xyz")), 42);  // bytes 14 and 15 of the line itself
    EXPECT_EQ(ExtractTime("h [10/Oct/2004:13"), "[10/Oct/2004:13");
}

TEST(LogLineFields, HourConversionFailsWithTheConvertedText) {
    EXPECT_THAT([] { ExtractHour(""); }, ThrowsMessage<common::AppError>(notInteger("")));
    EXPECT_THAT([] { ExtractHour("[10/Oct/2004:ab:55:36 +0900]"); }, ThrowsMessage<common::AppError>(notInteger("ab")));
    EXPECT_EQ(ExtractHour("[10/Oct/2004:-1:55:36 +0900]"), -1);  // converts; the pass decides what to do with it
    EXPECT_EQ(ExtractHour("[10/Oct/2004:$F:55:36 +0900]"), 15);
}

TEST(LogLineFields, HostIsEmptyWithoutBlankOrWithLeadingBlank) {
    EXPECT_EQ(ExtractHost("nohostblank"), "");
    EXPECT_EQ(ExtractHost(" 10.0.0.1 -"), "");
    EXPECT_EQ(ExtractHost("2001:41d0:8:f69::1 - -"), "2001:41d0:8:f69::1");
}

TEST(LogLineFields, GetPathNeedsAProtocolSomewhereInTheRest) {
    const std::string noProto = "h - - [10/Oct/2004:13:55:36 +0900] \"GET /\" 400 0 \"-\" \"-\"";
    const auto g = getStart(noProto);
    EXPECT_EQ(ExtractGetPath(noProto, GetRest(noProto, g), g), "");
    // A later " HTTP" ends the path wherever it stands.
    const std::string later = "h - - [10/Oct/2004:13:55:36 +0900] \"GET /a\" 200 1 \"x HTTP\" \"-\"";
    const auto g2 = getStart(later);
    EXPECT_EQ(ExtractGetPath(later, GetRest(later, g2), g2), "/a\" 200 1 \"x");
}

TEST(LogLineFields, MarkersAreCaseSensitiveAndPostNeedsNoBlank) {
    EXPECT_EQ(common::TextPos(kGetMarker, "\"get / HTTP/1.0\""), 0);
    EXPECT_GT(common::TextPos(kPostMarker, "\"POSTED / HTTP/1.0\""), 0);
}

TEST(ByteCount, DashIsZeroAndACountAtTheLineEndIsRead) {
    EXPECT_EQ(ByteCount("h - - [t] \"GET / HTTP/1.0\" 200 - \"-\" \"-\""), 0);
    EXPECT_EQ(ByteCount("h - - [t] \"GET / HTTP/1.0\" 200 512"), 512);  // common log format
    EXPECT_EQ(ByteCount("h - - [t] \"GET / HTTP/1.0\" 200 4294967296 \"-\" \"-\""), 4294967296LL);
}

TEST(ByteCount, OtherTextStillFails) {
    // Eighteen bytes that are no digits: refused, never taken for a number (found by fuzzing).
    const std::string junk(18, '\x84');
    EXPECT_THAT([&] { ByteCount("h - - [t] \"GET / HTTP/1.0\" 200 " + junk + " \"-\""); },
                ThrowsMessage<common::AppError>(notInteger(junk)));
    EXPECT_THAT([] { ByteCount("h - - [t] \"GET / HTTP/1.0\" 200 12k \"-\" \"-\""); },
                ThrowsMessage<common::AppError>(notInteger("12k")));
    EXPECT_THAT([] { ByteCount("h - - [t] \"GET / HTTP/1.0\" 200  \"-\" \"-\""); },
                ThrowsMessage<common::AppError>(notInteger("")));
}

TEST(LogLineFields, OwnRequestPathOfOtherMethods) {
    EXPECT_EQ(OwnRequestPath("h - - [t] \"HEAD /x.html HTTP/1.1\" 200 0"), "/x.html");
    EXPECT_EQ(OwnRequestPath("h - - [t] \"-\" 408 0 \"-\" \"-\""), "");
    EXPECT_EQ(OwnRequestPath("no quote at all"), "");
    EXPECT_EQ(OwnRequestPath("h - - [t] \"\\x16\\x03\\x01\" 400 0"), "");
}
