// Loading an access log: the whole file, gzip-compressed or not, cut into lines.
#pragma once
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/lines.h"
#include "common/fileio.h"

namespace analysis {

// Reads the log at path: a plain file is mapped, not copied, and stays mapped while the LogText
// lives (should it shrink meanwhile, its lost part reads as zero bytes); a gzip file (by its magic
// bytes, one member or several one after another) is read as its text, inflated into memory while a
// second thread cuts its lines. A damaged or cut gzip file throws "ファイル "%s". gzip 形式の展開に失敗しました
// は開けません", one whose text would pass a third of the memory left (a gzip bomb) "ファイル "%s". 展開すると
// N MB (使えるメモリの 3 分の 1) を超えます は開けません". Lines end at CR LF, lone CR or lone LF; a zero byte ends
// the text (LogText::stoppedAtZeroByte says where); lines that are empty or hold only blanks and tabs are no
// requests and are left out. Throws "ファイル "%s". %s は開けません", also for a log that does not fit in memory and
// for one that the collected lists cannot point into (a line of 4 GB or more, more than 4294967295 lines).
// threads: how many threads may cut the lines.
std::shared_ptr<LogText> loadLog(const std::string& path, unsigned threads = 1);

// The same from bytes already in memory (path names the file in messages).
std::shared_ptr<LogText> logFromBytes(common::ByteBuffer bytes, const std::string& path, unsigned threads = 1);
std::shared_ptr<LogText> logFromBytes(std::string_view bytes, const std::string& path);

// The lines of a text as loadLog cuts them (text is the whole text; it is cut at its first zero byte).
// mapped: text is a file mapping, whose pages are given back to the page cache once read. Up to
// `threads` threads cut stretches of at least minStretch bytes each. file: the open file that text
// maps from its start, read in blocks of `block` bytes instead of the mapping (-1: none). zeroByteAt,
// if given, is set to the offset of the zero byte that ended the text, or to its size when none did.
inline constexpr std::size_t kMinStretch = std::size_t(4) << 20;
inline constexpr std::size_t kReadBlock = std::size_t(256) << 10;
LineTable cutLines(std::string_view text, const std::string& path, bool mapped = false, unsigned threads = 1,
                   std::size_t minStretch = kMinStretch, int file = -1, std::size_t block = kReadBlock,
                   std::size_t* zeroByteAt = nullptr);

// Reads a log's lines in order, those of a mapped file through a buffer a block of lines
// at a time rather than through the mapping (see cutLines): the lines given are copies of the log's,
// at other addresses, valid until the next call. Other logs' lines, and lines longer than a block,
// are the log's own.
class LineReader {
public:
    // Reads into buffer, which a thread that reads one chunk of lines after another keeps for all of
    // them: fresh memory for every chunk costs more than the reading.
    LineReader(const LogText& log, std::vector<char>& buffer, std::size_t block = kReadBlock)
        : log_(&log), file_(log.file()), block_(block), buffer_(buffer) {}
    // The lines of part, whose first line is line `first` of its log, read where they lie.
    LineReader(const LineTable::Part& part, std::size_t first, std::vector<char>& buffer)
        : part_(&part), first_(first), file_(-1), block_(kReadBlock), buffer_(buffer) {}
    // Line i; the next call asks for a later line, up to before `end`.
    std::string_view line(std::size_t i, std::size_t end) {
        if (file_ < 0) return own(i);
        if (i < from_ || i >= to_) fill(i, end);
        const std::string_view l = (*log_)[i];
        return direct_ ? l : std::string_view(buffer_.data() + (l.data() - start_), l.size());
    }
    // Line i where it lies in the log.
    std::string_view own(std::size_t i) const { return part_ ? (*part_)[i - first_] : (*log_)[i]; }

private:
    void fill(std::size_t i, std::size_t end);
    const LogText* log_ = nullptr;
    const LineTable::Part* part_ = nullptr;
    std::size_t first_ = 0;
    const int file_;
    const std::size_t block_;
    std::vector<char>& buffer_;
    std::size_t from_ = 0, to_ = 0;  // the lines in the buffer
    const char* start_ = nullptr;    // where the buffer's first byte lies in the log
    bool direct_ = false;            // these lines are the log's own (too long, or the file unreadable)
};

// Whether bytes are those of a gzip file.
bool isGzipText(std::string_view bytes);

// A gzip log whose text is read once, by a pass that counts it while it is inflated: a thread of its
// own inflates the text, cuts it into lines as loadLog does and hands them out a part at a time, in
// order. The text of a part that has been counted goes back to the system, and the inflating waits
// while more than `ahead` bytes of it are not yet counted, so that the text never lies in memory whole.
// The finished log reads zero bytes where its text was given back: nothing may read its lines after
// the pass, but for a line of a part that was not counted.
class GzipFeed {
public:
    struct Part {
        std::size_t first = 0;  // the index of its first line in the log
        LineTable::Part lines;
        std::size_t textBegin = 0, textEnd = 0;  // the text its lines lie in
    };
    // compressed: the whole file (isGzipText), which must outlive the feed. Parts hold at most
    // partLines lines, and end after partBytes of text once they hold the first 1,000 lines; towards
    // the end of the text that the trailer tells, after a quarter of what is left (at least 1 MB).
    // The text is inflated by the threads that ask for parts, while they wait for one, and by
    // produceAhead; no more of it than `ahead` bytes beyond what is counted.
    GzipFeed(const common::ByteBuffer& compressed, const std::string& path, std::size_t partLines,
             std::size_t partBytes, std::size_t ahead);
    ~GzipFeed();
    GzipFeed(const GzipFeed&) = delete;
    GzipFeed& operator=(const GzipFeed&) = delete;
    // The log the parts are of: it has its text and lines once finish() has returned.
    const std::shared_ptr<LogText>& log() const { return log_; }
    // The first part, without handing it out; null for a log without lines. Throws what loadLog
    // would for the file when the loading failed before it.
    const Part* first();
    // Hands out the next part, or false once every line has been handed out. Throws what loadLog
    // would for the file, once the parts before the failure have been handed out. The part stays the
    // feed's.
    bool next(const Part*& part);
    // Inflates the next part on this thread, unless `parts` parts are ready to be handed out, another
    // thread inflates, or the text not yet counted fills what may be ahead: the threads that count
    // the parts inflate them in turn, rather than a thread of the feed's own beside them.
    void produceAhead(std::size_t parts);
    // The part's lines have been counted: its text goes back to the system.
    void counted(const Part& part);
    // Reads on to the text's end without waiting for parts to be counted: the pass has stopped.
    void readToEnd();
    // Waits for the text's end and makes the log whole: its buffer, every part's lines in order, where
    // the zero byte that ended the text lies, if one did. Throws the loading's failure.
    std::shared_ptr<LogText> finish();

private:
    struct State;
    std::unique_ptr<State> state_;
    std::shared_ptr<LogText> log_;
};

// Entries keep a line number and offsets within a line in 32 bits.
inline constexpr std::size_t kMaxLineBytes = 0xffffffffu;
inline constexpr std::size_t kMaxLines = 0xffffffffu;

}  // namespace analysis
