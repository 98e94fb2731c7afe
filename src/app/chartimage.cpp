// The image control of an hourly chart, and the painting of chart operations.
#include "app/chartimage.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include <QPainter>

namespace {

constexpr int kRowHeight = 10;

QColor colour(analysis::Rgb c) { return QColor(c.r, c.g, c.b); }

// One pixel of the chart's geometry: a block of scale x scale device pixels.
void setPixel(QImage& image, int x, int y, QRgb rgb, qreal scale) {
    if (scale == 1) {
        if (x >= 0 && y >= 0 && x < image.width() && y < image.height()) image.setPixel(x, y, rgb);
        return;
    }
    const int x0 = static_cast<int>(x * scale), x1 = static_cast<int>((x + 1) * scale);
    const int y0 = static_cast<int>(y * scale), y1 = static_cast<int>((y + 1) * scale);
    for (int py = std::max(0, y0); py < std::min(y1, image.height()); ++py)
        for (int px = std::max(0, x0); px < std::min(x1, image.width()); ++px) image.setPixel(px, py, rgb);
}

// Pixels are set one by one: QPainter's end points and pen widths would shift an edge by one.
void paintLine(QImage& image, const analysis::ChartOp& op, qreal scale) {
    const QRgb rgb = colour(op.pen.colour).rgb();
    const bool dotted = op.pen.style == analysis::PenStyle::Dotted;
    int x = op.x1, y = op.y1;
    const int dx = std::abs(op.x2 - op.x1), dy = -std::abs(op.y2 - op.y1);
    const int sx = op.x1 < op.x2 ? 1 : -1, sy = op.y1 < op.y2 ? 1 : -1;
    int err = dx + dy;
    for (int n = 0; x != op.x2 || y != op.y2; ++n) {
        if (!dotted || n % 2 == 0) setPixel(image, x, y, rgb, scale);
        const int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y += sy;
        }
    }
}

void paintRectangle(QImage& image, const analysis::ChartOp& op, qreal scale) {
    const int l = op.x1, t = op.y1, r = op.x2 - 1, b = op.y2 - 1;
    if (r < l || b < t) return;
    const QRgb fill = colour(op.brush).rgb();
    const QRgb edge = colour(op.pen.colour).rgb();
    const QRect logical(0, 0, static_cast<int>(std::ceil(image.width() / scale)),
                        static_cast<int>(std::ceil(image.height() / scale)));
    const QRect inside = QRect(QPoint(l, t), QPoint(r, b)).intersected(logical);
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            setPixel(image, x, y, x == l || x == r || y == t || y == b ? edge : fill, scale);
}

void paintText(QPainter& painter, const QFontMetrics& fm, const analysis::ChartOp& op) {
    const QString text = QString::fromStdString(op.text);
    const QRect box(op.x1, op.y1, fm.horizontalAdvance(text), fm.height());
    painter.fillRect(box, colour(op.brush));
    painter.setPen(Qt::black);
    painter.drawText(op.x1, op.y1 + fm.ascent(), text);
}

}  // namespace

void paintChartOps(QImage& image, const std::vector<analysis::ChartOp>& ops, const QFont& font, qreal scale) {
    const QFontMetrics fm(font);
    for (const auto& op : ops) {
        switch (op.kind) {
            case analysis::ChartOp::Kind::Rectangle: paintRectangle(image, op, scale); break;
            case analysis::ChartOp::Kind::Line: paintLine(image, op, scale); break;
            case analysis::ChartOp::Kind::Text: {
                // Text is laid out in the chart's pixels and drawn at the device's resolution.
                QPainter painter(&image);
                painter.scale(scale, scale);
                painter.setFont(font);
                paintText(painter, fm, op);
                break;
            }
        }
    }
}

QFont chartLabelFont(const QFont& base) {
    // Rows are 10 pixels apart: the largest size of the family whose text cell fits in a row.
    QFont font = base;
    for (int px = 10; px >= 6; --px) {
        font.setPixelSize(px);
        if (QFontMetrics(font).height() <= kRowHeight) break;
    }
    return font;
}

ChartImage::ChartImage(QWidget* parent) : QWidget(parent) {
    setFixedSize(analysis::chart::kWidth, analysis::chart::kHeight);
}

QFont ChartImage::labelFont() const { return chartLabelFont(font()); }

void ChartImage::draw(const std::vector<analysis::ChartOp>& ops) {
    if (image_.isNull()) {
        image_ = QImage(size(), QImage::Format_RGB32);
        image_.fill(Qt::white);
    }
    const QFont label = labelFont();
    paintChartOps(image_, ops, label);
    // A background covers the whole surface: what was drawn before it need not be repeated.
    if (!ops.empty() && ops.front().kind == analysis::ChartOp::Kind::Rectangle && ops.front().x1 <= 0 &&
        ops.front().y1 <= 0 && ops.front().x2 >= width() && ops.front().y2 >= height())
        history_.clear();
    history_.insert(history_.end(), ops.begin(), ops.end());
    if (!sharp_.isNull()) paintSharp(ops);
    update();
}

void ChartImage::paintSharp(const std::vector<analysis::ChartOp>& ops) {
    const qreal ratio = sharp_.devicePixelRatio();
    sharp_.setDevicePixelRatio(1);
    paintChartOps(sharp_, ops, labelFont(), ratio);
    sharp_.setDevicePixelRatio(ratio);
}

void ChartImage::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    const qreal ratio = devicePixelRatioF();
    if (ratio == 1) {
        painter.drawImage(0, 0, image_);
        return;
    }
    // A high-density display gets the drawing repeated at its resolution, so the chart stays sharp.
    if (sharp_.isNull() || sharp_.devicePixelRatio() != ratio) {
        sharp_ = QImage(size() * ratio, QImage::Format_RGB32);
        sharp_.fill(Qt::white);
        sharp_.setDevicePixelRatio(ratio);
        paintSharp(history_);
    }
    painter.drawImage(QPoint(0, 0), sharp_);
}
