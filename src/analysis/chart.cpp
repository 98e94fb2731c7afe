// The hourly charts as drawing operations.
#include "analysis/chart.h"

namespace analysis {

namespace chart {

std::array<int, 10> gridLines() {
    std::array<int, 10> x{};
    // 28.2 pixels per 10 %, rounded half up, in integers so no step drifts.
    for (int k = 1; k <= 10; ++k) x[static_cast<std::size_t>(k - 1)] = kAxisX + (kFullScale * k + 5) / 10;
    return x;
}

int rowTop(int hour) { return hour >= 3 ? 10 * hour - 30 : 10 * hour + 220; }

int barLength(std::int64_t count, std::int64_t total) {
    // An empty log has no lines to share out: every bar is empty.
    if (total <= 0 || count <= 0) return 0;
    if (count >= total) return kFullScale;
    return static_cast<int>(count * kFullScale / total);
}

}  // namespace chart

namespace {

ChartOp rectangle(const ChartState& s, int l, int t, int r, int b) {
    return ChartOp{ChartOp::Kind::Rectangle, l, t, r, b, s.pen, s.brush, {}};
}
ChartOp line(const ChartState& s, int x1, int y1, int x2, int y2) {
    return ChartOp{ChartOp::Kind::Line, x1, y1, x2, y2, s.pen, s.brush, {}};
}
ChartOp text(const ChartState& s, int x, int y, std::string t) {
    return ChartOp{ChartOp::Kind::Text, x, y, x, y, s.pen, s.brush, std::move(t)};
}

}  // namespace

std::vector<ChartOp> chartBackground(ChartState& s, int width, int height) {
    std::vector<ChartOp> ops;
    s.brush = kChartWhite;
    s.pen.style = PenStyle::Solid;
    // The outline lies outside the surface, so the pen colour left from the last chart never shows.
    ops.push_back(rectangle(s, -1, -1, width + 1, height + 1));
    s.pen.colour = kChartBlack;
    ops.push_back(line(s, chart::kAxisX, 0, chart::kAxisX, height));
    s.pen.colour = kChartGrey;
    s.pen.style = PenStyle::Dotted;
    for (int x : chart::gridLines()) ops.push_back(line(s, x, 0, x, height));
    ops.push_back(line(s, 0, chart::kSeparatorY, width, chart::kSeparatorY));
    return ops;
}

std::vector<ChartOp> chartBars(ChartState& s, const std::array<std::int64_t, 24>& counts, std::int64_t total) {
    std::vector<ChartOp> ops;
    for (int h = 0; h < 24; ++h) {
        const int row = chart::rowTop(h);
        if (h % 3 == 0) ops.push_back(text(s, 2, row + 1, std::to_string(h)));
        const std::int64_t count = counts[static_cast<std::size_t>(h)];
        const int length = chart::barLength(count, total);
        s.pen.colour = kBarColour;
        s.brush = kBarColour;
        ops.push_back(rectangle(s, chart::kAxisX, row + 1, chart::kAxisX + length, row + 10));
        s.brush = kChartWhite;
        ops.push_back(text(s, length + 20, row, std::to_string(count)));
    }
    return ops;
}

}  // namespace analysis
