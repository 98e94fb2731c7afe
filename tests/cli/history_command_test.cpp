// munyaro-cli history and report --record, run as the program they are.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/wait.h>
#include <unistd.h>

#include "support/clirun.h"
#include "support/json.h"
#include "support/tempdir.h"

using testing::HasSubstr;

namespace {

std::string line(const std::string& host, const std::string& when, const std::string& path = "/") {
    return host + " - - [" + when + " +0900] \"GET " + path + " HTTP/1.1\" 200 100 \"-\" \"Mozilla/5.0\"\n";
}

struct Site {
    TempDir dir;
    Site() {
        dir.file("materia/DomeinList.dat", "");
        dir.file("materia/SERobotsList.dat", "bot\r\n");
        dir.file("materia/CheckDomeinList.dat", "");
    }
    std::string materia() const { return " --materia " + dir.path() + "/materia "; }
    std::string history() const { return dir.path() + "/history.sqlite"; }
    Result run(const std::string& args) const { return cli("history " + args + materia()); }
};

}  // namespace

TEST(HistoryCommand, AddsRotatedLogsAndShowsThemAsJson) {
    Site s;
    // access_log.1 (gzip) holds the 8th from 04:00 and the 9th to 04:00; access_log the rest of the 9th.
    s.dir.file("access_log.1", line("a", "08/Dec/2026:04:00:00") + line("b", "09/Dec/2026:03:59:59"));
    s.dir.file("access_log", line("c", "09/Dec/2026:04:00:00") + line("a", "09/Dec/2026:23:00:00", "/x"));
    ASSERT_EQ(std::system(("gzip -n " + s.dir / "access_log.1").c_str()), 0);
    const Result add = s.run("add " + s.dir / "access_log.1.gz" + " " + s.dir / "access_log");
    ASSERT_EQ(add.status, 0) << add.err;
    EXPECT_EQ(add.err, "");
    EXPECT_THAT(add.out, HasSubstr("2026-12-09:2"));

    const Result show = s.run("show --json");
    ASSERT_EQ(show.status, 0) << show.err;
    const Json j = Json::parse(show.out);
    ASSERT_EQ(j["days"].array.size(), 2u);
    const Json& ninth = j["days"][1];
    EXPECT_EQ(ninth["date"].string, "2026-12-09");
    EXPECT_EQ(ninth["lines"].number, 3);
    EXPECT_EQ(ninth["hosts"].number, 3);
    EXPECT_EQ(ninth["visitors"].number, 3);
    EXPECT_EQ(ninth["get"].number, 3);
    EXPECT_EQ(ninth["status200"].number, 3);
    EXPECT_EQ(ninth["bytes"].number, 300);
    for (const char* key : {"post", "status403", "status404", "robots"}) EXPECT_EQ(ninth[key].number, 0) << key;
    ASSERT_EQ(ninth["hourConnections"].array.size(), 24u);
    EXPECT_EQ(ninth["hourConnections"][23].number, 1);
    EXPECT_EQ(ninth["sources"].strings(), (std::vector<std::string>{"access_log.1.gz", "access_log"}));
    EXPECT_EQ(j["total"]["lines"].number, 4);
    EXPECT_EQ(j["total"]["hosts"].number, 3);
    EXPECT_EQ(j["total"]["from"].string, "2026-12-08");

    const Json months = Json::parse(s.run("show --by month --json --from 2026-12 --to 2026-12").out);
    ASSERT_EQ(months["months"].array.size(), 1u);
    EXPECT_EQ(months["months"][0]["month"].string, "2026-12");
    EXPECT_EQ(months["months"][0]["hosts"].number, 3);
    EXPECT_EQ(Json::parse(s.run("show --json --from 2026-12-09 --to 2026-12-09").out)["total"]["lines"].number, 3);
}

TEST(HistoryCommand, AnOverlappingCopyIsReportedAndNotCounted) {
    Site s;
    const std::string day = line("a", "09/Dec/2026:10:00:00") + line("b", "09/Dec/2026:11:00:00");
    s.dir.file("access_log", day);
    s.dir.file("backup_log", day);
    ASSERT_EQ(s.run("add " + s.dir / "access_log").status, 0);
    const Result copy = s.run("add " + s.dir / "backup_log");
    ASSERT_EQ(copy.status, 0) << copy.err;
    EXPECT_THAT(copy.err, HasSubstr("2026-12-09: \"access_log\""));
    EXPECT_THAT(copy.err, HasSubstr("\"backup_log\" の分に置き換えました"));
    EXPECT_EQ(Json::parse(s.run("show --json").out)["total"]["lines"].number, 2);
}

