#include "analysis/Plateau.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include <boost/math/distributions/chi_squared.hpp>

#include "analysis/Threshold.h"

namespace pulsedesk::analysis {

namespace {

// Weighted sums of a growing run, for its least-squares line.
struct Sums {
    double w = 0, wx = 0, wy = 0, wxx = 0, wxy = 0, wyy = 0;
    std::size_t n = 0;

    void Add(const PlateauPoint& p) {
        // A point without counts has no Poisson weight of its own: it counts as one count.
        const double u = p.count > 0 ? p.rateU : 1.0 / p.seconds;
        const double weight = 1.0 / (u * u);
        w += weight;
        wx += weight * p.thresholdMv;
        wy += weight * p.rate;
        wxx += weight * p.thresholdMv * p.thresholdMv;
        wxy += weight * p.thresholdMv * p.rate;
        wyy += weight * p.rate * p.rate;
        ++n;
    }
    // The weighted mean, the level of the weighted line: an unweighted mean would let a steep
    // edge's few counts, which weigh most, pass as flat beside the noise's many.
    double MeanRate() const { return wy / w; }
    // Slope and its uncertainty, relative to the mean rate, in percent per 100 mV.
    std::pair<double, double> RelativeSlope() const {
        const double sxx = wxx - wx * wx / w;
        const double slope = (wxy - wx * wy / w) / sxx;
        const double mean = MeanRate();
        return {slope / mean * 1e4, std::sqrt(1.0 / sxx) / mean * 1e4};
    }
    // Whether the points scatter about their line no more than counting statistics allow
    // (chi-square of the residuals, n - 2 degrees of freedom, not beyond its 1 % tail): a run
    // across a step between two plateaus can have a small mean slope and still be no plateau.
    bool FitsALine() const {
        if (n < 3) return true;
        const double sxx = wxx - wx * wx / w;
        const double sxy = wxy - wx * wy / w;
        const double syy = wyy - wy * wy / w;
        const double chiSquare = std::max(0.0, syy - sxy * sxy / sxx);
        const boost::math::chi_squared distribution(static_cast<double>(n - 2));
        return boost::math::cdf(boost::math::complement(distribution, chiSquare)) >= 0.01;
    }
};

// The run from first that reaches furthest within [first, end) while its slope stays in the
// limit and its points lie on a line; its last index, or first when no run of three points
// starts there.
std::size_t FurthestRun(const std::vector<PlateauPoint>& p, std::size_t first, std::size_t end,
                        double limit) {
    Sums sums;
    std::size_t furthest = first;
    for (std::size_t i = first; i < end; ++i) {
        sums.Add(p[i]);
        if (sums.n < kPlateauMinPoints || sums.wy <= 0) continue;
        if (std::abs(sums.RelativeSlope().first) <= limit && sums.FitsALine()) furthest = i;
    }
    return furthest;
}

PlateauRun MakeRun(const std::vector<PlateauPoint>& p, std::size_t first, std::size_t last,
                   double limit) {
    Sums sums;
    for (std::size_t i = first; i <= last; ++i) sums.Add(p[i]);
    PlateauRun run;
    run.first = first;
    run.last = last;
    run.fromMv = p[first].thresholdMv;
    run.toMv = p[last].thresholdMv;
    run.widthMv = run.toMv - run.fromMv;
    run.meanRate = sums.MeanRate();
    std::tie(run.slopePercentPer100mV, run.slopeUPercentPer100mV) = sums.RelativeSlope();
    run.uncertain = run.slopeUPercentPer100mV > limit / 2;
    return run;
}

// The widest run within [begin, end), then the widest in what lies on either side of it.
void CollectRuns(const std::vector<PlateauPoint>& p, std::size_t begin, std::size_t end,
                 double limit, std::vector<PlateauRun>& runs) {
    std::optional<std::pair<std::size_t, std::size_t>> widest;
    for (std::size_t first = begin; first + kPlateauMinPoints <= end; ++first) {
        const std::size_t last = FurthestRun(p, first, end, limit);
        if (last == first) continue;
        const double width = p[last].thresholdMv - p[first].thresholdMv;
        if (!widest || width > p[widest->second].thresholdMv - p[widest->first].thresholdMv)
            widest = {first, last};
    }
    if (!widest) return;
    runs.push_back(MakeRun(p, widest->first, widest->second, limit));
    CollectRuns(p, begin, widest->first, limit, runs);
    CollectRuns(p, widest->second + 1, end, limit, runs);
}

}  // namespace

std::vector<PlateauPoint> PlateauPoints(const JournalRecord& record) {
    std::vector<PlateauPoint> points;
    for (const JournalMeasurement& m : record.measurements) {
        if (m.countTimeHundredths == 0) continue;
        points.push_back({static_cast<double>(m.thresholdMv), m.count, m.CountTimeS(), *m.Rate(),
                          *m.RateUncertainty()});
    }
    return points;
}

PlateauResult FindPlateau(std::vector<PlateauPoint> points, double limit) {
    std::stable_sort(points.begin(), points.end(),
                     [](const auto& a, const auto& b) { return a.thresholdMv < b.thresholdMv; });
    PlateauResult result{std::move(points), limit, {}, std::nullopt};
    CollectRuns(result.points, 0, result.points.size(), limit, result.runs);
    std::stable_sort(result.runs.begin(), result.runs.end(),
                     [](const auto& a, const auto& b) { return a.widthMv > b.widthMv; });
    if (!result.runs.empty()) {
        const PlateauRun& widest = result.runs.front();
        result.chosenThresholdMv =
            std::round((widest.fromMv + widest.toMv) / 2 / kThresholdStepMv) * kThresholdStepMv;
    }
    return result;
}

}  // namespace pulsedesk::analysis
