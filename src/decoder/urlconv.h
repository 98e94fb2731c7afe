// Decoding of percent-encoded UTF-8 text, one line at a time, into code page 932.
#pragma once
#include <string>
#include <string_view>

#include "common/apperror.h"

namespace decoder {

// A text that does not convert; what() is the user's message (code page 932).
class EConvertError : public common::AppError {
public:
    using common::AppError::AppError;
};

// The value of one hex digit: "0" to "9" and upper-case "A" to "F" only.
// Anything else throws EConvertError "不正な16進数文字".
int HexCharToInt(char c);

// Hex digits of either letter case, most significant first; an empty text gives 0. The first bad
// character throws HexCharToInt's error. More than eight digits wrap around modulo 2^32.
int HexToInt(std::string_view hex);

// Percent-decodes line ("+" stays "+"; "%" takes up to two following characters), reads the bytes as
// UTF-8 and gives the text in code page 932. Malformed UTF-8 gives an empty line; a character without
// a code page 932 form (a lone surrogate, or one above U+FFFF such as an emoji) becomes "?", and the
// rest of the line stays. A "%" followed by a non-hex character throws EConvertError
// "不正なURL".
std::string URLDecode(std::string_view line);

// The byte-wise UTF-8 reading URLDecode uses, as UTF-16 code units (one per character, none above
// U+FFFF): the length of a sequence is taken from bit 0x20 of its first byte, overlong forms count,
// and any bad or cut-off sequence gives an empty result. A well-formed four-byte sequence (lead byte
// F0 to F7, three continuation bytes) is a character above U+FFFF and gives U+FFFD in its place.
std::u16string decodeUtf8Loose(std::string_view bytes);

}  // namespace decoder
