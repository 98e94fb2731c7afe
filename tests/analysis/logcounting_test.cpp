#include "analysis/logcounting.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>

#include "analysis/logfile.h"
#include "analysis/rankings.h"
#include "common/apperror.h"
#include "common/cp932.h"
#include "common/fileio.h"
#include "support/gzip.h"
#include "support/recordingview.h"
#include "support/tempdir.h"

using namespace analysis;
using common::cp932;
using common::StringList;
using testing::ElementsAre;

namespace {

const std::string L1 = "10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET /index.html HTTP/1.1\" 200 2326 "
                       "\"/links.html\" \"Mozilla/4.0 (compatible; MSIE 6.0; Windows 98)\"";
const std::string L2 =
    "10.0.0.2 - - [10/Oct/2004:13:56:01 +0900] \"GET /robots.txt HTTP/1.0\" 404 210 \"-\" \"ExampleBot/1.0\"";
const std::string L3 = "10.0.0.1 - - [10/Oct/2004:14:02:10 +0900] \"POST /cgi-bin/form.cgi HTTP/1.1\" 200 512 "
                       "\"/index.html\" \"Mozilla/4.0 (compatible; MSIE 6.0; Windows 98)\"";
const std::string L4 = "10.0.0.3 - - [10/Oct/2004:14:05:00 +0900] \"GET /favicon.ico HTTP/1.1\" 403 0 \"-\" "
                       "\"Mozilla/4.0 (compatible; MSIE 6.0; Windows 98)\"";
const std::string kDash(45, '-');

std::string join(const StringList& lines, const char* brk = "\r\n") {
    std::string s;
    for (const auto& l : lines) s += l + brk;
    return s;
}

// A program directory with its materia/ lists and one log file.
struct ProgramDir {
    TempDir dir;
    StringList watched, own, robots;
    std::string writeLog(const std::string& bytes, const std::string& name = "access_log") const {
        return dir.file("logs/" + name, bytes);
    }
    void writeLists() const {
        dir.file("materia/CheckDomeinList.dat", join(watched));
        dir.file("materia/DomeinList.dat", join(own));
        dir.file("materia/SERobotsList.dat", join(robots));
    }
    // Runs the analysis; returns the error box text ("" when none).
    std::string run(RecordingView& view, const std::string& logPath) const {
        writeLists();
        try {
            LogCounting(logPath, view, AnalysisOptions{dir.path() + "/materia"});
        } catch (const common::AppError& e) {
            return e.what();
        }
        return "";
    }
};

LogTally pass(const std::string& log, const ReferenceLists& lists = {{}, {}, {}}) {
    LogTally t(logFromBytes(log, "log"));
    countLines(t, lists, nullptr);
    return t;
}

StringList lines(const std::shared_ptr<EntryList>& l) { return toStringList(*l); }

}  // namespace

