// The reference list manager window.
#include "lists/ui/tdomein.h"

TDomein::TDomein(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("Domein");
    setWindowTitle(QStringLiteral("ドメイン管理"));
}

void TDomein::FormCreate() {}
