// Loading an access log.
#include "analysis/logfile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "analysis/gzipstream.h"
#include "common/bigmemory.h"
#include "common/cp932.h"
#include "common/fileio.h"

namespace analysis {

namespace {

[[noreturn]] void throwDamaged(const std::string& path) {
    static const std::string text = common::cp932(u8"gzip 形式の展開に失敗しました");
    common::throwOpenError(path, text);
}

bool isGzip(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
           static_cast<unsigned char>(bytes[1]) == 0x8b;
}

// First CR, LF or NUL in [p, end), or end.
inline const char* findBreak(const char* p, const char* end) {
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), nul = _mm_setzero_si128();
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)),
                                         _mm_cmpeq_epi8(v, nul));
        if (const int m = _mm_movemask_epi8(hit)) return p + __builtin_ctz(static_cast<unsigned>(m));
        p += 16;
    }
#endif
    while (p < end && *p != '\r' && *p != '\n' && *p != '\0') ++p;
    return p;
}

[[noreturn]] void throwTooManyLines(const std::string& path) {
    static const std::string tooMany = common::cp932(u8"行数が 4294967295 を超えています");
    common::throwOpenError(path, tooMany);
}

inline bool isBlankLine(const char* p, const char* end) {
    for (; p < end; ++p)
        if (*p != ' ' && *p != '\t') return false;
    return true;
}

}  // namespace

std::shared_ptr<LogText> logFromBytes(std::string_view bytes, const std::string& path) {
    common::ByteBuffer copy;
    try {
        copy.resize(bytes.size());
    } catch (const std::bad_alloc&) {
        common::throwOutOfMemory(path);
    }
    if (!bytes.empty()) std::memcpy(copy.data(), bytes.data(), bytes.size());
    return logFromBytes(std::move(copy), path);
}

namespace {

// The lines of one stretch of a text, which begins where a line begins and ends after a line break
// or at the text's end.
struct Stretch {
    const char* begin;
    const char* end;
    LogText::LineViews lines;
    bool endsText = false;   // a zero byte ended the text within it
    std::size_t zeroAt = 0;  // where, as an offset in the text
    std::exception_ptr error;
};

// Cuts bytes handed over piece by piece, in order, into lines of the text that lines lie in.
class Cutter {
public:
    Cutter(std::size_t from, LogText::LineViews& lines, const std::string& path)
        : lineStart_(from), lines_(&lines), path_(path) {}
    // Takes the bytes at [off, off + n) of the text, read into p; false once a zero byte has ended the text.
    bool feed(const char* p, std::size_t off, std::size_t n) {
        std::size_t i = 0;
        if (afterCr_) {
            // A CR that ended the last piece and an LF that begins this one are one break.
            afterCr_ = false;
            if (n > 0 && p[0] == '\n') lineStart_ = off + (i = 1);
        }
        while (i < n) {
            const std::size_t e = static_cast<std::size_t>(findBreak(p + i, p + n) - p);
            if (blank_ && !isBlankLine(p + i, p + e)) blank_ = false;
            if (e == n) return true;  // the line goes on in the next piece
            emit(off + e);
            if (p[e] == '\0') {
                zeroAt_ = off + e;
                return false;
            }
            i = e + 1;
            if (p[e] == '\r') {
                if (i == n) afterCr_ = true;
                else if (p[i] == '\n') ++i;
            }
            lineStart_ = off + i;
        }
        return true;
    }
    // The text's end at offset end, where no break ends its last line.
    void finish(std::size_t end) { emit(end); }
    // Where the zero byte lies that made feed return false.
    std::size_t zeroAt() const { return zeroAt_; }
    // The lines that have ended so far, blank ones too: the number of the last one.
    std::size_t ended() const { return ended_; }
    // Lines go on into `lines` from here on.
    void into(LogText::LineViews& lines) { lines_ = &lines; }
    // Where the first line put into the current lines begins, and its number.
    std::size_t firstAt() const { return firstAt_; }
    std::size_t firstNumber() const { return firstNumber_; }

private:
    void emit(std::size_t end) {
        if (end - lineStart_ > kMaxLineBytes) {
            static const std::string tooLong = common::cp932(u8"4 GB 以上の長さの行があります");
            common::throwOpenError(path_, tooLong);
        }
        ++ended_;
        if (!blank_) {
            if (kept_ == kMaxLines) throwTooManyLines(path_);
            if (lines_->empty()) {
                firstAt_ = lineStart_;
                firstNumber_ = ended_;
            }
            lines_->add(lineStart_, end - lineStart_);
            ++kept_;
        }
        blank_ = true;
    }
    std::size_t lineStart_;
    LogText::LineViews* lines_;
    std::size_t ended_ = 0, kept_ = 0;
    std::size_t firstAt_ = 0, firstNumber_ = 0;
    const std::string& path_;
    bool blank_ = true;  // the bytes of the current line so far are blanks and tabs
    bool afterCr_ = false;
    std::size_t zeroAt_ = 0;
};

// Reads bytes [offset, offset + n) of file into to. What the file no longer has (it shrank meanwhile)
// reads as zero bytes, as its mapping shows it. False when the file cannot be read.
bool readAt(int file, char* to, std::size_t n, std::size_t offset) {
    for (std::size_t have = 0; have < n;) {
        const ssize_t got = ::pread(file, to + have, n - have, static_cast<off_t>(offset + have));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) {
            std::memset(to + have, 0, n - have);
            break;
        }
        have += static_cast<std::size_t>(got);
    }
    return true;
}

