// The history's text tables and JSON.
#include "cli/historyoutput.h"

#include <cstdio>

#include "analysis/rankings.h"
#include "cli/json.h"
#include "cli/output.h"
#include "common/cp932.h"
#include "history/columns.h"

namespace cli {

namespace {

void appendHours(std::string& o, const char* key, const analysis::HourCounts& hours) {
    o += ",\"";
    o += key;
    o += "\":[";
    for (std::size_t h = 0; h < 24; ++h) {
        if (h) o += ',';
        appendJsonNumber(o, static_cast<double>(hours[h]));
    }
    o += ']';
}

void appendSummary(std::string& o, const history::Summary& s, const char* label, const std::string& value) {
    o += "{";
    if (label) {
        appendJsonString(o, label);
        o += ':';
        appendJsonString(o, value);
        o += ',';
    }
    bool first = true;
    for (const history::Column& c : history::kColumns) {
        if (!first) o += ',';
        first = false;
        appendJsonString(o, c.key);
        o += ':';
        appendJsonNumber(o, static_cast<double>(c.value(s)));
    }
    appendHours(o, "hourConnections", s.counts.hourConnections);
    appendHours(o, "hourGets", s.counts.hourGets);
    appendHours(o, "hourPosts", s.counts.hourPosts);
    o += ",\"sources\":[";
    for (std::size_t i = 0; i < s.sources.size(); ++i) {
        if (i) o += ',';
        appendJsonString(o, s.sources[i]);
    }
    o += "]}";
}

}  // namespace

std::string historyJson(const history::HistoryView& v) {
    std::string o = v.byMonth ? "{\"months\":[" : "{\"days\":[";
    for (std::size_t i = 0; i < v.rows.size(); ++i) {
        if (i) o += ",\n";
        appendSummary(o, v.rows[i], v.byMonth ? "month" : "date", history::rowLabel(v.rows[i], v.byMonth));
    }
    o += "],\n\"total\":";
    std::string total;
    appendSummary(total, v.total, nullptr, {});
    // The range of the total, in front of its figures.
    o += "{\"from\":\"" + history::dayText(v.from) + "\",\"to\":\"" + history::dayText(v.to) + "\"," + total.substr(1);
    o += ",\n\"distinctCounts\":\"exact for a day of one log; over several, a union of 32-bit hashes\"}\n";
    return o;
}

std::string historyText(const history::HistoryView& v) {
    std::string o;
    char buf[64];
    o += v.byMonth ? "month     " : "date      ";
    for (const history::Column& c : history::kColumns) {
        std::snprintf(buf, sizeof buf, " %12.12s", std::string(c.key).c_str());
        o += buf;
    }
    o += "  sources\n";
    auto row = [&](const history::Summary& s, const std::string& label) {
        std::snprintf(buf, sizeof buf, "%-10s", label.c_str());
        o += buf;
        for (const history::Column& c : history::kColumns) {
            std::snprintf(buf, sizeof buf, " %12lld", static_cast<long long>(c.value(s)));
            o += buf;
        }
        o += " ";
        for (const auto& name : s.sources) o += " " + terminalSafe(name);
        o += "\n";
    };
    for (const auto& r : v.rows) row(r, history::rowLabel(r, v.byMonth));
    row(v.total, "total");
    o += "hosts and visitors (host + user agent) are distinct over each row, never sums of days: exact for a day\n"
         "of one log, otherwise counted as 32-bit hashes (about 0.01 % short at a million)\n";
    return o;
}

std::string rankingsJson(const history::RangeRankings& r) {
    std::string o = "{\"note\":\"sums of each day's top rows\"";
    for (std::size_t t = 0; t < analysis::kRankTableCount; ++t) {
        o += ",\n";
        appendJsonString(o, analysis::kRankTableNames[t]);
        o += ":{\"hits\":";
        appendJsonNumber(o, static_cast<double>(r.tableHits[t]));
        o += ",\"rows\":[";
        for (std::size_t i = 0; i < r.tables[t].size(); ++i) {
            const history::RankingRow& row = r.tables[t][i];
            if (i) o += ',';
            o += "{\"item\":";
            appendJsonString(o, common::utf8FromCp932(row.item));
            o += ",\"hits\":";
            appendJsonNumber(o, static_cast<double>(row.hits));
            o += ",\"bytes\":";
            appendJsonNumber(o, static_cast<double>(row.bytes));
            o += '}';
        }
        o += "]}";
    }
    return o + "}\n";
}

std::string rankingsText(const history::RangeRankings& r) {
    std::string o = "Sums of each day's top rows over the range.\n";
    char buf[80];
    for (std::size_t t = 0; t < analysis::kRankTableCount; ++t) {
        const analysis::RankTable table = analysis::rankTable(t);
        o += "\n" + std::string(analysis::kRankTableCaptions[t]) + " (" + std::to_string(r.tableHits[t]) + ")\n";
        std::size_t rank = 0;
        for (const history::RankingRow& row : r.tables[t]) {
            std::snprintf(buf, sizeof buf, "%6zu %9lld", ++rank, static_cast<long long>(row.hits));
            o += buf;
            if (analysis::hasBytes(table)) {
                std::snprintf(buf, sizeof buf, " %15lld", static_cast<long long>(row.bytes));
                o += buf;
            }
            const std::string item = analysis::isUrlTable(table) ? analysis::decodedItem(row.item) : row.item;
            o += "  " + terminalSafe(common::utf8FromCp932(item)) + "\n";
        }
    }
    return o;
}

}  // namespace cli