TEST(LogCounting, WorkedExampleFillsEveryPaneAndBox) {
    ProgramDir s;
    s.own = {"mysite"};
    s.robots = {"Bot/"};
    s.watched = {"10.0.0.3"};
    RecordingView v;
    ASSERT_EQ(s.run(v, s.writeLog(join({L1, L2, L3, L4}))), "");

    EXPECT_EQ(v.pane("NamaLog"), (StringList{L1, L2, L3, L4}));
    EXPECT_EQ(v.pane("Memo8"), (StringList{cp932(u8"ログファイルに含まれるホスト名・IPアドレスです..."), kDash,
                                           "10.0.0.1", "10.0.0.2", "10.0.0.3"}));
    EXPECT_EQ(v.pane("Memo7"), (StringList{cp932(u8"要求(GET)の対象となったファイル名です..."), kDash, "/index.html",
                                           "/robots.txt", "/favicon.ico"}));
    EXPECT_EQ(v.pane("Memo6"),
              (StringList{cp932(u8"受信(POST)の対象となったファイル名です..."), kDash, "/cgi-bin/form.cgi"}));
    EXPECT_EQ(v.pane("Memo4"),
              (StringList{"[10/Oct/2004:13:55:36 +0900] /index.html", "[10/Oct/2004:13:56:01 +0900] /robots.txt",
                          "[10/Oct/2004:14:05:00 +0900] /favicon.ico"}));
    EXPECT_EQ(v.pane("Memo5"), StringList{"[10/Oct/2004:14:02:10 +0900] /cgi-bin/form.cgi"});
    EXPECT_EQ(v.pane("ReferrerLog"), StringList{"[10/Oct/2004:13:55:36 +0900] [/links.html] /index.html"});
    EXPECT_EQ(v.pane("ReferrerList"),
              (StringList{cp932(u8"現在登録されている自ドメインは"), "mysite", cp932(u8"です..."), "[HOST] FileName",
                          kDash, "[/links.html] /index.html"}));
    EXPECT_EQ(v.pane("RobotsLog"),
              (StringList{cp932(u8"現在登録されている文字列は"), "Bot/", cp932(u8"です..."),
                          "HOST [Time] \"UserAgent\"", "*HOST [Time] [FileName] \"UserAgent\"", kDash,
                          "*10.0.0.2 [10/Oct/2004:13:56:01 +0900] [/robots.txt] \"ExampleBot/1.0\""}));
    const std::string e404 = "[10/Oct/2004:13:56:01 +0900] 10.0.0.2 /robots.txt";
    const std::string e403 = "[10/Oct/2004:14:05:00 +0900] 10.0.0.3 /favicon.ico";
    const std::string th = "[Time] Host /File";
    EXPECT_EQ(v.pane("HOST404Memo"),
              (StringList{cp932(u8"接続中404(NotFound)となったログの抜粋です..."), th, kDash, e404}));
    EXPECT_EQ(v.pane("HOST403Memo"),
              (StringList{cp932(u8"接続中403(Forbidden)となったログの抜粋です..."), th, kDash, e403}));
    EXPECT_EQ(v.pane("File404Memo"),
              (StringList{cp932(u8"要求中404(NotFound)となったログの抜粋です..."), th, kDash, e404}));
    EXPECT_EQ(v.pane("File403Memo"),
              (StringList{cp932(u8"要求中403(Forbidden)となったログの抜粋です..."), th, kDash, e403}));
    EXPECT_EQ(v.pane("POST404Memo"), (StringList{cp932(u8"要求中404(NotFound)となったログの抜粋です..."), th, kDash}));
    EXPECT_EQ(v.pane("POST403Memo"), (StringList{cp932(u8"要求中403(Forbidden)となったログの抜粋です..."), th, kDash}));
    EXPECT_EQ(v.pane("Memo2"), StringList{});
    EXPECT_EQ(v.pane("Memo10"), StringList{});
    EXPECT_EQ(v.pane("Memo11"), StringList{});
    // Line 3 is a POST line: its own POST path stands in its connection entry.
    EXPECT_EQ(v.pane("Memo9"), (StringList{"[10/Oct/2004:13:55:36 +0900] 10.0.0.1 /index.html", e404,
                                           "[10/Oct/2004:14:02:10 +0900] 10.0.0.1 /cgi-bin/form.cgi", e403}));
    EXPECT_EQ(v.pane("CheckDomeinMemo"),
              (StringList{cp932(u8"現在監視対象になっているドメインは"), "10.0.0.3", cp932(u8"です..."), kDash, L4}));

    const std::map<std::string, std::string> boxes = {
        {"Edit1", "4"},  {"Edit2", "3"},  {"Edit3", "3"},  {"Edit4", "1"},    {"Edit5", "1"},  {"Edit6", "1"},
        {"Edit7", "3"},  {"Edit8", "3"},  {"Edit9", "3"},  {"Edit10", "1"},   {"Edit11", "3"}, {"Edit12", "4"},
        {"Edit13", "1"}, {"Edit14", "1"}, {"Edit15", "1"}, {"Edit16", "0"},   {"Edit17", "1"}, {"Edit18", "0"},
        {"Edit19", "1"}, {"Edit20", "2"}, {"Edit21", "1"}, {"Edit22", "2"},   {"Edit23", "1"}, {"Edit24", "1"},
        {"Edit25", "1"}, {"Edit26", "1"}, {"Edit27", "1"}, {"Edit28", "0"},   {"Edit29", "0"}, {"Edit30", "1"},
        {"Edit31", "1"}, {"Edit32", "0"}, {"Edit33", "1"}, {"Edit34", "2326"}};
    for (const auto& [name, value] : boxes) EXPECT_EQ(v.boxes[name], value) << name;
    EXPECT_EQ(v.boxes["Edit35"], s.dir.path() + "/logs/access_log");
    EXPECT_EQ(v.last, 0);

    EXPECT_EQ(v.chartCounts["Image1"][13], 2);
    EXPECT_EQ(v.chartCounts["Image1"][14], 2);
    EXPECT_EQ(v.chartCounts["Image2"][13], 2);
    EXPECT_EQ(v.chartCounts["Image2"][14], 1);
    EXPECT_EQ(v.chartCounts["Image3"][14], 1);
    EXPECT_THAT(v.charts, ElementsAre("background Image1", "background Image2", "background Image3",
                                      "bars Image1 total 4", "bars Image2 total 4", "bars Image3 total 4"));
    EXPECT_FALSE(v.progressShown);
    EXPECT_EQ(v.barMax, 4u);
    EXPECT_EQ(v.barPos, 4u);
}

TEST(LogCounting, SummaryBoxesAreWrittenInTheWindowsOrder) {
    ProgramDir s;
    RecordingView v;
    ASSERT_EQ(s.run(v, s.writeLog(join({L1}))), "");
    EXPECT_THAT(v.boxOrder,
                ElementsAre("Edit35", "Edit1", "Edit2", "Edit12", "Edit11", "Edit3", "Edit8", "Edit4", "Edit6", "Edit7",
                            "Edit9", "Edit5", "Edit10", "Edit33", "Edit31", "Edit32", "Edit34", "Edit20", "Edit19",
                            "Edit21", "Edit22", "Edit23", "Edit24", "Edit13", "Edit14", "Edit15", "Edit27", "Edit26",
                            "Edit25", "Edit17", "Edit16", "Edit18", "Edit30", "Edit29", "Edit28"));
}

