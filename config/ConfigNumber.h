#pragma once

#include <cstdint>
#include <string_view>

// How setting texts and edited texts become numbers.
namespace pulsedesk::config {

// Integer text: leading spaces, then either an optional "+"/"-" and decimal digits that fit a
// 32-bit signed integer, or a hexadecimal marker ("$", "x", "X", "0x", "0X"; no sign) and
// hexadecimal digits in either case whose value fits 32 bits, taken as a signed 32-bit pattern
// ($FFFFFFFF is -1). Nothing may follow the digits. Returns false (value untouched) otherwise.
bool ParseIntegerText(std::string_view text, int32_t& value);

// The number rule of the settings file: a text starting with "0x"/"0X" at its very first
// character is hexadecimal that wraps in 32 bits (only the last eight digits count; "0X" alone
// is 0, and a character that is no hexadecimal digit gives `defaultValue`); any other text is
// read as integer text, and `defaultValue` is returned when it is none.
int32_t ParseConfigNumber(std::string_view text, int32_t defaultValue);

}  // namespace pulsedesk::config
