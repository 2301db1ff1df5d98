// A number the operator types, on the command line or on standard input: the whole text must
// be a number and fit its field, or it is refused with a message that names the value and the
// allowed range. Nothing is ever taken silently as zero.
#pragma once

#include <optional>
#include <string>

namespace pulsedesk::sim {

struct NumberField {
    std::string name;  // as the operator typed it: "--serial", "rate"
    double min = 0;
    double max = 0;
    bool whole = true;  // a whole number; otherwise a decimal fraction is allowed

    // The value, or nothing with error set to e.g. "--serial 70000: out of range (0 to 65535)".
    std::optional<double> Parse(const std::string& text, std::string& error) const;
};

// "on" or "off"; anything else is refused with a message naming the value.
std::optional<bool> ParseOnOff(const std::string& name, const std::string& text,
                               std::string& error);

}  // namespace pulsedesk::sim