TEST(LogCounting, ProgressMessagesFollowEachOtherAcrossAnalyses) {
    ProgramDir s;
    RecordingView v;
    const std::string log = s.writeLog(join({L1}));
    ASSERT_EQ(s.run(v, log), "");
    const std::string p = common::pathText(log);
    EXPECT_THAT(v.progress,
                ElementsAre(cp932(u8"初期化しています..."), p + cp932(u8"を読み込んでいます..."),
                            p + cp932(u8"を読み込みました..."), cp932(u8"監視対象ドメインを読み込んでいます..."),
                            cp932(u8"監視対象ドメインを読み込みました..."), cp932(u8"自ドメインを読み込んでいます..."),
                            cp932(u8"自ドメインを読み込みました..."), cp932(u8"ロボット情報を読み込んでいます..."),
                            cp932(u8"ロボット情報を読み込みました..."), cp932(u8"データを集計しています..."),
                            cp932(u8"集計が終了しました..."), cp932(u8"結果を出力しています..."),
                            cp932(u8"グラフを描画しています...")));
    ASSERT_EQ(s.run(v, log), "");
    EXPECT_EQ(v.progress.size(), 26u);
}

TEST(AnalysisPass, OneGetLineCountsEverywhere) {
    const LogTally t = pass(L1 + "\n");
    EXPECT_EQ(t.lineCount, 1);
    EXPECT_EQ(t.hostCount, 1);
    EXPECT_EQ(t.getCount, 1);
    EXPECT_EQ(t.getFileCount, 1);
    EXPECT_EQ(t.get200Count, 1);
    EXPECT_EQ(t.status200Count, 1);
    EXPECT_EQ(t.bytesSent, 2326);
    EXPECT_EQ(t.connectionLines->size(), 1u);
    EXPECT_EQ(t.hourConnections[13], 1);
    EXPECT_EQ(t.hourGets[13], 1);
    EXPECT_EQ(t.faviconCount, 0);
}

TEST(AnalysisPass, DistinctHostsAndPathsIgnoreCaseAndKeepTheFirstForm) {
    const LogTally t = pass(
        "proxy1 - - [10/Oct/2004:10:00:00 +0900] \"GET /Index.html HTTP/1.1\" 404 1 \"-\" \"-\"\n"
        "PROXY1 - - [10/Oct/2004:10:00:01 +0900] \"GET /index.html HTTP/1.1\" 404 1 \"-\" \"-\"\n"
        "\x83\x41 - - [10/Oct/2004:10:00:02 +0900] \"GET /index.html HTTP/1.1\" 404 1 \"-\" \"-\"\n"
        "\x83\x61 - - [10/Oct/2004:10:00:03 +0900] \"GET /index.html HTTP/1.1\" 404 1 \"-\" \"-\"\n");
    EXPECT_EQ(lines(t.hosts.entries()), (StringList{"proxy1", "\x83\x41", "\x83\x61"}));  // trail bytes never fold
    EXPECT_EQ(lines(t.getFiles.entries()), StringList{"/Index.html"});
    EXPECT_EQ(t.hostCount, 3);
    EXPECT_EQ(t.getFileCount, 1);
}

TEST(AnalysisPass, StatusExtractsFollowTheMarkerOrder) {
    const std::string get404 = "h1 - - [10/Oct/2004:10:00:00 +0900] \"GET /missing HTTP/1.1\" 404 99 \"-\" \"-\"";
    const std::string post403 = "h2 - - [10/Oct/2004:11:00:00 +0900] \"POST /form HTTP/1.1\" 403 9 \"-\" \"-\"";
    const std::string get500 = "h3 - - [10/Oct/2004:12:00:00 +0900] \"GET /boom HTTP/1.1\" 500 9 \"-\" \"-\"";
    const std::string head200 = "h4 - - [10/Oct/2004:12:00:00 +0900] \"HEAD / HTTP/1.1\" 200 0 \"-\" \"-\"";
    const LogTally t = pass(join({get404, post403, get500, head200}));
    EXPECT_EQ(lines(t.file404Lines), StringList{"[10/Oct/2004:10:00:00 +0900] h1 /missing"});
    EXPECT_EQ(lines(t.host404Lines), StringList{"[10/Oct/2004:10:00:00 +0900] h1 /missing"});
    EXPECT_EQ(lines(t.post403Lines), StringList{"[10/Oct/2004:11:00:00 +0900] h2 /form"});
    EXPECT_EQ(lines(t.host403Lines), StringList{"[10/Oct/2004:11:00:00 +0900] h2 /form"});
    EXPECT_EQ(lines(t.fileOtherLines), StringList{get500});
    EXPECT_EQ(lines(t.hostOtherLines), StringList{get500});
    EXPECT_EQ(t.bytesSent, 0);
    EXPECT_EQ(t.status200Count, 1);  // HEAD with 200: counted, but not as a GET
    EXPECT_EQ(t.get200Count, 0);
    EXPECT_EQ(lines(t.connectionLines)[3], "[10/Oct/2004:12:00:00 +0900] h4 /");  // its own request path
}

