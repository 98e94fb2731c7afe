// The find bar under a pane: the query, its options, next and previous, the count.
#pragma once
#include <QWidget>

#include "app/linesearch.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

class FindBar : public QWidget {
    Q_OBJECT
public:
    explicit FindBar(QWidget* parent = nullptr);
    FindQuery query() const;
    void setCount(const QString& text);

    QLineEdit* edit;
    QPushButton* previous;
    QPushButton* next;
    QCheckBox* caseSensitive;
    QCheckBox* regex;
    QCheckBox* onlyMatching;
    QLabel* count;
    QToolButton* closeButton;

signals:
    void queryChanged();
    void nextRequested();
    void previousRequested();
    void closeRequested();
    void filterToggled(bool on);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // Enter, F3 and Esc, wherever the focus is in the bar; true when the key was one of them.
    bool handleKey(QKeyEvent* event);
};
