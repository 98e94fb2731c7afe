// The byte search behind find in a pane, against plain reference searches: every place of random texts
// and needles, needles at the edges of sixteen-byte blocks and of the buffer, trail bytes of two-byte
// characters that look like ASCII, and a whole log searched in stretches of its buffer.
#include "app/linesearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "analysis/logfile.h"
#include "analysis/panecontent.h"
#include "common/cp932.h"
#include "qtedge/qtext.h"

namespace {

unsigned char folded(unsigned char c, bool caseSensitive) {
    return !caseSensitive && c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 0x20) : c;
}

bool sameAt(std::string_view text, std::size_t at, std::string_view needle, bool caseSensitive) {
    if (at + needle.size() > text.size()) return false;
    for (std::size_t i = 0; i < needle.size(); ++i)
        if (folded(static_cast<unsigned char>(text[at + i]), caseSensitive) !=
            folded(static_cast<unsigned char>(needle[i]), caseSensitive))
            return false;
    return true;
}

// Every place of needle in text, one byte after another.
std::vector<std::size_t> placesByReference(std::string_view text, std::string_view needle, bool caseSensitive) {
    std::vector<std::size_t> out;
    for (std::size_t at = 0; at < text.size(); ++at)
        if (sameAt(text, at, needle, caseSensitive)) out.push_back(at);
    return out;
}

// The places found in text; the needle follows the text in memory, so that a search reading past the
// text's end finds it there.
std::vector<std::size_t> placesFound(const LineMatcher& m, const std::string& text, const std::string& needle) {
    const std::string buffer = text + needle;
    std::vector<std::size_t> out;
    const char* end = buffer.data() + text.size();
    for (const char* p = m.findBytes(buffer.data(), end); p; p = m.findBytes(p + 1, end))
        out.push_back(static_cast<std::size_t>(p - buffer.data()));
    return out;
}

// Character starts of a line of code page 932 as the decoder cuts it: a lead byte with the next byte,
// where the two make a character; otherwise one byte.
std::vector<bool> charStartsByReference(std::string_view line) {
    std::vector<bool> starts(line.size() + 1, false);
    std::size_t at = 0;
    while (at < line.size()) {
        starts[at] = true;
        const std::string shown = common::utf8FromCp932(line.substr(at, 2));
        const auto characters = std::count_if(shown.begin(), shown.end(), [](char c) { return (c & 0xC0) != 0x80; });
        at += line.size() - at >= 2 && characters == 1 && shown != "\xEF\xBF\xBD" ? 2 : 1;
    }
    starts[at] = true;
    return starts;
}

std::string foldedText(std::string_view s, bool caseSensitive) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(folded(static_cast<unsigned char>(c), caseSensitive));
    return out;
}

// A match of the text as shown: at a character start, one line at most. The line is given folded.
bool lineMatchesByReference(const std::string& foldedLine, const std::vector<bool>& starts, const std::string& needle,
                            bool caseSensitive) {
    const std::string want = foldedText(needle, caseSensitive);
    for (std::size_t at = foldedLine.find(want); at != std::string::npos; at = foldedLine.find(want, at + 1))
        if (starts[at]) return true;
    return false;
}

// Bytes drawn mostly from few letters of both cases, so that needles occur often and almost occur more
// often; some lead bytes of two-byte characters, whose trail bytes are ASCII letters and signs.
std::string randomText(std::mt19937& rng, std::size_t size) {
    static const std::string alphabet = "abAB\\@[` \x81\x83\xE0\xA0";
    std::string s(size, 'a');
    for (char& c : s) c = alphabet[rng() % alphabet.size()];
    return s;
}

LineMatcher plain(const std::string& text, bool caseSensitive) {
    return LineMatcher(FindQuery{QString::fromLatin1(text), caseSensitive, false});
}

TEST(LineSearchBytes, FindsEveryPlaceOfRandomNeedlesInRandomTexts) {
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        const std::string s = randomText(rng, rng() % 90);
        const std::size_t n = 1 + rng() % (round % 3 == 0 ? 40 : 5);
        std::string needle;
        if (!s.empty() && rng() % 2) needle = s.substr(rng() % s.size(), n);
        while (needle.size() < n) needle += "aAbB@`"[rng() % 6];
        for (char& c : needle)
            if (rng() % 2 && c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
        if (static_cast<unsigned char>(needle[0]) >= 0x80) needle[0] = 'a';  // the query is ASCII
        for (char& c : needle)
            if (static_cast<unsigned char>(c) >= 0x80) c = 'b';
        for (bool caseSensitive : {false, true}) {
            const LineMatcher m = plain(needle, caseSensitive);
            ASSERT_TRUE(m.byteWise());
            EXPECT_EQ(placesFound(m, s, needle), placesByReference(s, needle, caseSensitive))
                << "text \"" << s << "\" needle \"" << needle << "\" case-sensitive " << caseSensitive;
        }
    }
}

