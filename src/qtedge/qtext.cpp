// The one place where code page 932 text meets Qt's Unicode strings.
#include "qtedge/qtext.h"

#include "common/cp932.h"

QString toQString(std::string_view cp932) {
    const std::string utf8 = common::utf8FromCp932(cp932);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string fromQString(const QString& text) { return common::cp932FromUtf8(text.toStdString()); }

std::string pathFromQString(const QString& path) { return path.toStdString(); }
