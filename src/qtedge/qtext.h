// The one place where the program's code page 932 text meets Qt's Unicode strings.
#pragma once
#include <QString>
#include <string>
#include <string_view>

// Undecodable bytes become U+FFFD, never an exception.
QString toQString(std::string_view cp932);
// Characters without a code page 932 form become "?".
std::string fromQString(const QString& text);
// A file system path chosen in a dialog, as the bytes the system opens it by (UTF-8).
std::string pathFromQString(const QString& path);
