// munyaro-cli report, run as the program it is.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <set>
#include <sys/wait.h>

#include "analysis/logcounting.h"
#include "analysis/logfile.h"
#include "support/clirun.h"
#include "support/gzip.h"
#include "support/json.h"
#include "support/tempdir.h"

using testing::ElementsAre;
using testing::HasSubstr;

namespace {

const char* kLog =
    "10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET /index.html HTTP/1.1\" 200 2326 \"/links.html\" \"Mozilla/4.0 "
    "(compatible; MSIE 6.0; Windows 98)\"\r\n"
    "10.0.0.2 - - [10/Oct/2004:13:56:01 +0900] \"GET /robots.txt HTTP/1.0\" 404 210 \"-\" \"ExampleBot/1.0\"\r\n"
    "10.0.0.1 - - [10/Oct/2004:14:02:10 +0900] \"POST /cgi-bin/form.cgi HTTP/1.1\" 200 512 \"/index.html\" "
    "\"Mozilla/4.0 (compatible; MSIE 6.0; Windows 98)\"\r\n"
    "10.0.0.3 - - [10/Oct/2004:14:05:00 +0900] \"GET /favicon.ico HTTP/1.1\" 403 0 \"-\" \"Mozilla/4.0 (compatible; "
    "MSIE 6.0; Windows 98)\"\r\n";

struct Program {
    TempDir dir;
    Program(const char* own = "mysite\r\n", const char* robots = "Bot/\r\n", const char* watched = "10.0.0.3\r\n") {
        dir.file("materia/DomeinList.dat", own);
        dir.file("materia/SERobotsList.dat", robots);
        dir.file("materia/CheckDomeinList.dat", watched);
    }
    std::string materia() const { return "--materia " + dir.path() + "/materia "; }
};

}  // namespace

TEST(ReportCommand, WorkedExampleAsJson) {
    Program prog;
    const std::string log = prog.dir.file("access_log", kLog);
    const Result r = cli("report --json " + prog.materia() + log);
    ASSERT_EQ(r.status, 0) << r.err;
    const Json j = Json::parse(r.out);
    EXPECT_EQ(j["file"].string, log);
    EXPECT_TRUE(j["error"].isNull());
    const Json& t = j["tally"];
    EXPECT_EQ(t["lineCount"].number, 4);
    EXPECT_EQ(t["hostCount"].number, 3);
    EXPECT_EQ(t["bytesSent"].number, 2326);
    EXPECT_EQ(t["faviconIeCount"].number, 1);
    EXPECT_EQ(t["hourGets"][13].number, 2);
    EXPECT_EQ(t["hourPosts"].array.size(), 24u);
    EXPECT_EQ(j["boxes"].object.size(), 35u);
    EXPECT_EQ(j["boxes"]["Edit32"].string, "0");
    EXPECT_EQ(j["boxes"]["Edit34"].string, "2326");
    EXPECT_EQ(j["boxes"]["Edit35"].string, log);
    EXPECT_EQ(j["panes"].object.size(), 20u);
    EXPECT_THAT(j["panes"]["RobotsLog"].strings(),
                ElementsAre("現在登録されている文字列は", "Bot/", "です...", "HOST [Time] \"UserAgent\"",
                            "*HOST [Time] [FileName] \"UserAgent\"", std::string(45, '-'),
                            "*10.0.0.2 [10/Oct/2004:13:56:01 +0900] [/robots.txt] \"ExampleBot/1.0\""));
    EXPECT_THAT(j["panes"]["HOST403Memo"].strings(),
                ElementsAre("接続中403(Forbidden)となったログの抜粋です...", "[Time] Host /File", std::string(45, '-'),
                            "[10/Oct/2004:14:05:00 +0900] 10.0.0.3 /favicon.ico"));
    EXPECT_EQ(j["progress"].array.size(), 13u);
    EXPECT_EQ(j["progress"][1].string, log + "を読み込んでいます...");
}

