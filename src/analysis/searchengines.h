// Search words that mean what they say: from known search engines' result pages and the site's own
// search, never a post number or an address that happens to sit in a "q" or "p" parameter.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace analysis {

// The words of a referrer that is a known search engine's result page (Google, Bing, Yahoo! JAPAN,
// DuckDuckGo, Baidu, Yandex, goo, au, ...), taken from that engine's own parameter; none for any
// other referrer. Decoded as searchWords does; a word that is itself an address is left out.
std::vector<std::string> engineSearchWords(std::string_view referrer);

// The words of a request for the site's own search: a path whose part before "?" contains "search"
// (letter case ignored), with the parameters q, query, s, keyword, keywords, kw, word, wd, text or
// search; or any path with WordPress's "s". Addresses are left out as above.
std::vector<std::string> ownSearchWords(std::string_view path);

// Whether a word is an address ("http://...", "www.example.jp", "example.com/page").
bool isAddressWord(std::string_view word);

}  // namespace analysis
