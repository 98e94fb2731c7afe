#include "analysis/loglayout.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "analysis/logcounting.h"
#include "analysis/logfile.h"
#include "analysis/logline.h"
#include "common/apperror.h"
#include "common/fileio.h"

using namespace analysis;
using common::StringList;
using testing::ElementsAre;

namespace {

std::string sample(const std::string& name) {
    return common::readWholeFile(MUNYARO_SOURCE_DIR "/tests/data/formats/" + name);
}

// The log read by the layout given, or by the one told from its lines; counted on `threads` threads.
struct Read {
    explicit Read(const std::string& text, std::optional<LogLayout> layout = std::nullopt, bool skip = false,
                  unsigned threads = 1, const ReferenceLists& lists = {{}, {}, {}}) {
        auto log = logFromBytes(text, "log");
        log->setLayout(layout ? *layout : detectLayout(*log));
        tally = std::make_unique<LogTally>(log);
        countLines(*tally, lists, nullptr, threads, skip);
    }
    std::string format() const { return tally->logLines->layout().name(); }
    std::unique_ptr<LogTally> tally;
};

StringList lines(const std::shared_ptr<EntryList>& l) { return toStringList(*l); }

// Everything the pass took from the lines' fields, which a layout must leave as the plain copy has it.
void expectSameFields(const LogTally& a, const LogTally& b) {
    for (const auto& [name, counter] : kCounters) EXPECT_EQ(a.*counter, b.*counter) << name;
    EXPECT_EQ(a.hourConnections, b.hourConnections);
    EXPECT_EQ(a.bytesSent, b.bytesSent);
    for (auto list :
         {&LogTally::connectionLines, &LogTally::host403Lines, &LogTally::host404Lines, &LogTally::file403Lines,
          &LogTally::file404Lines, &LogTally::post403Lines, &LogTally::post404Lines, &LogTally::getExtract,
          &LogTally::postExtract, &LogTally::referrerLog, &LogTally::referrerList, &LogTally::robotsLog})
        EXPECT_EQ(lines(a.*list), lines(b.*list));
    EXPECT_EQ(lines(a.hosts.entries()), lines(b.hosts.entries()));
    for (RankTable t :
         {RankTable::Hosts, RankTable::UserAgents, RankTable::Referrers, RankTable::SearchWords, RankTable::Statuses}) {
        const auto ra = a.rankings->sorted(t), rb = b.rankings->sorted(t);
        ASSERT_EQ(ra.size(), rb.size());
        for (std::size_t i = 0; i < ra.size(); ++i) {
            EXPECT_EQ(ra[i].item, rb[i].item);
            EXPECT_EQ(ra[i].hits, rb[i].hits);
        }
    }
}

LogLayout::Cut cutBy(const char* layout, std::string_view line) { return layoutNamed(layout)->cut(line); }

}  // namespace

// The samples hold the same six requests as combined.log, written as each kind of host writes them.
// Counted by hand there: 4 hosts, 3 GET lines with a referrer, 812 bytes in GET 200 lines.
TEST(LogLayout, HostsLayoutsGiveTheVisitorsFieldsOfThePlainCopy) {
    const Read plain(sample("combined.log"));
    ASSERT_EQ(plain.format(), "combined");
    EXPECT_EQ(plain.tally->hostCount, 4);
    EXPECT_EQ(plain.tally->referrerLog->size(), 3u);
    EXPECT_EQ(plain.tally->bytesSent, 812);
    for (const auto& [file, format] :
         std::vector<std::pair<std::string, std::string>>{{"vhost.log", "vhost-combined"},
                                                          {"vhost-port.log", "vhost-combined"},
                                                          {"trailing-dash.log", "combined-extra"},
                                                          {"forwarded-list.log", "combined-extra"},
                                                          {"duration.log", "combined-extra"},
                                                          {"two-trailing.log", "combined-extra"},
                                                          {"escaped-trailing.log", "combined-extra"},
                                                          {"nginx-main.log", "combined-extra"}}) {
        SCOPED_TRACE(file);
        const Read read(sample(file));
        EXPECT_EQ(read.format(), format);
        expectSameFields(*read.tally, *plain.tally);
    }
}

