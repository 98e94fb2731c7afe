#include "analysis/logline.h"

#include <random>

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
std::size_t getQuote(const LogLine& l) { return l.find(kGetMarker); }
}  // namespace

TEST(LogLineFields, ExampleLineGivesEveryField) {
    const std::string_view line = kExample;
    EXPECT_EQ(ExtractTime(line), "[10/Oct/2004:13:55:36 +0900]");
    EXPECT_EQ(ExtractHour(ExtractTime(line)), 13);
    EXPECT_EQ(ExtractHost(line), "10.0.0.1");
    const auto g = getStart(line);
    EXPECT_EQ(g, 44);
    EXPECT_EQ(ExtractGetPath(line, line.substr(43), g), "/index.html");
    const LogLine l(line);
    EXPECT_EQ(getQuote(l), 42u);
    EXPECT_EQ(GetPath(l, 42), "/index.html");
    EXPECT_EQ(Referrer(l, 42), "/links.html");
    EXPECT_EQ(UserAgent(l, 42), "\"Mozilla/4.0 (compatible; MSIE 6.0; Windows 98)\"");
    EXPECT_EQ(ByteCount(l), 2326);
}

TEST(LogLineFields, PostLineGivesHourAndPostPath) {
    const std::string line =
        "10.0.0.2 - - [10/Oct/2004:09:05:00 +0900] \"POST /cgi-bin/form.cgi HTTP/1.0\" 404 512 \"-\" \"Mozilla/4.0\"";
    EXPECT_EQ(ExtractHour(ExtractTime(line)), 9);
    const LogLine l(line);
    EXPECT_EQ(PostPath(l, l.find(kPostMarker)), "/cgi-bin/form.cgi");
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
    const LogLine l(noProto);
    EXPECT_EQ(GetPath(l, getQuote(l)), "");
    // A later " HTTP" ends the path wherever it stands.
    const LogLine later("h - - [10/Oct/2004:13:55:36 +0900] \"GET /a\" 200 1 \"x HTTP\" \"-\"");
    EXPECT_EQ(GetPath(later, getQuote(later)), "/a\" 200 1 \"x");
}

TEST(LogLineFields, MarkersAreCaseSensitiveAndPostNeedsNoBlank) {
    EXPECT_EQ(common::TextPos(kGetMarker, "\"get / HTTP/1.0\""), 0);
    EXPECT_GT(common::TextPos(kPostMarker, "\"POSTED / HTTP/1.0\""), 0);
}

TEST(ByteCount, DashIsZeroAndACountAtTheLineEndIsRead) {
    EXPECT_EQ(ByteCount(LogLine("h - - [t] \"GET / HTTP/1.0\" 200 - \"-\" \"-\"")), 0);
    EXPECT_EQ(ByteCount(LogLine("h - - [t] \"GET / HTTP/1.0\" 200 512")), 512);  // common log format
    EXPECT_EQ(ByteCount(LogLine("h - - [t] \"GET / HTTP/1.0\" 200 4294967296 \"-\" \"-\"")), 4294967296LL);
}

TEST(ByteCount, OtherTextStillFails) {
    // Eighteen bytes that are no digits: refused, never taken for a number (found by fuzzing).
    const std::string junk(18, '\x84');
    EXPECT_THAT([&] { ByteCount(LogLine("h - - [t] \"GET / HTTP/1.0\" 200 " + junk + " \"-\"")); },
                ThrowsMessage<common::AppError>(notInteger(junk)));
    EXPECT_THAT([] { ByteCount(LogLine("h - - [t] \"GET / HTTP/1.0\" 200 12k \"-\" \"-\"")); },
                ThrowsMessage<common::AppError>(notInteger("12k")));
    EXPECT_THAT([] { ByteCount(LogLine("h - - [t] \"GET / HTTP/1.0\" 200  \"-\" \"-\"")); },
                ThrowsMessage<common::AppError>(notInteger("")));
}

TEST(LogLineFields, OwnRequestPathOfOtherMethods) {
    EXPECT_EQ(OwnRequestPath(LogLine("h - - [t] \"HEAD /x.html HTTP/1.1\" 200 0")), "/x.html");
    EXPECT_EQ(OwnRequestPath(LogLine("h - - [t] \"-\" 408 0 \"-\" \"-\"")), "");
    EXPECT_EQ(OwnRequestPath(LogLine("no quote at all")), "");
    EXPECT_EQ(OwnRequestPath(LogLine("h - - [t] \"\\x16\\x03\\x01\" 400 0")), "");
}

// A visitor's quote, which Apache writes as \" inside the request, referrer and user agent, begins no
// marker; a backslash pair before a quote is an escaped backslash, and the quote counts again.
TEST(EscapedQuotes, BeginNoMarkerOfAnyKind) {
    const LogLine status("h - - [10/Oct/2004:13:56:00 +0900] \"GET /x HTTP/1.1\" 404 196 \"-\" \"evil\\\" 200 pwned\"");
    EXPECT_EQ(status.find(k200Marker), LogLine::npos);
    EXPECT_EQ(status.find(k200PosMarker), LogLine::npos);
    EXPECT_NE(status.find(k404Marker), LogLine::npos);

    const LogLine methods("h - - [t] \"HEAD / HTTP/1.1\" 403 1 \"a\\\"GET /g HTTP\" \"b\\\"POST /p HTTP \\\" 404 \"");
    EXPECT_EQ(methods.find(kGetMarker), LogLine::npos);
    EXPECT_EQ(methods.find(kPostMarker), LogLine::npos);
    EXPECT_EQ(methods.find(k404Marker), LogLine::npos);
    EXPECT_NE(methods.find(k403Marker), LogLine::npos);
    EXPECT_EQ(OwnRequestPath(methods), "/");
}

