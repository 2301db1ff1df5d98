// Currie's detection limit for a sample count: L_D = 2.71 + 3.29 sqrt(B (1 + t_s / t_b))
// counts, B the background's counts in the sample's count time; the minimum detectable
// activity MDA = L_D / (eps t_s).
#pragma once

#include <optional>

namespace pulsedesk::analysis {

struct DetectionLimit {
    double sampleSeconds = 0;          // t_s
    double backgroundRate = 0;         // R_b, counts per second
    double backgroundSeconds = 0;      // t_b; infinity for a background known without error
    double backgroundCounts = 0;       // B = R_b t_s
    double limitCounts = 0;            // L_D
    std::optional<double> efficiency;  // counts per decay
    std::optional<double> mdaBq;       // with a positive efficiency
};

DetectionLimit CurrieDetectionLimit(double backgroundRate, double backgroundSeconds,
                                    double sampleSeconds,
                                    std::optional<double> efficiency = std::nullopt);

}  // namespace pulsedesk::analysis