TEST(LineSearchBytes, FindsANeedleAtEveryPlaceOfABlockAndAtTheEnds) {
    // Needles of one byte, of two, of a block, and longer than a block; the rest of the text is a near
    // miss (the first and the last byte in place) to make every block hold candidates.
    for (const std::string needle :
         {"g", "Go", "Googlebot/2.1 ht", "Googlebot/2.1 htt", "Mozilla/5.0 (compatible; Googlebot"}) {
        const std::size_t n = needle.size();
        std::string miss = needle;
        if (n > 2) miss[n / 2] = '#';
        for (std::size_t size = n; size < 70; ++size) {
            for (std::size_t at = 0; at + n <= size; ++at) {
                std::string s;
                while (s.size() < size) s += n > 2 ? miss : std::string("x");
                s.resize(size);
                s.replace(at, n, needle);
                std::string upper = s;
                for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 0x20) : c;
                const std::vector<std::size_t> want = placesByReference(s, needle, true);
                ASSERT_EQ(placesFound(plain(needle, true), s, needle), want)
                    << needle << " at " << at << " of " << size;
                ASSERT_EQ(placesFound(plain(needle, false), upper, needle), want)
                    << needle << " at " << at << " of " << size;
                ASSERT_TRUE(placesFound(plain(needle, true), upper, needle).empty());
            }
        }
        // A text shorter than the needle has no place for it.
        EXPECT_TRUE(placesFound(plain(needle, false), needle.substr(0, n - 1), needle).empty());
    }
}

TEST(LineSearchBytes, CaseFoldingIsOfAsciiLettersOnly) {
    // Bytes one case bit apart that are not letters: "@" and "`", "[" and "{", and high bytes.
    for (const auto& [needle, text] : std::vector<std::pair<std::string, std::string>>{
             {"@x", "`x"}, {"[z", "{z"}, {"a@", "A`"}, {"q\\", "Q|"}, {"g", std::string(40, '\xC7') + "\xE7G"}}) {
        EXPECT_EQ(placesFound(plain(needle, false), text, needle), placesByReference(text, needle, false))
            << needle << " in " << text;
    }
    const std::string hi = std::string(20, 'x') + "\xE7" + "x" + "\xC7";  // 0xE7 | 0x20 is not 'g'
    EXPECT_TRUE(placesFound(plain("g", false), hi, "").empty());
    EXPECT_TRUE(placesFound(plain("gx", false), hi, "").empty());
}

TEST(LineSearchBytes, CharacterStartsWalkedOnceMatchTheReference) {
    std::mt19937 rng(11);
    for (int round = 0; round < 500; ++round) {
        // Long ASCII runs between two-byte characters, so that whole blocks are stepped over.
        std::string line;
        while (line.size() < rng() % 300) {
            line += std::string(rng() % 40, 'a');
            line += randomText(rng, rng() % 6);
        }
        const std::vector<bool> starts = charStartsByReference(line);
        CharWalk walk(line);
        for (std::size_t at = 0; at <= line.size(); at += 1 + rng() % 3) {
            ASSERT_EQ(walk.startsAt(at), static_cast<bool>(starts[at])) << "at " << at << " of \"" << line << "\"";
            ASSERT_EQ(LineMatcher::isCharStart(line, at), static_cast<bool>(starts[at]));
        }
    }
}

TEST(LineSearchBytes, TrailBytesThatLookLikeAsciiAreNoMatch) {
    // "ソ" is 0x83 0x5C: its trail byte is a backslash; 0x83 0x61 is "ャ"... its trail byte an "a".
    const LineMatcher backslash = plain("\\", true), a = plain("A", false), long_ = plain("aAaAaAaAaAaAaAaAaA", false);
    EXPECT_FALSE(backslash.matches("\x83\x5C"));
    EXPECT_TRUE(backslash.matches("\x83\x5C\\"));
    EXPECT_FALSE(a.matches(std::string(33, '\x83') + "a"));  // the last 0x83 leads "a"
    EXPECT_TRUE(a.matches(std::string(32, '\x83') + "a"));
    EXPECT_FALSE(a.matches(std::string(40, ' ') + "\x83"
                                                  "a"));
    EXPECT_TRUE(a.matches(std::string(40, ' ') + "\x83"
                                                 "aa"));
    EXPECT_FALSE(long_.matches("\x83" + std::string(18, 'a')));
    EXPECT_TRUE(long_.matches("\x83" + std::string(19, 'a')));
    EXPECT_FALSE(long_.matches(std::string(17, 'a')));  // shorter than the needle
}

