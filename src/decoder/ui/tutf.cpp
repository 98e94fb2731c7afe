// The UTF-8 decoder window.
#include "decoder/ui/tutf.h"

TUTF::TUTF(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("UTF");
    setWindowTitle(QStringLiteral("UTF-8デコーダ"));
}
