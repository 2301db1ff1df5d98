#include "config/ConfigNumber.h"

#include <limits>

namespace pulsedesk::config {
namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool HasWrappingHexPrefix(std::string_view text) {
    return text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
}

std::size_t HexMarkerLength(std::string_view text) {
    if (HasWrappingHexPrefix(text)) return 2;
    if (!text.empty() && (text[0] == '$' || text[0] == 'x' || text[0] == 'X')) return 1;
    return 0;
}

bool ParseHexDigits(std::string_view digits, int32_t& value) {
    if (digits.empty()) return false;
    uint64_t accumulated = 0;
    for (const char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0) return false;
        accumulated = accumulated * 16 + static_cast<uint64_t>(digit);
        if (accumulated > std::numeric_limits<uint32_t>::max()) return false;
    }
    value = static_cast<int32_t>(static_cast<uint32_t>(accumulated));
    return true;
}

bool ParseDecimal(std::string_view text, int32_t& value) {
    const bool negative = !text.empty() && text[0] == '-';
    if (!text.empty() && (text[0] == '-' || text[0] == '+')) text.remove_prefix(1);
    if (text.empty()) return false;
    const int64_t limit = negative ? -static_cast<int64_t>(std::numeric_limits<int32_t>::min())
                                   : std::numeric_limits<int32_t>::max();
    int64_t magnitude = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > limit) return false;
    }
    value = static_cast<int32_t>(negative ? -magnitude : magnitude);
    return true;
}

int32_t ParseWrappingHex(std::string_view digits, int32_t defaultValue) {
    uint32_t result = 0;
    for (const char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0) return defaultValue;
        result = result * 16 + static_cast<uint32_t>(digit);
    }
    return static_cast<int32_t>(result);
}

}  // namespace

bool ParseIntegerText(std::string_view text, int32_t& value) {
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos) return false;
    text.remove_prefix(start);
    if (const std::size_t marker = HexMarkerLength(text)) {
        return ParseHexDigits(text.substr(marker), value);
    }
    return ParseDecimal(text, value);
}

int32_t ParseConfigNumber(std::string_view text, int32_t defaultValue) {
    if (HasWrappingHexPrefix(text)) return ParseWrappingHex(text.substr(2), defaultValue);
    int32_t value = 0;
    return ParseIntegerText(text, value) ? value : defaultValue;
}

}  // namespace pulsedesk::config
