// The UTF-8 decoder window.
#pragma once
#include <QWidget>

class TUTF : public QWidget {
    Q_OBJECT
public:
    explicit TUTF(QWidget* parent = nullptr);
};
