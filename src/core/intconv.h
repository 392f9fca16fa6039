#pragma once
#include <QString>
#include <cstdint>

namespace core {

// The program's one text-to-integer rule: leading blanks (U+0020 only), an optional sign, then
// decimal digits in the signed 32-bit range or "$", "x", "X", "0x", "0X" and hex digits using all
// 32 bits (two's complement). Nothing may follow. Throws ConvertError with the given text.
// Written by hand because no library accepts exactly this grammar.
std::int32_t StrToInt(const QString &text);

} // namespace core