TEST(HistoryCommand, ReportRecordsOnlyWhenAsked) {
    Site s;
    const std::string log = s.dir.file(
        "access_log", line("a", "09/Dec/2026:10:00:00") + line("b", "09/Dec/2026:10:00:01", "/favicon.ico"));
    ASSERT_EQ(cli("report --summary" + s.materia() + log).status, 0);
    EXPECT_FALSE(std::filesystem::exists(s.history()));
    for (int i = 0; i < 2; ++i) {
        const Result r = cli("report --summary --record" + s.materia() + log);
        ASSERT_EQ(r.status, 0) << r.err;
    }
    const Json j = Json::parse(s.run("show --json").out);
    EXPECT_EQ(j["total"]["lines"].number, 2);
    EXPECT_EQ(j["total"]["favicon"].number, 1);
}

TEST(HistoryCommand, ReportRecordsTheForwardedClientsItCounted) {
    // Behind one proxy: the pass counts the forwarded clients, so the days must keep them too. A log of
    // one day is taken as the pass goes; one of two days is read again by day.
    auto proxied = [](const std::string& when, const std::string& client) {
        return "10.0.0.1 - - [" + when + " +0900] \"GET / HTTP/1.1\" 200 100 \"-\" \"Mozilla/5.0\" \"" + client +
               "\"\n";
    };
    const std::string oneDay = proxied("09/Dec/2026:10:00:00", "192.0.2.10") + proxied("09/Dec/2026:11:00:00", "192.0.2.11");
    for (const std::string& text : {oneDay, oneDay + proxied("10/Dec/2026:01:00:00", "192.0.2.10")}) {
        Site s;
        const std::string log = s.dir.file("access_log", text);
        const Result r = cli("report --summary --record --client-from forwarded" + s.materia() + log);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const Json j = Json::parse(s.run("show --json").out);
        ASSERT_GE(j["days"].array.size(), 1u);
        EXPECT_EQ(j["days"][0]["hosts"].number, 2);
        EXPECT_EQ(j["days"][0]["visitors"].number, 2);
        EXPECT_EQ(j["total"]["hosts"].number, 2);
    }
}

TEST(HistoryCommand, AnExcludedAddressIsNobodysVisitButStaysAHost) {
    // As the pass goes (one day), read again by day (two days), and added without a pass.
    const std::string oneDay = line("a", "09/Dec/2026:10:00:00") + line("own", "09/Dec/2026:11:00:00");
    const std::string twoDays = oneDay + line("b", "10/Dec/2026:01:00:00");
    const std::pair<std::string, std::string> runs[] = {
        {oneDay, "report --summary --record"}, {twoDays, "report --summary --record"}, {twoDays, "history add"}};
    for (const auto& [text, command] : runs) {
        Site s;
        s.dir.file("materia/ExcludeList.dat", "own\r\n");
        const std::string log = s.dir.file("access_log", text);
        const Result r = cli(command + s.materia() + log);
        ASSERT_EQ(r.status, 0) << command << r.err;
        const Json j = Json::parse(s.run("show --json").out);
        EXPECT_EQ(j["days"][0]["hosts"].number, 2) << command;
        EXPECT_EQ(j["days"][0]["visitors"].number, 1) << command;
    }
}

TEST(HistoryCommand, ARecordingThatFailsStillShowsTheAnalysis) {
    Site s;
    const std::string log = s.dir.file("access_log", line("a", "09/Dec/2026:10:00:00"));
    // A folder in place of the history file: it can be neither opened nor moved aside.
    std::filesystem::create_directory(s.history());
    const Result r = cli("report --summary --record" + s.materia() + log);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.out, HasSubstr("総接続数"));
    EXPECT_THAT(r.err, HasSubstr(s.history()));
}

TEST(HistoryCommand, ExportsCsvAndAPageWithoutScript) {
    Site s;
    s.dir.file("evil<script>log", line("<b>x</b>", "09/Dec/2026:10:00:00", "/<script>alert(1)</script>"));
    ASSERT_EQ(s.run("add '" + s.dir / "evil<script>log" + "'").status, 0);
    const Result csv = s.run("show --csv");
    ASSERT_EQ(csv.status, 0) << csv.err;
    EXPECT_THAT(csv.out, HasSubstr("\xEF\xBB\xBF"
                                   "date,lines,hosts,visitors"));
    EXPECT_THAT(csv.out, HasSubstr("\r\n2026-12-09,1,1,1,1,"));
    EXPECT_THAT(csv.out, HasSubstr("\r\ntotal,1,"));
    const Result html = s.run("show --html " + s.dir / "page.html");
    ASSERT_EQ(html.status, 0) << html.err;
    const std::string page = readFile(s.dir / "page.html");
    EXPECT_THAT(page, HasSubstr("Content-Security-Policy"));
    EXPECT_THAT(page, HasSubstr("<svg"));
    EXPECT_THAT(page, HasSubstr("evil&lt;script&gt;log"));
    EXPECT_THAT(page, testing::Not(HasSubstr("<script")));
    EXPECT_THAT(page, testing::Not(HasSubstr("<b>")));
}

