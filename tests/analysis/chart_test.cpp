// The chart geometry: scale, rows, grid, and the order and state of the drawing operations.
#include "analysis/chart.h"

#include <gtest/gtest.h>

namespace analysis {
namespace {

using Kind = ChartOp::Kind;

TEST(ChartGeometry, BarLengthIsTheExactIntegerPartOfTheShare) {
    EXPECT_EQ(chart::barLength(19, 47), 114);  // 113.99999... in floating point
    EXPECT_EQ(chart::barLength(1, 3), 94);
    EXPECT_EQ(chart::barLength(5, 10), 141);
    EXPECT_EQ(chart::barLength(2, 4), 141);
    EXPECT_EQ(chart::barLength(1, 4), 70);
    EXPECT_EQ(chart::barLength(0, 47), 0);
    EXPECT_EQ(chart::barLength(47, 47), 282);
    // Millions of lines stay exact where 32-bit products would overflow.
    EXPECT_EQ(chart::barLength(999'999'999, 1'000'000'000), 281);
    EXPECT_EQ(chart::barLength(1'000'000'000, 1'000'000'000), 282);
}

TEST(ChartGeometry, EmptyLogGivesEmptyBars) {
    EXPECT_EQ(chart::barLength(0, 0), 0);
    ChartState state;
    std::array<std::int64_t, 24> counts{};
    for (const ChartOp& op : chartBars(state, counts, 0))
        if (op.kind == Kind::Rectangle) {
            EXPECT_EQ(op.x2, op.x1) << "a bar of an empty log covers nothing";
        }
}

TEST(ChartGeometry, GridAndRows) {
    EXPECT_EQ(chart::gridLines(), (std::array<int, 10>{43, 71, 100, 128, 156, 184, 212, 241, 269, 297}));
    EXPECT_EQ(chart::rowTop(3), 0);
    EXPECT_EQ(chart::rowTop(21), 180);
    EXPECT_EQ(chart::rowTop(23), 200);
    EXPECT_EQ(chart::rowTop(0), 220);
    EXPECT_EQ(chart::rowTop(2), 240);
}

TEST(ChartBackground, FillsWhiteThenAxisGridAndSeparator) {
    ChartState state;
    state.pen = {kBarColour, PenStyle::Dotted};  // left from an earlier chart
    state.brush = kBarColour;
    const auto ops = chartBackground(state, 297, 255);
    ASSERT_EQ(ops.size(), 13u);
    EXPECT_EQ(ops[0].kind, Kind::Rectangle);
    EXPECT_EQ((std::array{ops[0].x1, ops[0].y1, ops[0].x2, ops[0].y2}), (std::array{-1, -1, 298, 256}));
    EXPECT_EQ(ops[0].brush, kChartWhite);
    EXPECT_EQ(ops[0].pen.style, PenStyle::Solid);
    EXPECT_EQ(ops[1].kind, Kind::Line);
    EXPECT_EQ((std::array{ops[1].x1, ops[1].y1, ops[1].x2, ops[1].y2}), (std::array{15, 0, 15, 255}));
    EXPECT_EQ(ops[1].pen, (ChartPen{kChartBlack, PenStyle::Solid}));
    for (std::size_t k = 0; k < 10; ++k) {
        EXPECT_EQ(ops[2 + k].x1, chart::gridLines()[k]);
        EXPECT_EQ(ops[2 + k].y2, 255);
        EXPECT_EQ(ops[2 + k].pen, (ChartPen{kChartGrey, PenStyle::Dotted}));
    }
    EXPECT_EQ((std::array{ops[12].x1, ops[12].y1, ops[12].x2, ops[12].y2}), (std::array{0, 215, 297, 215}));
    EXPECT_EQ(ops[12].pen.style, PenStyle::Dotted);
}

TEST(ChartBars, EachRowHasItsLabelsAroundItsBar) {
    ChartState state;
    std::array<std::int64_t, 24> counts{};
    counts[13] = 19;
    counts[0] = 28;
    const auto ops = chartBars(state, counts, 47);
    // 24 bars and count labels, 8 hour labels.
    ASSERT_EQ(ops.size(), 24u * 2 + 8);
    std::size_t i = 0;
    for (int h = 0; h < 24; ++h) {
        const int row = chart::rowTop(h);
        if (h % 3 == 0) {
            EXPECT_EQ(ops[i].kind, Kind::Text);
            EXPECT_EQ(ops[i].text, std::to_string(h));
            EXPECT_EQ(ops[i].x1, 2);
            EXPECT_EQ(ops[i].y1, row + 1);
            EXPECT_EQ(ops[i].brush, kChartWhite) << "the hour label stands on white";
            ++i;
        }
        const int length = chart::barLength(counts[static_cast<std::size_t>(h)], 47);
        EXPECT_EQ(ops[i].kind, Kind::Rectangle);
        EXPECT_EQ((std::array{ops[i].x1, ops[i].y1, ops[i].x2, ops[i].y2}),
                  (std::array{15, row + 1, 15 + length, row + 10}));
        EXPECT_EQ(ops[i].pen.colour, kBarColour);
        EXPECT_EQ(ops[i].brush, kBarColour);
        ++i;
        EXPECT_EQ(ops[i].kind, Kind::Text);
        EXPECT_EQ(ops[i].text, std::to_string(counts[static_cast<std::size_t>(h)]));
        EXPECT_EQ(ops[i].x1, length + 20);
        EXPECT_EQ(ops[i].y1, row);
        EXPECT_EQ(ops[i].brush, kChartWhite);
        ++i;
    }
    EXPECT_EQ(ops[i - 2 - 0].x2, 15);  // hour 23 has no lines
    EXPECT_EQ(state.brush, kChartWhite);
    EXPECT_EQ(state.pen.colour, kBarColour);
}

}  // namespace
}  // namespace analysis