void cutStretch(Stretch& s, const char* base, const std::string& path, bool mapped, int file, std::size_t block) {
    LogText::LineViews& lines = s.lines;
    // Room for lines of 128 bytes, but not for what a sparse file of zero bytes would claim.
    lines.reserve(std::min<std::size_t>(static_cast<std::size_t>(s.end - s.begin) / 128 + 16, std::size_t(1) << 22));
    const auto from = static_cast<std::size_t>(s.begin - base), to = static_cast<std::size_t>(s.end - base);
    Cutter cutter(from, lines, path);
    if (file >= 0) {
        // A mapped file is read through a small buffer rather than through its mapping: touching
        // every page of a mapping costs several times as much as reading the file.
        std::vector<char> buffer(block);
        for (std::size_t off = from; off < to;) {
            const std::size_t n = std::min(block, to - off);
            if (!readAt(file, buffer.data(), n, off)) common::throwOpenError(path, errno);
            if (!cutter.feed(buffer.data(), off, n)) {
                s.endsText = true;
                s.zeroAt = cutter.zeroAt();
                return;
            }
            off += n;
        }
        cutter.finish(to);
        return;
    }
    // Text in memory is cut in place; a mapping read this way gives its pages back to the page cache
    // behind the reading, in steps.
    const std::size_t step = mapped ? std::size_t(16) << 20 : to - from;
    for (std::size_t off = from; off < to;) {
        const std::size_t n = std::min(step, to - off);
        if (!cutter.feed(base + off, off, n)) {
            s.endsText = true;
            s.zeroAt = cutter.zeroAt();
            return;
        }
        if (mapped) common::releaseMapped(base + off, base + off + n);
        off += n;
    }
    cutter.finish(to);
}

// The most text a gzip log may inflate to, none where the system does not tell. Unlike a plain log's
// pages, the text stays in memory whole, and the lines and lists built from it take about as much
// again (far more for a log whose lines are all distinct): a third of the memory the system can still
// provide, and of the address space left under a limit on it, which the text's room is taken from
// at once. A small file that would inflate to many gigabytes (a gzip bomb) is refused at that point.
std::optional<std::size_t> gzipTextBound() {
    auto available = common::availableMemory();
    if (const auto left = common::addressSpaceLeft(); left && (!available || *left < *available)) available = left;
    if (!available) return std::nullopt;
    return *available / 3;
}

[[noreturn]] void throwTooBig(const std::string& path, std::size_t bound) {
    const std::string text = common::cp932(u8"展開すると ") + std::to_string(bound >> 20) +
                             common::cp932(u8" MB (使えるメモリの 3 分の 1) を超えます");
    common::throwOpenError(path, text);
}

// How far inflating got, handed from the thread that inflates to the one that cuts the lines.
struct Inflating {
    std::mutex mutex;
    std::condition_variable moved;
    std::size_t made = 0;           // bytes of text there to cut
    bool over = false;              // no more will come
    std::atomic<bool> stop{false};  // the cutting failed: no more is needed

