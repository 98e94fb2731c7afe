// The history's bar chart, in the colours of the hourly charts.
#include "history/ui/historychart.h"

#include <algorithm>

#include <QPainter>

#include "analysis/chart.h"

namespace history::ui {

namespace {
QColor qcolor(analysis::Rgb c) { return {c.r, c.g, c.b}; }
}  // namespace

HistoryChart::HistoryChart(QWidget* parent) : QWidget(parent) {
    setObjectName("HistoryChart");
    setMinimumHeight(100);
}

void HistoryChart::setValues(std::vector<std::int64_t> values, QStringList labels, QString caption) {
    values_ = std::move(values);
    labels_ = std::move(labels);
    caption_ = std::move(caption);
    update();
}

QRect HistoryChart::plotArea() const {
    const int text = fontMetrics().height();
    return rect().adjusted(4, text + 4, -4, -(text + 4));
}

std::vector<QRect> HistoryChart::barRects() const {
    std::vector<QRect> out;
    if (values_.empty()) return out;
    const QRect area = plotArea();
    const std::int64_t most = std::max<std::int64_t>(1, *std::max_element(values_.begin(), values_.end()));
    const double step = static_cast<double>(area.width()) / static_cast<double>(values_.size());
    for (std::size_t i = 0; i < values_.size(); ++i) {
        const int x1 = area.left() + static_cast<int>(step * static_cast<double>(i));
        const int x2 = area.left() + static_cast<int>(step * static_cast<double>(i + 1));
        const int h = static_cast<int>(static_cast<double>(std::max<std::int64_t>(values_[i], 0)) * area.height() /
                                       static_cast<double>(most));
        // A gap between bars while they are wide enough to show one.
        const int w = std::max(1, x2 - x1 - (x2 - x1 > 3 ? 1 : 0));
        out.emplace_back(x1, area.bottom() + 1 - h, w, h);
    }
    return out;
}

void HistoryChart::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), qcolor(analysis::kChartWhite));
    p.setPen(qcolor(analysis::kChartBlack));
    p.drawText(rect().adjusted(4, 2, -4, 0), Qt::AlignLeft | Qt::AlignTop, caption_);
    const QRect area = plotArea();
    p.setPen(qcolor(analysis::kChartGrey));
    p.drawLine(area.bottomLeft(), area.bottomRight());
    for (const QRect& r : barRects()) p.fillRect(r, qcolor(analysis::kBarColour));
    if (!labels_.isEmpty()) {
        p.setPen(qcolor(analysis::kChartBlack));
        const QRect under = rect().adjusted(4, 0, -4, -2);
        p.drawText(under, Qt::AlignLeft | Qt::AlignBottom, labels_.front());
        if (labels_.size() > 1) p.drawText(under, Qt::AlignRight | Qt::AlignBottom, labels_.back());
    }
}

}  // namespace history::ui
