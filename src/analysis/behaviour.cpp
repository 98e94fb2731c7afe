// Visitors, visits, pages and host detail: counting, merging the runs of lines in order, and the tables.
#include "analysis/behaviour.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/casefold.h"

namespace analysis {

namespace {

constexpr std::uint32_t kNoAgent = HashSlots::kAbsent - 1;  // a line without the field (common log)

int digits(std::string_view s, std::size_t at, std::size_t n) {
    int v = 0;
    for (std::size_t i = at; i < at + n; ++i) {
        if (s[i] < '0' || s[i] > '9') return -1;
        v = v * 10 + (s[i] - '0');
    }
    return v;
}

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

std::uint32_t pairHash(std::uint32_t a, std::uint32_t b) {
    std::uint64_t h = (static_cast<std::uint64_t>(a) << 32 | b) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

constexpr std::string_view kRobotWords[] = {"bot", "crawl", "spider", "slurp", "archiver"};

bool tokenChar(char c) {
    return c != ' ' && c != ';' && c != '(' && c != ')' && c != ',' && c != '/' && c != '+' && c != '"';
}

}  // namespace

LogTime parseLogTime(std::string_view f) {
    static constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
    LogTime t;
    if (f.size() < 28 || f[0] != '[' || f[3] != '/' || f[7] != '/' || f[12] != ':' || f[15] != ':' || f[18] != ':' ||
        f[21] != ' ' || (f[22] != '+' && f[22] != '-') || f[27] != ']')
        return t;
    std::size_t month = std::string_view::npos;
    for (std::size_t m = 0; m < 36; m += 3)
        if (kMonths[m] == f[4] && kMonths[m + 1] == f[5] && kMonths[m + 2] == f[6]) month = m;
    const int day = digits(f, 1, 2), year = digits(f, 8, 4), hour = digits(f, 13, 2), minute = digits(f, 16, 2),
              second = digits(f, 19, 2), zh = digits(f, 23, 2), zm = digits(f, 25, 2);
    if (month == std::string_view::npos || month % 3 != 0 || day < 1 || day > 31 || year < 0 || hour < 0 || hour > 23 ||
        minute < 0 || minute > 59 || second < 0 || second > 60 || zh < 0 || zm < 0 || zm > 59)
        return t;
    t.offset = (f[22] == '-' ? -1 : 1) * (zh * 60 + zm);
    t.seconds = daysFromCivil(year, static_cast<unsigned>(month / 3 + 1), static_cast<unsigned>(day)) * 86400 +
                hour * 3600 + minute * 60 + second - std::int64_t(t.offset) * 60;
    t.valid = true;
    return t;
}

std::string isoTime(const LogTime& t) {
    if (!t.valid) return {};
    const std::int64_t local = t.seconds + std::int64_t(t.offset) * 60;
    std::int64_t z = floorDiv(local, 86400) + 719468;
    const std::int64_t secs = local - floorDiv(local, 86400) * 86400;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2);
    const int off = t.offset < 0 ? -t.offset : t.offset;
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02d%c%02d:%02d", static_cast<long long>(y), m, d,
                  static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60), static_cast<int>(secs % 60),
                  t.offset < 0 ? '-' : '+', off / 60 % 100, off % 60);
    return buf;
}

bool hasRobotWord(std::string_view agent) {
    // The words are ASCII: "| 0x20" folds exactly the capital letters onto them, and no other byte.
    for (std::size_t i = 0; i < agent.size(); ++i) {
        const char c = static_cast<char>(agent[i] | 0x20);
        for (std::string_view w : kRobotWords) {
            if (c != w[0] || agent.size() - i < w.size()) continue;
            std::size_t k = 1;
            while (k < w.size() && static_cast<char>(agent[i + k] | 0x20) == w[k]) ++k;
            if (k == w.size()) return true;
        }
    }
    return false;
}

std::string robotToken(std::string_view agent) {
    const std::string folded = common::foldCase(agent);
    std::size_t at = std::string::npos;
    for (std::string_view w : kRobotWords) at = std::min(at, folded.find(w));
    if (at != std::string::npos) {
        std::size_t b = at, e = at;
        while (b > 0 && tokenChar(agent[b - 1])) --b;
        while (e < agent.size() && tokenChar(agent[e])) ++e;
        return std::string(agent.substr(b, e - b));
    }
    // No robot word: the first product name that is not the browsers' common "Mozilla".
    for (std::size_t b = 0; b < agent.size();) {
        while (b < agent.size() && !tokenChar(agent[b])) ++b;
        std::size_t e = b;
        while (e < agent.size() && tokenChar(agent[e])) ++e;
        const std::string_view token = agent.substr(b, e - b);
        if (!token.empty() && token != "Mozilla" && token != "compatible" && token != "-" &&
            !(token[0] >= '0' && token[0] <= '9'))
            return std::string(token);
        b = e;
    }
    return {};
}