TEST(AnalysisPass, ReferrersOfOwnDomainsAndNoReferrerMarkers) {
    const std::string own =
        "h - - [10/Oct/2004:10:00:00 +0900] \"GET /a HTTP/1.1\" 304 0 \"http://mysite.jp/x\" \"UA\"";
    const std::string foreign =
        "h - - [10/Oct/2004:10:00:00 +0900] \"GET /b HTTP/1.1\" 304 0 \"http://other.jp/\" \"UA\"";
    const std::string agentDash =
        "h - - [10/Oct/2004:10:00:00 +0900] \"GET /c HTTP/1.1\" 304 0 \"http://other.jp/\" \"-\"";
    const LogTally t = pass(join({own, foreign, agentDash}), ReferenceLists({}, {"mysite"}, {}));
    EXPECT_EQ(lines(t.referrerLog), (StringList{"[10/Oct/2004:10:00:00 +0900] [http://mysite.jp/x] /a",
                                                "[10/Oct/2004:10:00:00 +0900] [http://other.jp/] /b"}));
    EXPECT_EQ(lines(t.referrerList), StringList{"[http://other.jp/] /b"});
}

TEST(AnalysisPass, RobotLinesWinOverRobotsFileLines) {
    const std::string upper =
        "h - - [10/Oct/2004:10:00:00 +0900] \"GET /ROBOTS.TXT HTTP/1.1\" 200 10 \"-\" \"Mozilla\"";
    const std::string crawler =
        "c - - [10/Oct/2004:10:00:00 +0900] \"GET /robots.txt HTTP/1.1\" 200 10 \"-\" \"Googlebot/2.1\"";
    const std::string page = "c - - [10/Oct/2004:10:00:00 +0900] \"GET /x HTTP/1.1\" 200 10 \"-\" \"Googlebot/2.1\"";
    const LogTally t = pass(join({upper, crawler, page}), ReferenceLists({}, {}, {"Googlebot", ""}));
    EXPECT_EQ(lines(t.robotsLog), (StringList{"h [10/Oct/2004:10:00:00 +0900] \"Mozilla\"",
                                              "*c [10/Oct/2004:10:00:00 +0900] [/robots.txt] \"Googlebot/2.1\"",
                                              "*c [10/Oct/2004:10:00:00 +0900] [/x] \"Googlebot/2.1\""}));
}

TEST(AnalysisPass, RobotStringsOfEveryLengthMatchAnywhereInTheLine) {
    const std::string line = "10.9.9.9 - - [10/Oct/2004:10:00:00 +0900] \"GET /p HTTP/1.1\" 200 1 \"-\" \"abc\"";
    for (const char* robot : {"9", "10.", "9.9.", "\"abc\"", "GET /p"}) {
        const LogTally t = pass(line, ReferenceLists({}, {}, {"nomatch", robot}));
        EXPECT_EQ(t.robotsLog->size(), 1u) << robot;
    }
    EXPECT_EQ(pass(line, ReferenceLists({}, {}, {"ABC", "abcd"})).robotsLog->size(), 0u);
}

TEST(AnalysisPass, WatchedHostsAreListedOncePerMatchingEntry) {
    const std::string line = "crawl.example.com - - [10/Oct/2004:10:00:00 +0900] \"GET / HTTP/1.1\" 200 1 \"-\" \"-\"";
    const LogTally t = pass(line, ReferenceLists({"example", "nomatch", "crawl", ""}, {}, {}));
    EXPECT_EQ(lines(t.watchedLines), (StringList{line, line}));
}

TEST(AnalysisPass, FaviconAndMsieCountOnlyGetLines) {
    const LogTally t = pass(join({
        "h - - [10/Oct/2004:10:00:00 +0900] \"GET /favicon.ico HTTP/1.1\" 200 1 \"-\" \"Mozilla/4.0 (compatible; MSIE "
        "6.0)\"",
        "h - - [10/Oct/2004:10:00:00 +0900] \"GET /favicon.ico HTTP/1.1\" 200 1 \"-\" \"Firefox\"",
        "h - - [10/Oct/2004:10:00:00 +0900] \"POST /favicon.ico HTTP/1.1\" 200 1 \"-\" \"x MSIE y\"",
    }));
    EXPECT_EQ(t.faviconCount, 2);
    EXPECT_EQ(t.faviconIeCount, 1);
}

TEST(AnalysisPass, LineWithBothMarkersGoesThroughBothBlocks) {
    // A user agent that begins with POST holds the POST marker at its opening quote.
    const std::string line = "h - - [10/Oct/2004:10:00:00 +0900] \"GET /a HTTP/1.1\" 200 5 \"-\" \"POST /b HTTP\"";
    const LogTally t = pass(line);
    EXPECT_EQ(t.getCount, 1);
    EXPECT_EQ(t.postCount, 1);
    EXPECT_EQ(t.post200Count, 1);
    EXPECT_EQ(t.hourPosts[10], 1);
    EXPECT_EQ(lines(t.postFiles.entries()), StringList{"/b"});
}