TEST(EscapedQuotes, FieldSeparatorAndNoReferrerMarkerInsideAFieldAreText) {
    const LogLine l("h - - [t] \"GET /a HTTP/1.1\" 200 5 \"http://r/?q=\\\" \\\"x\" \"UA \\\"-\\\" y\"");
    const std::size_t g = l.find(kGetMarker);
    EXPECT_EQ(l.find(kNoReferrerMarker, g + 1), LogLine::npos);
    EXPECT_EQ(Referrer(l, g), "http://r/?q=\\\" \\\"x");
    EXPECT_EQ(UserAgent(l, g), "\"UA \\\"-\\\" y\"");
    EXPECT_EQ(ByteCount(l), 5);
}

TEST(EscapedQuotes, OnlyAnOddRunOfBackslashesEscapes) {
    // \\" : an escaped backslash, then the field's closing quote.
    const LogLine even("h - - [t] \"GET /a\\\\\" 200 7 \"-\" \"-\"");
    EXPECT_NE(even.find(k200Marker), LogLine::npos);
    const LogLine odd("h - - [t] \"GET /a\\\\\\\" 200 7 \\\"-\" \"-\"");
    EXPECT_EQ(odd.find(k200Marker), LogLine::npos);
    // 0x83 0x5C is one Shift-JIS character; the quote after it is a real one.
    const LogLine sjis("h - - [t] \"GET /\x83\x5c\" 200 7 \"-\" \"-\"");
    EXPECT_NE(sjis.find(k200Marker), LogLine::npos);
    const LogLine sjisThenBackslash("h - - [t] \"GET /\x83\x5c\\\" 200 7 \"-\" \"-\"");
    EXPECT_EQ(sjisThenBackslash.find(k200Marker), LogLine::npos);
    // Many escaped quotes in one line are found in one walk.
    std::string many = "h - - [t] \"GET / HTTP/1.1\" 404 1 \"-\" \"";
    for (int i = 0; i < 100000; ++i) many += "\x83\x5c\\\" 200 ";
    EXPECT_EQ(LogLine(many + "\"").find(k200Marker), LogLine::npos);
}

TEST(TimeField, BracketedRemoteUserIsPassedOver) {
    const std::string line = "10.0.0.9 - [abcd] [10/Oct/2004:13:56:00 +0900] \"GET / HTTP/1.1\" 200 5 \"-\" \"-\"";
    EXPECT_EQ(ExtractTime(line), "[10/Oct/2004:13:56:00 +0900]");
    EXPECT_EQ(ExtractHour(ExtractTime(line)), 13);
    EXPECT_EQ(ExtractTime("h - [[1/x] [09/Jan/2024:07:00:00 +0000]"), "[09/Jan/2024:07:00:00 +0000]");
    // Without a stamp-like "[" the first one counts, as before.
    EXPECT_EQ(ExtractTime("h - [abcd] [10/Oct/04:13:56:00 +0900]"), "[abcd] [10/Oct/04:13:56:00 +");
    EXPECT_EQ(ExtractTime("h [10/Oct/2004"), "[10/Oct/2004");
}

namespace {

// The status field by its definition, one quote after the other.
std::string_view statusField(std::string_view line) {
    auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (std::size_t q = line.find('"'); q != std::string_view::npos; q = line.find('"', q + 1)) {
        if (q + 5 > line.size() || line[q + 1] != ' ') continue;
        if (digit(line[q + 2]) && digit(line[q + 3]) && digit(line[q + 4]) &&
            (q + 5 == line.size() || line[q + 5] == ' '))
            return line.substr(q + 2, 3);
    }
    return "-";
}

}  // namespace

// The pass takes a line's status field from its scan for quotes: it must be the one that a search of
// the whole line finds, escaped quotes, Shift-JIS bytes and a field at the very end included.
TEST(LogLineStatus, ScanFindsTheStatusFieldASearchFinds) {
    std::mt19937 rng(3);
    static const std::string_view pieces[] = {"\"", " ", "200", "4", "\\", "\x95\\", "x", "\" 404 ", "\\\" 301"};
    analysis::LogLine l;
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 40)(rng);
        for (std::size_t i = 0; i < n; ++i) text += pieces[std::uniform_int_distribution<std::size_t>(0, 8)(rng)];
        l.scan(text);
        ASSERT_EQ(l.status(), statusField(text)) << testing::PrintToString(text);
    }
    for (const auto& [line, status] :
         std::vector<std::pair<std::string, std::string>>{{"h - - [t] \"GET / HTTP/1.1\" 301 0 \"-\" \"-\"", "301"},
                                                          {"h - - [t] \"GET / HTTP/1.1\" 200", "200"},
                                                          {"h - - [t] \"GET / HTTP/1.1\" 2000 1", "-"},
                                                          {"", "-"}}) {
        l.scan(line);
        EXPECT_EQ(l.status(), status) << line;
    }
}
