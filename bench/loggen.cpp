// Writes a realistic Apache combined-format access log of N lines to stdout, the same for the same
// seed: a day of traffic from a few thousand clients, crawlers among them, with the odd line that
// real logs have ("-" byte counts, IPv6 and named hosts, percent-encoded queries, attack probes).
// With --distinct, a scan instead: every line's host, path, referrer and user agent is new.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Rng {
    std::uint64_t s;
    std::uint64_t next() {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return s;
    }
    std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
    bool chance(unsigned percent) { return below(100) < percent; }
};

const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char* kAgents[] = {
    "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Safari/537.36",
    "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.1 "
    "Safari/605.1.15",
    "Mozilla/5.0 (iPhone; CPU iPhone OS 17_1 like Mac OS X) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.1 "
    "Mobile/15E148 Safari/604.1",
    "Mozilla/5.0 (X11; Linux x86_64; rv:121.0) Gecko/20100101 Firefox/121.0",
    "Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Chrome/120.0.0.0 Mobile "
    "Safari/537.36",
    "Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 6.1; Trident/4.0)",
    "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2; Trident/6.0)",
    "Mozilla/5.0 (compatible; Googlebot/2.1; +http://www.google.com/bot.html)",
    "Mozilla/5.0 (compatible; bingbot/2.0; +http://www.bing.com/bingbot.htm)",
    "Mozilla/5.0 (compatible; Baiduspider/2.0; +http://www.baidu.com/search/spider.html)",
    "Mozilla/5.0 (compatible; YandexBot/3.0; +http://yandex.com/bots)",
    "Mozilla/5.0 (compatible; AhrefsBot/7.0; +http://ahrefs.com/robot/)",
    "Mozilla/5.0 (compatible; SemrushBot/7~bl; +http://www.semrush.com/bot.html)",
    "curl/7.88.1",
    "-",
};
const unsigned kAgentWeights[] = {30, 12, 12, 8, 10, 2, 2, 6, 4, 2, 2, 3, 3, 2, 2};

const char* kPaths[] = {
    "/",
    "/index.html",
    "/about.html",
    "/blog/",
    "/blog/2026/12/winter-sale.html",
    "/blog/2026/11/notes.html",
    "/css/style.css",
    "/js/app.js",
    "/images/logo.png",
    "/images/photo01.jpg",
    "/favicon.ico",
    "/robots.txt",
    "/sitemap.xml",
    "/search?q=%E6%97%A5%E6%9C%AC%E8%AA%9E",
    "/search?q=%E3%82%84%E3%81%8D%E3%81%A8%E3%82%8A",
    "/feed.xml",
    "/contact.html",
    "/download/manual.pdf",
    "/wp-login.php",
    "/.env",
    "/cgi-bin/form.cgi",
    "/products/item.php?id=42",
    "/Index.html",
};
const unsigned kPathWeights[] = {10, 8, 3, 5, 3, 3, 12, 10, 8, 6, 4, 2, 1, 2, 1, 2, 2, 1, 2, 1, 1, 3, 1};

const char* kReferrers[] = {
    "-",
    "http://www.example.jp/",
    "http://www.example.jp/blog/",
    "https://www.google.com/",
    "https://www.bing.com/search?q=munyaro",
    "https://search.yahoo.co.jp/search?p=%E3%83%AD%E3%82%B0",
    "http://spam.example.net/cheap-pills",
    "https://t.co/abc123",
};
const unsigned kReferrerWeights[] = {40, 25, 10, 10, 4, 5, 2, 4};

template <std::size_t N>
std::size_t pick(Rng& r, const unsigned (&weights)[N]) {
    unsigned total = 0;
    for (unsigned w : weights) total += w;
    std::size_t x = r.below(total);
    for (std::size_t i = 0; i < N; ++i) {
        if (x < weights[i]) return i;
        x -= weights[i];
    }
    return N - 1;
}

// Relative traffic of each hour of the day.
const double kHourWeights[24] = {5, 3, 2, 1.5, 1.5, 2, 3, 5, 7, 8, 9, 10, 11, 10, 9, 9, 10, 11, 12, 14, 15, 14, 11, 8};

// The time of day at which the given share of the day's traffic has passed.
long long secondOfDay(double share) {
    double total = 0;
    for (double w : kHourWeights) total += w;
    double before = 0;
    for (int h = 0; h < 24; ++h) {
        const double part = kHourWeights[h] / total;
        if (share < before + part || h == 23) {
            const double within = (share - before) / part;
            return h * 3600LL + static_cast<long long>(within * 3600.0 < 3599.0 ? within * 3600.0 : 3599.0);
        }
        before += part;
    }
    return 0;
}

