// Currie's limits for a sample count (net counts, B the expected background counts in the
// sample's count time t_s, t_b the background's count time):
//   decision level  L_C = k_(1-a) sqrt(B (1 + t_s / t_b))      (1.645 sqrt(2B) for t_s = t_b)
//   detection limit L_D, the root of L_D = L_C + k_(1-b) sqrt(L_D + B (1 + t_s / t_b)),
//                   L_D = k^2 + 2 L_C for a = b (2.71 + 3.29 sqrt(B (1 + t_s / t_b)) at 0.05);
// the minimum detectable activity MDA = L_D / (eps t_s).
#pragma once

#include <optional>

namespace pulsedesk::analysis {

// k_(1-p): the standard normal quantile exceeded with probability p (1.6449 for 0.05), from
// Boost.Math.
double NormalUpperQuantile(double p);

struct CurrieLimits {
    double decisionCounts = 0;   // L_C
    double detectionCounts = 0;  // L_D
};
// sampleToBackgroundTime is t_s / t_b, 0 for a background known without error.
CurrieLimits CurrieLimitsOf(double backgroundCounts, double sampleToBackgroundTime, double kAlpha,
                            double kBeta);

struct DetectionLimit {
    double sampleSeconds = 0;          // t_s
    double backgroundRate = 0;         // R_b, counts per second
    double backgroundSeconds = 0;      // t_b; infinity for a background known without error
    double backgroundCounts = 0;       // B = R_b t_s
    double decisionCounts = 0;         // L_C at a = 0.05
    double limitCounts = 0;            // L_D at a = b = 0.05
    std::optional<double> efficiency;  // counts per decay
    std::optional<double> mdaBq;       // with a positive efficiency
    bool provisional = false;          // from a baseline not yet full
};

DetectionLimit CurrieDetectionLimit(double backgroundRate, double backgroundSeconds,
                                    double sampleSeconds,
                                    std::optional<double> efficiency = std::nullopt);

}  // namespace pulsedesk::analysis
