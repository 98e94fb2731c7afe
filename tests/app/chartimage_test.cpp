// The hourly charts as painted, pixel by pixel where painting can be off by one.
#include "app/chartimage.h"

#include <gtest/gtest.h>

#include "app/tform1.h"
#include "support.h"

namespace {

using analysis::chart::rowTop;
using Counts = std::array<std::int64_t, 24>;

const QColor kBar(255, 136, 208);
const QColor kGrey(128, 128, 128);

QColor at(const QImage& image, int x, int y) { return image.pixelColor(x, y); }

class ChartTest : public ::testing::Test {
protected:
    // The chart Image1 after its background and the bars of counts against total.
    const QImage& draw(const Counts& counts, std::int64_t total) {
        form.Image1Ready();
        form.GraphDraw(form.chart("Image1"), counts, total);
        return form.chart("Image1")->image();
    }

    // text painted alone on white at (0, 0), as a label looks wherever it stands.
    QImage label(const std::string& text) {
        const QFontMetrics fm(form.chart("Image1")->labelFont());
        QImage image(fm.horizontalAdvance(QString::fromStdString(text)), fm.height(), QImage::Format_RGB32);
        image.fill(Qt::white);
        paintChartOps(image,
                      {analysis::ChartOp{analysis::ChartOp::Kind::Text, 0, 0, 0, 0, {}, analysis::kChartWhite, text}},
                      form.chart("Image1")->labelFont());
        return image;
    }

