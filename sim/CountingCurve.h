// The discriminator's integral counting curve of the simulated counter: how the pulse rate
// depends on the threshold. One flat region (optionally two, as a mixed alpha and beta source
// gives) where the rate falls by 1 % per 100 mV; below the first the noise makes it rise
// e-fold every 25 mV, between two regions it falls log-linearly to the second region's level
// (half the first's), and above the last it falls e-fold every 25 mV.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace pulsedesk::sim {

class CountingCurve {
  public:
    struct Region {
        double fromMv = 0;
        double toMv = 0;
    };

    static constexpr double kSlopePerMv = 1e-4;  // 1 % per 100 mV, relative to the region's middle
    static constexpr double kEdgeMv = 25;        // e-fold outside the regions
    static constexpr double kSecondLevel = 0.5;

    // "FROM:TO" or "FROM:TO,FROM:TO" in mV, the regions in order and apart; nothing with the
    // reason in error.
    static std::optional<CountingCurve> Parse(const std::string& text, std::string& error);
    explicit CountingCurve(std::vector<Region> regions) : regions(std::move(regions)) {}

    // The rate at the threshold as a share of the rate in the middle of the first region.
    double Factor(double thresholdMv) const;
    const std::vector<Region>& Regions() const { return regions; }

  private:
    double Level(std::size_t region) const { return region == 0 ? 1.0 : kSecondLevel; }
    // Inside region i (or at its ends).
    double Flat(std::size_t i, double mv) const;

    std::vector<Region> regions;
};

}  // namespace pulsedesk::sim
