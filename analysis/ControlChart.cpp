#include "analysis/ControlChart.h"

#include <algorithm>
#include <boost/math/distributions/binomial.hpp>
#include <boost/math/distributions/negative_binomial.hpp>
#include <cmath>
#include <tuple>

#include "analysis/DetectionLimit.h"

namespace pulsedesk::analysis {

namespace {

// One-sided normal tails beyond 1, 2 and 3 sigma.
constexpr double kTail1 = 0.158655;
constexpr double kTail2 = 0.02275;
constexpr double kTail3 = 0.00135;
// Below this many expected counts a count is judged by its exact tail.
constexpr double kFewCounts = 20;

bool IsBackground(const std::string& quantity) { return quantity == "background_rate_cps"; }

// What the points of a baseline say.
struct BaselineFigures {
    double mean = 0;
    double extraVariance = 0;  // sigma_x^2
    double sampleSd = 0;
    double countingVariance = 0;  // the mean of the points' counting variances
    std::uint64_t counts = 0;
    double seconds = 0;
};

BaselineFigures FiguresOf(const std::vector<ChartPoint>& points,
                          const std::vector<std::size_t>& baseline, bool background) {
    BaselineFigures f;
    const auto n = static_cast<double>(baseline.size());
    double sum = 0;
    for (std::size_t i : baseline) {
        sum += points[i].value;
        f.counts += points[i].counts;
        f.seconds += points[i].seconds;
    }
    f.mean = background ? static_cast<double>(f.counts) / f.seconds : sum / n;
    double squares = 0;
    for (std::size_t i : baseline) {
        const ChartPoint& p = points[i];
        squares += (p.value - sum / n) * (p.value - sum / n);
        f.countingVariance += background ? f.mean / p.seconds : p.uncertainty * p.uncertainty;
    }
    f.countingVariance /= n;
    f.sampleSd = n > 1 ? std::sqrt(squares / (n - 1)) : 0;
    f.extraVariance = std::max(0.0, f.sampleSd * f.sampleSd - f.countingVariance);
    return f;
}

// Rates and efficiencies are not negative: a lower limit below 0 says nothing. A mean below 0
// (an efficiency lost in the background's noise) keeps its limits, or its own points would fall
// below them.
double Lower(double mean, double limit) { return mean >= 0 ? std::max(0.0, limit) : limit; }

PointLimits NormalLimits(double mean, double sigma) {
    return {mean,
            sigma,
            Lower(mean, mean - 2 * sigma),
            mean + 2 * sigma,
            Lower(mean, mean - 3 * sigma),
            mean + 3 * sigma,
            false,
            std::nullopt};
}

// The exact tail of a count of t seconds: beside the baseline's count while the baseline shows
// no extra spread, else as a count whose rate varies by sigma_x (negative binomial, the
// gamma-Poisson mixture of that variance), whose tails are wider than Poisson's.
double ExactTail(std::uint64_t n, double seconds, const BaselineFigures& f) {
    if (f.extraVariance == 0) return CountTail(n, seconds, f.counts, f.seconds);
    const double expected = f.mean * seconds;
    const auto count = static_cast<double>(n);
    if (count == expected) return 1;
    const double r = expected * expected / (f.extraVariance * seconds * seconds);
    const boost::math::negative_binomial_distribution<double> spread(r, r / (r + expected));
    if (count > expected) return boost::math::cdf(boost::math::complement(spread, count - 1));
    return boost::math::cdf(spread, count);
}

// Limits in rate halfway between the last count within a tail and the first beyond it.
double ExactLimit(const ChartInput& p, const BaselineFigures& f, int side, double tail) {
    const double expected = f.mean * p.seconds;
    if (side > 0) {
        auto n = static_cast<std::uint64_t>(std::floor(expected)) + 1;
        while (ExactTail(n, p.seconds, f) >= tail) ++n;
        return (static_cast<double>(n) - 0.5) / p.seconds;
    }
    if (expected < 1) return 0;
    auto n = static_cast<std::int64_t>(std::ceil(expected)) - 1;
    while (n >= 0 && ExactTail(static_cast<std::uint64_t>(n), p.seconds, f) >= tail) --n;
    return n < 0 ? 0 : (static_cast<double>(n) + 0.5) / p.seconds;
}

int LevelOfTail(double tail) {
    return tail < kTail3 ? 3 : tail < kTail2 ? 2 : tail < kTail1 ? 1 : 0;
}

int LevelOfZ(double z) {
    const double a = std::abs(z);
    return a > 3 ? 3 : a > 2 ? 2 : a > 1 ? 1 : 0;
}

struct Judged {
    int side = 0;
    int level = 0;  // beyond 0, 1, 2 or 3 sigma
};

// z, side and limits of one point against the baseline figures; its level beyond the mean.
Judged Measure(ChartPoint& p, const BaselineFigures& f, bool background, bool provisional) {
    const double countingVariance = background ? f.mean / p.seconds : p.uncertainty * p.uncertainty;
    if (background) p.uncertainty = std::sqrt(countingVariance);
    const double sigma = std::sqrt(f.extraVariance + countingVariance);
    Judged j;
    if (background && f.mean * p.seconds < kFewCounts) {
        const double expected = f.mean * p.seconds;
        const auto count = static_cast<double>(p.counts);
        j.side = count > expected ? 1 : (count < expected ? -1 : 0);
        const double tail = ExactTail(p.counts, p.seconds, f);
        j.level = LevelOfTail(tail);
        p.z = tail >= 0.5 ? 0 : j.side * NormalUpperQuantile(std::max(tail, 1e-300));
        p.limits = PointLimits{f.mean,
                               sigma,
                               ExactLimit(p, f, -1, kTail2),
                               ExactLimit(p, f, 1, kTail2),
                               ExactLimit(p, f, -1, kTail3),
                               ExactLimit(p, f, 1, kTail3),
                               provisional,
                               tail};
        return j;
    }
    p.z = (p.value - f.mean) / sigma;
    j.side = p.z > 0 ? 1 : (p.z < 0 ? -1 : 0);
    j.level = LevelOfZ(p.z);
    p.limits = NormalLimits(f.mean, sigma);
    p.limits->provisional = provisional;
    return j;
}

// The verdict of the newest of the judged points and the rule that gave it.
std::pair<PointStatus, const char*> Verdict(const std::vector<Judged>& judged) {
    const Judged& now = judged.back();
    const std::size_t n = judged.size();
    if (now.level >= 3) return {PointStatus::OutOfService, "beyond 3σ"};
    if (now.level >= 2 && n >= 2 && judged[n - 2].level >= 2 && judged[n - 2].side == now.side)
        return {PointStatus::OutOfService, "two successive beyond 2σ on one side"};
    if (now.level >= 2) return {PointStatus::Recount, "beyond 2σ"};
    const auto sameSide = [&](std::size_t count, int level) {
        int found = 0;
        for (std::size_t i = n - std::min(n, count); i < n; ++i)
            found += judged[i].side == now.side && judged[i].level >= level;
        return found;
    };
    if (now.side != 0 && now.level >= 1 && sameSide(5, 1) >= 4)
        return {PointStatus::Trend, "four of five beyond 1σ on one side"};
    if (now.side != 0 && n >= 8 && sameSide(8, 0) == 8)
        return {PointStatus::Trend, "eight successive on one side of the mean"};
    return {PointStatus::InControl, ""};
}

ChartLimits LimitsOf(const std::vector<ChartPoint>& points,
                     const std::vector<std::size_t>& baseline, int wanted, bool background) {
    const BaselineFigures f = FiguresOf(points, baseline, background);
    ChartLimits l;
    l.mean = f.mean;
    l.sampleSd = f.sampleSd;
    l.poissonSd = std::sqrt(f.countingVariance);
    l.extraSd = std::sqrt(f.extraVariance);
    l.sigma = std::sqrt(f.extraVariance + f.countingVariance);
    const PointLimits typical = NormalLimits(l.mean, l.sigma);
    l.warningLow = typical.warningLow;
    l.warningHigh = typical.warningHigh;
    l.actionLow = typical.actionLow;
    l.actionHigh = typical.actionHigh;
    l.baselinePoints = static_cast<int>(baseline.size());
    l.provisional = l.baselinePoints < wanted;
    l.pooledCounts = f.counts;
    l.pooledSeconds = f.seconds;
    l.points = baseline;
    return l;
}

void JudgeAll(ControlChart& chart, int wanted) {
    const bool background = IsBackground(chart.quantity);
    std::vector<std::size_t> baseline;
    std::vector<Judged> judged;
    for (std::size_t i = 0; i < chart.points.size(); ++i) {
        ChartPoint& p = chart.points[i];
        const bool full = static_cast<int>(baseline.size()) >= wanted;
        if (!p.refused.empty()) {
            p.status = PointStatus::Refused;
            p.rule = p.refused;
        } else if (!p.excluded.empty()) {
            p.status = PointStatus::Excluded;
            p.rule = p.excluded;
        } else if (static_cast<int>(baseline.size()) < kFewestBaselinePoints) {
            p.status = PointStatus::NotJudged;
            p.rule = "fewer than 3 baseline points before it";
            baseline.push_back(i);
        } else {
            judged.push_back(
                Measure(p, FiguresOf(chart.points, baseline, background), background, !full));
            const auto [status, rule] = Verdict(judged);
            p.status = status;
            p.rule = rule;
            p.side = judged.back().side;
            if (status == PointStatus::InControl && !full) baseline.push_back(i);
        }
        if (p.status != PointStatus::InControl && p.status != PointStatus::NotJudged &&
            p.status != PointStatus::Excluded)
            chart.flagged.push_back(i);
    }
    if (!baseline.empty()) chart.limits = LimitsOf(chart.points, baseline, wanted, background);
}

}  // namespace

const char* StatusName(PointStatus status) {
    switch (status) {
        case PointStatus::Recount:
            return "recount";
        case PointStatus::OutOfService:
            return "out of service";
        case PointStatus::Trend:
            return "trend";
        case PointStatus::NotJudged:
            return "not judged";
        case PointStatus::Refused:
            return "refused";
        case PointStatus::Excluded:
            return "excluded";
        case PointStatus::InControl:
            break;
    }
    return "in control";
}

double CountTail(std::uint64_t n, double seconds, std::uint64_t baselineCounts,
                 double baselineSeconds) {
    const double expected = static_cast<double>(baselineCounts) / baselineSeconds * seconds;
    const auto count = static_cast<double>(n);
    if (count == expected) return 1;
    const boost::math::binomial_distribution<double> given(static_cast<double>(baselineCounts + n),
                                                           seconds / (seconds + baselineSeconds));
    if (count > expected) return boost::math::cdf(boost::math::complement(given, count - 1));
    return boost::math::cdf(given, count);
}

ControlChart BuildControlChart(std::string quantity, std::int32_t thresholdMv,
                               std::vector<ChartInput> inputs, const BaselineRule& baseline) {
    ControlChart chart{std::move(quantity), thresholdMv, {}, std::nullopt, {}, std::nullopt};
    std::stable_sort(inputs.begin(), inputs.end(), [](const ChartInput& a, const ChartInput& b) {
        return std::tie(a.when, a.record) < std::tie(b.when, b.record);
    });
    for (ChartInput& in : inputs) {
        if (baseline.from && in.when.date < *baseline.from) continue;
        chart.points.emplace_back();
        static_cast<ChartInput&>(chart.points.back()) = std::move(in);
    }
    JudgeAll(chart, std::max(kFewestBaselinePoints, baseline.points));
    return chart;
}

}  // namespace pulsedesk::analysis
