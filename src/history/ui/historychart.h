// A bar chart of one column of the history over its rows (days or months).
#pragma once
#include <QRect>
#include <QString>
#include <QWidget>
#include <vector>

namespace history::ui {

class HistoryChart : public QWidget {
    Q_OBJECT
public:
    explicit HistoryChart(QWidget* parent = nullptr);
    // One bar per value, labelled by the first and last label.
    void setValues(std::vector<std::int64_t> values, QStringList labels, QString caption);
    // Where each bar is drawn at the widget's present size.
    std::vector<QRect> barRects() const;
    QSize sizeHint() const override { return {480, 160}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QRect plotArea() const;
    std::vector<std::int64_t> values_;
    QStringList labels_;
    QString caption_;
};

}  // namespace history::ui