    void publish(std::size_t bytes, bool last) {
        {
            std::lock_guard lock(mutex);
            made = bytes;
            over = over || last;
        }
        moved.notify_one();
    }
};

// The lines of a text that grows at base, cut as it grows.
struct GrowingCut {
    GrowingCut(const char* base, LogText::LineViews& lines, const std::string& path)
        : base(base), cutter(0, lines, path) {}
    const char* base;
    Cutter cutter;
    std::size_t cut = 0;
    bool endsText = false;  // a zero byte ended it
    // Cuts up to made, unless a zero byte has ended the text.
    void upTo(std::size_t made) {
        if (endsText) return;
        if (made > cut && !cutter.feed(base + cut, cut, made - cut)) endsText = true;
        cut = made;
    }
    // On the cutting thread, till inflating is over or a zero byte ends the text.
    void follow(Inflating& in) {
        for (;;) {
            std::size_t made = 0;
            bool over = false;
            {
                std::unique_lock lock(in.mutex);
                in.moved.wait(lock, [&] { return in.made > cut || in.over; });
                made = in.made;
                over = in.over;
            }
            upTo(made);
            if (endsText || (over && made == cut)) return;
        }
    }
};

enum class Failure { None, Damaged, TooBig, NoMemory };

// What the trailer of a gzip file says its last member's text holds: the whole text's size for a file
// of one member under 4 GB, and a hint only otherwise.
std::size_t trailerSize(std::string_view in) {
    std::size_t said = 0;  // little-endian, in the last 4 bytes
    for (std::size_t k = 1; k <= 4 && in.size() >= 4; ++k)
        said = said << 8 | static_cast<unsigned char>(in[in.size() - k]);
    return said;
}

// The least a part of a gzip feed is made near the end of the text (GzipFeed): about 5,000 lines.
constexpr std::size_t kLeastTailPart = std::size_t(1) << 20;

// One piece at a time of inflatePieces, for an inflater that stops between pieces.
class PieceInflater {
public:
    // Pieces small enough that the cutting reads them while they are still in the cache.
    static constexpr std::size_t kPiece = std::size_t(1) << 20;
    PieceInflater(common::GrowingBlock& block, std::size_t limit, std::string_view compressed, bool mapped)
        : block_(block), limit_(limit), compressed_(compressed), mapped_(mapped), gz_(compressed) {}
    // The text inflated so far.
    std::size_t made() const { return made_; }
    // Inflates the next piece, as inflatePieces does: none while more text follows, else how the
    // text ended.
    template <typename Ready, typename Took>
    std::optional<Failure> step(Ready& ready, Took& took) {
        if (made_ == limit_) return Failure::TooBig;
        const std::size_t room = std::min(kPiece, limit_ - made_);
        if (!ready(made_, room)) return Failure::None;
        try {
            block_.grow(made_ + room);
        } catch (const std::bad_alloc&) {
            return Failure::NoMemory;
        }
        const GzipStream::State state = gz_.read(block_.data() + made_, room, made_);
        if (mapped_ && gz_.consumed() - released_ >= (std::size_t(2) << 20)) {
            common::releaseMapped(compressed_.data() + released_, compressed_.data() + gz_.consumed());
            released_ = gz_.consumed();
        }
        took(made_, state);
        if (state == GzipStream::State::End) return Failure::None;
        if (state == GzipStream::State::Damaged) return Failure::Damaged;
        return std::nullopt;
    }

private:
    common::GrowingBlock& block_;
    const std::size_t limit_;
    const std::string_view compressed_;
    const bool mapped_;
    GzipStream gz_;
    std::size_t made_ = 0, released_ = 0;
};

// Inflates compressed into block a piece at a time, till its end or a failure. Before each piece,
// ready(made, room) gets the block ready for room more bytes after the made ones, or returns false to
// stop with the text so far; after it, took(made, state) is told how far the text goes. Text after a
// zero byte is inflated too: damage and size are the whole file's, so that a damaged file is never
// read as a shorter log. The compressed bytes already read are given back to the page cache behind
// it when they are mapped.
template <typename Ready, typename Took>
Failure inflatePieces(common::GrowingBlock& block, std::size_t limit, std::string_view compressed, bool mapped,
                      Ready ready, Took took) {
    PieceInflater pieces(block, limit, compressed, mapped);
    for (;;)
        if (const std::optional<Failure> end = pieces.step(ready, took)) return *end;
}

