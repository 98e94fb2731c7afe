// Text to number conversions with the program's rules and messages.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace common {

// Leading blanks, an optional sign, then decimal digits or hexadecimal ones after "$", "x", "X",
// "0x" or "0X"; nothing may follow. Decimal must fit 32 bits signed; hex takes at most 8 digits.
// Anything else throws AppError "'%s' は整数ではありません".
std::int32_t toInt(std::string_view text);

// The same rules for 64 bits (hex takes at most 16 digits); none instead of an error.
std::optional<std::int64_t> tryToInt64(std::string_view text);
std::optional<std::int32_t> tryToInt32(std::string_view text);

// Decimal floating-point text: blanks around, optional sign, digits with an optional point and
// exponent. Anything else throws AppError "'%s' は浮動小数点数ではありません".
double toFloat(std::string_view text);

}  // namespace common