TEST(HistoryCommand, RankingsAndRemove) {
    Site s;
    s.dir.file("log", line("a", "08/Dec/2026:10:00:00", "/a") + line("a", "09/Dec/2026:10:00:00", "/a") +
                          line("a", "09/Dec/2026:10:00:01", "/b"));
    ASSERT_EQ(s.run("add " + s.dir / "log").status, 0);
    const Json r = Json::parse(s.run("rankings --json --top 1").out);
    ASSERT_EQ(r["pages"]["rows"].array.size(), 1u);
    EXPECT_EQ(r["pages"]["rows"][0]["item"].string, "/a");
    EXPECT_EQ(r["pages"]["rows"][0]["hits"].number, 2);
    EXPECT_EQ(r["pages"]["hits"].number, 3);
    const Result removed = s.run("remove --from 2026-12-09 --to 2026-12-09");
    ASSERT_EQ(removed.status, 0) << removed.err;
    EXPECT_THAT(removed.out, HasSubstr("1 days removed"));
    EXPECT_EQ(Json::parse(s.run("show --json").out)["days"].array.size(), 1u);
}

TEST(HistoryCommand, WrongUsageAndMissingLogs) {
    Site s;
    EXPECT_EQ(s.run("remove --from 2026-12-01").status, 2);
    EXPECT_EQ(s.run("show --from 2026-13-01").status, 2);
    EXPECT_EQ(s.run("show --from 2026-12-02 --to 2026-12-01").status, 2);
    EXPECT_EQ(s.run("add").status, 2);
    EXPECT_EQ(s.run("frobnicate").status, 2);
    s.dir.file("good", line("a", "09/Dec/2026:10:00:00"));
    const Result r = s.run("add " + s.dir / "missing" + " " + s.dir / "good");
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("missing"));
    EXPECT_THAT(r.out, HasSubstr("good 2026-12-09:1"));
}

// The next log is read while the one before it is recorded: each is still told and recorded in
// its own turn, also after one that cannot be read, and the last one too.
TEST(HistoryCommand, ManyLogsAreRecordedInTurnPastOneThatFails) {
    Site s;
    std::string args;
    for (int d = 1; d <= 5; ++d) {
        const std::string name = "access_log-2026110" + std::to_string(d);
        s.dir.file(name, line("a", "0" + std::to_string(d) + "/Nov/2026:10:00:00") +
                             line("b", "0" + std::to_string(d) + "/Nov/2026:11:00:00"));
        ASSERT_EQ(std::system(("gzip -n " + s.dir / name).c_str()), 0);
        args += " " + s.dir / name + ".gz";
    }
    // The third is cut short: no gzip text ends there.
    ASSERT_EQ(::truncate((s.dir.path() + "/access_log-20261103.gz").c_str(), 30), 0);
    const Result r = s.run("add" + args);
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("access_log-20261103.gz"));
    EXPECT_THAT(r.err, HasSubstr("gzip"));
    std::string told;
    for (int d : {1, 2, 4, 5})
        told += s.dir / ("access_log-2026110" + std::to_string(d)) + ".gz 2026-11-0" + std::to_string(d) + ":2\n";
    EXPECT_EQ(r.out, told);
    const Json days = Json::parse(s.run("show --json").out)["days"];
    ASSERT_EQ(days.array.size(), 4u);
    EXPECT_EQ(days[2]["date"].string, "2026-11-04");
    EXPECT_EQ(days[3]["lines"].number, 2);
}

TEST(HistoryCommand, ADamagedHistoryIsMovedAsideAndSaidSo) {
    Site s;
    writeFile(s.history(), "this is not a database at all, it is a shopping list");
    s.dir.file("log", line("a", "09/Dec/2026:10:00:00"));
    const Result r = s.run("add " + s.dir / "log");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, HasSubstr("壊れていたので"));
    EXPECT_THAT(r.err, HasSubstr(s.history() + ".damaged-"));
}

// The history is opened while the log is read: an analysis that fails makes no history where there
// was none, and what opening an existing one found is still said.
TEST(HistoryCommand, AFailedAnalysisMakesNoHistoryAndStillSaysWhatOpeningFound) {
    Site s;
    const Result none = cli("report --summary --record" + s.materia() + s.dir / "missing_log");
    EXPECT_EQ(none.status, 1);
    EXPECT_FALSE(std::filesystem::exists(s.history()));

    writeFile(s.history(), "this is not a database at all, it is a shopping list");
    const Result damaged = cli("report --summary --record" + s.materia() + s.dir / "missing_log");
    EXPECT_EQ(damaged.status, 1);
    EXPECT_THAT(damaged.err, HasSubstr("壊れていたので"));
    EXPECT_THAT(damaged.err, HasSubstr(s.history() + ".damaged-"));
}
