#include "analysis/Decay.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <utility>

#include "analysis/QcMarker.h"

namespace pulsedesk::analysis {

namespace {

constexpr double kDay = 86400;
constexpr double kSmallestFactor = 1e-3;

std::optional<double> UnitSeconds(const std::string& unit) {
    static const std::array<std::pair<const char*, double>, 5> kUnits{
        {{"a", 365.25 * kDay}, {"d", kDay}, {"h", 3600}, {"min", 60}, {"s", 1}}};
    for (const auto& [name, seconds] : kUnits)
        if (unit == name) return seconds;
    return std::nullopt;
}

std::string Text(const char* format, double value) {
    char text[160];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

}  // namespace

Checked<double> ParseHalfLife(const std::string& text) {
    const std::vector<std::string> words = MarkerWords(text);
    if (words.size() != 2)
        return Checked<double>::Refused(
            "a half-life is a number and its unit (a, d, h, min, s): \"" + text + "\"");
    const auto value = PositiveNumber(words[0]);
    if (!value) return Checked<double>::Refused("a half-life must be above zero: \"" + text + "\"");
    const auto unit = UnitSeconds(words[1]);
    if (!unit)
        return Checked<double>::Refused("unknown half-life unit \"" + words[1] +
                                        "\" (a, d, h, min, s)");
    return Checked<double>::Of(*value * *unit);
}

std::vector<CountInterval> CountsSince(const JournalRecord& record, std::int32_t thresholdMv,
                                       const CivilDate& reference, int referenceMinute) {
    const double start = static_cast<double>(reference.DayNumber()) * kDay + referenceMinute * 60.0;
    std::vector<CountInterval> counts;
    for (const JournalMeasurement& m : record.measurements)
        if (m.thresholdMv == thresholdMv && m.countTimeHundredths > 0)
            counts.push_back({m.end.Days() * kDay - m.CountTimeS() - start, m.CountTimeS()});
    return counts;
}

Checked<double> DecayFactor(const std::vector<CountInterval>& counts, double halfLifeSeconds) {
    if (!std::isfinite(halfLifeSeconds) || halfLifeSeconds <= 0)
        return Checked<double>::Refused("the half-life must be above zero");
    const double lambda = std::log(2.0) / halfLifeSeconds;
    double weighted = 0;
    double seconds = 0;
    for (const CountInterval& c : counts) {
        if (!std::isfinite(c.startSeconds) || !std::isfinite(c.seconds))
            return Checked<double>::Refused("a count's time is not a finite number");
        if (c.startSeconds < 0)
            return Checked<double>::Refused("the count starts before the reference time");
        if (c.seconds <= 0) return Checked<double>::Refused("a count time of zero");
        // -expm1(-x) / x keeps its precision where the count is short beside the half-life.
        const double x = lambda * c.seconds;
        weighted += std::exp(-lambda * c.startSeconds) * -std::expm1(-x) / x * c.seconds;
        seconds += c.seconds;
    }
    if (seconds <= 0) return Checked<double>::Refused("a count time of zero");
    const double f = weighted / seconds;
    if (!(f >= kSmallestFactor))
        return Checked<double>::Refused(
            Text("the decay factor %.3g is below 0.001: check the half-life's unit", f));
    return Checked<double>::Of(f);
}

}  // namespace pulsedesk::analysis
