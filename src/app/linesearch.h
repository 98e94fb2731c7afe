// Finding text in a pane: what matches in one line, and a search of every line on a thread of its own.
#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <QString>

#include "analysis/panecontent.h"

namespace re2 {
class RE2;
}

struct FindQuery {
    QString text;
    bool caseSensitive = false;
    bool regex = false;
};

// A match in a line as shown: start and length in characters.
struct TextMatch {
    int start = 0;
    int length = 0;
};

// Decides which lines match and where. Matching is on the text as shown (code page 932 decoded), so a
// Japanese query finds Japanese text; an ASCII plain-text query is matched on the bytes directly, which
// gives the same answer faster. A regular expression is RE2's: matched in time linear in the text
// whatever the pattern (no back-references, no look-around), so no pattern can freeze the window.
class LineMatcher {
public:
    explicit LineMatcher(FindQuery query);
    // False for an empty query or a regular expression that does not compile.
    bool usable() const { return usable_; }
    QString error() const { return error_; }

    bool matches(std::string_view cp932Line) const;
    // An ASCII plain-text query is matched on the bytes: then findBytes gives the next place in text
    // where the bytes occur, which a caller must still check for a character start (CharWalk).
    bool byteWise() const { return byteWise_; }
    const char* findBytes(const char* begin, const char* end) const;
    static bool isCharStart(std::string_view line, std::size_t offset);
    std::size_t needleSize() const { return needle_.size(); }
    // Every non-empty match of the text, in order.
    std::vector<TextMatch> findAll(const QString& text) const;
    // What the find bar says of the regular expressions it takes.
    static QString regexSyntax();

private:
    bool bytesMatch(std::string_view line) const;
    std::vector<TextMatch> regexMatches(const QString& text) const;
    bool restMatches(const unsigned char* at) const;
    const char* findBytesHorspool(const unsigned char* p, const unsigned char* end) const;

    FindQuery query_;
    bool usable_ = false;
    QString error_;
    std::shared_ptr<const re2::RE2> re_;  // shared by the copies the search threads use
    bool byteWise_ = false;
    // A plain query with a character that no ASCII character matches (even with the case ignored) cannot
    // be in a line of ASCII bytes: such lines are passed over without being decoded.
    bool needsNonAscii_ = false;
    std::string needle_;                     // ASCII; lower case when the case is ignored
    std::array<unsigned char, 256> fold_{};  // byte to its compared form
    std::array<std::size_t, 256> skip_{};    // Horspool's shifts, by a byte's compared form
    // A byte ORed with its needle byte's letterBit_ equals the needle byte exactly when the two are the
    // same letter in either case (0x20 for a letter when the case is ignored, else 0).
    std::array<unsigned char, 2> letterBit_{};  // of the first and the last needle byte
};

// Where the characters of a line of code page 932 text begin, cut as the pane's decoder cuts them (a lead
// byte that completes no character with the next byte stands alone). The line is walked once from its
// start however many places are asked about, so the hits in one long line cost one walk in all.
class CharWalk {
public:
    explicit CharWalk(std::string_view line) : line_(line) {}
    // Whether a character begins at offset; offsets asked must not decrease.
    bool startsAt(std::size_t offset);

private:
    std::string_view line_;
    std::size_t at_ = 0;  // the first character start not before the last offset asked
};

// Matching line numbers of a pane, searched on a worker thread from an origin line to the end and then
// from the start up to the origin, so the first match below the place the user is looking at comes first.
// The lines before the origin are kept apart; read in the order head, then tail, they are ascending.
class LineSearch {
public:
    // notify is called on the worker thread whenever there is news (first match, progress, the end); it
    // must only post to the window's thread.
    LineSearch(analysis::PaneContent content, LineMatcher matcher, std::size_t origin, std::function<void()> notify);
    ~LineSearch();  // cancels and waits for the thread
    LineSearch(const LineSearch&) = delete;
    LineSearch& operator=(const LineSearch&) = delete;

    void cancel() { cancel_ = true; }
    // The thread has ended (done, or cancelled and stopped).
    bool finished() const { return finished_; }
    // Moves the matches found since the last call to the ends of head and tail.
    void take(std::vector<std::uint32_t>& head, std::vector<std::uint32_t>& tail, bool& done);

private:
    void run(std::size_t origin);
    // Lines from..to-1 of the pane into the list; false when cancelled.
    bool scan(std::size_t from, std::size_t to, std::vector<std::uint32_t>& into);
    bool scanLog(const analysis::LogText& log, std::size_t first, std::size_t from, std::size_t to,
                 std::vector<std::uint32_t>& into);
    void found(std::uint32_t line, std::vector<std::uint32_t>& into);
    void flush(std::vector<std::uint32_t>& into, bool force);

    analysis::PaneContent content_;
    LineMatcher matcher_;
    std::function<void()> notify_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    std::mutex mutex_;
    std::vector<std::uint32_t> head_, tail_;
    bool done_ = false;
    std::vector<std::uint32_t> found_;  // not yet handed over
    bool told_ = false;
    std::chrono::steady_clock::time_point lastTold_;
    std::thread thread_;
};
