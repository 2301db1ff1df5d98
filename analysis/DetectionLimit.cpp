#include "analysis/DetectionLimit.h"

#include <boost/math/distributions/normal.hpp>
#include <cmath>

namespace pulsedesk::analysis {

double NormalUpperQuantile(double p) {
    return boost::math::quantile(boost::math::complement(boost::math::normal(), p));
}

CurrieLimits CurrieLimitsOf(double backgroundCounts, double sampleToBackgroundTime, double kAlpha,
                            double kBeta) {
    // sigma0^2 = B (1 + t_s / t_b) is the variance of the net count when there is no net count.
    const double variance0 = backgroundCounts * (1 + sampleToBackgroundTime);
    const double lc = kAlpha * std::sqrt(variance0);
    // (L_D - L_C)^2 = k_b^2 (L_D + sigma0^2), the larger root.
    const double half = lc + kBeta * kBeta / 2;
    const double ld = half + std::sqrt(half * half - lc * lc + kBeta * kBeta * variance0);
    return {lc, ld};
}

DetectionLimit CurrieDetectionLimit(double backgroundRate, double backgroundSeconds,
                                    double sampleSeconds, std::optional<double> efficiency) {
    DetectionLimit d;
    d.sampleSeconds = sampleSeconds;
    d.backgroundRate = backgroundRate;
    d.backgroundSeconds = backgroundSeconds;
    d.backgroundCounts = backgroundRate * sampleSeconds;
    const double k = NormalUpperQuantile(0.05);
    const CurrieLimits limits =
        CurrieLimitsOf(d.backgroundCounts, sampleSeconds / backgroundSeconds, k, k);
    d.decisionCounts = limits.decisionCounts;
    d.limitCounts = limits.detectionCounts;
    d.efficiency = efficiency;
    if (efficiency && *efficiency > 0) d.mdaBq = d.limitCounts / (*efficiency * sampleSeconds);
    return d;
}

}  // namespace pulsedesk::analysis
