// The image control of an hourly chart: a 297 x 255 surface that the analysis draws on.
#pragma once
#include <vector>

#include <QImage>
#include <QWidget>

#include "analysis/chart.h"

class ChartImage : public QWidget {
    Q_OBJECT
public:
    explicit ChartImage(QWidget* parent = nullptr);

    // Draws the operations; the surface is created at the control's size the first time.
    void draw(const std::vector<analysis::ChartOp>& ops);
    analysis::ChartState& state() { return state_; }
    // Null before the first drawing: the control then shows nothing.
    const QImage& image() const { return image_; }
    // The font of the labels: the control's font at a size whose text cell fits a row of bars.
    QFont labelFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    void paintSharp(const std::vector<analysis::ChartOp>& ops);
    QImage sharp_;                            // the same at the screen's device pixel ratio, when that is not 1
    std::vector<analysis::ChartOp> history_;  // everything drawn, to repeat it at a new pixel ratio
    analysis::ChartState state_;
};

// Paints chart operations on an image with the semantics of the chart geometry: rectangles and lines
// leave out their right, bottom or end pixel; text stands on a box of the brush colour.
// At scale s each pixel of the geometry is an s x s block, and text is drawn at that resolution.
void paintChartOps(QImage& image, const std::vector<analysis::ChartOp>& ops, const QFont& font, qreal scale = 1);
// The largest pixel size of base's family whose text cell is at most one row (10 pixels) high.
QFont chartLabelFont(const QFont& base);
