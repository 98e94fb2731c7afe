// Code page 932 conversions through iconv ("CP932": glibc's "SHIFT_JIS" rejects NEC/IBM characters).
#include "common/cp932.h"

#include <cerrno>
#include <iconv.h>

#include "common/bytes.h"
#include "common/eucjp.h"

namespace common {

namespace {

// One converter per direction and thread, opened on first use: opening one costs more than
// converting a line, and panes and the CLI convert line after line.
class Converter {
public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Converter() {
        if (ok()) iconv_close(cd_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
        return cd_;
    }

private:
    iconv_t cd_;
};

// How many input bytes to step over where the conversion stopped.
using SkipRule = std::size_t (*)(const char* src, std::size_t left);

std::size_t oneByte(const char*, std::size_t) { return 1; }

// A whole UTF-8 character without a form; one byte of invalid UTF-8.
std::size_t utf8Character(const char* src, std::size_t left) {
    const auto c = static_cast<unsigned char>(*src);
    const std::size_t want = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    std::size_t skip = 1;
    while (skip < want && skip < left && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80) ++skip;
    return skip == want ? skip : 1;
}

// The length of the EUC-JP character at s, or 0 where none starts.
std::size_t eucJpLength(std::string_view s) {
    const auto at = [&](std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
    const unsigned c = at(0);
    if (c < 0x80) return 1;
    const auto jis = [](unsigned b) { return b >= 0xA1 && b <= 0xFE; };
    if (c == 0x8E) return at(1) >= 0xA1 && at(1) <= 0xDF ? 2 : 0;  // half-width katakana
    if (c == 0x8F) return jis(at(1)) && jis(at(2)) ? 3 : 0;        // the supplementary set
    return jis(c) && jis(at(1)) ? 2 : 0;
}

// A whole EUC-JP character (the input is checked before it is converted).
std::size_t eucJpCharacter(const char* src, std::size_t left) {
    const std::size_t n = eucJpLength({src, left});
    return n == 0 ? 1 : n;
}

// One conversion with a replacement for whatever does not convert, stepping over the input as skip
// says.
std::string convert(const Converter& converter, std::string_view in, std::string_view replacement, SkipRule skipRule) {
    if (!converter.ok()) return std::string(in);
    iconv_t cd = converter.get();
    std::string out(in.size() * 3 + 8, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = out.data();
    std::size_t dstLeft = out.size();
    while (srcLeft > 0) {
        if (iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1)) break;
        if (errno == E2BIG) {
            const std::size_t used = out.size() - dstLeft;
            out.resize(out.size() * 2);
            dst = out.data() + used;
            dstLeft = out.size() - used;
            continue;
        }
        // EILSEQ or EINVAL: replace and step over the offending input.
        const std::size_t skip = skipRule(src, srcLeft);
        src += skip;
        srcLeft -= skip;
        if (dstLeft < replacement.size() + 8) {
            const std::size_t used = out.size() - dstLeft;
            out.resize(out.size() * 2 + replacement.size());
            dst = out.data() + used;
            dstLeft = out.size() - used;
        }
        for (char r : replacement) {
            *dst++ = r;
            --dstLeft;
        }
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
    }
    out.resize(out.size() - dstLeft);
    return out;
}

}  // namespace

std::string cp932(std::u8string_view utf8) {
    return cp932FromUtf8(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

std::string utf8FromCp932(std::string_view bytes) {
    if (isAscii(bytes)) return std::string(bytes);
    thread_local const Converter toUtf8("UTF-8", "CP932");
    return convert(toUtf8, bytes, "\xEF\xBF\xBD", &oneByte);
}

std::string cp932FromUtf8(std::string_view utf8) {
    if (isAscii(utf8)) return std::string(utf8);
    thread_local const Converter toCp932("CP932", "UTF-8");
    return convert(toCp932, utf8, "?", &utf8Character);
}

std::optional<std::string> cp932FromEucJp(std::string_view eucJp) {
    for (std::size_t i = 0; i < eucJp.size();) {
        const std::size_t n = eucJpLength(eucJp.substr(i));
        if (n == 0) return std::nullopt;
        i += n;
    }
    if (isAscii(eucJp)) return std::string(eucJp);
    thread_local const Converter fromEucJp("CP932", "EUC-JP-MS");
    return convert(fromEucJp, eucJp, "?", &eucJpCharacter);
}

}  // namespace common
