// The CLI's window and its text and JSON writers.
#include "cli/reportview.h"

#include <exception>
#include <string_view>

#include "analysis/behaviour.h"
#include "cli/json.h"
#include "cli/output.h"
#include "common/cp932.h"
#include "common/share.h"
#include "report/layout.h"

namespace cli {

namespace {

// Output through one growing buffer, written out in large pieces.
class Out {
public:
    explicit Out(std::FILE* f) : f_(f) {}
    // Nothing more is written once an error is on its way: the caller takes the output back.
    ~Out() {
        if (std::uncaught_exceptions() == exceptions_) flush();
    }
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
    int exceptions_ = std::uncaught_exceptions();
};

std::string utf8(std::string_view cp932) { return common::utf8FromCp932(cp932); }

// Columns a UTF-8 text takes on a terminal: two for each character beyond ASCII (all Japanese here).
std::size_t displayWidth(std::string_view utf8Text) {
    std::size_t width = 0;
    for (std::size_t i = 0; i < utf8Text.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8Text[i]);
        if (c < 0x80) ++width;
        else if (c >= 0xC0) width += 2;
    }
    return width;
}

void appendBehaviourJson(std::string& o, Out& out, const analysis::Rankings& rankings) {
    const analysis::Behaviour& b = rankings.behaviour();
    const analysis::VisitSummary& v = b.visits();
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.2f", v.pagesPerVisit());
    o += ",\"visits\":{\"count\":" + std::to_string(v.count) + ",\"pagesPerVisit\":" + buf +
         ",\"medianSeconds\":" + std::to_string(v.medianSeconds) + "},\"hostDetail\":[";
    JsonList hosts(o);
    for (const analysis::HostDetail& h : b.hostDetail()) {
        hosts.next() += "{\"host\":";
        appendJsonString(o, utf8(h.host));
        o += ",\"hits\":" + std::to_string(h.hits) + ",\"pages\":" + std::to_string(h.pages) +
             ",\"bytes\":" + std::to_string(h.bytes) + ",\"notFound\":" + std::to_string(h.notFound) + ",\"first\":";
        appendJsonString(o, analysis::isoTime(h.first));
        o += ",\"last\":";
        appendJsonString(o, analysis::isoTime(h.last));
        o += ",\"agents\":" + std::to_string(h.agents) + ",\"robotsTxt\":" + (h.robotsTxt ? "true" : "false") +
             ",\"robotEntry\":";
        if (h.robotEntry.empty()) o += "null";
        else appendJsonString(o, utf8(h.robotEntry));
        o += ",\"robotLike\":";
        o += h.robotLike ? "true}" : "false}";
        out.maybeFlush();
    }
    o += ']';
}

void writeBehaviourText(std::string& o, Out& out, std::size_t top, const analysis::Rankings& rankings) {
    const analysis::Behaviour& b = rankings.behaviour();
    const analysis::VisitSummary& v = b.visits();
    char buf[160];
    std::snprintf(
        buf, sizeof buf,
        "\n== 訪問 (visits) ==\n訪問者 %zu, 訪問 %lld, 訪問あたりのページ %.2f, 訪問の長さ (中央値) %lld 秒\n",
        b.table(analysis::BehaviourTable::Visitors).size(), static_cast<long long>(v.count), v.pagesPerVisit(),
        static_cast<long long>(v.medianSeconds));
    o += buf;
    const analysis::HostDetails& hosts = b.hostDetail();
    o += "\n== ホスト詳細 (hostDetail): " + std::to_string(hosts.size()) + " ホスト ==\n";
    o += "      件数  ページ          転送量   404 ブラウザ robots.txt 印 最初                      最後               "
         "       ホスト [ロボット文字列]\n";
    for (std::size_t i = 0; i < hosts.size() && (top == 0 || i < top); ++i) {
        const analysis::HostDetail& h = hosts[i];
        std::snprintf(buf, sizeof buf, "%10lld %7lld %15lld %5lld %7lld %-10s %-2s ", static_cast<long long>(h.hits),
                      static_cast<long long>(h.pages), static_cast<long long>(h.bytes),
                      static_cast<long long>(h.notFound), static_cast<long long>(h.agents), h.robotsTxt ? "yes" : "-",
                      h.robotLike ? "R" : "-");
        o += buf;
        o += analysis::isoTime(h.first) + "  " + analysis::isoTime(h.last) + "  ";
        o += terminalSafe(utf8(h.host));
        if (!h.robotEntry.empty()) o += " [" + terminalSafe(utf8(h.robotEntry)) + "]";
        o += '\n';
        out.maybeFlush();
    }
    o += "R = ";
    o += analysis::kRobotLikeRule;
    o += '\n';
}

}  // namespace