const std::vector<std::string>& defaultAssetSuffixes() {
    static const std::vector<std::string> suffixes = {".css", ".js",  ".png",  ".jpg",  ".jpeg",  ".gif",
                                                      ".ico", ".svg", ".webp", ".woff", ".woff2", ".map"};
    return suffixes;
}

bool isAssetPath(std::string_view path, const std::vector<std::string>& suffixes) {
    path = path.substr(0, path.find_first_of("?#"));
    for (const std::string& s : suffixes) {
        if (s.empty() || s.size() > path.size()) continue;
        if (common::foldedEqual(path.substr(path.size() - s.size()), s)) return true;
    }
    return false;
}

bool excludedHost(std::string_view host, const std::vector<std::string>& entries) {
    for (const std::string& e : entries) {
        if (e.empty()) continue;
        if (common::foldedEqual(host, e)) return true;
        if (e.size() < host.size()) {
            if ((e.back() == '.' || e.back() == ':') && common::foldedEqual(host.substr(0, e.size()), e)) return true;
            if (e.front() == '.' && common::foldedEqual(host.substr(host.size() - e.size()), e)) return true;
        }
    }
    return false;
}

// ---- runs of page requests in one minute ----

void Behaviour::MinuteRuns::add(std::int64_t minute) {
    if (headCount == 0) {
        headMinute = minute;
        headCount = 1;
    } else if (minute == (several ? tailMinute : headMinute)) {
        ++(several ? tailCount : headCount);
    } else {
        if (several) closedMost = std::max(closedMost, tailCount);
        tailMinute = minute;
        tailCount = 1;
        several = true;
    }
}

void Behaviour::MinuteRuns::follow(const MinuteRuns& later) {
    if (later.headCount == 0) return;
    if (headCount == 0) {
        *this = later;
        return;
    }
    closedMost = std::max(closedMost, later.closedMost);
    if ((several ? tailMinute : headMinute) == later.headMinute) {
        (several ? tailCount : headCount) += later.headCount;
        if (!later.several) return;
        if (several) closedMost = std::max(closedMost, tailCount);
        tailMinute = later.tailMinute;
        tailCount = later.tailCount;
    } else {
        if (several) closedMost = std::max(closedMost, tailCount);
        if (later.several) closedMost = std::max(closedMost, later.headCount);
        tailMinute = later.several ? later.tailMinute : later.headMinute;
        tailCount = later.several ? later.tailCount : later.headCount;
    }
    several = true;
}

// ---- hosts ----

void Behaviour::Host::follow(const Host& later) {
    if (!later.seen) return;
    seen = true;
    robotsTxt = robotsTxt || later.robotsTxt;
    robotWord = robotWord || later.robotWord;
    pages += later.pages;
    pagesWithReferrer += later.pagesWithReferrer;
    assets += later.assets;
    notFound += later.notFound;
    if (later.first.valid && (!first.valid || later.first.seconds < first.seconds)) first = later.first;
    if (later.last.valid && (!last.valid || later.last.seconds > last.seconds)) last = later.last;
    minutes.follow(later.minutes);
}

bool Behaviour::Host::robotLike() const {
    return robotsTxt || robotWord || (pages >= 20 && pagesWithReferrer == 0 && assets == 0) || minutes.most() > 60;
}

// ---- counting ----

Behaviour::Behaviour()
    : tables_{RankCounts(false), RankCounts(true), RankCounts(true), RankCounts(false), RankCounts(false)} {}

Behaviour::Host& Behaviour::hostAt(std::uint32_t row) {
    if (row >= hosts_.size()) hosts_.resize(std::size_t(row) + 1);
    return hosts_[row];
}

std::uint32_t Behaviour::visitorOf(std::uint32_t host, std::uint32_t agent) {
    const std::uint32_t h = pairHash(host, agent);
    const HashSlots::Found f = visitorSlots_.find(
        h, [&](std::uint32_t i) { return visitors_[i].host == host && visitors_[i].agent == agent; });
    if (f.index != HashSlots::kAbsent) return f.index;
    visitors_.push_back(Visitor{host, agent, 0, false, false, false, 0, 0, {}, {}});
    const auto index = static_cast<std::uint32_t>(visitors_.size() - 1);
    visitorSlots_.put(f.slot, h, index);
    return index;
}

