// The statistics of a series of counts: mean, spread beside the Poisson spread, and the
// chi-square test of whether the counts scatter as Poisson statistics say.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "analysis/Journal.h"

namespace pulsedesk::analysis {

struct CountSample {
    std::uint32_t count = 0;
    double seconds = 0;  // count time, > 0
};

// x with P(chi-square >= x) = 0.95 (lower) and 0.05 (upper).
struct ChiSquareQuantiles {
    double lower = 0;
    double upper = 0;
};
ChiSquareQuantiles ChiSquareQuantilesOf(int degreesOfFreedom);
// P(chi-square >= x), from Boost.Math.
double ChiSquareUpperTail(double x, int degreesOfFreedom);

// chi2 = sum (N_i - r t_i)^2 / (r t_i) with r = sum N / sum t, n - 1 degrees of freedom; it
// passes while 0.05 <= p <= 0.95 (too little scatter fails as well as too much).
struct ChiSquareTest {
    double chiSquare = 0;
    int degreesOfFreedom = 0;
    double pValue = 0;  // P(chi-square >= chiSquare)
    ChiSquareQuantiles quantiles;
    bool pass = false;
};

struct SeriesStats {
    int n = 0;
    double totalSeconds = 0;
    std::uint64_t totalCount = 0;
    double meanCount = 0;
    double meanRate = 0;          // sum N / sum t
    double meanRateStdError = 0;  // sqrt(sum N) / sum t
    double sampleSdCount = 0;     // of the counts, n - 1 in the denominator; 0 below 2 counts
    double poissonSdCount = 0;    // sqrt(mean count)
    // From two counts on, with at least one pulse in all.
    std::optional<ChiSquareTest> chiSquare;
};

// Below this mean count a series' chi-square is no longer the Poisson test it claims to be.
inline constexpr double kFewCountsForChiSquare = 20;

// Samples without a count time are left out.
SeriesStats SeriesStatsOf(const std::vector<CountSample>& samples);
// The series of a record's measurement lines.
SeriesStats RecordSeriesStats(const JournalRecord& record);

// A record's lines at each threshold as their own series: counts at different thresholds are
// no repeated measurement of one rate.
struct ThresholdSeries {
    std::int32_t thresholdMv = 0;
    SeriesStats stats;
};
std::vector<ThresholdSeries> RecordThresholdSeries(const JournalRecord& record);

}  // namespace pulsedesk::analysis
