// The CSV files: byte-order mark, CR LF, RFC 4180 quoting, formula starters, one file per pane.
#include "report/csvreport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/apperror.h"
#include "common/cp932.h"
#include "report/hostilelog.h"
#include "support/tempdir.h"

using namespace report;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

std::string cell(std::string_view s) {
    std::string out;
    appendCsvText(out, s);
    return out;
}

// A strict RFC 4180 reader: rows of cells; fails the test on anything else.
std::vector<std::vector<std::string>> parse(std::string_view text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string c;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '"') {
            for (++i;; ++i) {
                if (i >= text.size()) {
                    ADD_FAILURE() << "unterminated quote";
                    return rows;
                }
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        c += '"';
                        ++i;
                    } else {
                        ++i;
                        break;
                    }
                } else {
                    c += text[i];
                }
            }
        } else {
            while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
                EXPECT_NE(text[i], '"') << "quote inside an unquoted cell";
                c += text[i++];
            }
        }
        row.push_back(std::move(c));
        c.clear();
        if (i < text.size() && text[i] == ',') {
            ++i;
            continue;
        }
        EXPECT_EQ(text.substr(i, 2), "\r\n") << "row not ended by CR LF";
        i += 2;
        rows.push_back(std::move(row));
        row.clear();
    }
    return rows;
}

std::vector<std::vector<std::string>> readCsv(const std::string& path) {
    const std::string bytes = readFile(path);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF") << path;
    return parse(std::string_view(bytes).substr(3));
}

}  // namespace

