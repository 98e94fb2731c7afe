// Error texts and the "." rule of the error box.
#include "common/apperror.h"

#include "common/cp932.h"

namespace common {

std::string formatMessage(std::string_view pattern, std::initializer_list<std::string_view> args) {
    std::string out;
    auto arg = args.begin();
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && pattern[i + 1] == 's' && arg != args.end()) {
            out.append(*arg++);
            ++i;
        } else {
            out.push_back(pattern[i]);
        }
    }
    return out;
}

std::string withPeriod(std::string_view text) {
    std::string out(text);
    if (!out.empty() && static_cast<unsigned char>(out.back()) > static_cast<unsigned char>('.')) out.push_back('.');
    return out;
}

namespace msg {
const std::string& notInteger() {
    static const std::string s = cp932(u8"'%s' は整数ではありません");
    return s;
}
const std::string& notFloat() {
    static const std::string s = cp932(u8"'%s' は浮動小数点数ではありません");
    return s;
}
const std::string& divByZero() {
    static const std::string s = cp932(u8"ゼロによる除算");
    return s;
}
const std::string& cannotOpen() {
    static const std::string s = cp932(u8"ファイル \"%s\". %s は開けません");
    return s;
}
const std::string& cannotCreate() {
    static const std::string s = cp932(u8"ファイル \"%s\". %s を作成できません");
    return s;
}
const std::string& outOfMemory() {
    static const std::string s = cp932(u8"メモリが足りません");
    return s;
}
const std::string& writeError() {
    static const std::string s = cp932(u8"ストリームへの書き込みエラー");
    return s;
}
}  // namespace msg

}  // namespace common
