// URLDecode and HexToInt on any line: a decoded line or "不正なURL", nothing else.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "common/cp932.h"
#include "decoder/urlconv.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view line(reinterpret_cast<const char*>(data), size);
    static const std::string badUrl = common::cp932(u8"不正なURL");
    static const std::string badDigit = common::cp932(u8"不正な16進数文字");

    bool hexOnly = true;
    for (char c : line)
        if (!std::strchr("0123456789abcdefABCDEF", c) || c == '\0') hexOnly = false;
    try {
        const int v = decoder::HexToInt(line);
        FUZZ_CHECK(hexOnly);
        if (line.size() <= 2) FUZZ_CHECK(v >= 0 && v <= 255);
    } catch (const decoder::EConvertError& e) {
        FUZZ_CHECK(!hexOnly && e.what() == badDigit);
    }

    bool percentOk = true;
    for (std::size_t i = 0; i < line.size(); ++i)
        if (line[i] == '%') {
            for (std::size_t k = i + 1; k < line.size() && k <= i + 2; ++k)
                if (!std::strchr("0123456789abcdefABCDEF", line[k]) || line[k] == '\0') percentOk = false;
            i += 2;
        }
    try {
        const std::string out = decoder::URLDecode(line);
        FUZZ_CHECK(percentOk);
        // Plain ASCII without "%" comes back unchanged.
        bool plain = true;
        for (unsigned char c : line)
            if (c >= 0x80 || c == '%') plain = false;
        if (plain) FUZZ_CHECK(out == line);
        // Every character gives at most two bytes of code page 932, and a three-byte sequence one character.
        FUZZ_CHECK(out.size() <= 2 * line.size());
    } catch (const decoder::EConvertError& e) {
        FUZZ_CHECK(!percentOk && e.what() == badUrl);
    }

    // The UTF-8 reading alone: one code unit per sequence, or nothing.
    const std::u16string units = decoder::decodeUtf8Loose(line);
    FUZZ_CHECK(units.size() <= line.size());
    return 0;
}