void Behaviour::addLine(const RankedLine& l, std::uint32_t host, std::uint32_t page, std::uint32_t agent) {
    // Every path of a page row is an asset or none is (the test ignores letter case and the query),
    // so the test is made once per row.
    bool asset = false;
    if (l.isGet && page != kNone) {
        if (page >= pageKinds_.size()) pageKinds_.resize(std::size_t(page) + 1, 0);
        std::uint8_t& kind = pageKinds_[page];
        if (kind == 0)
            kind = isAssetPath(l.getPath, l.assetSuffixes ? *l.assetSuffixes : defaultAssetSuffixes()) ? 2 : 1;
        asset = kind == 2;
    }
    if (l.is404 && l.hasReferrer) {
        scratch_.assign("[").append(l.referrer).append("] ").append(l.requestPath);
        tables_[static_cast<std::size_t>(BehaviourTable::NotFoundFrom)].tally(scratch_, 1, 0, &store_);
    }
    if (l.excluded || host == kNone) return;

    Host& h = hostAt(host);
    h.seen = true;
    if (l.time != std::string_view(lastField_)) {
        // Mostly only the clock moved: the date and zone are read again only when they changed.
        const std::string_view f = l.time;
        const bool sameDay = lastTime_.valid && f.size() == 28 && lastField_.size() == 28 &&
                             std::memcmp(f.data(), lastField_.data(), 13) == 0 &&
                             std::memcmp(f.data() + 21, lastField_.data() + 21, 7) == 0;
        const int hour = sameDay ? (f[13] - '0') * 10 + (f[14] - '0') : -1;
        const int minute = sameDay ? (f[16] - '0') * 10 + (f[17] - '0') : -1;
        const int second = sameDay ? (f[19] - '0') * 10 + (f[20] - '0') : -1;
        const auto digit = [](char c) { return c >= '0' && c <= '9'; };
        if (sameDay && f[15] == ':' && f[18] == ':' && digit(f[13]) && digit(f[14]) && digit(f[16]) && digit(f[17]) &&
            digit(f[19]) && digit(f[20]) && hour <= 23 && minute <= 59 && second <= 60) {
            const int old = ((lastField_[13] - '0') * 10 + (lastField_[14] - '0')) * 3600 +
                            ((lastField_[16] - '0') * 10 + (lastField_[17] - '0')) * 60 + (lastField_[19] - '0') * 10 +
                            (lastField_[20] - '0');
            lastTime_.seconds += hour * 3600 + minute * 60 + second - old;
        } else {
            lastTime_ = parseLogTime(f);
        }
        lastField_.assign(f);
    }
    const LogTime& t = lastTime_;
    if (t.valid) {
        if (!h.first.valid || t.seconds < h.first.seconds) h.first = t;
        if (!h.last.valid || t.seconds > h.last.seconds) h.last = t;
    }
    if (l.is404) ++h.notFound;
    if (!l.isGet) return;
    if (l.getPath.size() == 11 && common::foldedEqual(l.getPath, "/robots.txt")) h.robotsTxt = true;
    if (l.robot && h.robotEntry.empty()) h.robotEntry = store_.keep(l.robotEntry);
    const bool isPage = !asset;
    if (isPage) {
        ++h.pages;
        if (l.hasReferrer) ++h.pagesWithReferrer;
        if (t.valid) h.minutes.add(floorDiv(t.seconds, 60));
    } else {
        ++h.assets;
    }

    const std::uint32_t a = l.hasAgent && agent != kNone ? agent : kNoAgent;
    const std::size_t before = visitors_.size();
    Visitor& v = visitors_[visitorOf(host, a)];
    if (visitors_.size() > before && a != kNoAgent) {
        if (a >= agentWords_.size()) agentWords_.resize(std::size_t(a) + 1, 0);
        std::uint8_t& word = agentWords_[a];
        if (word == 0) word = hasRobotWord(l.agent) ? 2 : 1;
        if (word == 2) h.robotWord = true;
    }
    ++v.hits;
    if (l.robot) v.listed = true;
    if (!t.valid) return;
    if (!v.timed) {
        v.timed = true;
        v.firstTime = t.seconds;
        v.head = Visit{t.seconds, t.seconds, 0, kNone};
    } else if (std::llabs(t.seconds - v.lastTime) >= kVisitGap) {
        if (v.several) close(v.tail);
        v.tail = Visit{t.seconds, t.seconds, 0, kNone};
        v.several = true;
    }
    Visit& cur = v.several ? v.tail : v.head;
    cur.low = std::min(cur.low, t.seconds);
    cur.high = std::max(cur.high, t.seconds);
    if (isPage) {
        ++cur.pages;
        if (cur.entry == kNone) cur.entry = page;
    }
    v.lastTime = t.seconds;
}

