#include "NumberField.h"

#include <cmath>
#include <cstdlib>
#include <sstream>

namespace pulsedesk::sim {

namespace {

// Digits, sign, point and exponent only: strtod would also take blanks, hex and "inf".
bool HasOnlyNumberCharacters(const std::string& text, bool whole) {
    return !text.empty() &&
           text.find_first_not_of(whole ? "+-0123456789" : "+-.eE0123456789") == std::string::npos;
}

// A value past the range of the conversion comes back as huge and is refused as out of range.
std::optional<double> ReadNumber(const std::string& text, bool whole) {
    if (!HasOnlyNumberCharacters(text, whole)) return std::nullopt;
    char* end = nullptr;
    const double value = whole ? static_cast<double>(std::strtoll(text.c_str(), &end, 10))
                               : std::strtod(text.c_str(), &end);
    if (*end != '\0' || std::isnan(value)) return std::nullopt;
    return value;
}

std::string Plain(double v) {
    std::ostringstream out;
    out.precision(12);
    out << v;
    return out.str();
}

}  // namespace

std::optional<double> NumberField::Parse(const std::string& text, std::string& error) const {
    const std::string range = "(" + Plain(min) + " to " + Plain(max) + ")";
    if (text.empty()) {
        error = name + ": a value is needed " + range;
        return std::nullopt;
    }
    const std::optional<double> value = ReadNumber(text, whole);
    if (!value) {
        error = name + " " + text + ": not " + (whole ? "a whole number " : "a number ") + range;
        return std::nullopt;
    }
    if (*value < min || *value > max) {
        error = name + " " + text + ": out of range " + range;
        return std::nullopt;
    }
    return value;
}

std::optional<bool> ParseOnOff(const std::string& name, const std::string& text,
                               std::string& error) {
    if (text == "on") return true;
    if (text == "off") return false;
    error = name + " " + text + ": want on or off";
    return std::nullopt;
}

}  // namespace pulsedesk::sim