TEST(ReportCommand, ErrorStillPrintsTheObjectAndExitsWithOne) {
    Program prog;
    const std::string log = prog.dir.file("bad_log", "h - - [10/Oct/2004:ab:00:00 +0900] \"GET / HTTP/1.1\" 200 1\n");
    const Result r = cli("report --json " + prog.materia() + log);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("'ab' は整数ではありません"));
    const Json j = Json::parse(r.out);
    EXPECT_EQ(j["error"].string, "'ab' は整数ではありません.");
    EXPECT_TRUE(j["tally"].isNull());
    EXPECT_EQ(j["boxes"]["Edit1"].string, "-");
    EXPECT_EQ(j["boxes"]["Edit35"].string, log);
}

TEST(ReportCommand, MissingLogAndUndecodableBytes) {
    Program prog;
    Result r = cli("report --json " + prog.materia() + prog.dir.path() + "/none");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(Json::parse(r.out)["error"].string, HasSubstr("は開けません"));
    // A byte that is no code page 932 character reaches JSON as U+FFFD.
    const std::string log = prog.dir.file(
        "odd", "h\xFF - - [10/Oct/2004:10:00:00 +0900] \"GET /\x83\x41 HTTP/1.1\" 404 1 \"-\" \"-\"\n");
    r = cli("report --json " + prog.materia() + log);
    ASSERT_EQ(r.status, 0);
    const Json j = Json::parse(r.out);
    EXPECT_EQ(j["panes"]["Memo8"][2].string, "h\xEF\xBF\xBD");
    EXPECT_EQ(j["panes"]["Memo7"][2].string, "/ア");
}

TEST(ReportCommand, SummaryAndTextAndUnits) {
    Program prog;
    const std::string log = prog.dir.file("access_log", kLog);
    Result r = cli("report --summary --unit Kb " + prog.materia() + log);
    ASSERT_EQ(r.status, 0);
    EXPECT_THAT(r.out, HasSubstr("総接続数 4"));
    EXPECT_THAT(r.out, HasSubstr("転送量 2.271484375 Kb"));
    EXPECT_THAT(r.out, testing::Not(HasSubstr("生ログ")));
    r = cli("report " + prog.materia() + log);
    ASSERT_EQ(r.status, 0);
    EXPECT_THAT(
        r.out,
        HasSubstr("== 接続 > 不正常ログ > 404 (HOST404Memo) ==\n接続中404(NotFound)となったログの抜粋です...\n"));
    EXPECT_THAT(r.out, HasSubstr("== 生ログ (NamaLog) ==\n10.0.0.1 - - [10/Oct/2004:13:55:36 +0900]"));
}

