// The image control of an hourly chart, and the painting of chart operations.
#include "app/chartimage.h"

#include <cstdlib>

#include <QPainter>

namespace {

QColor colour(analysis::Rgb c) { return QColor(c.r, c.g, c.b); }

void setPixel(QImage& image, int x, int y, QRgb rgb) {
    if (x >= 0 && y >= 0 && x < image.width() && y < image.height()) image.setPixel(x, y, rgb);
}

// Pixels are set one by one: QPainter's end points and pen widths would shift an edge by one.
void paintLine(QImage& image, const analysis::ChartOp& op) {
    const QRgb rgb = colour(op.pen.colour).rgb();
    const bool dotted = op.pen.style == analysis::PenStyle::Dotted;
    int x = op.x1, y = op.y1;
    const int dx = std::abs(op.x2 - op.x1), dy = -std::abs(op.y2 - op.y1);
    const int sx = op.x1 < op.x2 ? 1 : -1, sy = op.y1 < op.y2 ? 1 : -1;
    int err = dx + dy;
    for (int n = 0; x != op.x2 || y != op.y2; ++n) {
        if (!dotted || n % 2 == 0) setPixel(image, x, y, rgb);
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

void paintRectangle(QImage& image, const analysis::ChartOp& op) {
    const int l = op.x1, t = op.y1, r = op.x2 - 1, b = op.y2 - 1;
    if (r < l || b < t) return;
    const QRgb fill = colour(op.brush).rgb();
    const QRgb edge = colour(op.pen.colour).rgb();
    const QRect inside = QRect(QPoint(l, t), QPoint(r, b)).intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            setPixel(image, x, y, x == l || x == r || y == t || y == b ? edge : fill);
}

void paintText(QPainter& painter, const QFontMetrics& fm, const analysis::ChartOp& op) {
    const QString text = QString::fromStdString(op.text);
    const QRect box(op.x1, op.y1, fm.horizontalAdvance(text), fm.height());
    painter.fillRect(box, colour(op.brush));
    painter.setPen(Qt::black);
    painter.drawText(op.x1, op.y1 + fm.ascent(), text);
}

}  // namespace

void paintChartOps(QImage& image, const std::vector<analysis::ChartOp>& ops, const QFont& font) {
    const QFontMetrics fm(font, &image);
    for (const auto& op : ops) {
        switch (op.kind) {
            case analysis::ChartOp::Kind::Rectangle: paintRectangle(image, op); break;
            case analysis::ChartOp::Kind::Line: paintLine(image, op); break;
            case analysis::ChartOp::Kind::Text: {
                QPainter painter(&image);
                painter.setFont(font);
                paintText(painter, fm, op);
                break;
            }
        }
    }
}

ChartImage::ChartImage(QWidget* parent) : QWidget(parent) {
    setFixedSize(analysis::chart::kWidth, analysis::chart::kHeight);
}

void ChartImage::draw(const std::vector<analysis::ChartOp>& ops) {
    if (image_.isNull()) {
        image_ = QImage(size(), QImage::Format_RGB32);
        image_.fill(Qt::white);
    }
    paintChartOps(image_, ops, font());
    update();
}

void ChartImage::paintEvent(QPaintEvent*) {
    if (image_.isNull()) return;
    QPainter painter(this);
    painter.drawImage(0, 0, image_);
}
