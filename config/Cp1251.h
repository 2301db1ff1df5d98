#pragma once

#include <string>
#include <string_view>

// Conversion between the Windows-1251 bytes that every file of the bench holds and the UTF-8
// that the user interface works in.
namespace pulsedesk::config {

// Every byte becomes one character. Byte 0x98, which Windows-1251 leaves undefined, becomes
// U+FFFD (the replacement character), so a damaged byte stays visible to the operator.
std::string Cp1251ToUtf8(std::string_view cp1251);

// Every character becomes one byte; a character that Windows-1251 cannot hold, and every byte
// of malformed UTF-8, becomes "?".
std::string Utf8ToCp1251(std::string_view utf8);

// UTF-8 as a terminal or a page should show it: control characters (but the tab), U+FFFE and
// U+FFFF, and every byte of malformed UTF-8 become "\xHH" per byte, so that they are seen
// instead of obeyed.
std::string VisibleText(std::string_view utf8);

}  // namespace pulsedesk::config
