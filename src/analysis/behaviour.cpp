// Visitors, visits, pages and host detail: counting, merging the runs of lines in order, and the tables.
#include "analysis/behaviour.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/casefold.h"

namespace analysis {

namespace {

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

// ---- hosts ----

namespace {

std::uint16_t saturated(std::uint32_t n) { return static_cast<std::uint16_t>(std::min<std::uint32_t>(n, 0xffff)); }

}  // namespace

void Behaviour::Host::note(const LogTime& t) {
    if (!has(kTimed) || t.seconds < first) {
        first = t.seconds;
        firstOffset = static_cast<std::int16_t>(t.offset);
    }
    if (!has(kTimed) || t.seconds > last) {
        last = t.seconds;
        lastOffset = static_cast<std::int16_t>(t.offset);
    }
    marks |= kTimed;
}

void Behaviour::Host::addMinute(std::int64_t minute) {
    const bool several = has(kSeveralMinutes);
    if (headCount == 0) {
        headMinute = minute;
        headCount = 1;
    } else if (minute == (several ? tailMinute : headMinute)) {
        std::uint16_t& count = several ? tailCount : headCount;
        count = saturated(count + 1u);
    } else {
        if (several) closedMost = std::max(closedMost, tailCount);
        tailMinute = minute;
        tailCount = 1;
        marks |= kSeveralMinutes;
    }
}

void Behaviour::Host::followMinutes(const Host& later) {
    if (later.headCount == 0) return;
    const bool several = has(kSeveralMinutes), laterSeveral = later.has(kSeveralMinutes);
    if (headCount == 0) {
        headMinute = later.headMinute;
        tailMinute = later.tailMinute;
        headCount = later.headCount;
        tailCount = later.tailCount;
        closedMost = later.closedMost;
        marks = static_cast<std::uint8_t>((marks & ~kSeveralMinutes) | (later.marks & kSeveralMinutes));
        return;
    }
    closedMost = std::max(closedMost, later.closedMost);
    if ((several ? tailMinute : headMinute) == later.headMinute) {
        std::uint16_t& count = several ? tailCount : headCount;
        count = saturated(std::uint32_t(count) + later.headCount);
        if (!laterSeveral) return;
        if (several) closedMost = std::max(closedMost, tailCount);
        tailMinute = later.tailMinute;
        tailCount = later.tailCount;
    } else {
        if (several) closedMost = std::max(closedMost, tailCount);
        if (laterSeveral) closedMost = std::max(closedMost, later.headCount);
        tailMinute = laterSeveral ? later.tailMinute : later.headMinute;
        tailCount = laterSeveral ? later.tailCount : later.headCount;
    }
    marks |= kSeveralMinutes;
}

void Behaviour::Host::follow(const Host& later) {
    if (!later.has(kSeen)) return;
    marks |= later.marks & (kSeen | kRobotsTxt | kRobotWord);
    pages += later.pages;
    pagesWithReferrer += later.pagesWithReferrer;
    assets += later.assets;
    notFound += later.notFound;
    if (later.has(kTimed)) {
        if (!has(kTimed) || later.first < first) {
            first = later.first;
            firstOffset = later.firstOffset;
        }
        if (!has(kTimed) || later.last > last) {
            last = later.last;
            lastOffset = later.lastOffset;
        }
        marks |= kTimed;
    }
    followMinutes(later);
}

bool Behaviour::Host::robotLike() const {
    return has(kRobotsTxt) || has(kRobotWord) || (pages >= 20 && pagesWithReferrer == 0 && assets == 0) ||
           mostInAMinute() > 60;
}

// ---- counting ----

Behaviour::Behaviour()
    : tables_{RankCounts(false), RankCounts(true), RankCounts(true), RankCounts(false), RankCounts(false)} {}

std::uint32_t Behaviour::robotId(std::string_view entry) { return robotEntries_.tally(entry, 0, 0, &store_) + 1; }

std::string_view Behaviour::robotText(const Host& h) const {
    return h.robotEntry ? robotEntries_.rows()[h.robotEntry - 1].item : std::string_view{};
}

const LogTime& Behaviour::readTime(std::string_view f) {
    if (f == std::string_view(lastField_)) return lastTime_;
    // Mostly only the clock moved: the date and zone are read again only when they changed.
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
    return lastTime_;
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
    const std::uint32_t a = l.hasAgent && agent != kNone ? agent : kNoAgent;

    HostStep step;
    step.row = host;
    const LogTime& t = readTime(l.time);
    if (t.valid) {
        step.bits |= HostStep::kTimed;
        step.seconds = t.seconds;
        step.offset = static_cast<std::int16_t>(t.offset);
    }
    if (l.is404) step.bits |= HostStep::kNotFound;
    if (!l.isGet) {
        queueHost(step);
        return;
    }
    step.bits |= HostStep::kGet;
    if (l.getPath.size() == 11 && common::foldedEqual(l.getPath, "/robots.txt")) step.bits |= HostStep::kRobotsTxt;
    if (l.robot && !l.robotEntry.empty()) {
        // A robot's lines come in runs: the string met last is looked up once.
        if (l.robotEntry != lastRobot_) {
            lastRobotId_ = robotId(l.robotEntry);
            lastRobot_ = robotEntries_.rows()[lastRobotId_ - 1].item;
        }
        step.robotEntry = lastRobotId_;
    }
    const bool isPage = !asset;
    if (isPage) step.bits |= HostStep::kPage;
    if (l.hasReferrer) step.bits |= HostStep::kReferrer;
    visitors_.queue(host, a, l.robot, t.valid, t.seconds, isPage, page);
    // Each request of a visitor whose agent has a robot word marks its host (the first would do).
    if (a != kNoAgent) {
        if (a >= agentWords_.size()) agentWords_.resize(std::size_t(a) + 1, 0);
        std::uint8_t& word = agentWords_[a];
        if (word == 0) word = hasRobotWord(l.agent) ? 2 : 1;
        if (word == 2) step.bits |= HostStep::kRobotWord;
    }
    queueHost(step);
}

void Behaviour::queueHost(const HostStep& step) {
    if (hostStepCount_ == hostSteps_.size()) {
        countHost(hostSteps_[0], hostSteps_[0].row);
        hostSteps_[0] = hostSteps_[1];
        hostStepCount_ = 1;
    }
    if (step.row < hosts_.size()) __builtin_prefetch(&hosts_[step.row], 1);
    hostSteps_[hostStepCount_++] = step;
}

void Behaviour::flushHosts() {
    for (std::size_t i = 0; i < hostStepCount_; ++i) countHost(hostSteps_[i], hostSteps_[i].row);
    hostStepCount_ = 0;
}

void Behaviour::countHost(const HostStep& s, std::uint32_t row) {
    Host& h = hostAt(row);
    h.marks |= Host::kSeen;
    const bool timed = (s.bits & HostStep::kTimed) != 0;
    if (timed) h.note(LogTime{s.seconds, s.offset, true});
    if (s.bits & HostStep::kNotFound) ++h.notFound;
    if (!(s.bits & HostStep::kGet)) return;
    if (s.bits & HostStep::kRobotsTxt) h.marks |= Host::kRobotsTxt;
    if (h.robotEntry == 0) h.robotEntry = s.robotEntry;
    if (s.bits & HostStep::kPage) {
        ++h.pages;
        if (s.bits & HostStep::kReferrer) ++h.pagesWithReferrer;
        if (timed) h.addMinute(floorDiv(s.seconds, 60));
    } else {
        ++h.assets;
    }
    if (s.bits & HostStep::kRobotWord) h.marks |= Host::kRobotWord;
}

// ---- merging ----

void Behaviour::merge(const Behaviour& later, const Rankings& here, const Rankings& there) {
    // Rows of the later rankings' tables are where the rankings' merge put them.
    (void)there;
    auto mapper = [&here](RankTable t) { return [&here, t](std::uint32_t row) { return here.mergedRow(t, row); }; };
    auto hostRow = mapper(RankTable::Hosts);
    auto agentRow = mapper(RankTable::UserAgents);
    auto pageRow = mapper(RankTable::Pages);

    for (std::size_t r = 0; r < later.pageKinds_.size(); ++r) {
        if (later.pageKinds_[r] == 0) continue;
        const std::uint32_t m = pageRow(static_cast<std::uint32_t>(r));
        if (m >= pageKinds_.size()) pageKinds_.resize(std::size_t(m) + 1, 0);
        pageKinds_[m] = later.pageKinds_[r];
    }
    flushHosts();
    for (std::size_t r = 0; r < later.hosts_.size(); ++r) {
        const Host& from = later.hosts_[r];
        if (!from.has(Host::kSeen)) continue;
        Host& to = hostAt(hostRow(static_cast<std::uint32_t>(r)));
        to.follow(from);
        if (to.robotEntry == 0 && from.robotEntry != 0) to.robotEntry = robotId(later.robotText(from));
    }
    // Its lines still queued are its last ones.
    for (std::size_t i = 0; i < later.hostStepCount_; ++i) {
        HostStep step = later.hostSteps_[i];
        if (step.robotEntry != 0) step.robotEntry = robotId(later.robotEntries_.rows()[step.robotEntry - 1].item);
        countHost(step, hostRow(step.row));
    }
    visitors_.merge(later.visitors_, [&](int kind, std::uint32_t row) {
        if (kind == 0) return hostRow(row);
        if (kind == 1) return row == kNoAgent ? kNoAgent : agentRow(row);
        return pageRow(row);
    });
    const RankCounts& notFound = later.table(BehaviourTable::NotFoundFrom);
    for (const RankRow& row : notFound.rows())
        tables_[static_cast<std::size_t>(BehaviourTable::NotFoundFrom)].tally(row.item, row.hits, row.bytes, &store_);
}

// ---- the tables ----

namespace {

// Sorts the rows by hits descending, then host ascending: their order is sorted, and then each row
// moved once to its place, rather than the large rows moved about by the sort.
void sortByHits(HostDetails& rows) {
    std::vector<std::uint32_t> order(rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
    std::sort(order.begin(), order.end(), [&rows](std::uint32_t a, std::uint32_t b) {
        if (rows[a].hits != rows[b].hits) return rows[a].hits > rows[b].hits;
        return rows[a].host < rows[b].host;
    });
    // Row i takes the row order[i] held, along each cycle of the permutation.
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i] == i) continue;
        const HostDetail held = rows[i];
        for (std::size_t j = i;;) {
            const std::size_t k = order[j];
            order[j] = static_cast<std::uint32_t>(j);
            if (k == i) {
                rows[j] = held;
                break;
            }
            rows[j] = rows[k];
            j = k;
        }
    }
}

}  // namespace

