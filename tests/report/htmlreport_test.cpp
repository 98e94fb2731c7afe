// The report page: escaping, its policy, the charts' bars, long panes, errors, and the file it replaces.
#include "report/htmlreport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "analysis/logcounting.h"
#include "common/apperror.h"
#include "common/base64.h"
#include "common/cp932.h"
#include "common/sha256.h"
#include "report/hostilelog.h"
#include "support/recordingview.h"
#include "support/tempdir.h"

using namespace report;
using testing::HasSubstr;
using testing::Not;

namespace {

std::string escaped(std::string_view s) {
    std::string out;
    appendHtmlText(out, s);
    return out;
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// Width of the bar of one hour in an SVG chart, -1 when it has none.
int barWidth(const std::string& svg, int hour) {
    const std::regex bar("data-hour=\"" + std::to_string(hour) + "\"[^>]* width=\"([0-9]+)\"");
    std::smatch m;
    return std::regex_search(svg, m, bar) ? std::stoi(m[1]) : -1;
}

}  // namespace

TEST(HtmlText, MarkupQuotesAndControlsAreEscaped) {
    EXPECT_EQ(escaped("<a href=\"x\" title='y'>&amp;</a>"),
              "&lt;a href=&quot;x&quot; title=&#39;y&#39;&gt;&amp;amp;&lt;/a&gt;");
    EXPECT_EQ(escaped(std::string("a\0b\x1b[31m\tc\x7f", 11)), "a\xEF\xBF\xBD"
                                                               "b\xEF\xBF\xBD[31m\tc\xEF\xBF\xBD");
    EXPECT_EQ(escaped("むにゃろ"), "むにゃろ");
}

TEST(HtmlReport, HostileLogReachesThePageOnlyAsText) {
    hostile::Analysed a;
    const std::string page = htmlReport(a.record);
    // The page's own markup has no script, image, link, frame or form of any kind.
    for (const char* tag : {"<script", "<img", "<a ", "<link", "<iframe", "<form", "<object", "<embed", "<base"})
        EXPECT_THAT(page, Not(HasSubstr(tag))) << tag;
    EXPECT_EQ(count(page, "<title>"), 1);
    EXPECT_EQ(count(page, "</title>"), 1);
    EXPECT_THAT(page, Not(HasSubstr("href")));
    EXPECT_THAT(page, Not(HasSubstr("onerror=\"")));
    // The strangers' text is all there, as text: title, file name, panes.
    EXPECT_THAT(page, HasSubstr("<title>むにゃろ レポート: access_&lt;script&gt;.log</title>"));
    EXPECT_THAT(page, HasSubstr(escaped(hostile::kScript)));
    EXPECT_THAT(page, HasSubstr(escaped(hostile::kImg)));
    EXPECT_THAT(page, HasSubstr(escaped(hostile::kTitle)));
    EXPECT_THAT(page, HasSubstr(hostile::kJavascript));
    EXPECT_THAT(page, HasSubstr("@10.0.0.5 /a,b&quot;c\n"));
    // The rankings too: the user agent of the first line tops nothing but is listed as text.
    EXPECT_THAT(page, HasSubstr("<details id=\"rank-userAgents\">"));
    EXPECT_THAT(page, HasSubstr("<td class=\"item\">" + escaped(hostile::kTitle) + "</td>"));
    EXPECT_THAT(page, HasSubstr("<td class=\"n\">3</td><td class=\"n\">50.0%</td><td class=\"item\">200</td>"));
}

TEST(HtmlReport, PolicyForbidsEverythingButTheStyleSheetByItsHash) {
    hostile::Analysed a;
    const std::string page = htmlReport(a.record);
    std::smatch m;
    ASSERT_TRUE(std::regex_search(page, m, std::regex("http-equiv=\"Content-Security-Policy\" content=\"([^\"]*)\"")));
    const std::string policy = m[1];
    for (const char* d : {"default-src 'none'", "script-src 'none'", "connect-src 'none'", "frame-src 'none'",
                          "form-action 'none'", "img-src 'none'", "base-uri 'none'"})
        EXPECT_THAT(policy, HasSubstr(d));
    // The meta element comes before anything it must govern.
    EXPECT_LT(page.find("Content-Security-Policy"), page.find("<style>"));
    const std::size_t from = page.find("<style>") + 7;
    const std::string hash = common::sha256(std::string_view(page).substr(from, page.find("</style>") - from));
    EXPECT_THAT(policy, HasSubstr("style-src 'sha256-" + common::base64(hash) + "'"));
    EXPECT_EQ(count(page, "<style"), 1);
    EXPECT_THAT(page, Not(HasSubstr("style=")));
}

TEST(HtmlReport, HeaderBoxesAndUnitAsTheWindowShowsThem) {
    hostile::Analysed a;
    const std::string page = htmlReport(a.record);
    EXPECT_THAT(page, HasSubstr("<dt>行数</dt><dd>6 行</dd>"));
    EXPECT_THAT(page, HasSubstr("<dt>サイズ</dt><dd>" + std::to_string(hostile::log().size()) + " バイト</dd>"));
    EXPECT_THAT(page, HasSubstr("<tr><th>総接続数</th><td class=\"n\">6</td></tr>"));
    EXPECT_THAT(page, HasSubstr("<tr><th>転送量</th><td class=\"n\">300 byte</td></tr>"));
    // The favicon pair, one caption each (the window shows them on one row as "favicon IE-総数 … / …").
    EXPECT_THAT(page, HasSubstr("<h3>解析</h3><table>\n<tr><th>favicon IE</th><td class=\"n\">"));
    EXPECT_THAT(page, HasSubstr("</td></tr>\n<tr><th>favicon 総数</th><td class=\"n\">"));
    a.record.unitChanged(common::cp932(u8"0.29296875"), 1);
    EXPECT_THAT(htmlReport(a.record), HasSubstr("<tr><th>転送量</th><td class=\"n\">0.29296875 Kb</td></tr>"));
    // Only the rest of the window's panes: the raw log is left out.
    EXPECT_THAT(page, HasSubstr("id=\"pane-RobotsLog\""));
    EXPECT_THAT(page, Not(HasSubstr("pane-NamaLog")));
}

TEST(HtmlReport, ChartBarsComeFromTheCountsWithTheWindowsGeometry) {
    ChartCounts c;
    c.total = 47;
    c.counts[12] = 19;  // 114 pixels, not 113
    c.counts[3] = 47;   // a full bar
    c.counts[0] = 1;    // 6 pixels
    const std::string svg = chartSvg(c);
    EXPECT_EQ(barWidth(svg, 12), 114);
    EXPECT_EQ(barWidth(svg, 3), 282);
    EXPECT_EQ(barWidth(svg, 0), 6);
    EXPECT_EQ(barWidth(svg, 5), -1);  // an empty hour has no bar
    // Rows as in the window: hour 3 at the top, hour 0 below the separator.
    EXPECT_THAT(svg, HasSubstr("data-hour=\"3\" x=\"15\" y=\"1\" "));
    EXPECT_THAT(svg, HasSubstr("data-hour=\"0\" x=\"15\" y=\"221\" "));
    EXPECT_THAT(svg, HasSubstr("y1=\"215.5\""));
    EXPECT_EQ(count(svg, "class=\"bar\""), 3);
    EXPECT_THAT(svg, HasSubstr(">19</text>"));
}

TEST(HtmlReport, ChartsOfTheAnalysisShareAllLines) {
    hostile::Analysed a;
    const std::string page = htmlReport(a.record);
    const std::size_t get = page.find("id=\"Image2\"");
    ASSERT_NE(get, std::string::npos);
    // Two of six lines are GET requests at 12: 94 pixels.
    EXPECT_EQ(barWidth(page.substr(get), 12), 94);
}

TEST(HtmlReport, LongPaneShowsItsFirstThousandLinesAndSaysWhereTheRestIs) {
    ReportRecord r;
    r.begin("/nowhere/access_log", 0);
    common::StringList lines;
    for (int i = 0; i < 1500; ++i) lines.push_back("line " + std::to_string(i));
    r.replacePane("Memo9", analysis::makeLines(lines));
    const std::string page = htmlReport(r);
    EXPECT_THAT(page, HasSubstr("line 999\n</pre>"));
    EXPECT_THAT(page, Not(HasSubstr("line 1000")));
    EXPECT_THAT(page, HasSubstr("(1,500 行)"));
    EXPECT_THAT(page, HasSubstr("全 1,500 行のうち最初の 1,000 行です。残りは CSV の 接続-抽出ログ.csv にあります。"));
    EXPECT_THAT(page, HasSubstr("<dt>サイズ</dt><dd>不明</dd>"));
}

TEST(HtmlReport, StoppedAnalysisShowsTheErrorAndWhereItStopped) {
    TempDir dir;
    const std::string log = dir.file("access_log",
                                     "10.0.0.1 - - [07/Dec/2026:10:00:00 +0900] \"GET / HTTP/1.1\" 200 1\r\n");
    ReportRecord r;
    r.begin(log, 0);
    try {
        analysis::LogCounting(log, r, analysis::AnalysisOptions{dir.path() + "/materia"});
        FAIL() << "the lists are missing";
    } catch (const common::AppError& e) {
        r.fail(common::withPeriod(e.what()));
    }
    const std::string page = htmlReport(r);
    EXPECT_THAT(page, HasSubstr("<h2>解析はエラーで止まりました</h2>\n<p>ファイル &quot;" + dir.path() +
                                "/materia/CheckDomeinList.dat&quot;. No such file or directory は開けません.</p>"));
    EXPECT_THAT(page, HasSubstr("止まったところ: 監視対象ドメインを読み込んでいます..."));
    EXPECT_THAT(page, HasSubstr("<dt>行数</dt><dd>1 行</dd>"));
    EXPECT_THAT(page, HasSubstr("グラフはありません"));
    // A later analysis starts a clean record.
    r.begin(log, 0);
    EXPECT_THAT(htmlReport(r), Not(HasSubstr("エラー")));
}

TEST(HtmlReport, LineThatStoppedThePassIsShownAsText) {
    TempDir dir;
    for (const char* list : {"DomeinList.dat", "SERobotsList.dat", "CheckDomeinList.dat"})
        dir.file(std::string("materia/") + list, "");
    const std::string bad = "<b>h</b> - - [10/Oct/2004:xx:00:00 +0900] \"GET / HTTP/1.1\" 404 1";
    const std::string log = dir.file(
        "access_log", "10.0.0.1 - - [10/Oct/2004:10:00:00 +0900] \"GET / HTTP/1.1\" 200 1\r\n\r\n" + bad + "\r\n");
    RecordingView shown;
    ReportRecord r(&shown);
    r.begin(log, 0);
    try {
        analysis::LogCounting(log, r, analysis::AnalysisOptions{dir.path() + "/materia"});
        ADD_FAILURE() << "the hour xx stops the pass";
    } catch (const common::AppError& e) {
        r.fail(e.what());
    }
    EXPECT_EQ(shown.stopped, std::make_pair(std::size_t{1}, std::size_t{3}));  // passed on to the window
    EXPECT_EQ(r.stoppedLine(), bad);
    const std::string page = htmlReport(r);
    EXPECT_THAT(page, HasSubstr("<p>止めた行: 3 行目</p>\n<pre>&lt;b&gt;h&lt;/b&gt; - - [10/Oct/2004:xx:00:00 +0900]"));
    // The panes the pass appends to show what it got before the line.
    EXPECT_THAT(page,
                HasSubstr("<details id=\"pane-Memo4\"><summary>要求ログ &gt; 抽出ログ <span class=\"note\">(1 行)"));
}

TEST(ReportRecord, PassesEveryCallOnToTheWindow) {
    hostile::Analysed a;
    RecordingView shown;
    ReportRecord tee(&shown);
    analysis::LogCounting(a.logPath, tee, analysis::AnalysisOptions{a.dir.path() + "/materia"});
    RecordingView direct;
    analysis::LogCounting(a.logPath, direct, analysis::AnalysisOptions{a.dir.path() + "/materia"});
    EXPECT_EQ(shown.boxes, direct.boxes);
    EXPECT_EQ(shown.progress, direct.progress);
    EXPECT_EQ(shown.charts, direct.charts);
    EXPECT_EQ(shown.last, direct.last);
    for (const auto& [name, pane] : direct.panes) EXPECT_EQ(shown.pane(name), direct.pane(name)) << name;
    EXPECT_EQ(tee.pane("Memo8").toStringList(), direct.pane("Memo8"));
}

TEST(HtmlReport, ReplacesAFileWholeAndLeavesNothingBeside) {
    hostile::Analysed a;
    TempDir out;
    const std::string path = out.file("report.html", "old report");
    writeHtmlReport(a.record, path);
    EXPECT_EQ(readFile(path), htmlReport(a.record));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1);
    // A file the user protected stays as it is, and the reason is given.
    std::filesystem::permissions(path, std::filesystem::perms::owner_read);
    EXPECT_THAT([&] { writeHtmlReport(a.record, path); },
                testing::ThrowsMessage<common::AppError>(HasSubstr(common::cp932(u8"を作成できません"))));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path()), {}), 1);
    EXPECT_THAT([&] { writeHtmlReport(a.record, out.path() + "/missing/report.html"); },
                testing::ThrowsMessage<common::AppError>(HasSubstr("missing/report.html")));
}

TEST(HtmlReport, DefaultNameSitsBesideTheLog) {
    EXPECT_EQ(defaultReportPath("/var/log/apache2/access.log.1.gz"),
              "/var/log/apache2/munyaro-report-access.log.1.gz.html");
}
