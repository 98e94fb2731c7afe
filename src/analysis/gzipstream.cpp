// Inflating a gzip file piece by piece.
#include "analysis/gzipstream.h"

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#ifdef MUNYARO_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace analysis {

namespace {

// Both libraries count in 32 bits.
constexpr std::size_t kMostAtOnce = std::size_t(1) << 30;

bool memberAt(std::string_view in, std::size_t at) {
    return in.size() - at >= 2 && static_cast<unsigned char>(in[at]) == 0x1f &&
           static_cast<unsigned char>(in[at + 1]) == 0x8b;
}

}  // namespace

// One library's inflate of one member at a time.
struct GzipStream::Inflater {
    virtual ~Inflater() = default;
    enum class Step { Going, MemberEnd, Damaged };
    // Inflates from in (updated past what it took) to out (updated past what it wrote).
    virtual Step step(const char*& in, std::size_t inLeft, char*& out, std::size_t outLeft) = 0;
    virtual void nextMember() = 0;
};

namespace {

class ZlibInflater final : public GzipStream::Inflater {
public:
    ZlibInflater() { open_ = inflateInit2(&z_, 15 + 16) == Z_OK; }
    ~ZlibInflater() override {
        if (open_) inflateEnd(&z_);
    }
    Step step(const char*& in, std::size_t inLeft, char*& out, std::size_t outLeft) override {
        if (!open_) return Step::Damaged;
        z_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in));
        z_.avail_in = static_cast<uInt>(inLeft);
        z_.next_out = reinterpret_cast<Bytef*>(out);
        z_.avail_out = static_cast<uInt>(outLeft);
        const int rc = inflate(&z_, Z_NO_FLUSH);
        in = reinterpret_cast<const char*>(z_.next_in);
        out = reinterpret_cast<char*>(z_.next_out);
        if (rc == Z_STREAM_END) return Step::MemberEnd;
        return rc == Z_OK || rc == Z_BUF_ERROR ? Step::Going : Step::Damaged;
    }
    void nextMember() override { inflateReset(&z_); }

private:
    z_stream z_{};
    bool open_ = false;
};

#ifdef MUNYARO_ISAL
class IsalInflater final : public GzipStream::Inflater {
public:
    IsalInflater() { nextMember(); }
    Step step(const char*& in, std::size_t inLeft, char*& out, std::size_t outLeft) override {
        s_.next_in = reinterpret_cast<std::uint8_t*>(const_cast<char*>(in));
        s_.avail_in = static_cast<std::uint32_t>(inLeft);
        s_.next_out = reinterpret_cast<std::uint8_t*>(out);
        s_.avail_out = static_cast<std::uint32_t>(outLeft);
        const int rc = isal_inflate(&s_);
        // At a member's end the library gives back the input it had read ahead.
        in = reinterpret_cast<const char*>(s_.next_in);
        out = reinterpret_cast<char*>(s_.next_out);
        if (rc != ISAL_DECOMP_OK) return Step::Damaged;
        return s_.block_state == ISAL_BLOCK_FINISH ? Step::MemberEnd : Step::Going;
    }
    void nextMember() override {
        isal_inflate_init(&s_);
        s_.crc_flag = ISAL_GZIP;  // the header is read, and the trailer's checksum and size checked
    }

private:
    inflate_state s_{};  // 40 KB of tables, on the heap with the inflater
};
#endif

}  // namespace

GzipStream::GzipStream(std::string_view compressed, Library library) : in_(compressed) {
#ifdef MUNYARO_ISAL
    if (library == Library::Fastest) {
        inflater_ = std::make_unique<IsalInflater>();
        return;
    }
#endif
    (void)library;
    inflater_ = std::make_unique<ZlibInflater>();
}

GzipStream::~GzipStream() = default;

GzipStream::State GzipStream::read(char* to, std::size_t room, std::size_t& made) {
    if (ended_) return State::End;
    char* out = to;
    char* const end = to + room;
    for (;;) {
        const char* in = in_.data() + inDone_;
        const char* const inBefore = in;
        char* const outBefore = out;
        const Inflater::Step step = inflater_->step(in, std::min(in_.size() - inDone_, kMostAtOnce), out,
                                                    std::min(static_cast<std::size_t>(end - out), kMostAtOnce));
        inDone_ += static_cast<std::size_t>(in - inBefore);
        made += static_cast<std::size_t>(out - outBefore);
        if (step == Inflater::Step::Damaged) return State::Damaged;
        if (step == Inflater::Step::MemberEnd) {
            if (!memberAt(in_, inDone_)) {
                ended_ = true;
                return State::End;
            }
            inflater_->nextMember();
            continue;
        }
        if (out == end) return State::More;
        // The data ends inside a member; or input is left that the library takes none of, which is
        // damage too, not a reason to spin.
        if (inDone_ == in_.size() || (in == inBefore && out == outBefore)) return State::Damaged;
    }
}

}  // namespace analysis
