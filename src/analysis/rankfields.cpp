// The rankings' fields: search words taken from a query, items decoded for display, a referrer's site.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/rankings.h"
#include "common/bytes.h"
#include "common/casefold.h"
#include "common/cp932.h"
#include "common/eucjp.h"
#include "common/utf8.h"

namespace analysis {

namespace {

// Percent-decodes s ("+" as blank when plusAsBlank); a "%" without two hex digits stays as it is.
// escaped tells whether any "%XX" was decoded.
std::string percentDecode(std::string_view s, bool plusAsBlank, bool* escaped = nullptr) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (c == '%' && i + 2 < s.size() && common::hexValue(s[i + 1]) >= 0 && common::hexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(common::hexValue(s[i + 1]) * 16 + common::hexValue(s[i + 2]));
            if (escaped) *escaped = true;
            i += 2;
        } else if (c == '+' && plusAsBlank) {
            out += ' ';
        } else {
            out += c;
        }
    }
    return out;
}

bool hasControl(std::string_view s) {
    for (unsigned char c : s)
        if (c < 0x20 || c == 0x7F) return true;
    return false;
}

enum class Charset { Utf8, ShiftJis, EucJp };

Charset charsetNamed(std::string_view value) {
    const std::string v = common::foldCase(percentDecode(value, true));
    for (std::string_view n : {"shift_jis", "shift-jis", "sjis", "x-sjis", "cp932", "windows-31j", "ms932"})
        if (v == n) return Charset::ShiftJis;
    for (std::string_view n : {"euc-jp", "euc_jp", "eucjp", "x-euc-jp", "euc"})
        if (v == n) return Charset::EucJp;
    return Charset::Utf8;
}

constexpr std::string_view kWordParameters[] = {"q", "p", "wd", "word", "query", "text", "kw", "keyword", "MT", "qt"};

// Calls f(name, value) for every "name=value" of a query (pairs split at "&").
template <class F>
void forEachParameter(std::string_view query, F f) {
    while (!query.empty()) {
        const std::size_t amp = query.find('&');
        const std::string_view pair = query.substr(0, amp);
        const std::size_t eq = pair.find('=');
        if (eq != std::string_view::npos) f(pair.substr(0, eq), pair.substr(eq + 1));
        if (amp == std::string_view::npos) break;
        query.remove_prefix(amp + 1);
    }
}

std::string_view queryOf(std::string_view url) {
    const std::size_t q = url.find('?');
    if (q == std::string_view::npos) return {};
    std::string_view query = url.substr(q + 1);
    return query.substr(0, query.find('#'));
}

std::string_view trimBlanks(std::string_view s) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    return s;
}

}  // namespace

std::vector<std::string> searchWords(std::string_view url, const std::vector<std::string_view>& parameters) {
    std::vector<std::string> words;
    const std::string_view query = queryOf(url);
    if (query.empty()) return words;
    Charset charset = Charset::Utf8;
    forEachParameter(query, [&](std::string_view name, std::string_view value) {
        if (name == "ie" || name == "ei" || name == "oe") {
            const Charset c = charsetNamed(value);
            if (c != Charset::Utf8) charset = c;
        }
    });
    forEachParameter(query, [&](std::string_view name, std::string_view value) {
        if (std::find(parameters.begin(), parameters.end(), name) == parameters.end()) return;
        const std::string bytes = percentDecode(value, true);
        std::string word;
        if (charset == Charset::ShiftJis) {
            word = bytes;
        } else if (charset == Charset::EucJp) {
            word = common::cp932FromEucJp(bytes).value_or(bytes);
        } else if (common::isAscii(bytes) || !common::isValidUtf8(bytes)) {
            word = bytes;
        } else {
            word = common::cp932FromUtf8(bytes);
        }
        const std::string_view trimmed = trimBlanks(word);
        if (!trimmed.empty()) words.emplace_back(trimmed);
    });
    return words;
}

std::vector<std::string> searchWords(std::string_view url) {
    static const std::vector<std::string_view> every(std::begin(kWordParameters), std::end(kWordParameters));
    return searchWords(url, every);
}

std::string decodedItem(std::string_view item) {
    if (item.find('%') == std::string_view::npos) return std::string(item);
    bool escaped = false;
    const std::string bytes = percentDecode(item, false, &escaped);
    if (!escaped || hasControl(bytes) || !common::isValidUtf8(bytes)) return std::string(item);
    return common::isAscii(bytes) ? bytes : common::cp932FromUtf8(bytes);
}

std::string_view referrerSite(std::string_view referrer) {
    const std::size_t colon = referrer.find("://");
    if (colon == std::string_view::npos || colon == 0) return referrer;
    for (std::size_t i = 0; i < colon; ++i) {
        const char c = referrer[i];
        const bool schemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                                c == '+' || c == '-' || c == '.';
        if (!schemeChar) return referrer;
    }
    return referrer.substr(0, referrer.find_first_of("/?#", colon + 3));
}

}  // namespace analysis
