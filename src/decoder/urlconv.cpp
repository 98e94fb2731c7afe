// Decoding of percent-encoded UTF-8 text into code page 932.
#include "decoder/urlconv.h"

#include "common/cp932.h"

namespace decoder {

namespace {

const std::string& badHexDigit() {
    static const std::string text = common::cp932(u8"不正な16進数文字");
    return text;
}

const std::string& badUrl() {
    static const std::string text = common::cp932(u8"不正なURL");
    return text;
}

bool isTrailByte(unsigned char c) { return c >= 0x80 && c <= 0xBF; }

// U+FFFD, which has no code page 932 form either: the conversion makes it "?".
constexpr char16_t kNoForm = 0xFFFD;

// Code units as UTF-8. A lone surrogate gets the three-byte form, which the conversion to code page
// 932 rejects, so it becomes "?" like any other character without a form.
std::string toUtf8(std::u16string_view units) {
    std::string out;
    out.reserve(units.size() * 3);
    for (const char16_t u : units) {
        if (u < 0x80) {
            out += static_cast<char>(u);
        } else if (u < 0x800) {
            out += static_cast<char>(0xC0 | (u >> 6));
            out += static_cast<char>(0x80 | (u & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (u >> 12));
            out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (u & 0x3F));
        }
    }
    return out;
}

std::string percentDecode(std::string_view line) {
    std::string bytes;
    bytes.reserve(line.size());
    std::size_t i = 0;
    while (i < line.size()) {
        if (line[i] == '%') {
            const std::string_view hex = line.substr(i + 1, 2);  // one or none at the end of the line
            bytes += static_cast<char>(HexToInt(hex));
            i += 1 + hex.size();
        } else {
            bytes += line[i++];
        }
    }
    return bytes;
}

}  // namespace

int HexCharToInt(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw EConvertError(badHexDigit());
}

int HexToInt(std::string_view hex) {
    unsigned value = 0;  // unsigned, so an over-long text wraps instead of overflowing
    for (char c : hex) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        value = value * 16 + static_cast<unsigned>(HexCharToInt(c));
    }
    return static_cast<int>(value);
}

std::u16string decodeUtf8Loose(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    while (i < n) {
        const unsigned char b = at(i);
        if (b < 0x80) {
            out += static_cast<char16_t>(b);
            i += 1;
        } else if (b >= 0xF0 && b <= 0xF7 && i + 3 < n && isTrailByte(at(i + 1)) && isTrailByte(at(i + 2)) &&
                   isTrailByte(at(i + 3))) {
            // A character above U+FFFF (an emoji, say): none has a code page 932 form, so it stands as
            // one substitute rather than being cut into pieces that would empty the line.
            out += kNoForm;
            i += 4;
        } else if (b & 0x20) {
            if (i + 2 >= n || !isTrailByte(at(i + 1)) || !isTrailByte(at(i + 2))) return {};
            out += static_cast<char16_t>(((b & 0x0F) << 12) | ((at(i + 1) & 0x3F) << 6) | (at(i + 2) & 0x3F));
            i += 3;
        } else {
            if (i + 1 >= n || !isTrailByte(at(i + 1))) return {};
            out += static_cast<char16_t>(((b & 0x1F) << 6) | (at(i + 1) & 0x3F));
            i += 2;
        }
    }
    return out;
}

std::string URLDecode(std::string_view line) {
    std::string bytes;
    try {
        bytes = percentDecode(line);
    } catch (const EConvertError&) {
        throw EConvertError(badUrl());
    }
    return common::cp932FromUtf8(toUtf8(decodeUtf8Loose(bytes)));
}

}  // namespace decoder
