// The discriminator's counting curve (rate against threshold) and its flat runs. A run has at
// least three successive points; its slope is the weighted least-squares slope of rate against
// threshold (weights 1 / u^2, u = sqrt(N) / t) divided by the run's weighted mean rate, in percent
// per 100 mV, with its Poisson uncertainty u(slope). A run is flat when |slope| + 2 u(slope) is
// within the limit and its points lie on its line; it never spans a fall (three or more
// successive points whose |slope| - 2 u(slope) exceeds the limit). The working threshold is the
// middle of the widest run, the lowest or the highest, or the operator's own within a run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Journal.h"

namespace pulsedesk::analysis {

inline constexpr double kPlateauSlopeLimit = 5.0;  // percent per 100 mV
inline constexpr std::size_t kPlateauMinPoints = 3;
inline constexpr std::size_t kCurveMinThresholds = 5;

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
};

enum class PlateauChoice { Lowest, Widest, Highest };
struct PlateauPick {
    PlateauChoice choice = PlateauChoice::Widest;
    std::optional<double> atMv;  // the operator's own threshold, which must lie within a run
};

struct PlateauResult {
    std::vector<PlateauPoint> points;  // by threshold
    double limitPercentPer100mV = kPlateauSlopeLimit;
    std::vector<PlateauRun> runs;             // every flat run, widest first, none overlapping
    std::optional<double> chosenThresholdMv;  // on the 2.5 mV grid
    // Why there is no working threshold though the record was read: too few thresholds for a
    // counting curve, or an --at outside every run.
    std::string refused;
};

// Points without a count time are left out.
std::vector<PlateauPoint> PlateauPoints(const JournalRecord& record);
PlateauResult FindPlateau(std::vector<PlateauPoint> points,
                          double limitPercentPer100mV = kPlateauSlopeLimit,
                          const PlateauPick& pick = {});

}  // namespace pulsedesk::analysis