TEST(ReportCommand, UsageErrorsExitWithTwo) {
    for (const char* args : {"", "report", "report --unit Tb x", "report --json --summary x", "report a b",
                             "report --bogus x", "frobnicate"}) {
        const Result r = cli(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_THAT(r.err, HasSubstr("usage")) << args;
    }
    const Result help = cli("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, HasSubstr("--materia DIR"));
}

TEST(ReportCommand, RankingsAsJsonAndAsTextTables) {
    Program prog;
    const std::string log = prog.dir.file("access_log", kLog);
    Result r = cli("report --json " + prog.materia() + log);
    ASSERT_EQ(r.status, 0) << r.err;
    const Json whole = Json::parse(r.out);
    const Json& rk = whole["rankings"];
    std::vector<std::string> keys;
    for (const auto& [k, v] : rk.object) keys.push_back(k);
    EXPECT_THAT(
        keys, testing::UnorderedElementsAre("pages", "hosts", "referrers", "referrerSites", "searchWords", "robots",
                                            "notFound", "forbidden", "statuses", "userAgents", "visitors", "pagesOnly",
                                            "entryPages", "notFoundReferrers", "robotLikeAgents"));
    // Bytes only where they apply; ties sorted by item.
    const Json& pages = rk["pages"];
    ASSERT_EQ(pages.array.size(), 3u);
    EXPECT_EQ(pages[0]["item"].string, "/favicon.ico");
    EXPECT_EQ(pages[0]["hits"].number, 1);
    EXPECT_EQ(pages[0]["bytes"].number, 0);
    EXPECT_EQ(pages[1]["item"].string, "/index.html");
    EXPECT_EQ(pages[1]["bytes"].number, 2326);
    EXPECT_EQ(rk["hosts"][0]["item"].string, "10.0.0.1");
    EXPECT_EQ(rk["hosts"][0]["hits"].number, 2);
    EXPECT_EQ(rk["statuses"][0]["item"].string, "200");
    EXPECT_EQ(rk["statuses"][0]["hits"].number, 2);
    EXPECT_EQ(rk["statuses"][0].object.count("bytes"), 0u);
    EXPECT_EQ(rk["robots"][0]["item"].string, "Bot/");
    EXPECT_EQ(rk["referrers"][0]["item"].string, "/links.html");

    // A stopped analysis still prints the rankings of the lines before the error.
    const std::string bad = prog.dir.file(
        "bad", std::string(kLog) + "h - - [10/Oct/2004:ab:00:00 +0900] \"GET / HTTP/1.1\" 200 1\n");
    r = cli("report --json " + prog.materia() + bad);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Json::parse(r.out)["rankings"]["statuses"][0]["hits"].number, 2);
    EXPECT_EQ(Json::parse(r.out)["rankings"]["hosts"].array.size(), 3u);
    // A log that cannot be opened has none.
    EXPECT_TRUE(
        Json::parse(cli("report --json " + prog.materia() + prog.dir.path() + "/none").out)["rankings"].isNull());

    // Text tables: equal hits share a rank, --top cuts, control characters never reach the terminal.
    const std::string esc = prog.dir.file(
        "esc",
        std::string(kLog) +
            "10.0.0.9 - - [10/Oct/2004:14:05:00 +0900] \"GET /x%1B%5B2J HTTP/1.1\" 404 0 \"-\" \"\x1b[31mred\"\n");
    r = cli("report --rankings --top 2 " + prog.materia() + esc);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out,
                HasSubstr("== ページ (pages): 4 項目, 計 4 件 ==\n  順位      件数    割合          転送量  項目\n"
                          "     1         1   25.0%               0  /favicon.ico\n"
                          "     1         1   25.0%            2326  /index.html\n\n"));
    EXPECT_THAT(r.out, HasSubstr("     1         1   50.0%  /robots.txt\n     1         1   50.0%  /x%1B%5B2J\n"));
    EXPECT_THAT(r.out, HasSubstr("\xEF\xBF\xBD[31mred"));
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    // Switched off, the JSON says so.
    EXPECT_TRUE(Json::parse(cli("report --json --no-rankings " + prog.materia() + log).out)["rankings"].isNull());
    for (const char* args : {"report --top 3 x", "report --rankings --top x y", "report --rankings --top",
                             "report --rankings --json x", "report --rankings --no-rankings x"})
        EXPECT_EQ(cli(args).status, 2) << args;
}

// Log text reaches a terminal as text: a visitor's escape sequences cannot drive it.
TEST(ReportCommand, ControlCharactersOfTheLogNeverReachTheTerminal) {
    Program prog;
    const std::string log = prog.dir.file(
        "a.log",
        "10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET / HTTP/1.1\" 500 5 \"-\" \"\x1b]0;pwned\x07\x1b[2J\"\n");
    const Result r = cli("report " + prog.materia() + log);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_EQ(r.out.find('\x07'), std::string::npos);
    EXPECT_THAT(r.out, HasSubstr("\"\xEF\xBF\xBD]0;pwned\xEF\xBF\xBD\xEF\xBF\xBD[2J\""));
}