void Behaviour::finish(const Rankings& rankings) {
    if (finished_) return;
    finished_ = true;
    flushHosts();
    visitors_.finish();
    summary_.count = visitors_.visitCount();
    summary_.pages = visitors_.visitPages();
    summary_.medianSeconds = visitors_.lengths().median();
    visitors_.lengths() = VisitLengths();

    auto tableRef = [this](BehaviourTable t) -> RankCounts& { return tables_[static_cast<std::size_t>(t)]; };
    const RankRows& hostRows = rankings.table(RankTable::Hosts).rows();
    const RankRows& agentRows = rankings.table(RankTable::UserAgents).rows();
    const RankRows& pageRows = rankings.table(RankTable::Pages).rows();
    std::vector<std::uint32_t> agentsOf(hosts_.size(), 0);
    std::vector<std::int64_t> robotLikeHits(agentRows.size(), 0);
    std::string item;
    tableRef(BehaviourTable::Visitors).reserve(visitors_.size());
    visitors_.drain([&](std::uint32_t host, std::uint32_t agentRow, std::int64_t hits, bool listed) {
        ++agentsOf[host];
        const std::string_view agent = agentRow == kNoAgent ? std::string_view("-") : agentRows[agentRow].item;
        // Each visitor is a row of its own: its host and agent make it.
        item.assign(hostRows[host].item).append(" ").append(agent);
        tableRef(BehaviourTable::Visitors).appendNew(store_.keep(item), hits, 0);
        if (agentRow != kNoAgent && !listed && hosts_[host].robotLike()) robotLikeHits[agentRow] += hits;
    });
    // Each table takes its room at once: a log where every page is new has a million rows here, and
    // growing by doubling would hold the old rows and twice as many at once.
    std::size_t rows = 0;
    for (std::int64_t hits : robotLikeHits) rows += hits > 0 ? 1 : 0;
    tableRef(BehaviourTable::RobotLikeAgents).reserve(rows);
    // In the order the agents were first seen, like the rankings' agents.
    for (std::size_t a = 0; a < robotLikeHits.size(); ++a)
        if (robotLikeHits[a] > 0)
            tableRef(BehaviourTable::RobotLikeAgents).appendNew(agentRows[a].item, robotLikeHits[a], 0);
    const std::size_t pages = std::min(pageKinds_.size(), pageRows.size());
    rows = 0;
    for (std::size_t r = 0; r < pages; ++r) rows += pageKinds_[r] == 1 ? 1 : 0;
    tableRef(BehaviourTable::PagesOnly).reserve(rows);
    for (std::size_t r = 0; r < pages; ++r)
        if (pageKinds_[r] == 1)
            tableRef(BehaviourTable::PagesOnly).appendNew(pageRows[r].item, pageRows[r].hits, pageRows[r].bytes);
    const std::vector<std::uint32_t>& entries = visitors_.entries();
    rows = 0;
    for (std::size_t r = 0; r < entries.size() && r < pageRows.size(); ++r) rows += entries[r] > 0 ? 1 : 0;
    tableRef(BehaviourTable::EntryPages).reserve(rows);
    for (std::size_t r = 0; r < entries.size() && r < pageRows.size(); ++r)
        if (entries[r] > 0) tableRef(BehaviourTable::EntryPages).appendNew(pageRows[r].item, entries[r], 0);

    makeHostDetail(hostRows, agentsOf);
}

void Behaviour::makeHostDetail(const RankRows& hostRows, const std::vector<std::uint32_t>& agentsOf) {
    std::size_t seen = 0;
    for (std::size_t r = 0; r < hosts_.size() && r < hostRows.size(); ++r) seen += hosts_[r].has(Host::kSeen);
    detail_.reserve(seen);
    // The hosts' records are of no more use once their rows are made: on a log of a million hosts
    // both would otherwise be held at once.
    for (std::size_t r = 0; r < hosts_.size() && r < hostRows.size(); ++r) {
        const Host& h = hosts_[r];
        if (h.has(Host::kSeen)) {
            const bool timed = h.has(Host::kTimed);
            detail_.push_back(HostDetail{hostRows[r].item, hostRows[r].hits, h.pages, hostRows[r].bytes, h.notFound,
                                         timed ? LogTime{h.first, h.firstOffset, true} : LogTime{},
                                         timed ? LogTime{h.last, h.lastOffset, true} : LogTime{}, agentsOf[r],
                                         h.has(Host::kRobotsTxt), h.robotLike(), robotText(h)});
        }
        hosts_.releaseAfterRow(r);
    }
    hosts_.clear();
    sortByHits(detail_);
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