// Inflates into block, publishing the text as it grows, till its end, a failure, or in.stop.
Failure inflateInto(common::GrowingBlock& block, std::size_t limit, std::string_view compressed, bool mapped,
                    Inflating& in, GrowingCut* sameThread) {
    return inflatePieces(
        block, limit, compressed, mapped,
        [&in](std::size_t, std::size_t) { return !in.stop.load(std::memory_order_relaxed); },
        [&](std::size_t made, GzipStream::State state) {
            if (sameThread) sameThread->upTo(made);
            in.publish(made, state != GzipStream::State::More);
        });
}

// A gzip log: inflated into memory that grows in place (no copy of the text is ever made), while a
// second thread cuts the lines of what is already there.
std::shared_ptr<LogText> loadGzip(const common::ByteBuffer& compressed, const std::string& path, unsigned threads) {
    const std::optional<std::size_t> bound = gzipTextBound();
    common::GrowingBlock block(bound.value_or(std::size_t(1) << 42));
    const std::size_t limit = block.limit();
    LogText::LineViews lines(block.data());
    // Room for lines of 64 bytes of what the last member says it holds (all of a file of one member
    // under 4 GB): room reserved and never written takes no memory.
    const std::string_view in = compressed.view();
    const std::size_t said = trailerSize(in);
    lines.reserve(std::min({std::max(said, in.size() * 4), limit, std::size_t(1) << 36}) / 64 + 16);
    GrowingCut cut(block.data(), lines, path);
    Inflating inflating;
    Failure failure = Failure::None;
    if (threads <= 1) {
        failure = inflateInto(block, limit, in, compressed.isMapped(), inflating, &cut);
    } else {
        // What the trailer says the text holds, within what the compressed size makes likely (logs
        // shrink about tenfold; a trailer that lies gets no more than that): its pages are faulted
        // in from the far end on a thread of their own, while the inflater takes them from the front.
        std::size_t expected = std::min(said, in.size() * 32);
        if (const auto left = common::availableMemory()) expected = std::min(expected, *left / 2);
        block.expect(expected);
        std::atomic<bool> filled{false};
        std::thread filling;
        try {
            filling = std::thread([&] { block.fillFromEnd(filled); });
        } catch (const std::system_error&) {
            // No thread to spare: the inflater takes every fault itself.
        }
        struct StopFilling {
            std::thread& t;
            std::atomic<bool>& stop;
            ~StopFilling() {
                stop.store(true);
                if (t.joinable()) t.join();
            }
        } stopFilling{filling, filled};
        std::exception_ptr cutError;
        std::thread cutting([&] {
            try {
                cut.follow(inflating);
            } catch (...) {
                cutError = std::current_exception();
                inflating.stop.store(true);
            }
        });
        struct Join {
            std::thread& t;
            Inflating& in;
            ~Join() {
                in.stop.store(true);
                in.publish(in.made, true);
                if (t.joinable()) t.join();
            }
        } join{cutting, inflating};
        failure = inflateInto(block, limit, in, compressed.isMapped(), inflating, nullptr);
        inflating.publish(inflating.made, true);
        cutting.join();
        if (cutError) std::rethrow_exception(cutError);
    }
    if (failure == Failure::Damaged) throwDamaged(path);
    if (failure == Failure::TooBig && bound && limit == *bound) throwTooBig(path, *bound);
    if (failure != Failure::None) common::throwOutOfMemory(path);
    if (!cut.endsText) cut.cutter.finish(cut.cut);
    const std::size_t size = inflating.made;
    auto log = std::make_shared<LogText>(
        common::ByteBuffer::adopt(block.release(size), size, common::GrowingBlock::keptBytes(size)));
    log->setLines(LineTable(std::move(lines)));
    if (cut.endsText) {
        // The first zero byte of the text is the one that ended it.
        const std::string_view text = log->buffer();
        const void* zero = std::memchr(text.data(), 0, text.size());
        if (zero)
            log->setStoppedAtZeroByte(
                lineNumberAt(text, static_cast<std::size_t>(static_cast<const char*>(zero) - text.data())));
    }
    return log;
}

}  // namespace