// A visitor's escaped quote in the user agent and a bracketed remote user analyse like any line.
TEST(ReportCommand, EscapedQuotesAndBracketedUsersStopNothing) {
    Program prog;
    const std::string first = "10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET / HTTP/1.1\" 200 5 \"-\" \"-\"\n";
    std::string log = prog.dir.file(
        "a.log",
        first + "10.0.0.9 - - [10/Oct/2004:13:56:00 +0900] \"GET /x HTTP/1.1\" 404 196 \"-\" \"evil\\\" 200 pwned\"\n");
    Result r = cli("report --summary " + prog.materia() + log);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.out, HasSubstr("総接続数 2  ホスト数 2  200 1  403 0  404 1"));
    log = prog.dir.file(
        "b.log", first + "10.0.0.9 - [abcd] [10/Oct/2004:13:56:00 +0900] \"GET /x HTTP/1.1\" 404 196 \"-\" \"-\"\n");
    r = cli("report --json " + prog.materia() + log);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Json::parse(r.out)["tally"]["hourConnections"][13].number, 2);
}

TEST(ReportCommand, LineThatStoppedTheAnalysisIsNamed) {
    Program prog;
    const std::string log = prog.dir.file(
        "bad.log", std::string(kLog) + "\n" + "h - - [10/Oct/2004:15:00:00 +0900] \"GET / HTTP/1.1\" 200 12k\n");
    Result r = cli("report --summary " + prog.materia() + log);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, testing::EndsWith("'12k' は整数ではありません.\nmunyaro-cli: " + log + ":6: stopped here\n"));
    r = cli("report --json " + prog.materia() + log);
    EXPECT_EQ(Json::parse(r.out)["errorLine"].number, 6);
    r = cli("report --json " + prog.materia() + prog.dir.file("good.log", kLog));
    EXPECT_TRUE(Json::parse(r.out)["errorLine"].isNull());
    EXPECT_THAT(r.err, testing::Not(HasSubstr("stopped here")));
}

// Memory running out while the report is written: the message, exit status 1, and no half report in
// the file standard output went to.
TEST(ReportCommand, MemoryRunningOutWhileWritingLeavesNoHalfReport) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no address-space limit can be set";
#endif
    Program prog;
    const std::string log = prog.dir.file("big1.log", "10.0.0.1 - - [10/Oct/2004:13:55:36 +0900] \"GET /" +
                                                          std::string(100'000'000, 'a') +
                                                          " HTTP/1.1\" 404 5 \"-\" \"-\"\n");
    const std::string out = prog.dir.path() + "/out";
    for (const char* format : {"", "--json "}) {
        prog.dir.file("out", "earlier\n");
        const Result r = cli("report " + std::string(format) + prog.materia() + log + " >>" + out,
                             "ulimit -v 300000; ");
        EXPECT_EQ(r.status, 1) << format;
        EXPECT_EQ(r.err, "メモリが足りません.\n") << format;
        EXPECT_EQ(readFile(out), "earlier\n") << format;
    }
}

TEST(ReportCommand, SavesTheReportAsHtmlAndCsvInsteadOfPrinting) {
    Program prog;
    const std::string log = prog.dir.file("access_log", kLog);
    const std::string page = prog.dir / "out/report.html";
    const std::string csv = prog.dir / "out/csv";
    std::filesystem::create_directories(prog.dir / "out");
    const Result r = cli("report " + prog.materia() + "--unit Kb --html " + page + " --csv " + csv + " " + log);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string html = readFile(page);
    EXPECT_THAT(html, HasSubstr("<tr><th>転送量</th><td class=\"n\">2.271484375 Kb</td></tr>"));
    EXPECT_THAT(html, HasSubstr("<dt>行数</dt><dd>4 行</dd>"));
    EXPECT_EQ(readFile(csv + "/接続-集計.csv").substr(0, 3), "\xEF\xBB\xBF");
    EXPECT_THAT(readFile(csv + "/bot.csv"),
                HasSubstr("*10.0.0.2 [10/Oct/2004:13:56:01 +0900] [/robots.txt] \"\"ExampleBot/1.0\"\"\"\r\n"));
    // --summary still prints when asked for.
    EXPECT_THAT(cli("report --summary " + prog.materia() + "--html " + page + " " + log).out, HasSubstr("総接続数 4"));
}

