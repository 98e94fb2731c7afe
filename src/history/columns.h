// The columns of the history's tables, written once: the window, the CLI, JSON, CSV and the HTML page
// all go through this list.
#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "history/store.h"

namespace history {

struct Column {
    std::string_view key;      // JSON key and CSV header
    std::string_view caption;  // the window's and the page's heading (UTF-8)
    std::int64_t (*value)(const Summary&);
};

inline constexpr std::array<Column, 14> kColumns = {{
    {"lines", "接続数", [](const Summary& s) { return s.counts.lines; }},
    {"hosts", "ホスト数", [](const Summary& s) { return s.hosts; }},
    {"visitors", "訪問者数", [](const Summary& s) { return s.visitors; }},
    {"get", "要求(GET)", [](const Summary& s) { return s.counts.get; }},
    {"post", "受信(POST)", [](const Summary& s) { return s.counts.post; }},
    {"status200", "200", [](const Summary& s) { return s.counts.status200; }},
    {"status403", "403", [](const Summary& s) { return s.counts.status403; }},
    {"status404", "404", [](const Summary& s) { return s.counts.status404; }},
    {"other", "その他", [](const Summary& s) { return s.counts.other; }},
    {"bytes", "転送量(byte)", [](const Summary& s) { return s.counts.bytes; }},
    {"favicon", "favicon", [](const Summary& s) { return s.counts.favicon; }},
    {"faviconIe", "favicon IE", [](const Summary& s) { return s.counts.faviconIe; }},
    {"robots", "ロボット", [](const Summary& s) { return s.counts.robots; }},
    {"robotsFile", "robots.txt", [](const Summary& s) { return s.counts.robotsFile; }},
}};

// How the distinct counts of more than one day are made, in the user's words (UTF-8).
inline constexpr std::string_view kDistinctNote =
    "ホスト数と訪問者数 (ホストとブラウザの組) は、期間と月についても重複を除いた数です (日ごとの和ではありません)。"
    "1日1ログの日は正確な数です。いくつかを合わせた数は32ビットのハッシュで数えるため、100万ほどの数では 0.01% "
    "ほど少なく出ることがあります。";
// What the ranking sums over a range are (UTF-8).
inline constexpr std::string_view kRankingNote =
    "ランキングは、各日の上位の行 (1日につき各表 200 行まで) を期間で合計したものです。";

}  // namespace history