TEST(LogLayout, WholeLinePanesShowTheLineAsInTheFile) {
    const ReferenceLists watch{{"203.0.113.5"}, {}, {}};
    const std::string text = sample("vhost.log");
    const Read read(text, std::nullopt, false, 1, watch);
    const StringList file = common::splitLines(text);
    EXPECT_THAT(lines(read.tally->watchedLines), ElementsAre(file[0], file[2]));
    EXPECT_EQ(lines(read.tally->connectionLines)[0], "[08/Dec/2026:10:00:00 +0900] 203.0.113.5 /");
}

TEST(LogLayout, VirtualHostsAreRankedOnlyWhereTheLogHasThem) {
    const Read vhost(sample("vhost-port.log"));
    const auto rows = vhost.tally->rankings->sorted(RankTable::VirtualHosts);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].item, "www.example.jp");  // the port is not part of the site's name
    EXPECT_EQ(rows[0].hits, 4);
    EXPECT_EQ(rows[0].bytes, 612);
    EXPECT_EQ(rows[1].item, "blog.example.jp");
    EXPECT_EQ(rows[1].hits, 2);
    EXPECT_EQ(rows[1].bytes, 200);  // a POST sends no counted bytes
    EXPECT_TRUE(vhost.tally->rankings->shows(RankTable::VirtualHosts));
    EXPECT_FALSE(Read(sample("combined.log")).tally->rankings->shows(RankTable::VirtualHosts));
}

TEST(LogLayout, ForwardedClientIsTheHostOnlyWhenAskedFor) {
    const std::string text = sample("forwarded-list.log");
    EXPECT_EQ(Read(text).tally->hostCount, 4);
    LogLayout forwarded = *layoutNamed("combined-extra");
    forwarded.clientFromForwarded = true;
    const Read read(text, forwarded);
    // "-" and "unknown" are no addresses: those lines keep their own client.
    EXPECT_THAT(lines(read.tally->hosts.entries()),
                ElementsAre("192.0.2.10", "192.0.2.11", "198.51.100.7", "203.0.113.6"));
    EXPECT_EQ(lines(read.tally->connectionLines)[1], "[08/Dec/2026:10:01:00 +0900] 192.0.2.11 /a.html");
}

TEST(LogLayout, CommonLogHasNoReferrersOrAgentsToList) {
    const Read common(sample("common.log"));
    EXPECT_EQ(common.format(), "common");
    EXPECT_EQ(common.tally->hostCount, 4);
    EXPECT_EQ(common.tally->bytesSent, 812);
    // Read whole, each GET line would list an empty referrer and a piece of its request as its agent.
    EXPECT_EQ(common.tally->referrerLog->size(), 0u);
    EXPECT_EQ(common.tally->rankings->table(RankTable::UserAgents).size(), 0u);
    EXPECT_THAT(lines(common.tally->robotsLog), ElementsAre("198.51.100.7 [08/Dec/2026:11:00:00 +0900] "));
    EXPECT_EQ(Read(sample("common.log"), LogLayout{}).tally->referrerLog->size(), 5u);
    const LogLayout commonLayout{false, true, false};
    EXPECT_THAT(commonLayout.description(), testing::StartsWith("common"));
    // Several layouts in one log: none has 95 % of the lines, so the lines are read as they stand.
    EXPECT_EQ(Read(sample("mixed.log")).format(), "combined");
}

TEST(LogLayout, DetectionNeedsClearAgreement) {
    auto detect = [](StringList l) { return detectLayout(OwnedLines(std::move(l))).name(); };
    const std::string rest = " - - [08/Dec/2026:10:00:00 +0900] \"GET / HTTP/1.1\" 200 5 \"-\" \"UA\"";
    // Host names as clients, a user with blanks, an IPv6 client: all plain combined.
    EXPECT_EQ(detect({"crawl-66-249-66-1.googlebot.com" + rest, "a.example.net" + rest}), "combined");
    const std::string user =
        "203.0.113.5 - John Smith [08/Dec/2026:10:00:00 +0900] \"GET / HTTP/1.1\" 200 5 \"-\" \"UA\"";
    EXPECT_EQ(detect({user, user, user}), "combined");
    EXPECT_EQ(cutBy("vhost-combined", user).host, "203.0.113.5");
    EXPECT_EQ(detect({"2001:db8::1" + rest, "::1" + rest}), "combined");
    EXPECT_EQ(detect({"www.example.jp 2001:db8::1" + rest}), "vhost-combined");
    EXPECT_EQ(cutBy("vhost-combined", "www.example.jp 2001:db8::1" + rest).host, "2001:db8::1");
    // Three lines must all agree; blank lines do not count; nothing gives combined.
    const std::string vhost = "www.example.jp 203.0.113.5" + rest;
    EXPECT_EQ(detect({vhost, "", vhost, "  ", vhost}), "vhost-combined");
    EXPECT_EQ(detect({vhost, vhost, "203.0.113.5" + rest}), "combined");
    EXPECT_EQ(detect({}), "combined");
    EXPECT_EQ(detect({"# a comment"}), "combined");
}

