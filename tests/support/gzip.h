// gzip members made with zlib, for tests of what reads them.
#pragma once
#include <zlib.h>

#include <algorithm>
#include <string>
#include <string_view>

// One gzip member holding text, at a level from 0 (stored blocks only) to 9. flushEvery > 0 ends a
// deflate block every flushEvery bytes of text (a full flush: an empty stored block and a fresh start).
inline std::string gzipText(std::string_view text, int level = 9, std::size_t flushEvery = 0) {
    z_stream z{};
    deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY);
    const std::size_t step = flushEvery > 0 ? flushEvery : std::max<std::size_t>(text.size(), 1);
    std::string out(deflateBound(&z, static_cast<uLong>(text.size())) + 64 + (text.size() / step + 1) * 16, '\0');
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    for (std::size_t at = 0;;) {
        const std::size_t n = std::min(step, text.size() - at);
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data() + at));
        z.avail_in = static_cast<uInt>(n);
        at += n;
        const bool last = at == text.size();
        deflate(&z, last ? Z_FINISH : Z_FULL_FLUSH);
        if (last) break;
    }
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}