ReportView::ReportView(int unit) : unit_(unit) {
    for (const auto& b : analysis::kBoxes) boxes_[std::string(b.name)] = "-";
    for (const auto& p : analysis::kPanes) panes_[std::string(p.name)];
}

analysis::PaneContent& ReportView::pane(std::string_view name) {
    auto it = panes_.find(name);
    if (it == panes_.end()) it = panes_.emplace(std::string(name), analysis::PaneContent{}).first;
    return it->second;
}

void ReportView::writeSummary(std::FILE* f) const {
    Out out(f);
    std::string& o = out.buf();
    const auto file = analysis::boxesOf("カウント");
    o += std::string(file[0]->label) + ": " + terminalSafe(utf8(box(std::string(file[0]->name)))) + "\n";
    if (layout_) o += "ログの形式: " + utf8(layout_->description()) + "\n";
    if (skipped_) o += "読めなかった行: " + std::to_string(skipped_->size()) + "\n";
    o += "集計結果\n";
    // A line per group of the first page: its name in a column of 12, then every box with its caption.
    for (std::string_view group : analysis::kCountGroups) {
        o += "  ";
        o += group;
        o += std::string(displayWidth(group) < 12 ? 12 - displayWidth(group) : 0, ' ');
        bool first = true;
        for (const analysis::BoxInfo* b : analysis::boxesOf("カウント > " + std::string(group))) {
            o += first ? "" : b->label == "/" ? " " : "  ";
            first = false;
            o += b->label;
            o += ' ';
            o += terminalSafe(utf8(box(std::string(b->name))));
            if (b->value == analysis::BoxValue::Transfer && unit_ >= 0 && unit_ <= 3) {
                o += ' ';
                o += analysis::kUnits[static_cast<std::size_t>(unit_)];
            }
        }
        o += '\n';
    }
}

void ReportView::writeText(std::FILE* f) const {
    writeSummary(f);
    Out out(f);
    std::string& o = out.buf();
    for (const auto& t : analysis::kPanes) {
        const auto& content = panes_.find(t.name)->second;
        o += "\n== ";
        o += t.path;
        o += " (";
        o += t.name;
        o += ") ==\n";
        content.forEach([&](const std::string& line) {
            o += terminalSafe(utf8(line));
            o += '\n';
            out.maybeFlush();
        });
    }
    if (!skipped_) return;
    o += "\n== 読めなかった行 (SkippedLines) ==\n";
    for (std::size_t i = 0; i < skipped_->size(); ++i) {
        o += terminalSafe(utf8(skipped_->line(i)));
        o += '\n';
        out.maybeFlush();
    }
}

namespace {

// The numbers of the skipped lines in the file, as the pane shows them before each line.
void appendSkippedJson(std::string& o, const analysis::SkippedLines& skipped) {
    o += ",\"skippedLines\":{\"count\":" + std::to_string(skipped.size()) + ",\"lines\":[";
    JsonList lines(o);
    for (std::size_t i = 0; i < skipped.size(); ++i) lines.next() += std::to_string(skipped.lineNumber(i));
    o += "]}";
}

void appendTallyJson(std::string& o, const analysis::LogCounts& t) {
    o += '{';
    JsonList members(o);
    for (const auto& [key, counter] : analysis::kCounters) {
        appendJsonString(members.next(), key);
        o += ':';
        appendJsonNumber(o, static_cast<double>(t.*counter));
    }
    for (const auto& [key, hours] : {std::pair{"hourConnections", &t.hourConnections},
                                     std::pair{"hourGets", &t.hourGets}, std::pair{"hourPosts", &t.hourPosts}}) {
        members.next() += '"';
        o += key;
        o += "\":[";
        JsonList values(o);
        for (const auto count : *hours) values.next() += std::to_string(count);
        o += ']';
    }
    o += ",\"bytesSent\":";
    appendJsonNumber(o, t.bytesSent);
    o += '}';
}

void appendRankingsJson(std::string& o, Out& out, const analysis::Rankings& rankings) {
    o += '{';
    JsonList tables(o);
    for (const analysis::ShownTable& table : analysis::shownTables(rankings)) {
        appendJsonString(tables.next(), table.name);
        o += ":[";
        JsonList rows(o);
        for (const analysis::RankRow& row : analysis::sortedRows(*table.counts)) {
            rows.next() += "{\"item\":";
            appendJsonString(o, utf8(row.item));
            o += ",\"hits\":" + std::to_string(row.hits);
            if (table.bytes) o += ",\"bytes\":" + std::to_string(row.bytes);
            o += '}';
            out.maybeFlush();
        }
        o += ']';
    }
    o += '}';
    appendBehaviourJson(o, out, rankings);
}

}  // namespace