TEST(ReportCommand, ReportThatCannotBeSavedFailsButTheOtherIsWritten) {
    Program prog;
    const std::string log = prog.dir.file("access_log", kLog);
    const Result r = cli("report " + prog.materia() + "--html " + prog.dir.path() + "/missing/r.html --csv " +
                         prog.dir.path() + "/csv " + log);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("missing/r.html"));
    EXPECT_THAT(r.err, HasSubstr("を作成できません"));
    EXPECT_NE(readFile(prog.dir.path() + "/csv/集計結果.csv"), "<missing>");
    // A stopped analysis still leaves its report, with the error in it.
    const std::string page = prog.dir / "stopped.html";
    const Result stopped = cli("report --materia " + prog.dir.path() + "/none --html " + page + " " + log);
    EXPECT_EQ(stopped.status, 1);
    EXPECT_THAT(readFile(page), HasSubstr("解析はエラーで止まりました"));
}

// ---- The pass on several threads gives what one thread gives, byte for byte.

namespace {

// A log of n lines with hosts, paths and referrers repeating in both letter cases, so that the
// distinct lists and the reference lists have work in every chunk. Line `bad` (if below n) stops the
// analysis: with an hour that is no number, or, if byteCount, a 200 GET line whose byte count is no
// number (that one stops after the line's GET counts are in).
std::string generatedLog(std::size_t n, std::size_t bad, bool byteCount) {
    std::mt19937 rng(static_cast<unsigned>(n * 31 + bad));
    auto pick = [&](std::size_t k) { return static_cast<std::size_t>(rng() % k); };
    const char* statuses[] = {"200", "403", "404", "304", "500"};
    const char* referrers[] = {"-", "http://mysite.example.jp/", "http://other.example.com/a", "-",
                               "http://MySite.example.jp/"};
    const char* agents[] = {"Mozilla/5.0 (compatible; MSIE 6.0)", "ExampleBot/1.0", "curl/8.0", "-"};
    std::string log;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t h = pick(300);
        std::string host = (h % 7 == 0 ? "Host" : "host") + std::to_string(h) + (h % 3 ? ".example.net" : ".proxy.jp");
        std::string hour = (i == bad && !byteCount) ? "xx" : std::to_string(10 + pick(14));
        const bool post = pick(8) == 0;
        const char* status = (i == bad && byteCount) ? "200" : statuses[pick(5)];
        const std::string bytes = (i == bad && byteCount) ? "12ab" : std::to_string(pick(100000));
        const std::string path = (pick(2) ? "/Page" : "/page") + std::to_string(pick(500)) +
                                 (pick(20) ? ".html" : "/favicon.ico");
        log += host + " - - [10/Oct/2004:" + hour + ":55:36 +0900] \"" + (post && i != bad ? "POST " : "GET ") + path +
               " HTTP/1.1\" " + status + " " + bytes + " \"" + referrers[pick(5)] + "\" \"" + agents[pick(4)] + "\"\n";
    }
    return log;
}

// --json with one thread and with several, and their exit status and stderr; returns the one-thread run.
Result expectSameOnAnyThreads(const std::string& args, const std::string& what) {
    const Result one = cli("report --json --threads 1 " + args);
    for (const char* threads : {"2", "3"}) {
        const Result more = cli("report --json --threads " + std::string(threads) + " " + args);
        EXPECT_EQ(more.status, one.status) << what << ", " << threads << " threads";
        EXPECT_EQ(more.err, one.err) << what << ", " << threads << " threads";
        EXPECT_TRUE(more.out == one.out) << what << ", " << threads << " threads: the JSON differs";
    }
    return one;
}

}  // namespace