void Behaviour::close(const Visit& v) {
    ++visitCount_;
    visitPages_ += v.pages;
    lengths_.push_back(static_cast<std::uint32_t>(std::min<std::int64_t>(v.high - v.low, 0xffffffffll)));
    if (v.entry != kNone) {
        if (v.entry >= entries_.size()) entries_.resize(std::size_t(v.entry) + 1, 0);
        ++entries_[v.entry];
    }
}

// ---- merging ----

void Behaviour::follow(Visitor& v, const Visitor& b) {
    v.hits += b.hits;
    v.listed = v.listed || b.listed;
    if (!b.timed) return;
    if (!v.timed) {
        v.timed = true;
        v.several = b.several;
        v.firstTime = b.firstTime;
        v.lastTime = b.lastTime;
        v.head = b.head;
        v.tail = b.tail;
        return;
    }
    Visit& last = v.several ? v.tail : v.head;
    if (std::llabs(b.firstTime - v.lastTime) < kVisitGap) {
        last.low = std::min(last.low, b.head.low);
        last.high = std::max(last.high, b.head.high);
        last.pages += b.head.pages;
        if (last.entry == kNone) last.entry = b.head.entry;
        if (b.several) {
            if (v.several) close(v.tail);
            v.tail = b.tail;
        }
    } else {
        if (v.several) close(v.tail);
        if (b.several) close(b.head);
        v.tail = b.several ? b.tail : b.head;
    }
    v.several = v.several || b.several || std::llabs(b.firstTime - v.lastTime) >= kVisitGap;
    v.lastTime = b.lastTime;
}

void Behaviour::merge(const Behaviour& later, const Rankings& here, const Rankings& there) {
    // Rows of the later rankings' tables are where the rankings' merge put them.
    (void)there;
    auto mapper = [&here](RankTable t) { return [&here, t](std::uint32_t row) { return here.mergedRow(t, row); }; };
    auto hostRow = mapper(RankTable::Hosts);
    auto agentRow = mapper(RankTable::UserAgents);
    auto pageRow = mapper(RankTable::Pages);
    auto entryRow = [&](std::uint32_t row) { return row == kNone ? kNone : pageRow(row); };

    for (std::size_t r = 0; r < later.pageKinds_.size(); ++r) {
        if (later.pageKinds_[r] == 0) continue;
        const std::uint32_t m = pageRow(static_cast<std::uint32_t>(r));
        if (m >= pageKinds_.size()) pageKinds_.resize(std::size_t(m) + 1, 0);
        pageKinds_[m] = later.pageKinds_[r];
    }
    visitCount_ += later.visitCount_;
    visitPages_ += later.visitPages_;
    lengths_.insert(lengths_.end(), later.lengths_.begin(), later.lengths_.end());
    for (std::size_t r = 0; r < later.entries_.size(); ++r) {
        if (later.entries_[r] == 0) continue;
        const std::uint32_t m = pageRow(static_cast<std::uint32_t>(r));
        if (m >= entries_.size()) entries_.resize(std::size_t(m) + 1, 0);
        entries_[m] += later.entries_[r];
    }
    for (std::size_t r = 0; r < later.hosts_.size(); ++r) {
        const Host& from = later.hosts_[r];
        if (!from.seen) continue;
        Host& to = hostAt(hostRow(static_cast<std::uint32_t>(r)));
        to.follow(from);
        if (to.robotEntry.empty() && !from.robotEntry.empty()) to.robotEntry = store_.keep(from.robotEntry);
    }
    for (const Visitor& from : later.visitors_) {
        Visitor b = from;
        b.head.entry = entryRow(b.head.entry);
        b.tail.entry = entryRow(b.tail.entry);
        const std::uint32_t host = hostRow(from.host);
        const std::uint32_t agent = from.agent == kNoAgent ? kNoAgent : agentRow(from.agent);
        follow(visitors_[visitorOf(host, agent)], b);
    }
    const RankCounts& notFound = later.table(BehaviourTable::NotFoundFrom);
    for (const RankRow& row : notFound.rows())
        tables_[static_cast<std::size_t>(BehaviourTable::NotFoundFrom)].tally(row.item, row.hits, row.bytes, &store_);
}

// ---- the tables ----