void ReportView::writeJson(std::FILE* f, const std::string& file, const std::optional<std::string>& error) const {
    Out out(f);
    std::string& o = out.buf();
    o += "{\"file\":";
    appendJsonString(o, file);
    if (layout_) {
        o += ",\"format\":";
        appendJsonString(o, layout_->name());
    }
    if (skipped_) appendSkippedJson(o, *skipped_);
    o += ",\"error\":";
    if (error) appendJsonString(o, utf8(*error));
    else o += "null";
    o += ",\"errorLine\":";
    o += errorLine_ ? std::to_string(*errorLine_) : "null";
    o += ",\"stoppedAtZeroByte\":";
    o += zeroByteLine_ ? std::to_string(*zeroByteLine_) : "null";
    o += ",\"tally\":";
    if (tally_) appendTallyJson(o, *tally_);
    else o += "null";
    o += ",\"boxes\":{";
    JsonList boxes(o);
    for (const auto& b : analysis::kBoxes) {
        appendJsonString(boxes.next(), b.name);
        o += ':';
        appendJsonString(o, utf8(box(std::string(b.name))));
    }
    o += "},\"panes\":{";
    JsonList panes(o);
    for (const auto& pane : analysis::kPanes) {
        appendJsonString(panes.next(), pane.name);
        o += ":[";
        JsonList lines(o);
        panes_.find(pane.name)->second.forEach([&](const std::string& line) {
            appendJsonString(lines.next(), utf8(line));
            out.maybeFlush();
        });
        o += ']';
    }
    o += "},\"progress\":[";
    JsonList progress(o);
    for (const std::string& line : progress_) appendJsonString(progress.next(), utf8(line));
    o += "],\"rankings\":";
    if (rankings_) appendRankingsJson(o, out, *rankings_);
    else o += "null";
    o += "}\n";
}

void ReportView::writeRankings(std::FILE* f, std::size_t top) const {
    Out out(f);
    std::string& o = out.buf();
    if (!rankings_) {
        o += "ランキングはありません\n";
        return;
    }
    char buf[96];
    bool firstTable = true;
    for (const analysis::ShownTable& table : analysis::shownTables(*rankings_)) {
        const analysis::RankCounts& counts = *table.counts;
        const std::vector<analysis::RankRow> rows = analysis::sortedRows(counts, top);
        const bool bytes = table.bytes;
        if (!firstTable) o += '\n';
        firstTable = false;
        o += "== ";
        o += table.caption;
        o += " (";
        o += table.name;
        o += "): " + std::to_string(counts.size()) + " 項目, 計 " + std::to_string(counts.totalHits()) + " 件 ==\n";
        o += bytes ? "  順位      件数    割合          転送量  項目\n" : "  順位      件数    割合  項目\n";
        std::size_t rank = 0;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            // Equal hits share a rank; the next one skips as many places.
            if (i == 0 || rows[i].hits != rows[i - 1].hits) rank = i + 1;
            const double share = common::sharePercent(rows[i].hits, counts.totalHits());
            std::snprintf(buf, sizeof buf, "%6zu %9lld %6.1f%%", rank, static_cast<long long>(rows[i].hits), share);
            o += buf;
            if (bytes) {
                std::snprintf(buf, sizeof buf, " %15lld", static_cast<long long>(rows[i].bytes));
                o += buf;
            }
            o += "  ";
            const std::string item = table.url ? analysis::decodedItem(rows[i].item) : std::string(rows[i].item);
            o += terminalSafe(utf8(item));
            o += '\n';
            out.maybeFlush();
        }
    }
    writeBehaviourText(o, out, top, *rankings_);
}

}  // namespace cli