TEST(CsvText, QuotingAndFormulaStarters) {
    EXPECT_EQ(cell("plain text"), "plain text");
    EXPECT_EQ(cell(""), "");
    EXPECT_EQ(cell("a,b"), "\"a,b\"");
    EXPECT_EQ(cell("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(cell("two\r\nlines"), "\"two\r\nlines\"");
    for (const char* f : {"=1+1", "+1", "-1", "@SUM(A1)", "\tx"}) EXPECT_EQ(cell(f), std::string("'") + f) << f;
    EXPECT_EQ(cell("\rx"), "\"'\rx\"");
    EXPECT_EQ(cell("\n=1+1"), "\"'\n=1+1\"");
    EXPECT_EQ(cell("|calc"), "'|calc");
    for (const char8_t* f : {u8"＝1+1", u8"＋1", u8"－1", u8"＠SUM(A1)"}) {
        const std::string text(reinterpret_cast<const char*>(f));
        EXPECT_EQ(cell(text), "'" + text) << text;
    }
    EXPECT_EQ(cell(reinterpret_cast<const char*>(u8"＝")), reinterpret_cast<const char*>(u8"'＝"));
    EXPECT_EQ(cell(reinterpret_cast<const char*>(u8"日本")), reinterpret_cast<const char*>(u8"日本"));
    EXPECT_EQ(cell("=HYPERLINK(\"http://e\",\"x\")"), "\"'=HYPERLINK(\"\"http://e\"\",\"\"x\"\")\"");
    EXPECT_EQ(cell("a=1"), "a=1");  // only the first character counts
}

TEST(CsvReport, EveryPaneButTheRawLogAndTheTablesInFilesNamedByWhatTheyHold) {
    hostile::Analysed a;
    TempDir out;
    const auto written = writeCsvReport(a.record, out.path() + "/csv");
    std::vector<std::string> names;
    for (const auto& p : written) names.push_back(std::filesystem::path(p).filename().string());
    EXPECT_THAT(
        names,
        ElementsAre("集計結果.csv", "時間別.csv", "ランキング-ページ.csv", "ランキング-ホスト.csv",
                    "ランキング-リファラ.csv", "ランキング-リファラ元サイト.csv", "ランキング-検索語.csv",
                    "ランキング-ロボット.csv", "ランキング-404.csv", "ランキング-403.csv", "ランキング-ステータス.csv",
                    "ランキング-ブラウザ.csv", "ランキング-訪問者.csv", "ランキング-ページのみ.csv",
                    "ランキング-入口ページ.csv", "ランキング-404 の参照元.csv", "ランキング-ロボットらしいブラウザ.csv",
                    "ランキング-ホスト詳細.csv", "接続-集計.csv", "接続-不正常ログ-404.csv", "接続-不正常ログ-403.csv",
                    "接続-不正常ログ-その他.csv", "接続-抽出ログ.csv", "接続-監視抽出.csv", "要求ログ-集計.csv",
                    "要求ログ-不正常ログ-404.csv", "要求ログ-不正常ログ-403.csv", "要求ログ-不正常ログ-その他.csv",
                    "要求ログ-抽出ログ.csv", "受信ログ-集計.csv", "受信ログ-不正常ログ-404.csv",
                    "受信ログ-不正常ログ-403.csv", "受信ログ-不正常ログ-その他.csv", "受信ログ-抽出ログ.csv",
                    "リファラ-参照元.csv", "リファラ-抽出ログ.csv", "bot.csv"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path() + "/csv"), {}), 37);

    // Each pane file reads back as its lines below the header's dash line, headed by the pane's own
    // column lines (or "line" where it has none), formula starters disarmed.
    const std::string dash(45, '-');
    struct Pane {
        const char* name;
        const char* file;
        std::vector<std::string> columns;
    };
    for (const Pane& p :
         {Pane{"Memo8", "接続-集計", {"line"}}, Pane{"Memo7", "要求ログ-集計", {"line"}},
          Pane{"HOST404Memo", "接続-不正常ログ-404", {"[Time] Host /File"}},
          Pane{"RobotsLog", "bot", {"HOST [Time] \"UserAgent\"", "*HOST [Time] [FileName] \"UserAgent\""}},
          Pane{"ReferrerList", "リファラ-参照元", {"[HOST] FileName"}},
          Pane{"Memo11", "受信ログ-不正常ログ-その他", {"line"}}, Pane{"CheckDomeinMemo", "接続-監視抽出", {"line"}}}) {
        const auto rows = readCsv(out.path() + "/csv/" + p.file + ".csv");
        const auto lines = a.record.pane(p.name).toStringList();
        // Memo11 has no header; the others' ends at their first dash line.
        const auto dashAt = std::find(lines.begin(), lines.end(), dash);
        const std::size_t first = dashAt == lines.end() ? 0 : static_cast<std::size_t>(dashAt - lines.begin()) + 1;
        ASSERT_EQ(rows.size(), p.columns.size() + lines.size() - first) << p.name;
        for (std::size_t i = 0; i < p.columns.size(); ++i) EXPECT_THAT(rows[i], ElementsAre(p.columns[i])) << p.name;
        for (std::size_t i = first; i < lines.size(); ++i) {
            const auto& row = rows[p.columns.size() + i - first];
            ASSERT_EQ(row.size(), 1u) << p.name << " line " << i;
            const std::string line = common::utf8FromCp932(lines[i]);
            const bool formula = !line.empty() && std::string_view("=+-@\t\r").find(line[0]) != std::string_view::npos;
            EXPECT_EQ(row[0], formula ? "'" + line : line) << p.name;
        }
    }
    const auto hosts = readCsv(out.path() + "/csv/接続-集計.csv");
    EXPECT_THAT(hosts[3], ElementsAre("'=1+1"));
    EXPECT_THAT(hosts[4], ElementsAre("'+10.0.0.4"));
    for (const auto& row : hosts) EXPECT_THAT(row, testing::Not(ElementsAre("'" + dash)));
    const auto gets = readCsv(out.path() + "/csv/要求ログ-集計.csv");
    EXPECT_THAT(gets[3], ElementsAre("'=HYPERLINK(\"http://evil.example\",\"x\")"));

    // Summary rows by what they show, without the boxes' component names.
    const auto summary = readCsv(out.path() + "/csv/集計結果.csv");
    EXPECT_THAT(summary[0], ElementsAre("group", "label", "value"));
    EXPECT_THAT(summary[3], ElementsAre("ログ", "行数", "6"));
    EXPECT_THAT(summary.back(), ElementsAre("解析", "転送量(byte)", "300"));
    // The boxes of the カウント page group by group, each under the caption it has on its own (the
    // window shows the favicon pair under one caption with a "/" between).
    const std::vector<std::pair<std::string, std::string>> boxes = {
        {"接続", "総接続数"},     {"接続", "ホスト数"},    {"接続", "200"},          {"接続", "403"},
        {"接続", "404"},          {"要求(GET)", "要求数"}, {"要求(GET)", "対象数"},  {"要求(GET)", "200"},
        {"要求(GET)", "403"},     {"要求(GET)", "404"},    {"受信(POST)", "受信数"}, {"受信(POST)", "対象数"},
        {"受信(POST)", "200"},    {"受信(POST)", "403"},   {"受信(POST)", "404"},    {"解析", "favicon IE"},
        {"解析", "favicon 総数"}, {"解析", "要求/ホスト"}, {"解析", "転送量(byte)"}};
    ASSERT_GE(summary.size(), boxes.size());
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        const auto& row = summary[summary.size() - boxes.size() + i];
        ASSERT_EQ(row.size(), 3u);
        EXPECT_EQ(std::make_pair(row[0], row[1]), boxes[i]) << i;
    }
    const auto hourly = readCsv(out.path() + "/csv/時間別.csv");
    ASSERT_EQ(hourly.size(), 25u);
    EXPECT_THAT(hourly[0], ElementsAre("hour", "connections", "gets", "posts", "total"));
    EXPECT_THAT(hourly[13], ElementsAre("12", "2", "2", "0", "6"));

    // Rankings: every row, by hits then item, items as in the log and disarmed like any cell.
    EXPECT_THAT(readCsv(out.path() + "/csv/ランキング-ステータス.csv"),
                ElementsAre(ElementsAre("item", "hits"), ElementsAre("200", "3"), ElementsAre("404", "2"),
                            ElementsAre("403", "1")));
    const auto ranked = readCsv(out.path() + "/csv/ランキング-ホスト.csv");
    ASSERT_EQ(ranked.size(), 7u);
    EXPECT_THAT(ranked[0], ElementsAre("item", "hits", "bytes"));
    EXPECT_THAT(ranked[1], ElementsAre("'+10.0.0.4", "1", "0"));
    EXPECT_THAT(ranked[5], ElementsAre("'=1+1", "1", "100"));
    EXPECT_THAT(ranked[6], ElementsAre("'@10.0.0.5", "1", "0"));
}