TEST(LogLayout, FirstThousandLinesDecideAndLaterLinesAreReadAsTheyStand) {
    std::string text;
    const std::string req = "203.0.113.5 - - [08/Dec/2026:10:00:00 +0900] \"GET /a HTTP/1.1\" 200 5";
    for (int i = 0; i < 1000; ++i) text += req + "\n";
    text += req + " \"http://ref.example/\" \"UA\"\n";
    const Read read(text);
    EXPECT_EQ(read.format(), "common");
    EXPECT_EQ(lines(read.tally->referrerLog).back(), "[08/Dec/2026:10:00:00 +0900] [http://ref.example/] /a");
}

TEST(LogLayout, CoreEndsAtTheAgentsOwnClosingQuote) {
    const std::string line = "1.2.3.4 - - [08/Dec/2026:10:00:00 +0900] \"GET /x HTTP/1.1\" 200 5 \"-\" \"A \\\"b\\\" "
                             "c\" \"d \\\"-\\\" e\" 7";
    EXPECT_EQ(cutBy("combined-extra", line).core, line.substr(0, line.find(" \"d ")));
    // A line that does not fit is its own core; the plain layout never cuts.
    EXPECT_EQ(cutBy("combined-extra", "garbage \"-\"").core, "garbage \"-\"");
    EXPECT_EQ(cutBy("combined", line).core, line);
    // A virtual host is left out even where the rest of the line is cut off.
    const std::string cutOff =
        "www.example.jp 1.2.3.4 - - [08/Dec/2026:10:00:00 +0900] \"GET /x HTTP/1.1\" 200 5 \"-\" \"Moz";
    EXPECT_EQ(cutBy("vhost-combined", cutOff).host, "1.2.3.4");
    EXPECT_EQ(cutBy("vhost-combined", cutOff).virtualHost, "www.example.jp");
}

TEST(LogLayout, NamesRoundTripAndUnknownNamesAreRefused) {
    for (const char* name : {"combined", "common", "vhost-combined", "vhost-common", "combined-extra", "common-extra",
                             "vhost-combined-extra", "vhost-common-extra"})
        EXPECT_EQ(layoutNamed(name)->name(), name);
    EXPECT_EQ(layoutNamed("vhost")->name(), "vhost-combined");
    EXPECT_FALSE(layoutNamed("nginx"));
    EXPECT_FALSE(layoutNamed(""));
}

// Lines 1 and 4 of the file are blank, line 3 has no hour, line 5 a byte count that is no number.
TEST(SkipBadLines, UnreadableLinesAreCountedAndListedWithTheirNumbers) {
    const std::string good = "1.2.3.4 - - [08/Dec/2026:10:00:00 +0900] \"GET / HTTP/1.1\" 200 5 \"-\" \"UA\"";
    const std::string badHour = "1.2.3.4 - - [08/Dec/2026:xx:00:00 +0900] \"GET / HTTP/1.1\" 200 5 \"-\" \"UA\"";
    const std::string badBytes = "1.2.3.4 - - [08/Dec/2026:10:00:00 +0900] \"GET / HTTP/1.1\" 200 abc \"-\" \"UA\"";
    const std::string text = "\n" + good + "\n" + badHour + "\n\n" + badBytes + "\n" + good + "\n";
    const Read read(text, std::nullopt, true);
    EXPECT_EQ(read.tally->lineCount, 2);
    EXPECT_EQ(read.tally->getExtract->size(), 2u);
    const SkippedLines skipped(read.tally->logLines, read.tally->skippedLines);
    EXPECT_THAT(toStringList(skipped), ElementsAre("3: " + badHour, "5: " + badBytes));
    EXPECT_THROW(Read(text, std::nullopt, false), common::AppError);
}

