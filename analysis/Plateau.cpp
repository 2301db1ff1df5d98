#include "analysis/Plateau.h"

#include <algorithm>
#include <boost/math/distributions/chi_squared.hpp>
#include <cmath>
#include <cstdio>
#include <set>
#include <tuple>

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

// For each point, one past the last index a run starting there may reach: a run holds no three
// points of a fall. A fall is three or more successive points whose slope is beyond the limit
// by more than twice its uncertainty, holding no shorter fall (a long stretch from a plateau to
// a far edge is no fall of its own); a run may share two points with it, where the curve bends.
std::vector<std::size_t> FallBounds(const std::vector<PlateauPoint>& p, double limit) {
    const std::size_t none = p.size();
    std::vector<std::size_t> end(p.size(), none);  // of the shortest fall from each point
    for (std::size_t first = 0; first < p.size(); ++first) {
        Sums sums;
        for (std::size_t i = first; i < p.size() && end[first] == none; ++i) {
            sums.Add(p[i]);
            if (sums.n < kPlateauMinPoints || sums.wy <= 0) continue;
            const auto [slope, u] = sums.RelativeSlope();
            if (std::abs(slope) - 2 * u > limit) end[first] = i;
        }
    }
    std::vector<std::pair<std::size_t, std::size_t>> falls;
    std::size_t nearestLater = none;  // the smallest end of a fall starting further on
    for (std::size_t first = p.size(); first-- > 0;) {
        if (end[first] < nearestLater) falls.emplace_back(first, end[first]);
        nearestLater = std::min(nearestLater, end[first]);
    }
    std::vector<std::size_t> bound(p.size(), none);
    for (std::size_t first = 0; first < p.size(); ++first)
        for (const auto& [from, to] : falls) {
            const std::size_t third = std::max(from, first) + 2;  // the third shared point
            if (third <= to) bound[first] = std::min(bound[first], third);
        }
    return bound;
}

// The run from first that reaches furthest within [first, end) while it is flat; its last
// index, or first when no flat run of three points starts there.
std::size_t FurthestRun(const std::vector<PlateauPoint>& p, std::size_t first, std::size_t end,
                        double limit) {
    Sums sums;
    std::size_t furthest = first;
    for (std::size_t i = first; i < end; ++i) {
        sums.Add(p[i]);
        if (sums.n < kPlateauMinPoints || sums.wy <= 0) continue;
        const auto [slope, u] = sums.RelativeSlope();
        if (std::abs(slope) + 2 * u <= limit && sums.FitsALine()) furthest = i;
    }
    return furthest;
}

PlateauRun MakeRun(const std::vector<PlateauPoint>& p, std::size_t first, std::size_t last) {
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
    return run;
}

// The widest run within [begin, end), then the widest in what lies on either side of it.
void CollectRuns(const std::vector<PlateauPoint>& p, const std::vector<std::size_t>& falls,
                 std::size_t begin, std::size_t end, double limit, std::vector<PlateauRun>& runs) {
    std::optional<std::pair<std::size_t, std::size_t>> widest;
    for (std::size_t first = begin; first + kPlateauMinPoints <= end; ++first) {
        const std::size_t last = FurthestRun(p, first, std::min(end, falls[first]), limit);
        if (last == first) continue;
        const double width = p[last].thresholdMv - p[first].thresholdMv;
        if (!widest || width > p[widest->second].thresholdMv - p[widest->first].thresholdMv)
            widest = {first, last};
    }
    if (!widest) return;
    runs.push_back(MakeRun(p, widest->first, widest->second));
    CollectRuns(p, falls, begin, widest->first, limit, runs);
    CollectRuns(p, falls, widest->second + 1, end, limit, runs);
}

double OnGrid(double mv) { return std::round(mv / kThresholdStepMv) * kThresholdStepMv; }

// The working threshold the pick asks for, or why there is none.
void Choose(PlateauResult& r, const PlateauPick& pick) {
    if (r.runs.empty()) return;
    if (pick.atMv) {
        for (const PlateauRun& run : r.runs)
            if (*pick.atMv >= run.fromMv && *pick.atMv <= run.toMv)
                r.chosenThresholdMv = OnGrid(*pick.atMv);
        if (!r.chosenThresholdMv) {
            char text[96];
            std::snprintf(text, sizeof text, "%.1f mV lies within no flat run", *pick.atMv);
            r.refused = text;
        }
        return;
    }
    const PlateauRun* chosen = &r.runs.front();  // the widest
    for (const PlateauRun& run : r.runs) {
        if (pick.choice == PlateauChoice::Lowest && run.fromMv < chosen->fromMv) chosen = &run;
        if (pick.choice == PlateauChoice::Highest && run.fromMv > chosen->fromMv) chosen = &run;
    }
    r.chosenThresholdMv = OnGrid((chosen->fromMv + chosen->toMv) / 2);
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

PlateauResult FindPlateau(std::vector<PlateauPoint> points, double limit, const PlateauPick& pick) {
    std::stable_sort(points.begin(), points.end(),
                     [](const auto& a, const auto& b) { return a.thresholdMv < b.thresholdMv; });
    PlateauResult result{std::move(points), limit, {}, std::nullopt, {}};
    std::set<double> thresholds;
    for (const PlateauPoint& p : result.points) thresholds.insert(p.thresholdMv);
    if (thresholds.size() < kCurveMinThresholds) {
        result.refused = "not a counting curve: " + std::to_string(thresholds.size()) +
                         " thresholds, at least 5 are needed";
        return result;
    }
    CollectRuns(result.points, FallBounds(result.points, limit), 0, result.points.size(), limit,
                result.runs);
    std::stable_sort(result.runs.begin(), result.runs.end(),
                     [](const auto& a, const auto& b) { return a.widthMv > b.widthMv; });
    Choose(result, pick);
    return result;
}

}  // namespace pulsedesk::analysis
