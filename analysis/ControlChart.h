// A control chart: points in time order, the baseline's mean with its 2-sigma (warning) and
// 3-sigma (action) limits, and each point judged against them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Journal.h"

namespace pulsedesk::analysis {

// How an efficiency point was reached: eps = (R_s - R_b) / A(t).
struct EfficiencyTerms {
    double grossRate = 0;  // R_s, counts per second
    double grossRateU = 0;
    double backgroundRate = 0;  // R_b
    double backgroundRateU = 0;
    double backgroundSeconds = 0;  // the count time behind R_b
    // "record 2026:14", "baseline mean" (no background record on or before the day) or "none".
    std::string backgroundFrom;
    double activityBq = 0;  // A(t) on the point's day
    std::optional<double> activityRelativeU;
};

// One point as the journal gives it: sum N / sum t of a record's lines at one threshold, or
// the efficiency computed from it.
struct ChartInput {
    RecordId record;
    LocalMinute when;        // the end of the record's last count at this threshold
    double value = 0;        // the charted quantity
    double uncertainty = 0;  // its standard uncertainty
    std::uint64_t counts = 0;
    double seconds = 0;
    std::optional<EfficiencyTerms> efficiency;
};

enum class PointStatus {
    InControl,
    Recount,       // beyond 2 sigma
    OutOfService,  // beyond 3 sigma, or the second of two successive points beyond 2 sigma
                   // on one side
};
const char* StatusName(PointStatus status);  // "in control", "recount", "out of service"

struct ChartPoint : ChartInput {
    PointStatus status = PointStatus::InControl;
    int side = 0;  // +1 above the warning band, -1 below it, 0 within
};

struct ChartLimits {
    double mean = 0;
    double sigma = 0;      // the larger of the two below; Poisson alone while provisional
    double sampleSd = 0;   // of the baseline's values
    double poissonSd = 0;  // root mean square of their uncertainties
    double warningLow = 0, warningHigh = 0;  // mean -/+ 2 sigma, the lower one clipped at 0
    double actionLow = 0, actionHigh = 0;    // mean -/+ 3 sigma, likewise (for a mean >= 0)
    int baselinePoints = 0;
    bool provisional = false;  // fewer baseline points than asked for
};

struct BaselineRule {
    int points = 20;                // the first N points ...
    std::optional<CivilDate> from;  // ... on or after this day; earlier points are left out
};

struct ControlChart {
    std::string quantity;  // "background_rate_cps" or "efficiency"
    std::int32_t thresholdMv = 0;
    std::vector<ChartPoint> points;     // in time order
    std::optional<ChartLimits> limits;  // none without any point
    std::vector<std::size_t> flagged;   // the points not in control
};

ControlChart BuildControlChart(std::string quantity, std::int32_t thresholdMv,
                               std::vector<ChartInput> inputs, const BaselineRule& baseline);

}  // namespace pulsedesk::analysis