TEST(CsvReport, APaneWhoseHeaderWasNeverWrittenKeepsEveryLine) {
    // An analysis that stopped before the headers went in: nothing is taken for one.
    ReportRecord r;
    r.begin("/nowhere/log", 0);
    r.appendLine("HOST404Memo", "[t] h /a");
    r.appendLine("HOST404Memo", std::string(45, '-'));
    TempDir out;
    writeCsvReport(r, out.path());
    EXPECT_THAT(readCsv(out.path() + "/接続-不正常ログ-404.csv"),
                ElementsAre(ElementsAre("line"), ElementsAre("[t] h /a"), ElementsAre("'" + std::string(45, '-'))));
}

TEST(CsvReport, ShiftJisTextBecomesUtf8) {
    ReportRecord r;
    r.begin("/nowhere/log", 0);
    r.appendLine("ReferrerList", "\x83\x5c\x83\x74\x83\x67 \x87\x40");  // ソフト ①, trail byte '\'
    TempDir out;
    writeCsvReport(r, out.path());
    const auto rows = readCsv(out.path() + "/リファラ-参照元.csv");
    EXPECT_THAT(rows[1], ElementsAre("ソフト ①"));
    EXPECT_FALSE(std::filesystem::exists(out.path() + "/時間別.csv"));  // no chart was drawn
}

TEST(CsvReport, FolderThatCannotBeMadeIsReported) {
    ReportRecord r;
    TempDir out;
    const std::string file = out.file("taken", "x");
    EXPECT_THAT([&] { writeCsvReport(r, file + "/csv"); },
                testing::ThrowsMessage<common::AppError>(HasSubstr("taken/csv")));
}
