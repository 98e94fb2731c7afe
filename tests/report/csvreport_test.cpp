// The CSV files: byte-order mark, CR LF, RFC 4180 quoting, formula starters, one file per pane.
#include "report/csvreport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

TEST(CsvReport, EveryPaneButTheRawLogAndTheTablesInFixedFiles) {
    hostile::Analysed a;
    TempDir out;
    const auto written = writeCsvReport(a.record, out.path() + "/csv");
    std::vector<std::string> names;
    for (const auto& p : written) names.push_back(std::filesystem::path(p).filename().string());
    EXPECT_THAT(names,
                ElementsAre("summary.csv", "hourly.csv", "pages.csv", "hosts.csv", "referrers.csv", "referrerSites.csv",
                            "searchWords.csv", "robots.csv", "notFound.csv", "forbidden.csv", "statuses.csv",
                            "userAgents.csv", "Memo8.csv", "HOST404Memo.csv", "HOST403Memo.csv", "Memo2.csv",
                            "Memo9.csv", "CheckDomeinMemo.csv", "Memo7.csv", "File404Memo.csv", "File403Memo.csv",
                            "Memo10.csv", "Memo4.csv", "Memo6.csv", "POST404Memo.csv", "POST403Memo.csv", "Memo11.csv",
                            "Memo5.csv", "ReferrerList.csv", "ReferrerLog.csv", "RobotsLog.csv"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(out.path() + "/csv"), {}), 31);

    // Each pane file reads back as its lines, formula starters disarmed.
    for (const char* pane : {"Memo8", "Memo7", "RobotsLog", "Memo11", "CheckDomeinMemo"}) {
        const auto rows = readCsv(out.path() + "/csv/" + pane + ".csv");
        const auto lines = a.record.pane(pane).toStringList();
        ASSERT_EQ(rows.size(), lines.size() + 1) << pane;
        EXPECT_THAT(rows[0], ElementsAre("line"));
        for (std::size_t i = 0; i < lines.size(); ++i) {
            ASSERT_EQ(rows[i + 1].size(), 1u) << pane << " row " << i;
            const std::string line = common::utf8FromCp932(lines[i]);
            const bool formula = !line.empty() && std::string_view("=+-@\t\r").find(line[0]) != std::string_view::npos;
            EXPECT_EQ(rows[i + 1][0], formula ? "'" + line : line) << pane;
        }
    }
    const auto hosts = readCsv(out.path() + "/csv/Memo8.csv");
    EXPECT_THAT(hosts[5], ElementsAre("'=1+1"));
    EXPECT_THAT(hosts[6], ElementsAre("'+10.0.0.4"));
    EXPECT_THAT(hosts[2], ElementsAre("'" + std::string(45, '-')));
    const auto gets = readCsv(out.path() + "/csv/Memo7.csv");
    EXPECT_THAT(gets[5], ElementsAre("'=HYPERLINK(\"http://evil.example\",\"x\")"));

    const auto summary = readCsv(out.path() + "/csv/summary.csv");
    EXPECT_THAT(summary[0], ElementsAre("group", "label", "box", "value"));
    EXPECT_THAT(summary[3], ElementsAre("ログ", "行数", "", "6"));
    EXPECT_THAT(summary.back(), ElementsAre("解析", "転送量(byte)", "Edit34", "300"));
    const auto hourly = readCsv(out.path() + "/csv/hourly.csv");
    ASSERT_EQ(hourly.size(), 25u);
    EXPECT_THAT(hourly[0], ElementsAre("hour", "connections", "gets", "posts", "total"));
    EXPECT_THAT(hourly[13], ElementsAre("12", "2", "2", "0", "6"));

    // Rankings: every row, by hits then item, items as in the log and disarmed like any cell.
    EXPECT_THAT(readCsv(out.path() + "/csv/statuses.csv"),
                ElementsAre(ElementsAre("item", "hits"), ElementsAre("200", "3"), ElementsAre("404", "2"),
                            ElementsAre("403", "1")));
    const auto ranked = readCsv(out.path() + "/csv/hosts.csv");
    ASSERT_EQ(ranked.size(), 7u);
    EXPECT_THAT(ranked[0], ElementsAre("item", "hits", "bytes"));
    EXPECT_THAT(ranked[1], ElementsAre("'+10.0.0.4", "1", "0"));
    EXPECT_THAT(ranked[5], ElementsAre("'=1+1", "1", "100"));
    EXPECT_THAT(ranked[6], ElementsAre("'@10.0.0.5", "1", "0"));
}

TEST(CsvReport, ShiftJisTextBecomesUtf8) {
    ReportRecord r;
    r.begin("/nowhere/log", 0);
    r.appendLine("ReferrerList", "\x83\x5c\x83\x74\x83\x67 \x87\x40");  // ソフト ①, trail byte '\'
    TempDir out;
    writeCsvReport(r, out.path());
    const auto rows = readCsv(out.path() + "/ReferrerList.csv");
    EXPECT_THAT(rows[1], ElementsAre("ソフト ①"));
    EXPECT_FALSE(std::filesystem::exists(out.path() + "/hourly.csv"));  // no chart was drawn
}

TEST(CsvReport, FolderThatCannotBeMadeIsReported) {
    ReportRecord r;
    TempDir out;
    const std::string file = out.file("taken", "x");
    EXPECT_THAT([&] { writeCsvReport(r, file + "/csv"); },
                testing::ThrowsMessage<common::AppError>(HasSubstr("taken/csv")));
}