TEST(AnalysisPass, VisitorsQuotesAndBracketedUsersChangeNoField) {
    const std::string plain = "10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET / HTTP/1.1\" 200 5 \"-\" \"-\"";
    const std::string evil =
        "10.0.0.9 - - [10/Oct/2004:13:56:00 +0900] \"GET /x HTTP/1.1\" 404 196 \"-\" \"evil\\\" 200 pwned\"";
    const std::string user =
        "10.0.0.9 - [abcd] [10/Oct/2004:14:56:00 +0900] \"POST /f HTTP/1.1\" 200 5 \"r\\\" \\\"GET /z\" \"-\"";
    const LogTally t = pass(join({plain, evil, user}));
    EXPECT_EQ(t.getCount, 2);
    EXPECT_EQ(t.postCount, 1);
    EXPECT_EQ(t.get200Count, 1);
    EXPECT_EQ(t.status200Count, 2);
    EXPECT_EQ(t.bytesSent, 5);
    EXPECT_EQ(lines(t.file404Lines), StringList{"[10/Oct/2004:13:56:00 +0900] 10.0.0.9 /x"});
    EXPECT_EQ(lines(t.postExtract), StringList{"[10/Oct/2004:14:56:00 +0900] /f"});
    EXPECT_EQ(t.hourConnections[13], 2);
    EXPECT_EQ(t.hourPosts[14], 1);
    EXPECT_EQ(lines(t.referrerLog), StringList{});
}

TEST(AnalysisPass, HoursOutsideTheDayAreCountedButNotCharted) {
    const LogTally t = pass(join({"h - - [10/Oct/2004:99:00:00 +0900] \"GET / HTTP/1.1\" 200 1 \"-\" \"-\"",
                                  "h - - [10/Oct/2004:-1:00:00 +0900] \"POST / HTTP/1.1\" 200 1 \"-\" \"-\""}));
    EXPECT_EQ(t.lineCount, 2);
    EXPECT_EQ(t.getCount, 1);
    for (int h = 0; h < 24; ++h) {
        EXPECT_EQ(t.hourConnections[static_cast<std::size_t>(h)], 0);
        EXPECT_EQ(t.hourGets[static_cast<std::size_t>(h)], 0);
        EXPECT_EQ(t.hourPosts[static_cast<std::size_t>(h)], 0);
    }
}

TEST(AnalysisPass, DashAndHugeByteCountsAreSummed) {
    const LogTally t = pass(join({"h - - [10/Oct/2004:10:00:00 +0900] \"GET /a HTTP/1.1\" 200 - \"-\" \"-\"",
                                  "h - - [10/Oct/2004:10:00:00 +0900] \"GET /b HTTP/1.1\" 200 3000000000 \"-\" \"-\"",
                                  "h - - [10/Oct/2004:10:00:00 +0900] \"GET /c HTTP/1.1\" 200 7"}));
    EXPECT_EQ(t.bytesSent, 3000000007.0);
    EXPECT_EQ(t.get200Count, 3);
}

// The chunks of a pass cover every line once, in order, none empty and none bigger than the first
// or than a chunk's most lines; a big log on two threads ends in small chunks, so that the threads
// finish together.
TEST(AnalysisPass, ChunksCoverEveryLineOnceInOrder) {
    for (unsigned threads : {1u, 2u, 3u, 8u})
        for (std::size_t count : {0, 1, 511, 512, 2049, 20000, 65537, 1000000, 10000001}) {
            const std::vector<std::size_t> ends = passChunkEnds(count, threads);
            const std::string what = std::to_string(count) + " lines, " + std::to_string(threads) + " threads";
            ASSERT_FALSE(ends.empty()) << what;
            EXPECT_EQ(ends.back(), count) << what;
            for (std::size_t c = 0; c < ends.size(); ++c) {
                const std::size_t size = ends[c] - (c ? ends[c - 1] : 0);
                EXPECT_TRUE(size > 0 || count == 0) << what << " #" << c;
                EXPECT_LE(size, ends[0]) << what << " #" << c;
                EXPECT_LE(size, kPassChunkLines) << what << " #" << c;
            }
        }
    // Reading a log's days takes longer chunks where it asks for them.
    EXPECT_EQ(passChunkEnds(10000000, 2, 262144).front(), 262144u);
    const std::vector<std::size_t> big = passChunkEnds(1000000, 2);
    EXPECT_LE(big.back() - big[big.size() - 2], 4096u);
}

