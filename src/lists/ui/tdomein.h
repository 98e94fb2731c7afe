// The reference list manager window.
#pragma once
#include <QWidget>

class TDomein : public QWidget {
    Q_OBJECT
public:
    explicit TDomein(QWidget* parent = nullptr);
    // Creation handler: loads the three lists. Runs under the top-level error handler.
    void FormCreate();
};
