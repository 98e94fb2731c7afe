// Text helpers shared by the report writers.
#include "report/reporttext.h"

#include "common/cp932.h"

namespace report {

namespace {
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

bool ascii(std::string_view s) {
    for (const char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

// Length of the valid UTF-8 sequence at the start of s, 0 when it is not one.
std::size_t utf8Sequence(std::string_view s) {
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    if (c < 0x80) return 1;
    std::size_t n;
    unsigned char lo = 0x80, hi = 0xBF;  // the allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF) n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;  // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
    } else return 0;
    if (s.size() < n || b(1) < lo || b(1) > hi) return 0;
    for (std::size_t i = 2; i < n; ++i)
        if ((b(i) & 0xC0) != 0x80) return 0;
    return n;
}
// What a spreadsheet may take for the start of a formula or a command: the ASCII starters, the
// breaks and "|" (DDE), and the full-width ＝ ＋ － ＠, which some spreadsheets read as the ASCII ones.
bool startsFormula(std::string_view s) {
    if (s.empty()) return false;
    if (std::string_view("=+-@\t\r\n|").find(s[0]) != std::string_view::npos) return true;
    for (const std::string_view wide : {"\xEF\xBC\x9D", "\xEF\xBC\x8B", "\xEF\xBC\x8D", "\xEF\xBC\xA0"})
        if (s.substr(0, wide.size()) == wide) return true;
    return false;
}

}  // namespace

void appendUtf8(std::string& out, std::string_view cp932) {
    if (ascii(cp932)) out += cp932;
    else out += common::utf8FromCp932(cp932);
}

void appendValidUtf8(std::string& out, std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t n = utf8Sequence(bytes);
        if (n == 0) {
            out += kReplacement;
            bytes.remove_prefix(1);
        } else {
            out += bytes.substr(0, n);
            bytes.remove_prefix(n);
        }
    }
}

std::string groupedNumber(std::uintmax_t n) {
    std::string digits = std::to_string(n), out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
        out += digits[i];
    }
    return out;
}

std::string localTimeText(std::time_t when) {
    std::tm tm{};
    localtime_r(&when, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &tm);
    return buf;
}

void appendHtmlText(std::string& out, std::string_view utf8) {
    for (const char c : utf8) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            case '\t': out += c; break;
            default:
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) out += "\xEF\xBF\xBD";
                else out += c;
        }
    }
}

void appendCsvText(std::string& out, std::string_view s) {
    const bool formula = startsFormula(s);
    const bool quote = s.find_first_of("\",\r\n") != std::string_view::npos;
    if (quote) out += '"';
    if (formula) out += '\'';
    if (quote) {
        for (const char c : s) {
            if (c == '"') out += '"';
            out += c;
        }
        out += '"';
    } else {
        out += s;
    }
}

}  // namespace report
