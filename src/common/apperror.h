// Errors carrying the user's message (code page 932 bytes), and the program's general messages.
#pragma once
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>

namespace common {

class AppError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Replaces each "%s" of pattern, in order, by the next argument.
std::string formatMessage(std::string_view pattern, std::initializer_list<std::string_view> args);

// The text as the error box shows it: a "." is appended unless the text is empty or its last byte
// sorts at or before ".".
std::string withPeriod(std::string_view text);

// Messages of the general routines (code page 932).
namespace msg {
const std::string& notInteger();    // '%s' は整数ではありません
const std::string& notFloat();      // '%s' は浮動小数点数ではありません
const std::string& divByZero();     // ゼロによる除算
const std::string& cannotOpen();    // ファイル "%s". %s は開けません
const std::string& cannotCreate();  // ファイル "%s". %s を作成できません
const std::string& writeError();    // ストリームへの書き込みエラー
const std::string& outOfMemory();   // メモリが足りません
}  // namespace msg

}  // namespace common
