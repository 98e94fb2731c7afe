// The hourly charts as drawing operations: background, grid, bars and labels on a 297 x 255 surface.
// Painting them is the window's business; the geometry is fixed here so it can be checked without one.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace analysis {

struct Rgb {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(Rgb, Rgb) = default;
};

inline constexpr Rgb kChartWhite{255, 255, 255};
inline constexpr Rgb kChartBlack{0, 0, 0};
inline constexpr Rgb kChartGrey{128, 128, 128};
inline constexpr Rgb kBarColour{255, 136, 208};

enum class PenStyle : std::uint8_t { Solid, Dotted };

struct ChartPen {
    Rgb colour = kChartBlack;
    PenStyle style = PenStyle::Solid;
    friend bool operator==(const ChartPen&, const ChartPen&) = default;
};

// The drawing state a surface keeps from one operation, and one analysis, to the next.
struct ChartState {
    ChartPen pen;
    Rgb brush = kChartWhite;
};

// One drawing operation with the state it is drawn in.
//  Rectangle: (x1, y1) to (x2, y2) covers x1 .. x2 - 1 and y1 .. y2 - 1; outlined with pen, filled with brush.
//  Line:      from (x1, y1) up to, not including, (x2, y2).
//  Text:      the top left corner of the text cell at (x1, y1), on an opaque box of the brush colour.
struct ChartOp {
    enum class Kind : std::uint8_t { Rectangle, Line, Text };
    Kind kind;
    int x1, y1, x2, y2;
    ChartPen pen;
    Rgb brush;
    std::string text;
};

namespace chart {
inline constexpr int kWidth = 297;
inline constexpr int kHeight = 255;
inline constexpr int kAxisX = 15;
inline constexpr int kFullScale = 282;
inline constexpr int kSeparatorY = 215;

// x of the dotted lines at every 10 %: 15 + 28.2 k for k = 1 to 10, to the nearest pixel.
std::array<int, 10> gridLines();
// Top y of the row of hour 0 to 23: hours 3 to 23 from the top, 0 to 2 below the separator.
int rowTop(int hour);
// Length in pixels of a bar for count of total: the exact integer part of count * 282 / total.
int barLength(std::int64_t count, std::int64_t total);
}  // namespace chart

// The empty chart (Image1Ready and its twins) on a surface of width by height.
std::vector<ChartOp> chartBackground(ChartState& state, int width, int height);

// The 24 bars, hour labels and count labels (GraphDraw).
std::vector<ChartOp> chartBars(ChartState& state, const std::array<std::int64_t, 24>& counts, std::int64_t total);

}  // namespace analysis
