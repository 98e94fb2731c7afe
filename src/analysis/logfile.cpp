// Loading an access log.
#include "analysis/logfile.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <zlib.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "common/cp932.h"
#include "common/fileio.h"

namespace analysis {

namespace {

bool isGzip(std::string_view bytes) {
    return bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0x1f &&
           static_cast<unsigned char>(bytes[1]) == 0x8b;
}

struct Inflater {
    z_stream z{};
    bool open = false;
    ~Inflater() {
        if (open) inflateEnd(&z);
    }
};

common::ByteBuffer gunzip(std::string_view in, const std::string& path) {
    auto fail = [&] {
        static const std::string text = common::cp932(u8"gzip 形式の展開に失敗しました");
        common::throwOpenError(path, text);
    };
    Inflater inflater;
    z_stream& z = inflater.z;
    if (inflateInit2(&z, 15 + 16) != Z_OK) fail();
    inflater.open = true;
    common::ByteBuffer out(in.size() * 4 + 65536);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), 1u << 30));
    std::size_t inDone = 0, outDone = 0;
    for (;;) {
        if (outDone == out.size()) out.resize(out.size() * 2);
        const std::size_t room = std::min<std::size_t>(out.size() - outDone, 1u << 30);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + outDone);
        z.avail_out = static_cast<uInt>(room);
        const uInt availIn = z.avail_in;
        const int rc = inflate(&z, Z_NO_FLUSH);
        inDone += availIn - z.avail_in;
        outDone += room - z.avail_out;
        if (z.avail_in == 0 && inDone < in.size()) {
            z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data() + inDone));
            z.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size() - inDone, 1u << 30));
        }
        if (rc == Z_STREAM_END) {
            // Rotated logs are sometimes several gzip members one after the other.
            if (inDone < in.size() && in.size() - inDone >= 2 && static_cast<unsigned char>(in[inDone]) == 0x1f) {
                inflateReset(&z);
                continue;
            }
            break;
        }
        if (rc == Z_BUF_ERROR && z.avail_out == 0) continue;
        if (rc != Z_OK) fail();
    }
    out.resize(outDone);
    return out;
}

// First CR or LF in [p, end), or end.
inline const char* findBreak(const char* p, const char* end) {
#ifdef __SSE2__
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int m = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        if (m) return p + __builtin_ctz(static_cast<unsigned>(m));
        p += 16;
    }
#endif
    while (p < end && *p != '\r' && *p != '\n') ++p;
    return p;
}

inline bool isBlankLine(const char* p, const char* end) {
    for (; p < end; ++p)
        if (*p != ' ' && *p != '\t') return false;
    return true;
}

}  // namespace

std::shared_ptr<const LogText> logFromBytes(std::string_view bytes, const std::string& path) {
    common::ByteBuffer copy;
    try {
        copy.resize(bytes.size());
    } catch (const std::bad_alloc&) {
        common::throwOutOfMemory(path);
    }
    if (!bytes.empty()) std::memcpy(copy.data(), bytes.data(), bytes.size());
    return logFromBytes(std::move(copy), path);
}

LogText::LineViews cutLines(std::string_view text, const std::string& path, bool mapped) {
    // A mapped text is read here in steps whose pages go back to the page cache behind the reading.
    constexpr std::size_t kStep = std::size_t(16) << 20;
    std::size_t length = text.size();
    for (std::size_t at = 0; at < text.size(); at += kStep) {
        const std::size_t n = std::min(kStep, text.size() - at);
        if (const void* nul = std::memchr(text.data() + at, '\0', n)) {
            length = static_cast<std::size_t>(static_cast<const char*>(nul) - text.data());
            break;
        }
        if (mapped) common::releaseMapped(text.data() + at, text.data() + at + n);
    }
    const char* released = text.data();
    LogText::LineViews lines;
    lines.reserve(length / 128 + 16);
    const char* p = text.data();
    const char* end = p + length;
    while (p < end) {
        const char* e = findBreak(p, end);
        if (static_cast<std::size_t>(e - p) > kMaxLineBytes) {
            static const std::string tooLong = common::cp932(u8"4 GB 以上の長さの行があります");
            common::throwOpenError(path, tooLong);
        }
        if (!isBlankLine(p, e)) {
            if (lines.size() == kMaxLines) {
                static const std::string tooMany = common::cp932(u8"行数が 4294967295 を超えています");
                common::throwOpenError(path, tooMany);
            }
            lines.emplace_back(p, static_cast<std::size_t>(e - p));
        }
        if (e == end) break;
        p = e + ((*e == '\r' && e + 1 < end && e[1] == '\n') ? 2 : 1);
        if (mapped && static_cast<std::size_t>(p - released) >= kStep) {
            common::releaseMapped(released, p);
            released = p;
        }
    }
    if (mapped) common::releaseMapped(released, end);
    lines.shrink_to_fit();
    return lines;
}

std::shared_ptr<const LogText> logFromBytes(common::ByteBuffer bytes, const std::string& path) {
    try {
        if (isGzip(bytes.view())) bytes = gunzip(bytes.view(), path);
        auto log = std::make_shared<LogText>(std::move(bytes));
        log->setLines(cutLines(log->buffer(), path, log->isMapped()));
        return log;
    } catch (const std::bad_alloc&) {
        common::throwOutOfMemory(path);
    }
}

std::shared_ptr<const LogText> loadLog(const std::string& path) {
    return logFromBytes(common::mapFileBytes(path), path);
}

}  // namespace analysis