    apptest::ProgramFont font_;
    TForm1 form;
};

TEST_F(ChartTest, NoSurfaceBeforeTheFirstAnalysis) {
    EXPECT_TRUE(form.chart("Image1")->image().isNull());
    EXPECT_EQ(form.chart("Image1")->size(), QSize(297, 255));
}

TEST_F(ChartTest, BackgroundAxisGridAndSeparator) {
    form.Image1Ready();
    const QImage& image = form.chart("Image1")->image();
    ASSERT_EQ(image.size(), QSize(297, 255));
    for (int y = 0; y < 255; ++y) EXPECT_EQ(at(image, 15, y), QColor(Qt::black)) << y;
    // Dotted grid: every line from 10 % to 90 % has grey dots from top to bottom.
    for (int x : {43, 71, 100, 128, 156, 184, 212, 241, 269}) {
        int dots = 0;
        for (int y = 0; y < 255; ++y) dots += at(image, x, y) == kGrey;
        EXPECT_GE(dots, 100) << x;
        EXPECT_EQ(at(image, x - 1, 10), QColor(Qt::white)) << x;
        EXPECT_EQ(at(image, x + 1, 10), QColor(Qt::white)) << x;
    }
    // The 100 % line lies just outside the surface: the last column stays white.
    for (int y = 0; y < 255; ++y)
        if (y != 215) {
            EXPECT_EQ(at(image, 296, y), QColor(Qt::white)) << y;
        }
    int separator = 0;
    for (int x = 0; x < 297; ++x) separator += at(image, x, 215) == kGrey;
    EXPECT_GE(separator, 140);
    EXPECT_EQ(at(image, 5, 214), QColor(Qt::white));
    EXPECT_EQ(at(image, 5, 216), QColor(Qt::white));
}

TEST_F(ChartTest, BarsEndAtTheExactLength) {
    Counts counts{};
    counts[13] = 19;  // 19 of 47: 114 pixels, x = 15 to 128
    counts[4] = 28;   // the rest, so the counts add up
    const QImage& image = draw(counts, 47);
    const int row = rowTop(13);
    for (int y = row + 1; y <= row + 9; ++y) {
        EXPECT_EQ(at(image, 15, y), kBar);
        EXPECT_EQ(at(image, 128, y), kBar) << "the bar's last column";
        EXPECT_NE(at(image, 129, y), kBar);
    }
    EXPECT_NE(at(image, 20, row), kBar) << "a row's top line is free";
    EXPECT_NE(at(image, 20, row + 10), kBar) << "one pixel between two bars";

    Counts third{};
    third[12] = 1;
    third[13] = 2;
    const QImage& image2 = draw(third, 3);  // 1 of 3: 94 pixels
    EXPECT_EQ(at(image2, 15 + 93, rowTop(12) + 5), kBar);
    EXPECT_NE(at(image2, 15 + 94, rowTop(12) + 5), kBar);
}

TEST_F(ChartTest, FullBarReachesTheRightEdge) {
    Counts counts{};
    counts[22] = 7;
    const QImage& image = draw(counts, 7);
    const int row = rowTop(22);
    for (int x = 15; x < 297; ++x) {
        EXPECT_EQ(at(image, x, row + 1), kBar) << x;
        EXPECT_EQ(at(image, x, row + 9), kBar) << x;
    }
}

TEST_F(ChartTest, LabelsStandOnWhiteBoxesAtTheirPlaces) {
    Counts counts{};
    counts[3] = 10;  // 10 of 141: 20 pixels, count label at x = 40, over the 10 % grid line
    counts[5] = 131;
    const QImage& image = draw(counts, 141);
    auto expectLabel = [&](const std::string& text, int x, int y) {
        const QImage expected = label(text);
        EXPECT_EQ(image.copy(x, y, expected.width(), expected.height()), expected) << text << " at " << x << "," << y;
    };
    expectLabel("3", 2, 1);
    expectLabel("21", 2, 181);
    expectLabel("0", 2, 221);
    expectLabel("10", 40, 0);          // covers the dotted line at x = 43 with white
    expectLabel("0", 20, rowTop(23));  // an hour without lines: no bar, the label at x = 20
    EXPECT_EQ(at(image, 15, rowTop(23) + 5), QColor(Qt::black)) << "no bar: the axis shows";
}

TEST_F(ChartTest, GetAndPostChartsMeasureAgainstAllLines) {
    Counts gets{};
    gets[12] = 5;
    form.Image2Ready();
    form.GraphDraw(form.chart("Image2"), gets, 10);
    const QImage& image = form.chart("Image2")->image();
    EXPECT_EQ(at(image, 15 + 140, rowTop(12) + 1), kBar);
    EXPECT_NE(at(image, 15 + 141, rowTop(12) + 1), kBar);
}

TEST_F(ChartTest, ASmallerSecondChartLeavesNoTrace) {
    Counts big{};
    for (auto& c : big) c = 10;
    draw(big, 240);
    Counts small{};
    small[1] = 1;
    const QImage second = draw(small, 3);

    TForm1 fresh;
    fresh.Image1Ready();
    fresh.GraphDraw(fresh.chart("Image1"), small, 3);
    EXPECT_EQ(second, fresh.chart("Image1")->image());
}

TEST_F(ChartTest, LabelsFitTheirRowsSoNothingOverlaps) {
    EXPECT_LE(QFontMetrics(form.chart("Image1")->labelFont()).height(), 10);
    EXPECT_EQ(form.chart("Image1")->labelFont().family(), form.chart("Image1")->font().family());
    // Row 12 has no lines (its label "0" stands at x = 20); row 13 holds them all. The label's box must
    // end above the next row's bar, and the label of row 13 must not reach into row 14.
    Counts counts{};
    counts[13] = 50;
    const QImage& image = draw(counts, 50);
    for (int x = 20; x < 40; ++x) EXPECT_EQ(at(image, x, rowTop(13) + 1), kBar) << x;
    // Hour label "12" and the count label of row 11 both keep their whole box.
    Counts eleven{};
    eleven[11] = 1;
    eleven[12] = 1;
    const QImage& second = draw(eleven, 2);
    const QImage twelve = label("12");
    EXPECT_EQ(second.copy(2, rowTop(12) + 1, twelve.width(), twelve.height()), twelve);
    const QImage one = label("1");
    EXPECT_EQ(second.copy(141 + 20, rowTop(11), one.width(), one.height()), one);
}

TEST_F(ChartTest, AtTwiceThePixelRatioEveryPixelIsABlockAndTextIsDrawnFine) {
    const std::vector<analysis::ChartOp> ops = analysis::chartBackground(form.chart("Image1")->state(), 297, 255);
    QImage big(594, 510, QImage::Format_RGB32);
    big.fill(Qt::black);
    paintChartOps(big, ops, form.chart("Image1")->labelFont(), 2);
    form.Image1Ready();
    const QImage& small = form.chart("Image1")->image();
    for (int y = 0; y < 255; y += 7)
        for (int x = 0; x < 297; x += 3)
            for (int d : {0, 1, 2, 3})
                ASSERT_EQ(big.pixelColor(2 * x + d % 2, 2 * y + d / 2), small.pixelColor(x, y)) << x << "," << y;
    // Text at twice the resolution is not the small label blown up: it has detail of its own.
    QImage text(40, 24, QImage::Format_RGB32);
    text.fill(Qt::white);
    paintChartOps(text, {analysis::ChartOp{analysis::ChartOp::Kind::Text, 0, 0, 0, 0, {}, analysis::kChartWhite, "18"}},
                  form.chart("Image1")->labelFont(), 2);
    const QImage blown = label("18").scaled(label("18").size() * 2);
    EXPECT_NE(text.copy(0, 0, blown.width(), blown.height()), blown);
}

}  // namespace
