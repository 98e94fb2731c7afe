// The top-level error handler.
#include "qtedge/commandguard.h"

#include <QMessageBox>
#include <QString>

#include "common/apperror.h"
#include "common/cp932.h"
#include "qtedge/qtext.h"

QString applicationTitle() { return QStringLiteral("むにゃろ"); }

const std::string& unknownError() {
    static const std::string text = common::cp932(u8"原因のわからないエラーが起きました");
    return text;
}

void showErrorBox(QWidget* parent, const std::string& cp932Text) {
    QMessageBox box(QMessageBox::Critical, applicationTitle(), toQString(common::withPeriod(cp932Text)),
                    QMessageBox::Ok, parent);
    box.exec();
}

void showOutOfMemoryBox(QWidget* parent) { showErrorBox(parent, common::msg::outOfMemory()); }

void showUnicodeErrorBox(QWidget* parent, const QString& text) {
    // The rule looks at the text's last byte as the program keeps it, in code page 932.
    const std::string last = fromQString(text.right(1));
    const bool period = !text.isEmpty() && common::withPeriod(last) != last;
    QMessageBox box(QMessageBox::Critical, applicationTitle(), period ? text + QLatin1Char('.') : text, QMessageBox::Ok,
                    parent);
    box.exec();
}