TEST(ReportThreads, RealLogsGiveTheSameJsonOnAnyNumberOfThreads) {
    Program prog("example.com\r\nwww.\r\n\r\n", "bot\r\nBot\r\nspider\r\nMozilla/5.0 (\r\n", "66.249.\r\n.1\r\n1\r\n");
    for (const char* name : {"hackers-home.log.gz", "elastic-apache.log.gz"}) {
        const std::string log = std::string(MUNYARO_REAL_DATA) + "/" + name;
        const Result one = expectSameOnAnyThreads(prog.materia() + log, name);
        // Long enough to be cut into several chunks.
        const auto lines = static_cast<std::size_t>(Json::parse(one.out)["tally"]["lineCount"].number);
        EXPECT_GE(analysis::passChunkEnds(lines, 2).size(), 2u) << name;
    }
}

TEST(ReportThreads, ALineThatStopsThePassLeavesTheSameStateOnAnyNumberOfThreads) {
    Program prog("mysite\r\n", "Bot/\r\n", "example\r\nhost1\r\nhost1\r\n");
    // A log cut into chunks of one size, and one long enough for chunks that shrink toward its end,
    // with a last chunk of a single line.
    std::size_t shrinking = 40000;
    for (std::vector<std::size_t> e = analysis::passChunkEnds(shrinking, 2); e.back() - e[e.size() - 2] != 1;
         e = analysis::passChunkEnds(++shrinking, 2)) {
    }
    int kind = 0;
    for (const std::size_t n : {std::size_t{20000}, shrinking}) {
        const std::vector<std::size_t> ends = analysis::passChunkEnds(n, 2);
        ASSERT_GT(ends.size(), 4u);
        // Lines at the start, middle and end of the first, a middle and the last chunk, or of the
        // small chunks at the end.
        std::set<std::size_t> bads;
        const std::size_t last = ends.size() - 1;
        for (std::size_t c :
             n == shrinking ? std::vector<std::size_t>{last - 1, last} : std::vector<std::size_t>{0, last / 2, last}) {
            const std::size_t begin = c == 0 ? 0 : ends[c - 1];
            bads.insert({begin, (begin + ends[c]) / 2, ends[c] - 1});
        }
        for (std::size_t bad : bads) {
            const bool byteCount = ++kind % 2 == 0;
            const std::string log = prog.dir.file("access_log", generatedLog(n, bad, byteCount));
            const std::string what = "line " + std::to_string(bad) + " of " + std::to_string(n) +
                                     (byteCount ? " (byte count)" : " (hour)");
            const Result one = expectSameOnAnyThreads(prog.materia() + log, what);
            ASSERT_EQ(one.status, 1) << what;
            EXPECT_THAT(Json::parse(one.out)["error"].string, HasSubstr(byteCount ? "'12ab'" : "'xx'")) << what;
        }
        // And a log that no line stops.
        expectSameOnAnyThreads(prog.materia() + prog.dir.file("access_log", generatedLog(n, n, false)), "no error");
    }
}

TEST(ReportCommand, LayoutIsToldAndCanBeChosen) {
    Program prog("", "", "");
    const std::string formats = std::string(MUNYARO_SOURCE_DIR) + "/tests/data/formats/";
    Result r = cli("report --json " + prog.materia() + formats + "vhost.log");
    ASSERT_EQ(r.status, 0) << r.err;
    Json j = Json::parse(r.out);
    EXPECT_EQ(j["format"].string, "vhost-combined");
    EXPECT_EQ(j["tally"]["hostCount"].number, 4);
    EXPECT_EQ(j["rankings"]["virtualHosts"].array.size(), 2u);
    // Chosen over what the lines say: read as combined, the site's names are the hosts.
    r = cli("report --json --format combined " + prog.materia() + formats + "vhost.log");
    j = Json::parse(r.out);
    EXPECT_EQ(j["format"].string, "combined");
    EXPECT_EQ(j["tally"]["hostCount"].number, 2);
    EXPECT_EQ(j["rankings"].object.count("virtualHosts"), 0u);
    r = cli("report --summary " + prog.materia() + formats + "common.log");
    EXPECT_THAT(r.out, HasSubstr("ログの形式: common（リファラ・エージェントの欄なし）"));
    for (const char* args : {"--format nginx x", "--format", "--client-from proxy x"}) {
        r = cli("report " + std::string(args));
        EXPECT_EQ(r.status, 2) << args;
    }
    r = cli("report --json --client-from forwarded " + prog.materia() + formats + "forwarded-list.log");
    EXPECT_EQ(Json::parse(r.out)["panes"]["Memo8"][2].string, "192.0.2.10");
}

