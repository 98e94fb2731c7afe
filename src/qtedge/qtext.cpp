// The one place where code page 932 text meets Qt's Unicode strings.
#include "qtedge/qtext.h"

#include <algorithm>

#include <QList>

#include "common/cp932.h"

QString toQString(std::string_view cp932) {
    const std::string utf8 = common::utf8FromCp932(cp932);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string fromQString(const QString& text) { return common::cp932FromUtf8(text.toStdString()); }

std::string pathFromQString(const QString& path) { return path.toStdString(); }

NoCp932Form::NoCp932Form(const QString& message) : std::runtime_error(fromQString(message)), message_(message) {}

std::string fromQStringStrict(const QString& text) {
    std::string out = fromQString(text);
    // A "?" that was not typed marks a character that did not convert; only then look for which.
    if (std::ranges::count(out, '?') == text.count(QLatin1Char('?'))) return out;
    for (const uint code : text.toUcs4()) {
        const char32_t c = code;
        const QString one = QString::fromUcs4(&c, 1);
        if (c == U'?' || fromQString(one) != "?") continue;
        // Shown as itself, and by its code point for what cannot be seen (a zero-width space).
        throw NoCp932Form(QStringLiteral("「%1」(U+%2) は Shift-JIS にない文字のため使えません")
                              .arg(one, QStringLiteral("%1").arg(code, 4, 16, QLatin1Char('0')).toUpper()));
    }
    return out;
}
