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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
    analysis::ChartState state_;
};

// Paints chart operations on an image with the semantics of the chart geometry: rectangles and lines
// leave out their right, bottom or end pixel; text stands on a box of the brush colour.
void paintChartOps(QImage& image, const std::vector<analysis::ChartOp>& ops, const QFont& font);