TEST(LineSearchText, AsciiQueriesMatchWhatTheDecodedLineShows) {
    // Lead bytes before bytes that complete no character (a space, 0x7F, a letter after an unused lead)
    // are shown alone, and the next byte is a character the query may match.
    std::mt19937 rng(3);
    static const std::string bytes = "aA \\\x7F\x81\x83\x85\xEB\xA0\xFD";
    for (int round = 0; round < 2000; ++round) {
        std::string line(rng() % 24, 'a');
        for (char& c : line) c = bytes[rng() % bytes.size()];
        std::string query(1 + rng() % 3, 'a');
        for (char& c : query) c = "aA \\"[rng() % 4];
        for (bool caseSensitive : {false, true}) {
            const LineMatcher m = plain(query, caseSensitive);
            ASSERT_EQ(m.matches(line), !m.findAll(toQString(line)).empty())
                << "\"" << query << "\" in " << testing::PrintToString(line);
        }
    }
    EXPECT_TRUE(plain("A", true).matches("\x85"
                                         "A"));  // 0x85 leads no character
    EXPECT_FALSE(plain("A", true).matches("\x83"
                                          "A"));  // 0x83 0x41 is one
    EXPECT_TRUE(plain(" ", true).matches("\x81 "));
}

TEST(LineSearchText, LinesOfAsciiBytesArePassedOverOnlyWhereNoMatchCanBeInThem) {
    // The reference: the line decoded as the pane shows it, and every match in it.
    const std::vector<std::string> lines = {"GET /index.html",
                                            "k",
                                            "s",
                                            "",
                                            common::cp932(u8"ソース GET"),
                                            common::cp932(u8"ｿｰｽ"),
                                            common::cp932(u8"ＧＥＴ ｇｅｔ")};
    const QString kelvin(QChar(0x212A)), longS(QChar(0x017F));
    for (const QString& text :
         {QStringLiteral("ソース"), QStringLiteral("ｿ"), QStringLiteral("ｇｅｔ"), kelvin, longS, QStringLiteral("é"),
          QStringLiteral("ス GET"), QStringLiteral("[^a-z]"), QStringLiteral("G.T")}) {
        for (bool caseSensitive : {false, true}) {
            const LineMatcher m(
                FindQuery{text, caseSensitive, text.startsWith(QLatin1Char('[')) || text.contains(QLatin1Char('.'))});
            ASSERT_TRUE(m.usable());
            for (const std::string& line : lines)
                EXPECT_EQ(m.matches(line), !m.findAll(toQString(line)).empty())
                    << text.toStdString() << " in " << common::utf8FromCp932(line) << " case-sensitive "
                    << caseSensitive;
        }
    }
    // Qt folds the Kelvin sign and the long s to ASCII letters: those queries still look at ASCII lines.
    EXPECT_TRUE(LineMatcher(FindQuery{kelvin, false, false}).matches("k"));
    EXPECT_TRUE(LineMatcher(FindQuery{longS, false, false}).matches("S"));
    EXPECT_FALSE(LineMatcher(FindQuery{longS, true, false}).matches("s"));
}

LineMatcher regex(const char* pattern, bool caseSensitive = true) {
    return LineMatcher(FindQuery{QString::fromUtf8(pattern), caseSensitive, true});
}

// The patterns that make a backtracking matcher take exponential time answer on lines built to
// provoke them, each line in time linear in its length.
TEST(LineSearchRegex, CatastrophicPatternsAnswerRightOnTenThousandLines) {
    struct Case {
        const char* pattern;
        std::string miss;  // provokes the backtracking, and does not match
        std::string hit;
        TextMatch where;  // of the hit
    };
    const Case cases[] = {
        {"(x+x+)+y", std::string(40, 'x') + "zy", std::string(40, 'x') + "y", {0, 41}},
        {"(a+)+$", std::string(40, 'a') + "!", "!" + std::string(40, 'a'), {1, 40}},
        {"(a|aa)+b", std::string(40, 'a') + "c", "c" + std::string(40, 'a') + "b", {1, 41}},
        {"(a|a?)+b", std::string(40, 'a'), "aab", {0, 3}},
        {"^(\\w+\\s?)*$", std::string(40, 'w') + " !", "w w w", {0, 5}},
        {"(.*a){12}", std::string(40, 'b'), std::string(12, 'a'), {0, 12}},
    };
    for (const Case& c : cases) {
        const LineMatcher m = regex(c.pattern);
        ASSERT_TRUE(m.usable()) << c.pattern << ": " << m.error().toStdString();
        const QString missText = QString::fromStdString(c.miss);
        std::size_t matched = 0;
        for (int line = 0; line < 10000; ++line) {
            matched += m.matches(c.miss) ? 1 : 0;
            if (line % 100 == 0) matched += m.findAll(missText).size();  // as a paint asks, for a screenful
        }
        EXPECT_EQ(matched, 0u) << c.pattern;
        const std::vector<TextMatch> found = m.findAll(QString::fromStdString(c.hit));
        ASSERT_EQ(found.size(), 1u) << c.pattern;
        EXPECT_EQ(found[0].start, c.where.start) << c.pattern;
        EXPECT_EQ(found[0].length, c.where.length) << c.pattern;
    }
}

