// The table of search engines and the parameter that holds the words on each one's result page.
#include "analysis/searchengines.h"

#include <algorithm>

#include "analysis/rankings.h"
#include "common/casefold.h"

namespace analysis {

namespace {

struct Engine {
    std::string_view domain;  // the host, or a host ending in "." + domain
    std::vector<std::string_view> parameters;
};

// Google and Yandex run result pages under many country domains: "google." anywhere as a label.
const std::vector<Engine>& engines() {
    static const std::vector<Engine> table = {
        {"bing.com", {"q"}},
        {"search.yahoo.co.jp", {"p"}},
        {"search.yahoo.com", {"p"}},
        {"duckduckgo.com", {"q"}},
        {"baidu.com", {"wd", "word"}},
        {"search.goo.ne.jp", {"MT"}},
        {"search.smt.docomo.ne.jp", {"MT"}},
        {"search.auone.jp", {"q"}},
        {"search.biglobe.ne.jp", {"q"}},
        {"search.nifty.com", {"q", "Text"}},
        {"websearch.rakuten.co.jp", {"qt"}},
        {"search.rakuten.co.jp", {"qt"}},
        {"search.naver.com", {"query"}},
        {"search.naver.jp", {"q"}},
        {"ask.com", {"q"}},
        {"ecosia.org", {"q"}},
        {"qwant.com", {"q"}},
        {"startpage.com", {"query", "q"}},
        {"search.aol.com", {"q", "query"}},
        {"search.aol.jp", {"q", "query"}},
        {"search.livedoor.com", {"q"}},
        {"search.seznam.cz", {"q"}},
        {"sogou.com", {"query"}},
        {"so.com", {"q"}},
    };
    return table;
}
const std::vector<std::string_view> kGoogle = {"q"};
const std::vector<std::string_view> kYandex = {"text"};
const std::vector<std::string_view> kOwnSearch = {"q",  "query", "s",  "keyword", "keywords",
                                                  "kw", "word",  "wd", "text",    "search"};
const std::vector<std::string_view> kWordPress = {"s"};

// The host of an address, lower case ("" when it has no scheme and host).
std::string hostOf(std::string_view url) {
    const std::size_t colon = url.find("://");
    if (colon == std::string_view::npos) return {};
    std::string_view host = url.substr(colon + 3);
    host = host.substr(0, host.find_first_of("/?#"));
    host = host.substr(host.rfind('@') == std::string_view::npos ? 0 : host.rfind('@') + 1);
    host = host.substr(0, host.find(':'));
    return common::foldCase(host);
}

bool underDomain(std::string_view host, std::string_view domain) {
    if (host == domain) return true;
    return host.size() > domain.size() && host.substr(host.size() - domain.size()) == domain &&
           host[host.size() - domain.size() - 1] == '.';
}

// "google" or "yandex" as a whole label followed by more labels ("www.google.co.jp").
bool hasLabel(std::string_view host, std::string_view label) {
    for (std::size_t at = host.find(label); at != std::string_view::npos; at = host.find(label, at + 1)) {
        const bool starts = at == 0 || host[at - 1] == '.';
        const std::size_t end = at + label.size();
        if (starts && end < host.size() && host[end] == '.') return true;
    }
    return false;
}

const std::vector<std::string_view>* engineParameters(std::string_view host) {
    if (hasLabel(host, "google")) return &kGoogle;
    if (hasLabel(host, "yandex")) return &kYandex;
    for (const Engine& e : engines())
        if (underDomain(host, e.domain)) return &e.parameters;
    return nullptr;
}

std::vector<std::string> withoutAddresses(std::vector<std::string> words) {
    words.erase(std::remove_if(words.begin(), words.end(), [](const std::string& w) { return isAddressWord(w); }),
                words.end());
    return words;
}

bool isLabelChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

}  // namespace

bool isAddressWord(std::string_view word) {
    if (word.find(' ') != std::string_view::npos) return false;
    if (word.find("://") != std::string_view::npos) return true;
    const std::string folded = common::foldCase(word.substr(0, 4));
    if (folded == "www.") return true;
    // A host name: labels of letters, digits and hyphens joined by dots, the last one of letters,
    // alone or followed by a path.
    const std::string_view host = word.substr(0, word.find('/'));
    std::size_t labels = 0, lastStart = 0;
    for (std::size_t i = 0; i <= host.size(); ++i) {
        if (i == host.size() || host[i] == '.') {
            if (i == lastStart) return false;
            ++labels;
            lastStart = i + 1;
        } else if (!isLabelChar(host[i])) {
            return false;
        }
    }
    const std::string_view last = host.substr(host.rfind('.') == std::string_view::npos ? 0 : host.rfind('.') + 1);
    const bool letters = last.size() >= 2 && std::all_of(last.begin(), last.end(), [](char c) {
                             return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
                         });
    if (labels < 2 || !letters) return false;
    // "node.js" is a word: a bare name of two labels is an address only with a path or a common
    // top-level domain.
    static constexpr std::string_view kCommon[] = {"com", "net", "org", "jp", "info", "biz", "io", "co",
                                                   "uk",  "de",  "ru",  "cn", "fr",   "edu", "gov"};
    const std::string top = common::foldCase(last);
    return labels >= 3 || host.size() < word.size() ||
           std::find(std::begin(kCommon), std::end(kCommon), top) != std::end(kCommon);
}

std::vector<std::string> engineSearchWords(std::string_view referrer) {
    if (referrer.find('?') == std::string_view::npos) return {};
    const std::vector<std::string_view>* parameters = engineParameters(hostOf(referrer));
    if (!parameters) return {};
    return withoutAddresses(searchWords(referrer, *parameters));
}

std::vector<std::string> ownSearchWords(std::string_view path) {
    const std::size_t q = path.find('?');
    if (q == std::string_view::npos) return {};
    const bool searchPath = common::foldCase(path.substr(0, q)).find("search") != std::string::npos;
    return withoutAddresses(searchWords(path, searchPath ? kOwnSearch : kWordPress));
}

}  // namespace analysis
