// The rankings' part of the saved report.
#include "report/rankingsection.h"

#include <cstdio>

#include "analysis/behaviour.h"
#include "analysis/rankings.h"
#include "common/share.h"
#include "report/reporttext.h"

namespace report {

namespace {

// The page shows the top of each table; the CSV file holds every row.
constexpr std::size_t kHtmlRankRows = 100;

std::string share(std::int64_t hits, std::int64_t total) { return total <= 0 ? "-" : common::shareText(hits, total); }

std::string number(std::int64_t n) { return groupedNumber(static_cast<std::uintmax_t>(n < 0 ? 0 : n)); }

void appendHostDetail(std::string& html, const analysis::Behaviour& b) {
    const analysis::VisitSummary& v = b.visits();
    char line[96];
    std::snprintf(line, sizeof line, "%.2f", v.pagesPerVisit());
    html += "<details id=\"rank-visits\"><summary>訪問</summary>\n<p>訪問者 " +
            number(static_cast<std::int64_t>(b.table(analysis::BehaviourTable::Visitors).size())) + "、訪問 " +
            number(v.count) + "、訪問あたりのページ " + line + "、訪問の長さ (中央値) " + number(v.medianSeconds) +
            " 秒</p>\n</details>\n";
    const analysis::HostDetails& hosts = b.hostDetail();
    html += "<details id=\"rank-hostDetail\"><summary>ホスト詳細 <span class=\"note\">(" +
            number(static_cast<std::int64_t>(hosts.size())) + " 件)</span></summary>\n<p class=\"note\">";
    appendHtmlText(html, analysis::kRobotLikeRule);
    html += "</p>\n<table><tr><th>ホスト</th><th class=\"n\">件数</th><th class=\"n\">ページ</th><th "
            "class=\"n\">転送量</th>"
            "<th class=\"n\">404</th><th>最初</th><th>最後</th><th class=\"n\">ブラウザ</th><th>robots.txt</th>"
            "<th>ロボット文字列</th><th>ロボットらしい</th></tr>\n";
    std::string scratch;
    for (std::size_t i = 0; i < hosts.size() && i < kHtmlRankRows; ++i) {
        const analysis::HostDetail& h = hosts[i];
        html += "<tr><td class=\"item\">";
        scratch.clear();
        appendUtf8(scratch, h.host);
        appendHtmlText(html, scratch);
        html += "</td><td class=\"n\">" + number(h.hits) + "</td><td class=\"n\">" + number(h.pages) +
                "</td><td class=\"n\">" + number(h.bytes) + "</td><td class=\"n\">" + number(h.notFound) + "</td><td>" +
                analysis::isoTime(h.first) + "</td><td>" + analysis::isoTime(h.last) + "</td><td class=\"n\">" +
                number(h.agents) + "</td><td>" + (h.robotsTxt ? "○" : "") + "</td><td class=\"item\">";
        scratch.clear();
        appendUtf8(scratch, h.robotEntry);
        appendHtmlText(html, scratch);
        html += std::string("</td><td>") + (h.robotLike ? "ロボットらしい" : "") + "</td></tr>\n";
    }
    html += "</table>\n</details>\n";
}

}  // namespace

void appendRankingSection(std::string& html, const ReportRecord& record) {
    const auto& rankings = record.rankings();
    if (!rankings) return;
    std::string scratch;
    html += "<section id=\"rankings\">\n<h2>ランキング</h2>\n<p class=\"note\">各表の上位 " +
            groupedNumber(kHtmlRankRows) + " 件です。すべての行は CSV にあります。</p>\n";
    bool first = true;
    for (const analysis::ShownTable& table : analysis::shownTables(*rankings)) {
        const analysis::RankCounts& counts = *table.counts;
        html += "<details id=\"rank-";
        html += table.name;
        html += "\"";
        if (first) html += " open";
        first = false;
        html += "><summary>";
        appendHtmlText(html, table.caption);
        html += " <span class=\"note\">(" + groupedNumber(counts.size()) + " 件)</span></summary>\n";
        if (counts.size() > 0) {
            const bool bytes = table.bytes;
            html += "<table><tr><th class=\"n\">順位</th><th class=\"n\">件数</th><th class=\"n\">割合</th>";
            if (bytes) html += "<th class=\"n\">転送量</th>";
            html += "<th>項目</th></tr>\n";
            const analysis::RankPlaces places(counts);
            for (const analysis::RankRow& row : analysis::sortedRows(counts, kHtmlRankRows)) {
                html += "<tr><td class=\"n\">" + groupedNumber(places.rankOf(row.hits)) + "</td><td class=\"n\">" +
                        number(row.hits) + "</td><td class=\"n\">" + share(row.hits, counts.totalHits()) + "</td>";
                if (bytes) html += "<td class=\"n\">" + number(row.bytes) + "</td>";
                html += "<td class=\"item\">";
                const std::string shown = table.url ? analysis::decodedItem(row.item) : std::string(row.item);
                scratch.clear();
                appendUtf8(scratch, shown);
                appendHtmlText(html, scratch);
                html += "</td></tr>\n";
            }
            html += "</table>\n";
        }
        html += "</details>\n";
    }
    appendHostDetail(html, rankings->behaviour());
    html += "</section>\n";
}

void addRankingCsvFiles(std::vector<CsvFile>& files, const ReportRecord& record) {
    const auto rankings = record.rankings();
    if (!rankings) return;
    for (const analysis::ShownTable& table : analysis::shownTables(*rankings)) {
        const std::string name = "ランキング-" + std::string(table.caption) + ".csv";
        const analysis::RankCounts* counts = table.counts;
        files.push_back({name, [rankings, counts, bytes = table.bytes](std::string& out) {
                             out += bytes ? "item,hits,bytes" : "item,hits";
                             endCsvRow(out);
                             std::string scratch;
                             // Items as the log holds them: a spreadsheet user can decode them as needed.
                             for (const analysis::RankRow& row : analysis::sortedRows(*counts)) {
                                 scratch.clear();
                                 appendUtf8(scratch, row.item);
                                 appendCsvText(out, scratch);
                                 out += ',' + std::to_string(row.hits);
                                 if (bytes) out += ',' + std::to_string(row.bytes);
                                 endCsvRow(out);
                             }
                         }});
    }
    files.push_back({"ランキング-ホスト詳細.csv", [rankings](std::string& out) {
                         out += "host,hits,pages,bytes,notFound,first,last,agents,robotsTxt,robotEntry,robotLike";
                         endCsvRow(out);
                         std::string scratch;
                         for (const analysis::HostDetail& h : rankings->behaviour().hostDetail()) {
                             scratch.clear();
                             appendUtf8(scratch, h.host);
                             appendCsvText(out, scratch);
                             out += ',' + std::to_string(h.hits) + ',' + std::to_string(h.pages) + ',' +
                                    std::to_string(h.bytes) + ',' + std::to_string(h.notFound) + ',' +
                                    analysis::isoTime(h.first) + ',' + analysis::isoTime(h.last) + ',' +
                                    std::to_string(h.agents) + ',' + (h.robotsTxt ? "1" : "0") + ',';
                             scratch.clear();
                             appendUtf8(scratch, h.robotEntry);
                             appendCsvText(out, scratch);
                             out += h.robotLike ? ",1" : ",0";
                             endCsvRow(out);
                         }
                     }});
}

}  // namespace report
