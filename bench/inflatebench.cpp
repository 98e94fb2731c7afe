// Each inflate library on its own: a gzip file in memory inflated whole into memory, by zlib and by
// Intel ISA-L and libdeflate where they were found; then the loader, which cuts the lines as well, on
// one thread and with the cutting on a second. Best and median of RUNS runs each, alternating.
//   munyaro-inflatebench FILE.gz [RUNS]
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>
#ifdef MUNYARO_ISAL
#include <isa-l/igzip_lib.h>
#endif
#ifdef MUNYARO_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "analysis/logfile.h"
#include "common/fileio.h"

namespace {

using Clock = std::chrono::steady_clock;
using Inflate = std::function<std::size_t(const std::string& in, std::vector<unsigned char>& out)>;

bool isMember(const std::string& in, std::size_t at) {
    return in.size() - at >= 2 && static_cast<unsigned char>(in[at]) == 0x1f &&
           static_cast<unsigned char>(in[at + 1]) == 0x8b;
}

std::size_t withZlib(const std::string& in, std::vector<unsigned char>& out) {
    z_stream z{};
    inflateInit2(&z, 15 + 16);
    std::size_t inDone = 0, outDone = 0;
    for (;;) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data() + inDone));
        z.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size() - inDone, 1u << 30));
        z.next_out = out.data() + outDone;
        z.avail_out = static_cast<uInt>(std::min<std::size_t>(out.size() - outDone, 1u << 30));
        const uInt inBefore = z.avail_in, outBefore = z.avail_out;
        const int rc = inflate(&z, Z_NO_FLUSH);
        inDone += inBefore - z.avail_in;
        outDone += outBefore - z.avail_out;
        if (rc == Z_STREAM_END && isMember(in, inDone)) {
            inflateReset(&z);
            continue;
        }
        if (rc != Z_OK) break;
    }
    inflateEnd(&z);
    return outDone;
}

#ifdef MUNYARO_ISAL
std::size_t withIsal(const std::string& in, std::vector<unsigned char>& out) {
    static inflate_state s;
    isal_inflate_init(&s);
    s.crc_flag = ISAL_GZIP;
    std::size_t inDone = 0, outDone = 0;
    for (;;) {
        s.next_in = reinterpret_cast<uint8_t*>(const_cast<char*>(in.data() + inDone));
        s.avail_in = static_cast<uint32_t>(std::min<std::size_t>(in.size() - inDone, 1u << 30));
        s.next_out = out.data() + outDone;
        s.avail_out = static_cast<uint32_t>(std::min<std::size_t>(out.size() - outDone, 1u << 30));
        const uint32_t inBefore = s.avail_in, outBefore = s.avail_out;
        const int rc = isal_inflate(&s);
        inDone += inBefore - s.avail_in;
        outDone += outBefore - s.avail_out;
        if (rc != ISAL_DECOMP_OK) break;
        if (s.block_state == ISAL_BLOCK_FINISH) {
            if (!isMember(in, inDone)) break;
            isal_inflate_reset(&s);
            s.crc_flag = ISAL_GZIP;
        } else if (inBefore == s.avail_in && outBefore == s.avail_out) {
            break;
        }
    }
    return outDone;
}
#endif

#ifdef MUNYARO_LIBDEFLATE
std::size_t withLibdeflate(const std::string& in, std::vector<unsigned char>& out) {
    // Whole buffers only: the output's room must be known beforehand.
    libdeflate_decompressor* d = libdeflate_alloc_decompressor();
    std::size_t inDone = 0, outDone = 0;
    while (isMember(in, inDone)) {
        std::size_t used = 0, made = 0;
        if (libdeflate_gzip_decompress_ex(d, in.data() + inDone, in.size() - inDone, out.data() + outDone,
                                          out.size() - outDone, &used, &made) != LIBDEFLATE_SUCCESS)
            break;
        inDone += used;
        outDone += made;
    }
    libdeflate_free_decompressor(d);
    return outDone;
}
#endif

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: munyaro-inflatebench FILE.gz [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
    const std::string in = common::readWholeFile(argv[1]);
    std::vector<std::pair<const char*, Inflate>> libs{{"inflate zlib " ZLIB_VERSION, withZlib}};
#ifdef MUNYARO_ISAL
    libs.emplace_back("inflate isa-l", withIsal);
#endif
#ifdef MUNYARO_LIBDEFLATE
    libs.emplace_back("inflate libdeflate " LIBDEFLATE_VERSION_STRING, withLibdeflate);
#endif
    // Room for the text, measured once; every page touched before the timing.
    std::vector<unsigned char> out(in.size() * 4 + 65536);
    for (std::size_t got; (got = withZlib(in, out)) == out.size();) out.resize(out.size() * 2);
    const std::size_t text = withZlib(in, out);
    // The loader from the file (in the page cache), as the analysis loads it.
    const std::string path = argv[1];
    const std::size_t lines = analysis::loadLog(path, 1)->size();
    libs.emplace_back("loader, 1 thread", [&](const std::string&, std::vector<unsigned char>&) {
        return analysis::loadLog(path, 1)->size() == lines ? text : 0;
    });
    libs.emplace_back("loader, 2 threads", [&](const std::string&, std::vector<unsigned char>&) {
        return analysis::loadLog(path, 2)->size() == lines ? text : 0;
    });
    std::vector<std::vector<double>> seconds(libs.size());
    for (int r = 0; r < runs; ++r)
        for (std::size_t k = 0; k < libs.size(); ++k) {
            const auto t0 = Clock::now();
            const std::size_t got = libs[k].second(in, out);
            seconds[k].push_back(std::chrono::duration<double>(Clock::now() - t0).count());
            if (got != text) {
                std::fprintf(stderr, "%s gave %zu bytes, zlib %zu\n", libs[k].first, got, text);
                return 1;
            }
        }
    std::printf("%s: %.1f MB compressed, %.1f MB of text\n", argv[1], static_cast<double>(in.size()) / 1e6,
                static_cast<double>(text) / 1e6);
    for (std::size_t k = 0; k < libs.size(); ++k) {
        std::vector<double>& s = seconds[k];
        std::sort(s.begin(), s.end());
        const double median = s[s.size() / 2];
        std::printf("%-26s median %.3f s (best %.3f), %.0f MB/s of text\n", libs[k].first, median, s[0],
                    static_cast<double>(text) / 1e6 / median);
    }
}