void Behaviour::finish(const Rankings& rankings) {
    if (finished_) return;
    finished_ = true;
    for (const Visitor& v : visitors_) {
        if (!v.timed) continue;
        close(v.head);
        if (v.several) close(v.tail);
    }
    summary_.count = visitCount_;
    summary_.pages = visitPages_;
    if (!lengths_.empty()) {
        const std::size_t mid = lengths_.size() / 2;
        std::nth_element(lengths_.begin(), lengths_.begin() + static_cast<std::ptrdiff_t>(mid), lengths_.end());
        std::int64_t median = lengths_[mid];
        if (lengths_.size() % 2 == 0) {
            const std::uint32_t below = *std::max_element(lengths_.begin(),
                                                          lengths_.begin() + static_cast<std::ptrdiff_t>(mid));
            median = (median + below) / 2;
        }
        summary_.medianSeconds = median;
    }

    auto tableRef = [this](BehaviourTable t) -> RankCounts& { return tables_[static_cast<std::size_t>(t)]; };
    const std::vector<RankRow>& hostRows = rankings.table(RankTable::Hosts).rows();
    const std::vector<RankRow>& agentRows = rankings.table(RankTable::UserAgents).rows();
    const std::vector<RankRow>& pageRows = rankings.table(RankTable::Pages).rows();
    std::vector<std::int64_t> agentsOf(hosts_.size(), 0);
    std::vector<std::int64_t> robotLikeHits(agentRows.size(), 0);
    std::string item;
    for (const Visitor& v : visitors_) {
        ++agentsOf[v.host];
        const std::string_view agent = v.agent == kNoAgent ? std::string_view("-") : agentRows[v.agent].item;
        // Each visitor is a row of its own: its host and agent make it.
        item.assign(hostRows[v.host].item).append(" ").append(agent);
        tableRef(BehaviourTable::Visitors).appendNew(store_.keep(item), v.hits, 0);
        if (v.agent != kNoAgent && !v.listed && hosts_[v.host].robotLike()) robotLikeHits[v.agent] += v.hits;
    }
    // In the order the agents were first seen, like the rankings' agents.
    for (std::size_t a = 0; a < robotLikeHits.size(); ++a)
        if (robotLikeHits[a] > 0)
            tableRef(BehaviourTable::RobotLikeAgents).appendNew(agentRows[a].item, robotLikeHits[a], 0);
    for (std::size_t r = 0; r < pageKinds_.size() && r < pageRows.size(); ++r)
        if (pageKinds_[r] == 1)
            tableRef(BehaviourTable::PagesOnly).appendNew(pageRows[r].item, pageRows[r].hits, pageRows[r].bytes);
    for (std::size_t r = 0; r < entries_.size() && r < pageRows.size(); ++r)
        if (entries_[r] > 0) tableRef(BehaviourTable::EntryPages).appendNew(pageRows[r].item, entries_[r], 0);

    for (std::size_t r = 0; r < hosts_.size() && r < hostRows.size(); ++r) {
        const Host& h = hosts_[r];
        if (!h.seen) continue;
        detail_.push_back(HostDetail{hostRows[r].item, hostRows[r].hits, h.pages, hostRows[r].bytes, h.notFound,
                                     h.first, h.last, agentsOf[r], h.robotsTxt, h.robotEntry, h.robotLike()});
    }
    std::sort(detail_.begin(), detail_.end(), [](const HostDetail& a, const HostDetail& b) {
        if (a.hits != b.hits) return a.hits > b.hits;
        return a.host < b.host;
    });
}

std::vector<RankRow> Behaviour::sorted(BehaviourTable t, std::size_t limit) const {
    return sortedRows(table(t), limit);
}

std::vector<ShownTable> shownTables(const Rankings& rankings) {
    std::vector<ShownTable> shown;
    for (std::size_t i = 0; i < kRankTableCount; ++i) {
        const RankTable t = rankTable(i);
        if (!rankings.shows(t)) continue;
        shown.push_back({kRankTableNames[i], kRankTableCaptions[i], &rankings.table(t), hasBytes(t), isUrlTable(t), t});
    }
    const Behaviour& b = rankings.behaviour();
    for (std::size_t i = 0; i < kBehaviourTableCount; ++i) {
        const auto t = static_cast<BehaviourTable>(i);
        shown.push_back({kBehaviourTableNames[i], kBehaviourTableCaptions[i], &b.table(t), Behaviour::hasBytes(t),
                         Behaviour::isUrlTable(t), std::nullopt});
    }
    return shown;
}

}  // namespace analysis
