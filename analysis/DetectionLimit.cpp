#include "analysis/DetectionLimit.h"

#include <cmath>

namespace pulsedesk::analysis {

DetectionLimit CurrieDetectionLimit(double backgroundRate, double backgroundSeconds,
                                    double sampleSeconds, std::optional<double> efficiency) {
    DetectionLimit d;
    d.sampleSeconds = sampleSeconds;
    d.backgroundRate = backgroundRate;
    d.backgroundSeconds = backgroundSeconds;
    d.backgroundCounts = backgroundRate * sampleSeconds;
    d.limitCounts =
        2.71 + 3.29 * std::sqrt(d.backgroundCounts * (1 + sampleSeconds / backgroundSeconds));
    d.efficiency = efficiency;
    if (efficiency && *efficiency > 0) d.mdaBq = d.limitCounts / (*efficiency * sampleSeconds);
    return d;
}

}  // namespace pulsedesk::analysis
