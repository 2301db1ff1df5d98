// The discriminator's counting curve (rate against threshold) and its flat runs. A run has at
// least three successive points; its slope is the weighted least-squares slope of rate against
// threshold (weights 1 / u^2, u = sqrt(N) / t) divided by the run's weighted mean rate, in percent
// per 100 mV, with its Poisson uncertainty. The working threshold is the middle of the widest run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Journal.h"

namespace pulsedesk::analysis {

inline constexpr double kPlateauSlopeLimit = 5.0;  // percent per 100 mV
inline constexpr std::size_t kPlateauMinPoints = 3;

struct PlateauPoint {
    double thresholdMv = 0;
    std::uint32_t count = 0;
    double seconds = 0;
    double rate = 0;   // N / t
    double rateU = 0;  // sqrt(N) / t
};

struct PlateauRun {
    std::size_t first = 0, last = 0;  // indices into the points, both included
    double fromMv = 0, toMv = 0;
    double widthMv = 0;
    double meanRate = 0;  // weighted, as the slope's line
    double slopePercentPer100mV = 0;
    double slopeUPercentPer100mV = 0;
    bool uncertain = false;  // its slope's uncertainty is more than half the limit
};

struct PlateauResult {
    std::vector<PlateauPoint> points;  // by threshold
    double limitPercentPer100mV = kPlateauSlopeLimit;
    std::vector<PlateauRun> runs;  // every run within the limit, widest first, none overlapping
    std::optional<double> chosenThresholdMv;  // the middle of the widest, on the 2.5 mV grid
};

// Points without a count time are left out.
std::vector<PlateauPoint> PlateauPoints(const JournalRecord& record);
PlateauResult FindPlateau(std::vector<PlateauPoint> points,
                          double limitPercentPer100mV = kPlateauSlopeLimit);

}  // namespace pulsedesk::analysis
