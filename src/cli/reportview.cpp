// The CLI's window and its text and JSON writers.
#include "cli/reportview.h"

#include <string_view>

#include "cli/json.h"
#include "common/cp932.h"
#include "report/layout.h"

namespace cli {

namespace {

// Output through one growing buffer, written out in large pieces.
class Out {
public:
    explicit Out(std::FILE* f) : f_(f) {}
    ~Out() { flush(); }
    std::string& buf() { return buf_; }
    void maybeFlush() {
        if (buf_.size() > (1u << 20)) flush();
    }
    void flush() {
        std::fwrite(buf_.data(), 1, buf_.size(), f_);
        buf_.clear();
    }

private:
    std::FILE* f_;
    std::string buf_;
};

std::string utf8(std::string_view cp932) { return common::utf8FromCp932(cp932); }

}  // namespace

ReportView::ReportView(int unit) : unit_(unit) {
    for (int i = 1; i <= 35; ++i) {
        std::string name = "Edit";
        name += std::to_string(i);
        boxes_[name] = "-";
    }
    for (auto name : analysis::kResultPanes) panes_[std::string(name)];
}

analysis::PaneContent& ReportView::pane(std::string_view name) {
    auto it = panes_.find(name);
    if (it == panes_.end()) it = panes_.emplace(std::string(name), analysis::PaneContent{}).first;
    return it->second;
}

void ReportView::tallied(const analysis::LogTally& t) {
    tally_ = TallyCounts{t.lineCount,     t.hostCount,       t.getCount,       t.getFileCount,
                         t.get200Count,   t.postCount,       t.postFileCount,  t.post200Count,
                         t.status200Count, t.faviconCount,   t.faviconIeCount, t.hourConnections,
                         t.hourGets,      t.hourPosts,       t.bytesSent};
}

void ReportView::writeSummary(std::FILE* f) const {
    Out out(f);
    std::string& o = out.buf();
    auto b = [&](const char* name) { return utf8(box(name)); };
    const std::string unit = unit_ >= 0 && unit_ <= 3 ? std::string(analysis::kUnits[static_cast<std::size_t>(unit_)]) : "";
    o += "ファイル: " + b("Edit35") + "\n";
    o += "集計結果\n";
    o += "  接続        総接続数 " + b("Edit1") + "  ホスト数 " + b("Edit2") + "  200 " + b("Edit22") + "  403 " +
         b("Edit23") + "  404 " + b("Edit24") + "\n";
    o += "  要求(GET)   要求数 " + b("Edit3") + "  対象数 " + b("Edit9") + "  200 " + b("Edit27") + "  403 " +
         b("Edit26") + "  404 " + b("Edit25") + "\n";
    o += "  受信(POST)  受信数 " + b("Edit4") + "  対象数 " + b("Edit10") + "  200 " + b("Edit30") + "  403 " +
         b("Edit29") + "  404 " + b("Edit28") + "\n";
    o += "  解析        favicon IE-総数 " + b("Edit31") + " / " + b("Edit33") + "  要求/ホスト " + b("Edit32") +
         "  転送量 " + b("Edit34") + (unit.empty() ? "" : " " + unit) + "\n";
}

void ReportView::writeText(std::FILE* f) const {
    writeSummary(f);
    Out out(f);
    std::string& o = out.buf();
    for (const auto& t : report::kPaneTitles) {
        const auto& content = panes_.find(t.name)->second;
        o += "\n== ";
        o += t.path;
        o += " (";
        o += t.name;
        o += ") ==\n";
        content.forEach([&](const std::string& line) {
            o += utf8(line);
            o += '\n';
            out.maybeFlush();
        });
    }
}

void ReportView::writeJson(std::FILE* f, const std::string& file, const std::optional<std::string>& error) const {
    Out out(f);
    std::string& o = out.buf();
    o += "{\"file\":";
    appendJsonString(o, file);
    o += ",\"error\":";
    if (error) appendJsonString(o, utf8(*error));
    else o += "null";
    o += ",\"errorLine\":";
    o += errorLine_ ? std::to_string(*errorLine_) : "null";
    o += ",\"tally\":";
    if (!tally_) {
        o += "null";
    } else {
        const TallyCounts& t = *tally_;
        auto num = [&](const char* key, double v, bool first = false) {
            if (!first) o += ',';
            o += '"';
            o += key;
            o += "\":";
            appendJsonNumber(o, v);
        };
        auto hours = [&](const char* key, const analysis::HourCounts& h) {
            o += ",\"";
            o += key;
            o += "\":[";
            for (std::size_t i = 0; i < h.size(); ++i) {
                if (i) o += ',';
                o += std::to_string(h[i]);
            }
            o += ']';
        };
        o += '{';
        num("lineCount", static_cast<double>(t.lineCount), true);
        hours("hourConnections", t.hourConnections);
        hours("hourGets", t.hourGets);
        hours("hourPosts", t.hourPosts);
        num("hostCount", static_cast<double>(t.hostCount));
        num("getCount", static_cast<double>(t.getCount));
        num("getFileCount", static_cast<double>(t.getFileCount));
        num("get200Count", static_cast<double>(t.get200Count));
        num("postCount", static_cast<double>(t.postCount));
        num("postFileCount", static_cast<double>(t.postFileCount));
        num("post200Count", static_cast<double>(t.post200Count));
        num("status200Count", static_cast<double>(t.status200Count));
        num("faviconCount", static_cast<double>(t.faviconCount));
        num("faviconIeCount", static_cast<double>(t.faviconIeCount));
        num("bytesSent", t.bytesSent);
        o += '}';
    }
    o += ",\"boxes\":{";
    for (int i = 1; i <= 35; ++i) {
        const std::string name = "Edit" + std::to_string(i);
        if (i > 1) o += ',';
        appendJsonString(o, name);
        o += ':';
        appendJsonString(o, utf8(box(name)));
    }
    o += "},\"panes\":{";
    bool first = true;
    for (auto name : analysis::kResultPanes) {
        if (!first) o += ',';
        first = false;
        appendJsonString(o, name);
        o += ":[";
        bool firstLine = true;
        panes_.find(name)->second.forEach([&](const std::string& line) {
            if (!firstLine) o += ',';
            firstLine = false;
            appendJsonString(o, utf8(line));
            out.maybeFlush();
        });
        o += ']';
    }
    o += "},\"progress\":[";
    for (std::size_t i = 0; i < progress_.size(); ++i) {
        if (i) o += ',';
        appendJsonString(o, utf8(progress_[i]));
    }
    o += "],\"rankings\":";
    if (!rankings_) {
        o += "null";
    } else {
        o += '{';
        for (std::size_t t = 0; t < analysis::kRankTableCount; ++t) {
            const analysis::RankTable table = analysis::rankTable(t);
            if (t) o += ',';
            appendJsonString(o, analysis::kRankTableNames[t]);
            o += ":[";
            bool firstRow = true;
            for (const analysis::RankRow& row : rankings_->sorted(table)) {
                if (!firstRow) o += ',';
                firstRow = false;
                o += "{\"item\":";
                appendJsonString(o, utf8(row.item));
                o += ",\"hits\":";
                o += std::to_string(row.hits);
                if (analysis::hasBytes(table)) {
                    o += ",\"bytes\":";
                    o += std::to_string(row.bytes);
                }
                o += '}';
                out.maybeFlush();
            }
            o += ']';
        }
        o += '}';
    }
    o += "}\n";
}

namespace {

// Log text made safe for a terminal: control characters (C0, DEL and C1) become U+FFFD.
std::string terminalSafe(std::string_view utf8Text) {
    std::string s;
    s.reserve(utf8Text.size());
    for (std::size_t i = 0; i < utf8Text.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8Text[i]);
        if (c < 0x20 || c == 0x7F) {
            s += "\xEF\xBF\xBD";
        } else if (c == 0xC2 && i + 1 < utf8Text.size() && static_cast<unsigned char>(utf8Text[i + 1]) < 0xA0) {
            s += "\xEF\xBF\xBD";
            ++i;
        } else {
            s += static_cast<char>(c);
        }
    }
    return s;
}

}  // namespace