bool isGzipText(std::string_view bytes) { return isGzip(bytes); }

struct GzipFeed::State {
    State(const common::ByteBuffer& in, const std::string& file, std::size_t lines, std::size_t bytes, std::size_t most)
        : compressed(in),
          path(file),
          bound(gzipTextBound()),
          block(bound.value_or(std::size_t(1) << 42)),
          partLines(std::max<std::size_t>(lines, 1)),
          partBytes(bytes),
          ahead(most) {}
    const common::ByteBuffer& compressed;
    const std::string path;
    const std::optional<std::size_t> bound;
    common::GrowingBlock block;
    const std::size_t partLines, partBytes, ahead;

    std::mutex mutex;
    std::condition_variable moved;  // a part came, the text ended, inflating paused, or text was counted
    std::deque<Part> parts;         // every part so far: they stay where they are
    std::size_t handed = 0;         // the parts handed out
    std::size_t uncounted = 0;      // the text of the parts that came and are not yet counted
    bool over = false;              // no more parts will come
    bool noWait = false;            // inflate on without waiting for parts to be counted
    bool producing = false;         // a thread is inflating
    std::exception_ptr error;       // the loading's failure
    // Huge pages of text that was counted, whole, for the inflating to take for the text to come
    // (GrowingBlock::reuse), while that works.
    std::vector<std::pair<std::size_t, std::size_t>> reusable;
    std::atomic<bool> reusing{true};
    std::size_t made = 0;      // the text's size, once over
    std::size_t zeroLine = 0;  // the line in which a zero byte ended the text, if one did
    std::vector<LogText::LineMark> marks;

    // The inflating and cutting, which the thread that set `producing` goes on with.
    class Producer;
    std::unique_ptr<Producer> producer;

    // Inflates on this thread, the lock held on entry and on return, unless another one does or the
    // text has ended: a part, or till the text not yet counted fills what may be ahead.
    enum class Produced { Part, Busy, Full, Over };
    Produced produce(std::unique_lock<std::mutex>& lock);
    // Waits, the lock held, for what produce() could not do: another thread's inflating, or counted
    // text to make room (unless it was counted meanwhile).
    void waitAfter(Produced p, std::unique_lock<std::mutex>& lock);
};

class GzipFeed::State::Producer {
public:
    explicit Producer(State& s)
        : s_(s),
          base_(s.block.data()),
          limit_(s.block.limit()),
          pieces_(s.block, limit_, s.compressed.view(), s.compressed.isMapped()),
          cutter_(0, current_.lines, s.path),
          expected_(trailerSize(s.compressed.view())) {
        fresh();
    }
    // Inflates till a part is published or the text ends (true), or till the text not yet counted fills
    // what may be ahead (false). The lock is not held.
    bool run() {
        const std::size_t before = published_;
        while (!done_ && published_ == before) {
            {
                std::lock_guard lock(s_.mutex);
                if (!room()) return false;
            }
            Failure failure = Failure::None;
            std::exception_ptr error;
            try {
                auto ready = [this](std::size_t at, std::size_t room) { return reuse(at, room); };
                auto took = [this](std::size_t to, GzipStream::State state) { this->took(to, state); };
                const std::optional<Failure> end = pieces_.step(ready, took);
                if (!end) continue;
                failure = *end;
            } catch (const std::bad_alloc&) {
                failure = Failure::NoMemory;
            } catch (...) {
                error = std::current_exception();
            }
            end(failure, error);
        }
        return true;
    }

