// The fields of one access-log line, cut by position around byte markers (never split into tokens).
// The pass and the tests use these functions alone: they are the one copy of the field rules.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace analysis {

// Markers, matched byte for byte and case-sensitively.
inline constexpr std::string_view kGetMarker = "\"GET ";
inline constexpr std::string_view kPostMarker = "\"POST";
inline constexpr std::string_view kProtocolMarker = " HTTP";
inline constexpr std::string_view k200Marker = "\" 200 ";
inline constexpr std::string_view k200PosMarker = "\" 200";
inline constexpr std::string_view k403Marker = "\" 403 ";
inline constexpr std::string_view k404Marker = "\" 404 ";
inline constexpr std::string_view kNoReferrerMarker = "\"-\"";
inline constexpr std::string_view kReferrerOpener = " \"";
inline constexpr std::string_view kFieldSeparator = "\" \"";

// A line with the quotes that can begin a marker. Every marker but two begins with a quote, and a
// line holds only a few quotes, so they are found once and each marker search looks only at them.
// Apache writes a quote inside a field as \" : a quote after an odd number of backslashes came from a
// visitor and begins no marker (a backslash that is the second byte of a Shift-JIS character does not
// count).
class LogLine {
public:
    static constexpr std::size_t npos = std::string_view::npos;

    LogLine() = default;
    explicit LogLine(std::string_view line) { scan(line); }
    // Takes a new line; the object is reused from line to line to keep its storage.
    void scan(std::string_view line);

    // Keeps only the part [begin, end) of the line scanned, as if that part had been scanned: a part
    // that begins where no Shift-JIS character or escape runs across it (the layouts' cores do).
    void narrow(std::size_t begin, std::size_t end);

    std::string_view text() const { return line_; }
    // Index of the first occurrence at or after from of marker, which begins with a quote; npos if none.
    std::size_t find(std::string_view marker, std::size_t from = 0) const;
    // Index of the first quote that is no escaped one; npos if none.
    std::size_t firstQuote() const { return quotes_.empty() ? npos : quotes_.front(); }
    // Indexes of every quote that is no escaped one, in order.
    const std::vector<std::size_t>& quotes() const { return quotes_; }
    // Index of the first referrer opener (blank, quote) at or after from; npos if none.
    std::size_t findOpener(std::size_t from) const;
    // The status field: the three digits after the first quote (escaped or not) that a blank and
    // three digits follow, then a blank or the line's end; "-" when there are none.
    std::string_view status() const { return status_ == npos ? std::string_view("-") : line_.substr(status_, 3); }

private:
    bool escaped(std::size_t quote);

    std::string_view line_;
    std::vector<std::size_t> quotes_;
    std::size_t status_ = npos;
    // How far the Shift-JIS walk for escaped quotes got, and the backslashes just before that point.
    std::size_t walked_ = 0;
    std::size_t backslashes_ = 0;
};

// Index of the "[" that opens the line's time stamp ("[dd/Mmm/yyyy:", see ExtractTime); npos if none.
std::size_t timeStampAt(std::string_view line);

// The 28-byte bracketed time stamp. It opens at the first "[" followed by two digits, "/", three
// letters, "/", four digits and ":" (a bracketed remote user comes before it); a line without such a
// "[" takes the first "[", and a line without any takes its own first 28 bytes.
std::string_view ExtractTime(std::string_view line);
// Bytes 14 and 15 of the time field as an integer; throws "'%s' は整数ではありません".
std::int32_t ExtractHour(std::string_view timeField);
// The text before the first blank.
std::string_view ExtractHost(std::string_view line);
// After "GET " up to the first " HTTP" of the GET rest; empty when the rest has none. getStart is the
// 1-based position of the G, the GET rest the line from there.
std::string_view ExtractGetPath(std::string_view line, std::string_view getRest, std::ptrdiff_t getStart);

// The rules the pass applies to a line whose GET marker's quote is at index getQuote. The GET rest
// begins after that quote.
std::string_view GetPath(const LogLine& line, std::size_t getQuote);
// Between the first referrer opener and the first field separator of the GET rest.
std::string_view Referrer(const LogLine& line, std::size_t getQuote);
// From the quote that opens the user agent (after the first field separator of the GET rest) to the end.
std::string_view UserAgent(const LogLine& line, std::size_t getQuote);
// After the POST marker whose quote is at index postQuote, up to the first " HTTP" after it.
std::string_view PostPath(const LogLine& line, std::size_t postQuote);
// Path of a line with neither marker: from the first blank after the first quote up to " HTTP".
std::string_view OwnRequestPath(const LogLine& line);

// Which status marker a line carries: the first found in the order 200, 403, 404 decides.
enum class Status { Ok, Forbidden, NotFound, Other };
Status statusOf(const LogLine& l);

// The byte count after the first `" 200` of the line, up to the next blank or the end of the line.
// "-" counts 0; otherwise the integer rules, 64 bits; throws "'%s' は整数ではありません".
std::int64_t ByteCount(const LogLine& line);

// 1-based position of the first " HTTP" in s, 0 when none (TextPos for the protocol marker, faster).
std::ptrdiff_t protocolPos(std::string_view s);

}  // namespace analysis
