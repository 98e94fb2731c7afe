// From a ranking row to its lines.
#include "app/rankedlines.h"

#include <QRegularExpression>

#include "qtedge/qtext.h"

using analysis::RankTable;

std::optional<FindQuery> rankedLinesQuery(RankTable table, std::string_view item) {
    if (item.empty()) return std::nullopt;
    const QString text = QRegularExpression::escape(toQString(item));
    // Each item is looked for in its own field of the line, so that "/" finds the top page and not
    // every line that holds a slash. Tables that ignore letter case are searched the same way.
    auto query = [](const QString& pattern, bool caseSensitive) { return FindQuery{pattern, caseSensitive, true}; };
    switch (table) {
        case RankTable::Pages: return query(QStringLiteral("\"GET ") + text + QStringLiteral("[ \"]"), false);
        case RankTable::Hosts: return query(QStringLiteral("^") + text + QStringLiteral(" "), false);
        case RankTable::Referrers: return query(QLatin1Char('"') + text + QLatin1Char('"'), true);
        case RankTable::ReferrerSites: return query(QLatin1Char('"') + text + QStringLiteral("[/?#\"]"), false);
        case RankTable::SearchWords: return std::nullopt;
        case RankTable::Robots:
            if (item == "/robots.txt") return query(QStringLiteral("\"GET /robots\\.txt[ \"]"), false);
            return FindQuery{toQString(item), true, false};
        case RankTable::NotFound:
            return query(QStringLiteral("\"[A-Z]+ ") + text + QStringLiteral("[ \"][^\"]*\" 404 "), false);
        case RankTable::Forbidden:
            return query(QStringLiteral("\"[A-Z]+ ") + text + QStringLiteral("[ \"][^\"]*\" 403 "), false);
        case RankTable::Statuses: return query(QStringLiteral("\" ") + text + QStringLiteral("( |$)"), true);
        case RankTable::UserAgents: return query(QLatin1Char('"') + text + QLatin1Char('"'), true);
        case RankTable::VirtualHosts: return query(QStringLiteral("^") + text + QStringLiteral("[: ]"), false);
    }
    return std::nullopt;
}
