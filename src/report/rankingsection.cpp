// The rankings' part of the saved report.
#include "report/rankingsection.h"

#include "analysis/rankings.h"
#include "common/share.h"
#include "report/reporttext.h"

namespace report {

namespace {

// The page shows the top of each table; the CSV file holds every row.
constexpr std::size_t kHtmlRankRows = 100;

std::string share(std::int64_t hits, std::int64_t total) { return total <= 0 ? "-" : common::shareText(hits, total); }

std::string number(std::int64_t n) { return groupedNumber(static_cast<std::uintmax_t>(n < 0 ? 0 : n)); }

}  // namespace

void appendRankingSection(std::string& html, const ReportRecord& record) {
    const auto& rankings = record.rankings();
    if (!rankings) return;
    std::string scratch;
    html += "<section id=\"rankings\">\n<h2>ランキング</h2>\n<p class=\"note\">各表の上位 " +
            groupedNumber(kHtmlRankRows) + " 件です。すべての行は CSV にあります。</p>\n";
    for (std::size_t i = 0; i < analysis::kRankTableCount; ++i) {
        const analysis::RankTable t = analysis::rankTable(i);
        if (!rankings->shows(t)) continue;
        const analysis::RankCounts& counts = rankings->table(t);
        const std::string_view name = analysis::kRankTableNames[i];
        html += "<details id=\"rank-";
        html += name;
        html += "\"";
        if (i == 0) html += " open";
        html += "><summary>";
        appendHtmlText(html, analysis::kRankTableCaptions[i]);
        html += " <span class=\"note\">(" + groupedNumber(counts.size()) + " 件)</span></summary>\n";
        if (counts.size() > 0) {
            const bool bytes = analysis::hasBytes(t);
            html += "<table><tr><th class=\"n\">順位</th><th class=\"n\">件数</th><th class=\"n\">割合</th>";
            if (bytes) html += "<th class=\"n\">転送量</th>";
            html += "<th>項目</th></tr>\n";
            const analysis::RankPlaces places(counts);
            for (const analysis::RankRow& row : rankings->sorted(t, kHtmlRankRows)) {
                html += "<tr><td class=\"n\">" + groupedNumber(places.rankOf(row.hits)) + "</td><td class=\"n\">" +
                        number(row.hits) + "</td><td class=\"n\">" + share(row.hits, counts.totalHits()) + "</td>";
                if (bytes) html += "<td class=\"n\">" + number(row.bytes) + "</td>";
                html += "<td class=\"item\">";
                const std::string shown = analysis::isUrlTable(t) ? analysis::decodedItem(row.item)
                                                                  : std::string(row.item);
                scratch.clear();
                appendUtf8(scratch, shown);
                appendHtmlText(html, scratch);
                html += "</td></tr>\n";
            }
            html += "</table>\n";
        }
        html += "</details>\n";
    }
    html += "</section>\n";
}

void addRankingCsvFiles(std::vector<CsvFile>& files, const ReportRecord& record) {
    const auto rankings = record.rankings();
    if (!rankings) return;
    for (std::size_t i = 0; i < analysis::kRankTableCount; ++i) {
        const analysis::RankTable t = analysis::rankTable(i);
        if (!rankings->shows(t)) continue;
        const std::string name = "ランキング-" + std::string(analysis::kRankTableCaptions[i]) + ".csv";
        files.push_back({name, [rankings, t](std::string& out) {
                             const bool bytes = analysis::hasBytes(t);
                             out += bytes ? "item,hits,bytes" : "item,hits";
                             endCsvRow(out);
                             std::string scratch;
                             // Items as the log holds them: a spreadsheet user can decode them as needed.
                             for (const analysis::RankRow& row : rankings->sorted(t)) {
                                 scratch.clear();
                                 appendUtf8(scratch, row.item);
                                 appendCsvText(out, scratch);
                                 out += ',' + std::to_string(row.hits);
                                 if (bytes) out += ',' + std::to_string(row.bytes);
                                 endCsvRow(out);
                             }
                         }});
    }
}

}  // namespace report
