// A sample's result with its characteristic limits (ISO 11929-1:2019), from its gross count,
// a background and a counting efficiency:
//   w = 1 / (eps m eta f),  u_rel^2(w) = u_rel^2(eps) + u_rel^2(m) + u_rel^2(eta)
//   y = w (rho_g - rho_0),  u^2(y) = w^2 (rho_g / t_g + u^2(rho_0)) + y^2 u_rel^2(w)
//   u~^2(y~) = w^2 ((y~ / w + rho_0) / t_g + u^2(rho_0)) + y~^2 u_rel^2(w)
//   decision threshold y* = k_(1-a) u~(0); detection limit y# = y* + k_(1-b) u~(y#), none when
//   1 - k_(1-b)^2 u_rel^2(w) <= 0;
//   when y > y*, the probabilistically symmetric coverage interval and the best estimate:
//   omega = Phi(y / u), y< = y - k_p u with p = omega (1 - g/2), y> = y + k_q u with
//   q = 1 - omega g/2, y^ = y + u exp(-y^2 / 2u^2) / (omega sqrt(2 pi)),
//   u(y^) = sqrt(u^2 - (y^ - y) y^);
// and beside them Currie's L_C and L_D (net counts) with the MDA = L_D w / t_g.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "analysis/Journal.h"
#include "analysis/SeriesStats.h"

namespace pulsedesk::analysis {

struct Background {
    double rate = 0;      // rho_0, counts per second
    double variance = 0;  // u^2(rho_0)
    double seconds = 0;   // t_0
    bool saturated = false;
};
// A baseline's pooled rate sum N / sum t; its extra variance sigma_x^2 (how far one day's
// background strays from the mean beyond counting statistics) is added, since the sample's
// own background differs from the mean by that much: u^2(rho_0) = rho_0 / t_0 + sigma_x^2.
// Nothing without a count time.
std::optional<Background> BaselineBackground(std::uint64_t pooledCounts, double pooledSeconds,
                                             double extraSd);
// One background record's lines at the threshold: rho_0 = N_0 / t_0, u^2 = rho_0 / t_0.
std::optional<Background> PairedBackground(const std::vector<CountSample>& lines);

struct Efficiency {
    double value = 0;  // counts per decay
    double relativeU = 0;
};
// A check source's baseline mean eps of n points with spread s_eps, and the certificate's
// expanded uncertainty U (percent) with its coverage factor k:
// u_rel^2(eps) = (s_eps / sqrt(n))^2 / eps^2 + (U / k)^2. Nothing without a point.
std::optional<Efficiency> BaselineEfficiency(double mean, double sd, int n,
                                             double certificateUPercent, double coverageK);

// The mass or volume the activity is reported per.
struct Aliquot {
    enum class Kind { Mass, Volume };
    Kind kind = Kind::Mass;
    double value = 0;  // kg or L
    double relativeU = 0;
};

struct SampleInputs {
    RecordId record;
    std::string sample;
    std::int32_t thresholdMv = 0;
    std::vector<CountSample> gross;  // the record's lines at the threshold
    std::optional<Background> background;
    std::string backgroundFrom;  // "baseline" or "record 2026:14"
    std::optional<Efficiency> efficiency;
    std::string source;
    std::optional<Aliquot> aliquot;  // none: the result is in Bq
    double yield = 1;
    double yieldRelativeU = 0;
    std::optional<double> decayFactor;  // to the sampling time, see Decay.h
    double alpha = 0.05;                // of deciding "detected" for a blank
    double beta = 0.05;                 // of missing a sample at the detection limit
    double gamma = 0.05;                // outside the coverage interval
    // A reason found while the inputs were gathered (the efficiency's check source out of
    // service, a count before the sampling time): the result is refused with it.
    std::string refused;
};

// Every number finite; an input that was not is absent. A refused result holds the reason and
// the inputs that were finite, and none of the figures. A gross rate more than 5 u(y) below the
// background is refused as implausible: a sample does not stop the background, a detector or
// a threshold gone wrong does.
struct SampleResult {
    RecordId record;
    std::string sample;
    std::int32_t thresholdMv = 0;
    std::uint64_t grossCount = 0;
    std::optional<double> grossSeconds;
    std::optional<double> backgroundRate, backgroundU, backgroundSeconds;
    std::string backgroundFrom;
    std::optional<double> efficiency, efficiencyRelativeU;
    std::string source;
    std::string unit;  // "Bq", "Bq/kg" or "Bq/L"
    std::optional<double> w, wRelativeU;
    std::optional<double> activity, u;
    std::optional<double> decisionThreshold;
    std::optional<double> detectionLimit;  // also absent when none exists
    std::optional<bool> detected;
    std::optional<double> lower, upper, bestEstimate, bestEstimateU;  // when detected
    std::optional<double> currieLc, currieLd;  // net counts in the gross count time
    std::optional<double> mda;                 // in the unit
    std::optional<double> alpha, beta, gamma;
    std::optional<std::string> refused;
};

SampleResult ComputeSampleResult(const SampleInputs& inputs);

}  // namespace pulsedesk::analysis