TEST(SkipBadLines, ChunksOnThreadsLeaveOutTheSameLines) {
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "1.2.3." + std::to_string(i % 200) + " - - [08/Dec/2026:1" + (i % 97 == 5 ? "x" : "0") +
                ":00:00 +0900] \"GET /p" + std::to_string(i % 13) + " HTTP/1.1\" 200 5 \"-\" \"UA\"\n";
    const Read one(text, std::nullopt, true, 1), four(text, std::nullopt, true, 4);
    EXPECT_EQ(one.tally->skippedLines.size(), 31u);  // i % 97 == 5 for i below 3000
    EXPECT_EQ(four.tally->skippedLines, one.tally->skippedLines);
    expectSameFields(*four.tally, *one.tally);
}

// The real logs are combined; a vhost or trailing copy of them is read as the original.
TEST(LogLayout, RealLogsAreCombinedAndTheirHostsCopiesReadTheSame) {
    const std::string text = common::readWholeFile(MUNYARO_REAL_DATA "/hackers-home.log.gz");
    const Read plain(text);
    ASSERT_EQ(plain.format(), "combined");
    const std::string log(plain.tally->logLines->buffer());
    std::string vhost, trailing;
    for (const std::string& line : common::splitLines(log)) {
        vhost += "howto.basjes.nl:443 " + line + "\n";
        trailing += line + " \"-\" 1234\n";
    }
    const Read v(vhost), t(trailing);
    EXPECT_EQ(v.format(), "vhost-combined");
    EXPECT_EQ(t.format(), "combined-extra");
    expectSameFields(*v.tally, *plain.tally);
    expectSameFields(*t.tally, *plain.tally);
    EXPECT_EQ(Read(common::readWholeFile(MUNYARO_REAL_DATA "/elastic-apache.log.gz")).format(), "combined");
}

// The core's time field and client, handed on as cutting found them, are those the field rules read
// from the core: whatever the prefix, users with blanks, stamps past the first 64 bytes.
TEST(LogLayout, TimeAndHostFoundByCuttingAreTheCoresOwn) {
    const std::string rest = " - - [08/Dec/2026:10:00:00 +0900] \"GET /x HTTP/1.1\" 200 5 \"-\" \"Moz\"";
    const std::string longUser = " - " + std::string(70, 'u') + " [08/Dec/2026:10:00:00 +0900] \"GET / HTTP/1.1\" 200 5";
    for (const char* layout : {"vhost-combined-extra", "combined-extra", "vhost-common", "common-extra"})
        for (const std::string& line : std::vector<std::string>{
                 "www.example.jp:8080 1.2.3.4" + rest + " 77", "1.2.3.4" + rest, "www.example.jp 2001:db8::1" + rest,
              "host.example.jp" + rest + " \"-\"", "site 5.6.7.8 - John Smith [08/Dec/2026:10:00:00 +0900] \"GET /\" 200 1",
              "www.example.jp 1.2.3.4" + longUser, "1.2.3.4" + longUser + " \"x\"", "a  b - - [08/Dec/2026:10:00:00 +0900]",
              std::string("www.example.jp 1.2.3.4 - - [08/Dec/2026:10:00:00")}) {
            const LogLayout::Cut c = cutBy(layout, line);
            EXPECT_EQ(c.host, ExtractHost(c.core)) << layout << ": " << line;
            if (!c.time.empty()) {
                EXPECT_EQ(c.time, ExtractTime(c.core)) << layout << ": " << line;
            }
        }
    EXPECT_EQ(cutBy("vhost-combined", "www.example.jp:8080 1.2.3.4" + rest).virtualHost, "www.example.jp");
    EXPECT_EQ(cutBy("vhost-combined", "www.example.jp 1.2.3.4" + longUser).host, "1.2.3.4");
    EXPECT_EQ(cutBy("vhost-combined", "www.example.jp 1.2.3.4" + longUser).time, "[08/Dec/2026:10:00:00 +0900]");
}