// Work given the tally beside the rankings' last step sees every line counted, the rankings' tables
// whole and the lists the pass read, on one thread or several; an error it lets out ends the analysis
// with its text, and the progress window is hidden all the same.
TEST(LogCounting, WorkBesideTheLastStepSeesTheWholePassAndItsErrorEndsTheAnalysis) {
    ProgramDir s;
    StringList log;
    for (int i = 0; i < 3000; ++i)
        log.push_back("10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250) +
                      " - - [10/Oct/2004:13:55:36 +0900] \"GET /p" + std::to_string(i % 7) + " HTTP/1.1\" 200 10 \"-\" \"A\"");
    const std::string path = s.writeLog(join(log));
    s.robots = {"Googlebot", "bingbot"};
    s.writeLists();
    for (unsigned threads : {1u, 2u}) {
        AnalysisOptions options{s.dir.path() + "/materia"};
        options.threads = threads;
        std::int64_t lines = 0;
        std::size_t hosts = 0, pages = 0;
        StringList robots;
        options.whileFinishing = [&](const LogTally& t, const ReferenceLists& lists) {
            robots = lists.robots;
            lines = t.lineCount;
            hosts = t.rankings->table(RankTable::Hosts).size();
            pages = t.rankings->table(RankTable::Pages).size();
        };
        RecordingView v;
        LogCounting(path, v, options);
        EXPECT_EQ(lines, 3000) << threads;
        EXPECT_EQ(hosts, 3000u) << threads;
        EXPECT_EQ(pages, 7u) << threads;
        EXPECT_EQ(robots, s.robots) << threads;

        options.whileFinishing = [](const LogTally&, const ReferenceLists&) {
            throw common::AppError("side work failed");
        };
        RecordingView failed;
        try {
            LogCounting(path, failed, options);
            ADD_FAILURE() << "no error, " << threads << " threads";
        } catch (const common::AppError& e) {
            EXPECT_STREQ(e.what(), "side work failed");
        }
        EXPECT_FALSE(failed.progressShown);
    }
}

TEST(LogFile, BlankLinesAreNoRequestsAndEveryBreakStyleReadsAlike) {
    const std::string crlf = join({L1, L2});
    for (const std::string& bytes : {crlf, join({L1, L2}, "\r"), join({L1, L2}, "\n"), L1 + "\n" + L2,
                                     "\r\n" + L1 + "\r\n\r\n \t \r\n" + L2 + "\r\n\r\n"}) {
        auto log = logFromBytes(bytes, "log");
        EXPECT_EQ(toStringList(*log), (StringList{L1, L2}));
    }
    EXPECT_EQ(toStringList(*logFromBytes(L1 + "\n" + std::string("\0", 1) + L2, "log")), StringList{L1});
    EXPECT_EQ(logFromBytes("", "log")->size(), 0u);
    EXPECT_EQ(toStringList(*logFromBytes("x", "log")), StringList{"x"});  // a tiny buffer stays put
}