void ReportView::writeRankings(std::FILE* f, std::size_t top) const {
    Out out(f);
    std::string& o = out.buf();
    if (!rankings_) {
        o += "ランキングはありません\n";
        return;
    }
    char buf[96];
    for (std::size_t t = 0; t < analysis::kRankTableCount; ++t) {
        const analysis::RankTable table = analysis::rankTable(t);
        const analysis::RankCounts& counts = rankings_->table(table);
        const std::vector<analysis::RankRow> rows = rankings_->sorted(table, top);
        const bool bytes = analysis::hasBytes(table);
        if (t) o += '\n';
        o += "== ";
        o += analysis::kRankTableCaptions[t];
        o += " (";
        o += analysis::kRankTableNames[t];
        o += "): " + std::to_string(counts.size()) + " 項目, 計 " + std::to_string(counts.totalHits()) + " 件 ==\n";
        o += bytes ? "  順位      件数    割合          転送量  項目\n" : "  順位      件数    割合  項目\n";
        std::size_t rank = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            // Equal hits share a rank; the next one skips as many places.
            if (i == 0 || rows[i].hits != rows[i - 1].hits) rank = i + 1;
            const double share = counts.totalHits() ? 100.0 * static_cast<double>(rows[i].hits) /
                                                          static_cast<double>(counts.totalHits())
                                                    : 0.0;
            std::snprintf(buf, sizeof buf, "%6zu %9lld %6.1f%%", rank, static_cast<long long>(rows[i].hits), share);
            o += buf;
            if (bytes) {
                std::snprintf(buf, sizeof buf, " %15lld", static_cast<long long>(rows[i].bytes));
                o += buf;
            }
            o += "  ";
            const std::string item =
                analysis::isUrlTable(table) ? analysis::decodedItem(rows[i].item) : std::string(rows[i].item);
            o += terminalSafe(utf8(item));
            o += '\n';
            out.maybeFlush();
        }
    }
}

}  // namespace cli