TEST(LineSearchRegex, PlacesAreInTheCharactersShownAndEmptyMatchesAreNone) {
    // 😀 takes two UTF-16 units, as the pane counts them.
    auto found = regex("x.").findAll(QString::fromUtf8(u8"日本😀xyzxé"));
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].start, 4);
    EXPECT_EQ(found[0].length, 2);
    EXPECT_EQ(found[1].start, 7);
    EXPECT_EQ(found[1].length, 2);
    found = regex("a*").findAll(QStringLiteral("baab"));
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].start, 1);
    EXPECT_EQ(found[0].length, 2);
    EXPECT_TRUE(regex("^b").findAll(QStringLiteral("bab")).size() == 1) << "^ is the line's start only";
    EXPECT_TRUE(regex("get", false).matches("GET /"));
    EXPECT_TRUE(regex(reinterpret_cast<const char*>(u8"ソ.ス")).matches(common::cp932(u8"ソース")));
    // What RE2 does not take is said so, and matches nothing.
    for (const char* bad : {"(a)\\1", "a(?=b)", "(unclosed"}) {
        EXPECT_FALSE(regex(bad).usable()) << bad;
        EXPECT_FALSE(regex(bad).error().isEmpty()) << bad;
    }
    EXPECT_EQ(regex("((a{100}){100}){100}").error(), QStringLiteral("この正規表現は複雑すぎます"));
}

// A log of random lines searched through a pane (a header line, then the log), on its thread, against
// the reference line by line.
std::vector<std::uint32_t> searchPane(const analysis::PaneContent& content, const std::string& query,
                                      bool caseSensitive, std::size_t origin) {
    LineSearch search(content, plain(query, caseSensitive), origin, [] {});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!search.finished() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::vector<std::uint32_t> head, tail;
    bool done = false;
    search.take(head, tail, done);
    EXPECT_TRUE(done);
    tail.insert(tail.end(), head.begin(), head.end());
    return tail;
}

TEST(LineSearchBytes, ALogSearchedInStretchesFindsEachMatchingLineOnce) {
    std::mt19937 rng(5);
    std::string text;
    std::vector<std::string> lines;
    // More than one stretch of the buffer; some long lines full of near misses inside characters, and
    // blank lines, which are not lines of the log, between the others.
    while (text.size() < (5u << 20)) {
        std::string line = randomText(rng, rng() % 120);
        if (rng() % 500 == 0) {
            line.clear();
            for (int i = 0; i < 10000; ++i)
                line += "\x83"
                        "a";
            if (rng() % 2) line += "B";
        }
        text += line + (rng() % 2 ? "\r\n" : "\n");
        lines.push_back(std::move(line));
    }
    analysis::PaneContent content;
    content.append(std::string("abab header"));
    content.append(analysis::logFromBytes(std::string_view(text), "a.log"));
    ASSERT_GT(content.size(), lines.size() / 2);  // the blank lines are left out
    std::vector<std::string> shown, lower;
    std::vector<std::vector<bool>> starts;
    for (std::size_t i = 0; i < content.size(); ++i) {
        shown.push_back(content.line(i));
        lower.push_back(foldedText(shown.back(), false));
        starts.push_back(charStartsByReference(shown.back()));
    }
    for (const std::string query : {"ab", "B", "  ", "\\a", "aba@b", "aB\r", "b\na", "A\\@[`abAB aBAb aba"}) {
        for (bool caseSensitive : {false, true}) {
            std::vector<std::uint32_t> want;
            for (std::size_t i = 0; i < shown.size(); ++i)
                if (lineMatchesByReference(caseSensitive ? shown[i] : lower[i], starts[i], query, caseSensitive))
                    want.push_back(static_cast<std::uint32_t>(i));
            const std::size_t origin = content.size() / 3;
            std::vector<std::uint32_t> got = searchPane(content, query, caseSensitive, origin);
            // Found from the origin on, then from the start: in order once the two are put back.
            std::rotate(got.begin(), std::find_if(got.begin(), got.end(), [&](std::uint32_t l) { return l < origin; }),
                        got.end());
            EXPECT_EQ(got, want) << query << " case-sensitive " << caseSensitive;
        }
    }
}

}  // namespace
