#include "analysis/ControlChart.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace pulsedesk::analysis {

namespace {

ChartLimits LimitsOf(const std::vector<ChartPoint>& points, int wanted) {
    ChartLimits l;
    l.baselinePoints = std::min<int>(wanted, static_cast<int>(points.size()));
    l.provisional = l.baselinePoints < wanted;
    const auto n = static_cast<double>(l.baselinePoints);
    double sum = 0, variance = 0;
    for (int i = 0; i < l.baselinePoints; ++i) {
        sum += points[i].value;
        variance += points[i].uncertainty * points[i].uncertainty;
    }
    l.mean = sum / n;
    l.poissonSd = std::sqrt(variance / n);
    if (l.baselinePoints > 1) {
        double squares = 0;
        for (int i = 0; i < l.baselinePoints; ++i)
            squares += (points[i].value - l.mean) * (points[i].value - l.mean);
        l.sampleSd = std::sqrt(squares / (n - 1));
    }
    // A baseline scatters at least as Poisson statistics say; a short one is no estimate yet.
    l.sigma = l.provisional ? l.poissonSd : std::max(l.sampleSd, l.poissonSd);
    // Rates and efficiencies are not negative: a lower limit below 0 says nothing. A mean
    // below 0 (an efficiency lost in the background's noise) keeps its limits as they are,
    // or its own points would fall below them.
    const auto lower = [&l](double limit) { return l.mean >= 0 ? std::max(0.0, limit) : limit; };
    l.warningLow = lower(l.mean - 2 * l.sigma);
    l.warningHigh = l.mean + 2 * l.sigma;
    l.actionLow = lower(l.mean - 3 * l.sigma);
    l.actionHigh = l.mean + 3 * l.sigma;
    return l;
}

void Judge(std::vector<ChartPoint>& points, const ChartLimits& l) {
    int previousSide = 0;
    for (ChartPoint& p : points) {
        p.side = p.value > l.warningHigh ? 1 : (p.value < l.warningLow ? -1 : 0);
        const bool beyondAction = p.value > l.actionHigh || p.value < l.actionLow;
        if (beyondAction || (p.side != 0 && p.side == previousSide))
            p.status = PointStatus::OutOfService;
        else if (p.side != 0)
            p.status = PointStatus::Recount;
        previousSide = p.side;
    }
}

}  // namespace

const char* StatusName(PointStatus status) {
    switch (status) {
        case PointStatus::Recount:
            return "recount";
        case PointStatus::OutOfService:
            return "out of service";
        case PointStatus::InControl:
            break;
    }
    return "in control";
}

ControlChart BuildControlChart(std::string quantity, std::int32_t thresholdMv,
                               std::vector<ChartInput> inputs, const BaselineRule& baseline) {
    ControlChart chart{std::move(quantity), thresholdMv, {}, std::nullopt, {}};
    std::stable_sort(inputs.begin(), inputs.end(), [](const ChartInput& a, const ChartInput& b) {
        return std::tie(a.when, a.record) < std::tie(b.when, b.record);
    });
    for (ChartInput& in : inputs)
        if (!baseline.from || in.when.date >= *baseline.from)
            chart.points.push_back(ChartPoint{std::move(in)});
    if (chart.points.empty()) return chart;
    chart.limits = LimitsOf(chart.points, std::max(1, baseline.points));
    Judge(chart.points, *chart.limits);
    for (std::size_t i = 0; i < chart.points.size(); ++i)
        if (chart.points[i].status != PointStatus::InControl) chart.flagged.push_back(i);
    return chart;
}

}  // namespace pulsedesk::analysis
