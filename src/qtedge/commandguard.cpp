// The top-level error handler.
#include "qtedge/commandguard.h"

#include <QMessageBox>
#include <QString>

#include "qtedge/qtext.h"
#include "common/apperror.h"

QString applicationTitle() { return QStringLiteral("むにゃろ"); }

void showErrorBox(QWidget* parent, const std::string& cp932Text) {
    QMessageBox box(QMessageBox::Critical, applicationTitle(), toQString(common::withPeriod(cp932Text)),
                    QMessageBox::Ok, parent);
    box.exec();
}

void showOutOfMemoryBox(QWidget* parent) { showErrorBox(parent, common::msg::outOfMemory()); }