// Lines of a scan: nothing repeats but the layout.
void writeDistinct(long long lines, Rng& r) {
    std::string out;
    for (long long n = 0; n < lines; ++n) {
        const long long second = n * 86400 / (lines > 0 ? lines : 1);
        const auto k = static_cast<unsigned long long>(n);
        char line[512];
        std::snprintf(line, sizeof line,
                      "10.%llu.%llu.%llu - - [07/Dec/2026:%02lld:%02lld:%02lld +0900] \"GET /p/%llx%06x HTTP/1.1\" "
                      "%u %u \"http://s%llx.example.com/\" \"Scan/%llx\"\n",
                      k >> 16 & 255, k >> 8 & 255, k & 255, second / 3600, second / 60 % 60, second % 60, k,
                      static_cast<unsigned>(r.below(1 << 24)), r.chance(80) ? 200u : 404u,
                      static_cast<unsigned>(100 + r.below(9000)), k * 7919, k * 104729);
        out += line;
        if (out.size() > (1 << 20) - 1024) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: munyaro-loggen LINES [SEED] [--distinct]\n");
        return 2;
    }
    const long long lines = std::atoll(argv[1]);
    Rng r{argc > 2 ? std::strtoull(argv[2], nullptr, 10) * 2654435761u + 88172645463325252ull : 88172645463325252ull};
    std::vector<std::string> hosts;
    for (int i = 0; i < 4000; ++i) {
        char h[64];
        if (i % 97 == 0)
            std::snprintf(h, sizeof h, "2001:db8:%x::%x", static_cast<unsigned>(r.below(65536)),
                          static_cast<unsigned>(r.below(65536)));
        else if (i % 53 == 0)
            std::snprintf(h, sizeof h, "p%u-ipngn.example.ne.jp", static_cast<unsigned>(r.below(100000)));
        else
            std::snprintf(h, sizeof h, "%u.%u.%u.%u", static_cast<unsigned>(1 + r.below(222)),
                          static_cast<unsigned>(r.below(256)), static_cast<unsigned>(r.below(256)),
                          static_cast<unsigned>(1 + r.below(254)));
        hosts.emplace_back(h);
    }
    if (argc > 3 && std::string(argv[3]) == "--distinct") {
        writeDistinct(lines, r);
        return 0;
    }
    std::string out;
    out.reserve(1 << 20);
    for (long long n = 0; n < lines; ++n) {
        // Seconds of the day grow with the line number, busy in the evening and quiet before dawn.
        const long long second = secondOfDay(static_cast<double>(n) / static_cast<double>(lines));
        const std::string& host = hosts[r.below(hosts.size()) % (r.chance(30) ? 200 : hosts.size())];
        const std::size_t agent = pick(r, kAgentWeights);
        const std::size_t path = pick(r, kPathWeights);
        const char* method = r.chance(92) ? "GET" : (r.chance(80) ? "POST" : "HEAD");
        unsigned status = 200;
        const unsigned roll = static_cast<unsigned>(r.below(100));
        if (roll < 6) status = 304;
        else if (roll < 11) status = 404;
        else if (roll < 13) status = 301;
        else if (roll < 14) status = 403;
        else if (roll < 15) status = 500;
        if (path == 19 || path == 18) status = r.chance(50) ? 404 : 403;
        char bytes[24];
        if (status == 304 || (status == 200 && r.chance(2))) std::snprintf(bytes, sizeof bytes, "-");
        else
            std::snprintf(bytes, sizeof bytes, "%u",
                          static_cast<unsigned>(status == 200 ? 200 + r.below(60000) : 150 + r.below(400)));
        char line[1024];
        std::snprintf(line, sizeof line,
                      "%s - - [07/%s/2026:%02lld:%02lld:%02lld +0900] \"%s %s HTTP/1.1\" %u %s \"%s\" \"%s\"\n",
                      host.c_str(), kMonths[11], second / 3600, second / 60 % 60, second % 60, method, kPaths[path],
                      status, bytes, kReferrers[pick(r, kReferrerWeights)], kAgents[agent]);
        out += line;
        if (out.size() > (1 << 20) - 2048) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return 0;
}