TEST(LogFile, GzipLogIsReadAsItsText) {
    const std::string text = join({L1, L2, L3});
    std::string gz(compressBound(text.size()) + 64, '\0');
    z_stream z{};
    deflateInit2(&z, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(gz.data());
    z.avail_out = static_cast<uInt>(gz.size());
    ASSERT_EQ(deflate(&z, Z_FINISH), Z_STREAM_END);
    gz.resize(z.total_out);
    deflateEnd(&z);
    EXPECT_EQ(toStringList(*logFromBytes(gz + gz, "log")), (StringList{L1, L2, L3, L1, L2, L3}));  // two members
    EXPECT_THROW(logFromBytes(gz.substr(0, gz.size() / 2) + "junk", "log"), common::AppError);
}

TEST(LogCounting, EmptyLogCompletesWithZeroesAndEmptyBars) {
    ProgramDir s;
    RecordingView v;
    ASSERT_EQ(s.run(v, s.writeLog("\r\n\r\n")), "");
    EXPECT_EQ(v.boxes["Edit1"], "0");
    EXPECT_EQ(v.boxes["Edit32"], "0");
    EXPECT_EQ(v.boxes["Edit34"], "0");
    EXPECT_EQ(v.boxes["Edit28"], "0");
    EXPECT_EQ(v.pane("HOST404Memo").size(), 3u);
    EXPECT_EQ(v.charts.back(), "bars Image3 total 0");
}

TEST(LogCounting, MissingLogLeavesClearedPanesAndTheProgressWindow) {
    ProgramDir s;
    RecordingView v;
    ASSERT_EQ(s.run(v, s.writeLog(join({L1, L2, L3, L4}))), "");
    const std::string missing = s.dir.path() + "/logs/none";
    EXPECT_EQ(s.run(v, missing),
              common::formatMessage(common::msg::cannotOpen(), {missing, "No such file or directory"}));
    EXPECT_TRUE(v.progressShown);
    EXPECT_EQ(v.pane("Memo8"), StringList{});
    EXPECT_EQ(v.pane("RobotsLog"), StringList{});
    EXPECT_EQ(v.pane("NamaLog").size(), 4u);  // not emptied: the previous analysis
    EXPECT_EQ(v.pane("POST404Memo").size(), 3u);
    EXPECT_EQ(v.boxes["Edit1"], "4");
    EXPECT_EQ(v.boxes["Edit35"], s.dir.path() + "/logs/access_log");
    EXPECT_EQ(v.charts.size(), 9u);  // three backgrounds more, no bars
}

TEST(LogCounting, MissingListStopsAfterTheHeadersWrittenSoFar) {
    ProgramDir s;
    RecordingView v;
    const std::string log = s.writeLog(join({L1}));
    s.writeLists();
    std::filesystem::remove(s.dir.path() + "/materia/DomeinList.dat");
    try {
        LogCounting(log, v, AnalysisOptions{s.dir.path() + "/materia"});
        FAIL() << "no error";
    } catch (const common::AppError& e) {
        EXPECT_THAT(e.what(), testing::HasSubstr("\"" + s.dir.path() + "/materia/DomeinList.dat\""));
    }
    EXPECT_EQ(v.boxes["Edit35"], log);
    EXPECT_EQ(v.pane("CheckDomeinMemo").size(), 3u);
    EXPECT_EQ(v.pane("ReferrerList"), StringList{});
    EXPECT_TRUE(v.progressShown);
}

TEST(LogCounting, ErrorInThePassKeepsWhatTheFivePanesGot) {
    ProgramDir s;
    s.robots = {"Bot/"};
    RecordingView v;
    ASSERT_EQ(s.run(v, s.writeLog(join({L1, L2, L3, L4}))), "");
    const std::string bad = "h - - [10/Oct/2004:15:00:00 +0900] \"GET /bad HTTP/1.1\" 200 12k \"/r\" \"Bot/1\"";
    const std::string error = s.run(v, s.writeLog(join({L1, L2, bad, L4}), "second"));
    EXPECT_EQ(error, "'12k'" + cp932(u8" は整数ではありません"));
    EXPECT_FALSE(v.progressShown);
    // The failing line's GET extract stands; its referrer and robot entries never came.
    EXPECT_EQ(v.pane("Memo4"),
              (StringList{"[10/Oct/2004:13:55:36 +0900] /index.html", "[10/Oct/2004:13:56:01 +0900] /robots.txt",
                          "[10/Oct/2004:15:00:00 +0900] /bad"}));
    EXPECT_EQ(v.pane("ReferrerLog").size(), 1u);
    EXPECT_EQ(v.pane("RobotsLog").back(), "*10.0.0.2 [10/Oct/2004:13:56:01 +0900] [/robots.txt] \"ExampleBot/1.0\"");
    EXPECT_EQ(v.pane("Memo9"), StringList{});
    // The raw log pane shows the new log, so that the failing line can be seen there.
    EXPECT_EQ(v.pane("NamaLog"), (StringList{L1, L2, bad, L4}));
    EXPECT_EQ(v.stopped, std::make_pair(std::size_t{2}, std::size_t{3}));
    EXPECT_EQ(v.pane("POST404Memo").size(), 3u);  // still the first analysis
    EXPECT_EQ(v.boxes["Edit1"], "4");
    EXPECT_EQ(v.charts.back(), "background Image3");
}

TEST(LogCounting, StoppingLineIsNumberedAsInTheFileWithItsBlankLines) {
    ProgramDir s;
    RecordingView v;
    const std::string bad = "h - - [10/Oct/2004:xx:00:00 +0900] \"GET / HTTP/1.1\" 404 1";
    EXPECT_NE(s.run(v, s.writeLog(L1 + "\r\n\r\n \n\r" + L2 + "\n" + bad + "\r\n" + L3)), "");
    EXPECT_EQ(v.stopped, std::make_pair(std::size_t{2}, std::size_t{6}));
    EXPECT_EQ(v.pane("NamaLog")[2], bad);
    // Errors before or after the pass name no line.
    RecordingView missing;
    EXPECT_NE(s.run(missing, s.dir.path() + "/none"), "");
    EXPECT_FALSE(missing.stopped);
    RecordingView fine;
    EXPECT_EQ(s.run(fine, s.writeLog(L1)), "");
    EXPECT_FALSE(fine.stopped);
}

TEST(LogCounting, UnitSelectionDecidesTheTransferBox) {
    ProgramDir s;
    const std::string log = s.writeLog(join({L1}));
    RecordingView kb(1);
    ASSERT_EQ(s.run(kb, log), "");
    EXPECT_EQ(kb.boxes["Edit34"], "2.271484375");
    EXPECT_EQ(kb.last, 1);
    RecordingView none(-1);
    ASSERT_EQ(s.run(none, log), "");
    EXPECT_EQ(none.boxes["Edit34"], "-");
    EXPECT_EQ(none.last, -1);
}

// Figures of the real logs, counted independently (see tests/data/real/SOURCES.md); they are kept
// gzip-compressed, which the loader reads as their text.
TEST(RealLogs, HackersHomeLogGivesItsKnownFigures) {
    const LogTally t = pass(common::readWholeFile(MUNYARO_REAL_DATA "/hackers-home.log.gz"));
    EXPECT_EQ(t.lineCount, 3456);
    EXPECT_EQ(t.getCount, 2376);
    EXPECT_EQ(t.postCount, 1080);
    EXPECT_EQ(t.hostCount, 520);
    EXPECT_EQ(t.status200Count, 2846);
    EXPECT_EQ(t.host403Lines->size(), 13u);
    EXPECT_EQ(t.host404Lines->size(), 12u);
    std::int64_t hours = 0;
    for (auto c : t.hourConnections) hours += c;
    EXPECT_EQ(hours, 3456);
}

TEST(RealLogs, ElasticLogWithDashByteCountsAnalysesWhole) {
    const LogTally t = pass(common::readWholeFile(MUNYARO_REAL_DATA "/elastic-apache.log.gz"));
    EXPECT_EQ(t.lineCount, 10000);
    EXPECT_EQ(t.getCount, 9952);  // 9,951 well-formed GET lines, and line 8899 with its cut-off agent
    EXPECT_EQ(t.postCount, 5);
    EXPECT_EQ(t.status200Count, 9126);
    EXPECT_EQ(t.host404Lines->size(), 213u);
    EXPECT_EQ(t.host403Lines->size(), 2u);
    EXPECT_EQ(t.hostCount, 1753);
}

// A gzip log whose lines nothing reads after the pass is counted as it is inflated, its text given
// back behind the pass. The view gets what the usual steps give it, in the same order: on a log of
// several parts with blank lines, with a line that stops the pass in its second part, and with a
// checksum that fails at the very end, once the lines before were all counted (alone, and after that
// stopping line: the damage wins, as it does when the whole text is inflated first).
TEST(LogCounting, GzipLogReadOnceShowsWhatTheUsualStepsShow) {
    struct RankedView : RecordingView {
        std::shared_ptr<const Rankings> rankings;
        void rankingsReady(std::shared_ptr<const Rankings> r) override { rankings = std::move(r); }
    };
    const std::string bad = "h - - [10/Oct/2004:xx:00:00 +0900] \"GET / HTTP/1.1\" 404 1";
    const std::size_t badAt = 69000;
    std::string text, stopping;
    const std::string forms[] = {L1, L2, L3, L4};
    for (std::size_t i = 0; i < 70500; ++i) {
        std::string line = forms[i % 4];
        line.replace(7, 1, std::to_string(i % 253));
        line.replace(line.find(" /") + 2, 0, std::to_string(i % 61));
        const std::string breakText = i % 5000 == 0 ? "\r\n \t\n\r" : "\n";
        text += line + breakText;
        stopping += (i == badAt ? bad : line) + breakText;
    }
    std::string damaged = gzipText(text, 1);
    damaged[damaged.size() - 6] = static_cast<char>(damaged[damaged.size() - 6] ^ 0x10);
    std::string stoppingDamaged = gzipText(stopping, 1);
    stoppingDamaged[stoppingDamaged.size() - 6] = static_cast<char>(stoppingDamaged[stoppingDamaged.size() - 6] ^ 1);
    ProgramDir s;
    s.watched = {"10.0.0.7"};
    s.robots = {"Bot/"};
    s.writeLists();
    for (const std::string& gz : {gzipText(text, 1), gzipText(stopping, 1), damaged, stoppingDamaged}) {
        const std::string path = s.writeLog(gz, "access_log.gz");
        for (const unsigned threads : {1u, 3u}) {
            RankedView usual, once;
            std::string errors[2];
            for (RankedView* v : {&usual, &once}) {
                AnalysisOptions options{s.dir.path() + "/materia"};
                options.threads = threads;
                options.readOnce = v == &once;
                try {
                    LogCounting(path, *v, options);
                } catch (const common::AppError& e) {
                    errors[v == &once] = e.what();
                }
            }
            const std::string at = std::to_string(gz.size()) + " bytes, " + std::to_string(threads) + " threads";
            EXPECT_EQ(errors[1], errors[0]) << at;
            EXPECT_EQ(once.boxes, usual.boxes) << at;
            EXPECT_EQ(once.boxOrder, usual.boxOrder) << at;
            EXPECT_EQ(once.progress, usual.progress) << at;
            EXPECT_EQ(once.charts, usual.charts) << at;
            EXPECT_EQ(once.chartCounts, usual.chartCounts) << at;
            EXPECT_EQ(once.stopped, usual.stopped) << at;
            EXPECT_EQ(once.barMax, usual.barMax) << at;
            EXPECT_EQ(once.progressShown, usual.progressShown) << at;
            ASSERT_EQ(once.panes.size(), usual.panes.size()) << at;
            for (const auto& [name, content] : usual.panes) EXPECT_EQ(once.panes[name].size(), content.size()) << name;
            if (usual.stopped) {
                EXPECT_EQ(once.panes["NamaLog"].line(usual.stopped->first), bad);
            }
            ASSERT_EQ(!once.rankings, !usual.rankings) << at;
            for (std::size_t k = 0; usual.rankings && k < kRankTableCount; ++k) {
                const auto want = usual.rankings->sorted(rankTable(k)), got = once.rankings->sorted(rankTable(k));
                ASSERT_EQ(got.size(), want.size()) << kRankTableNames[k];
                for (std::size_t r = 0; r < want.size(); ++r)
                    EXPECT_TRUE(got[r].item == want[r].item && got[r].hits == want[r].hits &&
                                got[r].bytes == want[r].bytes)
                        << kRankTableNames[k] << " row " << r;
            }
        }
    }
}