TEST(ReportCommand, SkipBadLinesGoesOnAndNamesTheLines) {
    Program prog;
    const std::string log = prog.dir.file("bad.log", std::string(kLog) + "\r\n" + "garbage\r\n" + kLog);
    Result r = cli("report --json " + prog.materia() + log);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Json::parse(r.out).object.count("skippedLines"), 0u);
    r = cli("report --json --skip-bad-lines " + prog.materia() + log);
    ASSERT_EQ(r.status, 0) << r.err;
    const Json j = Json::parse(r.out);
    EXPECT_EQ(j["skippedLines"]["count"].number, 1);
    EXPECT_EQ(j["skippedLines"]["lines"][0].number, 6);  // the blank line 5 counts in the file's numbering
    EXPECT_EQ(j["tally"]["lineCount"].number, 8);
    r = cli("report --skip-bad-lines " + prog.materia() + log);
    EXPECT_THAT(r.out, HasSubstr("読めなかった行: 1\n"));
    EXPECT_THAT(r.out, HasSubstr("== 読めなかった行 (SkippedLines) ==\n6: garbage\n"));
}

TEST(ReportCommand, AZeroByteThatEndedTheLogIsTold) {
    Program prog;
    std::string text = std::string(kLog) + kLog;
    text.insert(text.find("GET /robots.txt"), 1, '\0');  // line 2
    const std::string log = prog.dir.file("cut_log", text);
    const std::string html = prog.dir.path() + "/r.html";
    Result r = cli("report --json --html " + html + " " + prog.materia() + log);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "munyaro-cli: " + log + ":2: ゼロのバイトで読み終えました\n");
    Json j = Json::parse(r.out);
    EXPECT_EQ(j["stoppedAtZeroByte"].number, 2);
    EXPECT_EQ(j["tally"]["lineCount"].number, 2) << "the counts are those before it";
    EXPECT_EQ(j["progress"].array.size(), 13u) << "the progress messages stay as they are";
    EXPECT_THAT(readFile(html), HasSubstr("2 行目のゼロのバイトで読み終えました"));
    r = cli("report --json " + prog.materia() + prog.dir.file("whole_log", kLog));
    EXPECT_EQ(r.err, "");
    EXPECT_TRUE(Json::parse(r.out)["stoppedAtZeroByte"].isNull());
}

// ---- A gzip log gives the JSON of its plain text, on any number of threads.

TEST(ReportGzip, AGzipLogGivesTheJsonOfItsPlainText) {
    Program prog("example.com\r\nwww.\r\n", "bot\r\nBot\r\n", "66.249.\r\n.1\r\n");
    std::vector<std::pair<std::string, std::string>> logs;  // what, the plain text
    for (const char* name : {"hackers-home.log.gz", "elastic-apache.log.gz"})
        logs.emplace_back(name, std::string(analysis::loadLog(std::string(MUNYARO_REAL_DATA) + "/" + name)->buffer()));
    logs.emplace_back("generated", generatedLog(30000, 30000, false));
    logs.emplace_back("stopped by a line", generatedLog(30000, 20000, true));
    const std::string log = prog.dir / "access_log";
    for (const auto& [what, text] : logs) {
        prog.dir.file("access_log", text);
        const Result plain = cli("report --json --threads 1 " + prog.materia() + log);
        ASSERT_NE(plain.out, "") << what;
        // Members of a few sizes one after another, a break of a line between two of them.
        const std::size_t cut = text.size() / 3;
        const std::vector<std::string> files{gzipText(text, 6),
                                             gzipText(text.substr(0, cut), 1) + gzipText(text.substr(cut), 9)};
        for (const std::string& gz : files) {
            prog.dir.file("access_log", gz);
            const Result packed = expectSameOnAnyThreads(prog.materia() + log, what + " (gzip)");
            EXPECT_EQ(packed.status, plain.status) << what;
            EXPECT_EQ(packed.err, plain.err) << what;
            EXPECT_TRUE(packed.out == plain.out) << what << ": the JSON differs";
        }
    }
}

