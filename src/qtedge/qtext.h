// The one place where the program's code page 932 text meets Qt's Unicode strings.
#pragma once
#include <QString>
#include <stdexcept>
#include <string>
#include <string_view>

// Undecodable bytes become U+FFFD, never an exception.
QString toQString(std::string_view cp932);
// Characters without a code page 932 form become "?".
std::string fromQString(const QString& text);
// A file system path chosen in a dialog, as the bytes the system opens it by (UTF-8).
std::string pathFromQString(const QString& path);

// Typed text holds a character that has no code page 932 form. The message names the character,
// which a message in code page 932 could not show, so it is kept as Unicode; what() has it as "?".
class NoCp932Form : public std::runtime_error {
public:
    explicit NoCp932Form(const QString& message);
    const QString& message() const { return message_; }

private:
    QString message_;
};

// Text the user typed, for saving or sending: a character without a code page 932 form throws
// NoCp932Form instead of being changed into "?" without a word.
std::string fromQStringStrict(const QString& text);
