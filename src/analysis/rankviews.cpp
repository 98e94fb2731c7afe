// The window's views of a ranking table: its rows filtered and sorted, and the place of a count.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "analysis/rankings.h"
#include "common/casefold.h"

namespace analysis {

std::vector<std::uint32_t> rankOrder(const RankCounts& counts, RankTable table, std::string_view filter, RankSort by,
                                     bool descending) {
    return rankOrder(counts, isUrlTable(table), filter, by, descending);
}

std::vector<std::uint32_t> rankOrder(const RankCounts& counts, bool url, std::string_view filter, RankSort by,
                                     bool descending) {
    const RankRows& rows = counts.rows();
    std::vector<std::uint32_t> order;
    order.reserve(rows.size());
    const std::string needle = common::foldCase(filter);
    std::string folded;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!needle.empty()) {
            folded = common::foldCase(rows[i].item);
            bool hit = folded.find(needle) != std::string::npos;
            if (!hit && url && rows[i].item.find('%') != std::string_view::npos)
                hit = common::foldCase(decodedItem(rows[i].item)).find(needle) != std::string::npos;
            if (!hit) continue;
        }
        order.push_back(static_cast<std::uint32_t>(i));
    }
    auto key = [&](const RankRow& r) { return by == RankSort::Bytes ? r.bytes : r.hits; };
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const RankRow& x = rows[a];
        const RankRow& y = rows[b];
        if (by != RankSort::Item && key(x) != key(y)) return descending ? key(x) > key(y) : key(x) < key(y);
        if (by == RankSort::Item && descending) return y.item < x.item;
        return x.item < y.item;
    });
    return order;
}

RankPlaces::RankPlaces(const RankCounts& counts) {
    hitsDescending_.reserve(counts.size());
    for (const RankRow& r : counts.rows()) hitsDescending_.push_back(r.hits);
    std::sort(hitsDescending_.begin(), hitsDescending_.end(), std::greater<>());
}

std::size_t RankPlaces::rankOf(std::int64_t hits) const {
    const auto more = std::lower_bound(hitsDescending_.begin(), hitsDescending_.end(), hits, std::greater<>());
    return static_cast<std::size_t>(more - hitsDescending_.begin()) + 1;
}

}  // namespace analysis
