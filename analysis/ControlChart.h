// A control chart: points in time order, each judged against the baseline of the points before
// it by its own counting precision. A point's limits are mu -/+ 2 and 3 sqrt(sigma_x^2 + u_i^2):
// mu the baseline's mean (for a background the pooled rate sum N / sum t), sigma_x^2 the
// baseline's spread beyond counting statistics, u_i the point's counting uncertainty (for a
// background sqrt(mu / t_i)). A background point that expects fewer than 20 counts is judged by
// the exact tail of its count instead, where a normal z would call a count of 3 beside 0.5
// expected a 3-sigma event.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Journal.h"

namespace pulsedesk::analysis {

// How an efficiency point was reached: eps = (R_s - R_b) / A, A the activity averaged over the
// record's counts.
struct EfficiencyTerms {
    double grossRate = 0;  // R_s, counts per second
    double grossRateU = 0;
    double backgroundRate = 0;  // R_b
    double backgroundRateU = 0;
    double backgroundSeconds = 0;  // the count time behind R_b
    // "record 2026:14", "baseline mean" (no background record on or before the day) or "none".
    std::string backgroundFrom;
    double activityBq = 0;
    std::optional<double> activityRelativeU;  // the certificate's; never part of the chart
};

// One point as the journal gives it: sum N / sum t of a record's lines at one threshold, or
// the efficiency computed from it.
struct ChartInput {
    RecordId record;
    LocalMinute when;        // the end of the record's last count at this threshold
    double value = 0;        // the charted quantity
    double uncertainty = 0;  // its counting standard uncertainty
    std::uint64_t counts = 0;
    double seconds = 0;
    std::optional<EfficiencyTerms> efficiency;
    std::string refused;   // why the point cannot be used (implausible, saturated)
    std::string excluded;  // the reviewer's reason for leaving it out
};

enum class PointStatus {
    InControl,
    Recount,       // beyond 2 sigma
    OutOfService,  // beyond 3 sigma, or the second of two successive beyond 2 sigma on one side
    Trend,         // four of five beyond 1 sigma, or eight successive, on one side
    NotJudged,     // fewer than 3 baseline points before it
    Refused,       // implausible or saturated: never used
    Excluded,
};
// "in control", "recount", "out of service", "trend", "not judged", "refused", "excluded"
const char* StatusName(PointStatus status);

// The limits one point was judged by; stepped along the chart where count times differ.
struct PointLimits {
    double mean = 0;
    double sigma = 0;  // sqrt(sigma_x^2 + u_i^2)
    double warningLow = 0, warningHigh = 0;
    double actionLow = 0, actionHigh = 0;
    bool provisional = false;  // the baseline was not yet full
    // The exact tail of the count on its side of the expectation, where it was used.
    std::optional<double> exactTail;
};

struct ChartPoint : ChartInput {
    PointStatus status = PointStatus::InControl;
    std::string rule;  // the rule that gave a verdict other than in control, or why not judged
    int side = 0;      // of the mean: +1 above, -1 below
    double z = 0;      // (x - mu) / sigma, or the normal equivalent of the exact tail
    std::optional<PointLimits> limits;  // none when not judged, refused or excluded
};

// The baseline as it stands after the last point.
struct ChartLimits {
    double mean = 0;
    double sigma = 0;      // sqrt(sigma_x^2 + mean u^2): the limits of a typical baseline point
    double sampleSd = 0;   // s of the baseline's values
    double poissonSd = 0;  // root mean square of their counting uncertainties
    double extraSd = 0;    // sigma_x
    double warningLow = 0, warningHigh = 0, actionLow = 0, actionHigh = 0;  // of sigma
    int baselinePoints = 0;
    bool provisional = false;  // fewer baseline points than asked for
    std::uint64_t pooledCounts = 0;
    double pooledSeconds = 0;
    std::vector<std::size_t> points;  // indices into the chart's points
};

struct BaselineRule {
    int points = 20;                // the first N points in control ...
    std::optional<CivilDate> from;  // ... on or after this day; earlier points are left out
};

inline constexpr int kFewestBaselinePoints = 3;

struct ControlChart {
    std::string quantity;  // "background_rate_cps" or "efficiency"
    std::int32_t thresholdMv = 0;
    std::vector<ChartPoint> points;     // in time order
    std::optional<ChartLimits> limits;  // none before a first baseline point
    std::vector<std::size_t> flagged;   // the points judged other than in control
    // A source chart: the background chart's baseline at its threshold, for the detection limit.
    std::optional<ChartLimits> background;
};

ControlChart BuildControlChart(std::string quantity, std::int32_t thresholdMv,
                               std::vector<ChartInput> inputs, const BaselineRule& baseline);

// P(N >= n) for n above the expectation, P(N <= n) below it: the count n of t_i seconds beside
// a baseline of baselineCounts in baselineSeconds, given their sum (binomial), so that a
// baseline of few counts is not taken as exact.
double CountTail(std::uint64_t n, double seconds, std::uint64_t baselineCounts,
                 double baselineSeconds);

}  // namespace pulsedesk::analysis