    // Text that is counted goes back: waiting for it keeps what is in memory at once bounded, unless
    // what came is all counted (a part takes more than `ahead`). Under the lock, while no thread
    // inflates or by the one that does.
    bool room() const {
        return s_.noWait || ended_ || s_.uncounted == 0 || s_.uncounted + (pieces_.made() - lastEnd_) <= s_.ahead;
    }

private:
    void fresh() {
        current_ = Part();
        current_.lines = LogText::LineViews(base_);
        current_.lines.reserve(s_.partLines);
    }
    // The last parts are smaller, down to kLeastTailPart, so that the threads run out of text
    // together instead of one counting a last big part while the others wait. Where the text ends
    // is taken from the trailer; a trailer that is wrong changes only the size of the parts.
    std::size_t partBytes() const {
        if (expected_ <= cut_) return s_.partBytes;
        return std::clamp((expected_ - cut_) / 4, std::min(kLeastTailPart, s_.partBytes), s_.partBytes);
    }
    void publish() {
        if (current_.lines.empty()) return;
        const std::string_view last = current_.lines[current_.lines.size() - 1];
        current_.first = lines_;
        current_.textBegin = cutter_.firstAt();
        current_.textEnd = static_cast<std::size_t>(last.data() + last.size() - base_);
        lines_ += current_.lines.size();
        lastEnd_ = current_.textEnd;
        {
            std::lock_guard lock(s_.mutex);
            s_.marks.push_back(LogText::LineMark{current_.first, current_.textBegin, cutter_.firstNumber()});
            s_.uncounted += current_.textEnd - current_.textBegin;
            s_.parts.push_back(std::move(current_));
        }
        s_.moved.notify_all();
        ++published_;
        fresh();
    }
    // The huge pages of counted text are taken for the text to come, while that works.
    bool reuse(std::size_t at, std::size_t room) {
        while (s_.reusing.load() && s_.block.populated() < at + room) {
            std::pair<std::size_t, std::size_t> pages;
            {
                std::lock_guard lock(s_.mutex);
                if (s_.reusable.empty()) break;
                pages = s_.reusable.back();
                s_.reusable.pop_back();
            }
            if (!s_.block.reuse(base_ + pages.first, pages.second - pages.first)) {
                s_.reusing.store(false);
                common::releaseMapped(base_ + pages.first, base_ + pages.second);
            }
        }
        return true;
    }
    void took(std::size_t to, GzipStream::State state) {
        made_ = to;
        if (!ended_) {
            if (made_ > cut_ && !cutter_.feed(base_ + cut_, cut_, made_ - cut_)) {
                ended_ = true;
                zeroLine_ = cutter_.ended();
                dropped_ = cutter_.zeroAt() + 1;
            }
            cut_ = made_;
        } else {
            // What follows the zero byte is inflated only to know that the file is sound.
            common::releaseMapped(base_ + dropped_, base_ + made_);
            dropped_ = std::max(dropped_, made_ & ~std::size_t(4095));
        }
        if (state == GzipStream::State::Damaged) return;
        if (state == GzipStream::State::End) {
            if (!ended_) cutter_.finish(cut_);
            publish();
            return;
        }
        const std::size_t size = current_.lines.size();
        const std::size_t bytes = cutter_.firstAt() <= cut_ && size > 0 ? cut_ - cutter_.firstAt() : 0;
        if (ended_ || size >= s_.partLines || (bytes >= partBytes() && (lines_ > 0 || size >= 1000))) publish();
    }
    // The text has ended, or failed.
    void end(Failure failure, std::exception_ptr error) {
        done_ = true;
        if (!error && failure != Failure::None) {
            try {
                if (failure == Failure::Damaged) throwDamaged(s_.path);
                if (failure == Failure::TooBig && s_.bound && limit_ == *s_.bound) throwTooBig(s_.path, *s_.bound);
                common::throwOutOfMemory(s_.path);
            } catch (...) {
                error = std::current_exception();
            }
        }
        {
            std::lock_guard lock(s_.mutex);
            s_.made = made_;
            s_.zeroLine = zeroLine_;
            s_.error = error;
            s_.over = true;
        }
        s_.moved.notify_all();
    }

    State& s_;
    char* const base_;
    const std::size_t limit_;
    PieceInflater pieces_;
    Part current_;
    Cutter cutter_;
    const std::size_t expected_;
    std::size_t made_ = 0, cut_ = 0, lines_ = 0, lastEnd_ = 0, dropped_ = 0, zeroLine_ = 0, published_ = 0;
    bool ended_ = false;  // a zero byte ended the text
    bool done_ = false;
};