// Under a limit on the address space (ulimit -v), the room for the text leaves enough of it for the
// lines and lists.
TEST(ReportGzip, AGzipLogIsReadUnderAnAddressSpaceLimit) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "AddressSanitizer reserves terabytes of address space: no address-space limit can be set";
#endif
    Program prog;
    const std::string text = generatedLog(150000, 150000, false);
    const std::string log = prog.dir.file("access_log", text);
    const Result plain = cli("report --json " + prog.materia() + log);
    ASSERT_EQ(plain.status, 0) << plain.err;
    prog.dir.file("access_log", gzipText(text, 6));
    const Result packed = cli("report --json " + prog.materia() + log, "ulimit -v 300000; ");
    EXPECT_EQ(packed.status, 0) << packed.err;
    EXPECT_TRUE(packed.out == plain.out) << "the JSON differs";
}

TEST(ReportCommand, VisitsAndHostDetailWithTheBehaviourLists) {
    Program prog;
    const std::string log = prog.dir.file("access_log", kLog);
    Result r = cli("report --json " + prog.materia() + log);
    ASSERT_EQ(r.status, 0) << r.err;
    Json whole = Json::parse(r.out);
    // 10.0.0.1's GET is one visit; the POST has no agent cut, so it makes no visitor.
    EXPECT_EQ(whole["visits"]["count"].number, 3);
    EXPECT_EQ(whole["visits"]["medianSeconds"].number, 0);
    const Json& hosts = whole["hostDetail"];
    ASSERT_EQ(hosts.array.size(), 3u);
    EXPECT_EQ(hosts[0]["host"].string, "10.0.0.1");
    EXPECT_EQ(hosts[0]["hits"].number, 2);
    EXPECT_EQ(hosts[0]["first"].string, "2004-10-10T13:55:36+09:00");
    EXPECT_EQ(hosts[0]["last"].string, "2004-10-10T14:02:10+09:00");
    EXPECT_TRUE(hosts[0]["robotEntry"].isNull());
    EXPECT_EQ(hosts[1]["host"].string, "10.0.0.2");
    EXPECT_TRUE(hosts[1]["robotsTxt"].boolean);
    EXPECT_TRUE(hosts[1]["robotLike"].boolean);
    EXPECT_EQ(hosts[1]["robotEntry"].string, "Bot/");
    EXPECT_EQ(hosts[1]["notFound"].number, 1);
    EXPECT_FALSE(hosts[2]["robotLike"].boolean);
    EXPECT_EQ(whole["rankings"]["pagesOnly"].array.size(), 2u);  // favicon.ico is an asset

    // The lists beside the three: an excluded address, and assets without the icon.
    prog.dir.file("materia/ExcludeList.dat", "10.0.0.2\r\n");
    prog.dir.file("materia/AssetList.dat", ".html\r\n");
    r = cli("report --json " + prog.materia() + log);
    whole = Json::parse(r.out);
    ASSERT_EQ(whole["hostDetail"].array.size(), 2u);
    EXPECT_EQ(whole["rankings"]["visitors"].array.size(), 2u);
    const Json& pagesOnly = whole["rankings"]["pagesOnly"];
    ASSERT_EQ(pagesOnly.array.size(), 2u);
    EXPECT_EQ(pagesOnly[0]["item"].string, "/favicon.ico");
    // The specified figures count everything still.
    EXPECT_EQ(whole["rankings"]["hosts"].array.size(), 3u);
}
