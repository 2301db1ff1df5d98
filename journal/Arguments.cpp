#include "journal/Arguments.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "analysis/Threshold.h"

namespace pulsedesk::journal {

void Refuse(const std::string& text) { throw UsageError(text); }

bool Arguments::AsksHelp() const {
    for (const auto& a : args)
        if (a == "--help" || a == "-h") return true;
    return false;
}

std::string Arguments::Word(const std::string& what) {
    if (Done()) Refuse(command + ": " + what + " is missing");
    return args[i++];
}

bool Arguments::NextWord(std::string& word) {
    if (Done() || args[i].rfind("--", 0) == 0) return false;
    word = args[i++];
    return true;
}

bool Arguments::NextOption(std::string& option) {
    if (Done()) return false;
    option = args[i++];
    if (!seen.insert(option).second) Refuse(command + ": " + option + " given twice");
    return true;
}

std::string Arguments::Value(const std::string& option) {
    if (Done()) Refuse(command + ": " + option + " needs a value");
    return args[i++];
}

void Arguments::ExpectEnd() {
    if (!Done()) Refuse(command + ": unexpected argument " + args[i]);
}

void Arguments::RefuseOption(const std::string& option) const {
    Refuse(command + ": unknown option " + option);
}

std::int64_t ParseWhole(const std::string& what, const std::string& text, std::int64_t min,
                        std::int64_t max, const std::string& unit) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, value);
    const std::string range = "(" + std::to_string(min) + " to " + std::to_string(max) +
                              (unit.empty() ? "" : " " + unit) + ")";
    if (text.empty() || r.ec == std::errc::invalid_argument || r.ptr != end)
        Refuse(what + " " + text + ": not a whole number " + range);
    if (r.ec == std::errc::result_out_of_range || value < min || value > max)
        Refuse(what + " " + text + ": out of range " + range);
    return value;
}

double ParseDecimal(const std::string& what, const std::string& text, double min, double max) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value))
        Refuse(what + " " + text + ": not a number");
    if (value < min || value > max)
        Refuse(what + " " + text + ": out of range (" + std::to_string(min) + " to " +
               std::to_string(max) + ")");
    return value;
}

std::int32_t ParseThreshold(const std::string& what, const std::string& text) {
    return static_cast<std::int32_t>(
        ParseWhole(what, text, analysis::kThresholdMinMv, analysis::kThresholdMaxMv, "mV"));
}

ClockTime ParseClockTime(const std::string& what, const std::string& text) {
    const std::string refusal = what + " " + text + ": want H:MM:SS (0:00:00 to 99:59:59)";
    const auto first = text.find(':');
    const auto second = first == std::string::npos ? first : text.find(':', first + 1);
    if (second == std::string::npos) Refuse(refusal);
    auto part = [&](std::size_t from, std::size_t to, int max) {
        int value = 0;
        const char* end = text.data() + to;
        const auto r = std::from_chars(text.data() + from, end, value);
        if (to - from < 1 || to - from > 2 || r.ec != std::errc() || r.ptr != end || value < 0 ||
            value > max)
            Refuse(refusal);
        return static_cast<std::uint8_t>(value);
    };
    return {part(0, first, 99), part(first + 1, second, 59), part(second + 1, text.size(), 59), 0};
}

ClockTime ParseCountTime(const std::string& what, const std::string& text) {
    const ClockTime t = ParseClockTime(what, text);
    if (reports::Hundredths(t) == 0) Refuse(what + " " + text + ": a count time above 0 is needed");
    return t;
}

std::string ParseFolder(const std::string& what, const std::string& text) {
    if (text.empty()) Refuse(what + ": the folder is empty");
    return text;
}

}  // namespace pulsedesk::journal