GzipFeed::State::Produced GzipFeed::State::produce(std::unique_lock<std::mutex>& lock) {
    if (over) return Produced::Over;
    if (producing) return Produced::Busy;
    producing = true;
    lock.unlock();
    bool on = false;
    try {
        on = producer->run();
    } catch (...) {
        // run() keeps its failures; this is only for a lock that could not be taken.
    }
    lock.lock();
    producing = false;
    moved.notify_all();
    return on ? Produced::Part : Produced::Full;
}

void GzipFeed::State::waitAfter(Produced p, std::unique_lock<std::mutex>& lock) {
    if (p == Produced::Part || p == Produced::Over) return;
    if (p == Produced::Full && !producing && producer->room()) return;
    moved.wait(lock);
}

GzipFeed::GzipFeed(const common::ByteBuffer& compressed, const std::string& path, std::size_t partLines,
                   std::size_t partBytes, std::size_t ahead)
    : state_(std::make_unique<State>(compressed, path, partLines, partBytes, ahead)),
      log_(std::make_shared<LogText>(common::ByteBuffer())) {
    state_->producer = std::make_unique<State::Producer>(*state_);
}

GzipFeed::~GzipFeed() = default;

const GzipFeed::Part* GzipFeed::first() {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    while (s.parts.empty() && !s.over) s.waitAfter(s.produce(lock), lock);
    if (!s.parts.empty()) return &s.parts.front();
    if (s.error) std::rethrow_exception(s.error);
    return nullptr;
}

void GzipFeed::produceAhead(std::size_t parts) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    if (s.parts.size() - s.handed < parts) s.produce(lock);
}

bool GzipFeed::next(const Part*& part) {
    State& s = *state_;
    std::unique_lock lock(s.mutex);
    while (s.handed == s.parts.size() && !s.over) s.waitAfter(s.produce(lock), lock);
    if (s.handed < s.parts.size()) {
        part = &s.parts[s.handed++];
        return true;
    }
    if (s.error) std::rethrow_exception(s.error);
    return false;
}

void GzipFeed::counted(const Part& part) {
    State& s = *state_;
    char* const base = s.block.data();
    // Fresh pages cost more than the inflating (they are cleared, and a virtual machine may have to
    // get them from its host first): the huge pages that the part's text fills whole are taken over
    // by the text to come (smaller ones would cost more to move than to clear), the rest goes back.
    constexpr std::size_t kHuge = common::kBigBlock;
    std::size_t from = (part.textBegin + kHuge - 1) / kHuge * kHuge, to = part.textEnd / kHuge * kHuge;
    if (to <= from || !s.reusing.load()) from = to = part.textEnd;
    common::releaseMapped(base + part.textBegin, base + from);
    common::releaseMapped(base + to, base + part.textEnd);
    {
        std::lock_guard lock(s.mutex);
        if (to > from) s.reusable.emplace_back(from, to);
        s.uncounted -= part.textEnd - part.textBegin;
    }
    s.moved.notify_all();
}

void GzipFeed::readToEnd() {
    {
        std::lock_guard lock(state_->mutex);
        state_->noWait = true;
    }
    state_->moved.notify_all();
}

std::shared_ptr<LogText> GzipFeed::finish() {
    State& s = *state_;
    readToEnd();
    std::unique_lock lock(s.mutex);
    while (!s.over) s.waitAfter(s.produce(lock), lock);
    if (s.error) std::rethrow_exception(s.error);
    for (const auto& [from, to] : s.reusable) common::releaseMapped(s.block.data() + from, s.block.data() + to);
    s.reusable.clear();
    const std::size_t size = s.made;
    log_->setBuffer(common::ByteBuffer::adopt(s.block.release(size), size, common::GrowingBlock::keptBytes(size)));
    LineTable lines;
    for (Part& p : s.parts) lines.append(std::move(p.lines));
    log_->setLines(std::move(lines));
    log_->setLineMarks(std::move(s.marks));
    if (s.zeroLine) log_->setStoppedAtZeroByte(s.zeroLine);
    return log_;
}

LineTable cutLines(std::string_view text, const std::string& path, bool mapped, unsigned threads,
                   std::size_t minStretch, int file, std::size_t block, std::size_t* zeroByteAt) {
    // Stretches, each cut on its own thread, are split right after a line feed: a line feed ends a
    // line whether or not a CR comes before it.
    const char* const begin = text.data();
    const char* const end = begin + text.size();
    const std::size_t count = std::clamp<std::size_t>(text.size() / std::max<std::size_t>(minStretch, 1), 1,
                                                      std::max(threads, 1u));
    std::vector<Stretch> stretches;
    const char* from = begin;
    for (std::size_t k = 1; k < count && from < end; ++k) {
        const char* nominal = std::max(from, begin + text.size() / count * k);
        // A zero byte ends the text: no stretch begins after one.
        const char* lf = nominal;
        while ((lf = findBreak(lf, end)) < end && *lf == '\r') ++lf;
        if (lf == end || *lf == '\0') break;
        const char* to = lf + 1;
        stretches.push_back(Stretch{from, to, LogText::LineViews(begin), false, 0, nullptr});
        from = to;
    }
    if (from < end || stretches.empty()) stretches.push_back(Stretch{from, end, LogText::LineViews(begin), false, 0, nullptr});

    const std::size_t readBlock = std::max<std::size_t>(block, 1);
    std::vector<std::thread> workers;
    struct Join {
        std::vector<std::thread>& workers;
        ~Join() {
            for (auto& w : workers) w.join();
        }
    } join{workers};
    for (std::size_t k = 1; k < stretches.size(); ++k)
        workers.emplace_back([&, k] {
            try {
                cutStretch(stretches[k], begin, path, mapped, file, readBlock);
            } catch (...) {
                stretches[k].error = std::current_exception();
            }
        });
    cutStretch(stretches[0], begin, path, mapped, file, readBlock);
    for (auto& w : workers) w.join();
    workers.clear();

    // In order, as one reading would have met them: the first error, and nothing after a zero byte.
    std::size_t used = 1, total = stretches[0].lines.size();
    for (; used < stretches.size() && !stretches[used - 1].endsText; ++used) {
        if (stretches[used].error) std::rethrow_exception(stretches[used].error);
        total += stretches[used].lines.size();
    }
    if (total > kMaxLines) throwTooManyLines(path);
    if (zeroByteAt) *zeroByteAt = stretches[used - 1].endsText ? stretches[used - 1].zeroAt : text.size();
    // Room reserved and never written takes no memory: the lines are not copied to fit.
    LineTable lines;
    for (std::size_t k = 0; k < used; ++k) lines.append(std::move(stretches[k].lines));
    return lines;
}

void LineReader::fill(std::size_t i, std::size_t end) {
    // As many whole lines as fit in a block. A line longer than a block is read through the mapping
    // instead: a copy would double what a freak line of many megabytes takes.
    const LogText& log = *log_;
    const char* const base = log.buffer().data();
    start_ = log[i].data();
    from_ = i;
    to_ = i + 1;
    direct_ = log[i].size() > block_;
    if (direct_) return;
    std::size_t to = i + 1;
    while (to < end && static_cast<std::size_t>(log[to].data() + log[to].size() - start_) <= block_) ++to;
    const std::string_view last = log[to - 1];
    const auto bytes = static_cast<std::size_t>(last.data() + last.size() - start_);
    // A block at once: growing it bit by bit would copy it each time.
    if (buffer_.size() < bytes) buffer_.resize(std::max(bytes, block_));
    to_ = to;
    // A file that cannot be read leaves its lines to the mapping.
    direct_ = !readAt(file_, buffer_.data(), bytes, static_cast<std::size_t>(start_ - base));
}

std::shared_ptr<LogText> logFromBytes(common::ByteBuffer bytes, const std::string& path, unsigned threads) {
    try {
        if (isGzip(bytes.view())) return loadGzip(bytes, path, threads);
        const int file = bytes.file();
        auto log = std::make_shared<LogText>(std::move(bytes));
        std::size_t zeroAt = 0;
        log->setLines(cutLines(log->buffer(), path, log->isMapped(), threads, kMinStretch, file, kReadBlock, &zeroAt));
        if (zeroAt < log->buffer().size()) log->setStoppedAtZeroByte(lineNumberAt(log->buffer(), zeroAt));
        return log;
    } catch (const std::bad_alloc&) {
        common::throwOutOfMemory(path);
    }
}

std::shared_ptr<LogText> loadLog(const std::string& path, unsigned threads) {
    return logFromBytes(common::mapFileBytes(path), path, threads);
}

}  // namespace analysis
