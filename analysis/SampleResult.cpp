#include "analysis/SampleResult.h"

#include <algorithm>
#include <boost/math/constants/constants.hpp>
#include <boost/math/distributions/normal.hpp>
#include <cmath>
#include <cstdio>
#include <utility>

#include "analysis/DetectionLimit.h"

namespace pulsedesk::analysis {

namespace {

constexpr double kConverged = 1e-12;  // relative change of the detection limit's iterate
constexpr double kImplausibleSigmas = 5;  // a net rate this far below zero
// Iterates converge geometrically, the slower the nearer 1 - k^2 u_rel^2(w) is to 0; where a
// million steps do not settle, the limit is too large to be of any use and is said not to exist.
constexpr int kMaxIterations = 1000000;

std::optional<double> Finite(double value) {
    return std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

std::string Format(const char* format, double value) {
    char text[160];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

double GrossSeconds(const SampleInputs& in) {
    double seconds = 0;
    for (const CountSample& line : in.gross) seconds += line.seconds;
    return seconds;
}

std::uint64_t GrossCount(const SampleInputs& in) {
    std::uint64_t count = 0;
    for (const CountSample& line : in.gross) count += line.count;
    return count;
}

std::string UnitOf(const std::optional<Aliquot>& aliquot) {
    if (!aliquot) return "Bq";
    return aliquot->kind == Aliquot::Kind::Mass ? "Bq/kg" : "Bq/L";
}

// The inputs as the result shows them, finite ones only.
SampleResult Echo(const SampleInputs& in) {
    SampleResult r;
    r.record = in.record;
    r.sample = in.sample;
    r.thresholdMv = in.thresholdMv;
    r.grossCount = GrossCount(in);
    r.grossSeconds = Finite(GrossSeconds(in));
    if (in.background) {
        r.backgroundRate = Finite(in.background->rate);
        r.backgroundU = Finite(std::sqrt(in.background->variance));
        r.backgroundSeconds = Finite(in.background->seconds);
    }
    r.backgroundFrom = in.backgroundFrom;
    if (in.efficiency) {
        r.efficiency = Finite(in.efficiency->value);
        r.efficiencyRelativeU = Finite(in.efficiency->relativeU);
    }
    r.source = in.source;
    r.unit = UnitOf(in.aliquot);
    r.alpha = Finite(in.alpha);
    r.beta = Finite(in.beta);
    r.gamma = Finite(in.gamma);
    return r;
}

std::optional<std::string> NonFinite(const SampleInputs& in) {
    std::vector<std::pair<const char*, double>> named{
        {"the count time", GrossSeconds(in)},
        {"the yield", in.yield},
        {"the yield's uncertainty", in.yieldRelativeU},
        {"alpha", in.alpha},
        {"beta", in.beta},
        {"gamma", in.gamma}};
    if (in.background) {
        named.insert(named.end(), {{"the background rate", in.background->rate},
                                   {"the background's variance", in.background->variance},
                                   {"the background's count time", in.background->seconds}});
    }
    if (in.efficiency) {
        named.insert(named.end(), {{"the efficiency", in.efficiency->value},
                                   {"the efficiency's uncertainty", in.efficiency->relativeU}});
    }
    if (in.aliquot) {
        named.insert(named.end(), {{"the mass or volume", in.aliquot->value},
                                   {"the mass's or volume's uncertainty", in.aliquot->relativeU}});
    }
    if (in.decayFactor) named.emplace_back("the decay factor", *in.decayFactor);
    for (const auto& [name, value] : named)
        if (!std::isfinite(value)) return std::string(name) + " is not a finite number";
    return std::nullopt;
}

bool InUnitInterval(double value) { return value > 0 && value <= 1; }

// Why no result can be given, or nothing; every input finite from the first check on.
std::optional<std::string> Refusal(const SampleInputs& in) {
    if (!in.refused.empty()) return in.refused;
    if (auto why = NonFinite(in)) return why;
    if (GrossSeconds(in) <= 0) return "a count time of zero";
    for (const CountSample& line : in.gross)
        if (line.count >= kSaturatedCount)
            return "a count of 16777215, the counter's maximum: saturated";
    if (!in.background) return "no background at this threshold";
    const Background& b = *in.background;
    if (b.saturated) return "the background's count saturated the counter";
    if (b.seconds <= 0) return "the background has a count time of zero";
    if (b.rate < 0 || b.variance < 0) return "the background rate or its variance is negative";
    if (!in.efficiency) return "no efficiency at this threshold";
    if (!InUnitInterval(in.efficiency->value))
        return Format("the efficiency %.6g is outside (0, 1]", in.efficiency->value);
    if (in.aliquot && in.aliquot->value <= 0) return "the mass or volume must be above zero";
    if (!InUnitInterval(in.yield)) return Format("the yield %.6g is outside (0, 1]", in.yield);
    if (in.decayFactor && !InUnitInterval(*in.decayFactor))
        return Format("the decay factor %.6g is outside (0, 1]", *in.decayFactor);
    if (in.efficiency->relativeU < 0 || in.yieldRelativeU < 0 ||
        (in.aliquot && in.aliquot->relativeU < 0))
        return "an uncertainty is negative";
    if (!(in.alpha > 0 && in.alpha < 0.5) || !(in.beta > 0 && in.beta < 0.5))
        return "alpha and beta must lie between 0 and 0.5";
    if (!(in.gamma > 0 && in.gamma < 1)) return "gamma must lie between 0 and 1";
    return std::nullopt;
}

// The model of the measurement: y = w (rho_g - rho_0).
struct Model {
    double w = 0;
    double wRelativeU2 = 0;  // u_rel^2(w)
    double grossSeconds = 0;
    double backgroundRate = 0;
    double backgroundVariance = 0;

    // u~(y~): the standard uncertainty of a result whose true value is y~.
    double UTilde(double y) const {
        return std::sqrt(w * w * ((y / w + backgroundRate) / grossSeconds + backgroundVariance) +
                         y * y * wRelativeU2);
    }
};

Model ModelOf(const SampleInputs& in) {
    double product = in.efficiency->value * in.yield * in.decayFactor.value_or(1);
    double relativeU2 = std::pow(in.efficiency->relativeU, 2) + std::pow(in.yieldRelativeU, 2);
    if (in.aliquot) {
        product *= in.aliquot->value;
        relativeU2 += std::pow(in.aliquot->relativeU, 2);
    }
    return {1 / product, relativeU2, GrossSeconds(in), in.background->rate,
            in.background->variance};
}

// The root of y# = y* + k u~(y#) by iterating it; nothing where none exists. The start lies
// above zero, since with a background known to be zero y# = 0 is a root as well.
std::optional<double> DetectionLimitOf(const Model& m, double decisionThreshold, double k) {
    if (1 - k * k * m.wRelativeU2 <= 0) return std::nullopt;
    double y = 2 * decisionThreshold + k * k * m.w / m.grossSeconds;
    for (int i = 0; i < kMaxIterations; ++i) {
        const double next = decisionThreshold + k * m.UTilde(y);
        if (!std::isfinite(next)) return std::nullopt;
        if (std::abs(next - y) <= kConverged * next) return next;
        y = next;
    }
    return std::nullopt;
}

void SetCoverage(SampleResult& r, double y, double u, double gamma) {
    const boost::math::normal normal;
    const double omega = boost::math::cdf(normal, y / u);
    r.lower = y - boost::math::quantile(normal, omega * (1 - gamma / 2)) * u;
    r.upper = y + boost::math::quantile(normal, 1 - omega * gamma / 2) * u;
    const double best = y + u * std::exp(-y * y / (2 * u * u)) /
                                (omega * boost::math::constants::root_two_pi<double>());
    r.bestEstimate = best;
    // Never below zero in exact arithmetic for y > 0; rounding must not make it a NaN.
    r.bestEstimateU = std::sqrt(std::max(0.0, u * u - (best - y) * best));
}

void SetFigures(SampleResult& r, const SampleInputs& in) {
    const Model m = ModelOf(in);
    const double kAlpha = NormalUpperQuantile(in.alpha);
    const double kBeta = NormalUpperQuantile(in.beta);
    const double grossRate = static_cast<double>(r.grossCount) / m.grossSeconds;
    const double y = m.w * (grossRate - m.backgroundRate);
    const double u = std::sqrt(m.w * m.w * (grossRate / m.grossSeconds + m.backgroundVariance) +
                               y * y * m.wRelativeU2);
    const double decisionThreshold = kAlpha * m.UTilde(0);
    r.w = m.w;
    r.wRelativeU = std::sqrt(m.wRelativeU2);
    r.activity = y;
    r.u = u;
    r.decisionThreshold = decisionThreshold;
    r.detectionLimit = DetectionLimitOf(m, decisionThreshold, kBeta);
    r.detected = y > decisionThreshold;
    if (*r.detected) SetCoverage(r, y, u, in.gamma);
    const CurrieLimits currie = CurrieLimitsOf(
        m.backgroundRate * m.grossSeconds, m.grossSeconds / in.background->seconds, kAlpha, kBeta);
    r.currieLc = currie.decisionCounts;
    r.currieLd = currie.detectionCounts;
    r.mda = currie.detectionCounts * m.w / m.grossSeconds;
}

bool AllFinite(const SampleResult& r) {
    for (const std::optional<double>* figure :
         {&r.w, &r.wRelativeU, &r.activity, &r.u, &r.decisionThreshold, &r.detectionLimit, &r.lower,
          &r.upper, &r.bestEstimate, &r.bestEstimateU, &r.currieLc, &r.currieLd, &r.mda}) {
        if (*figure && !std::isfinite(**figure)) return false;
    }
    return true;
}

}  // namespace

std::optional<Background> BaselineBackground(std::uint64_t pooledCounts, double pooledSeconds,
                                             double extraSd) {
    if (!(pooledSeconds > 0)) return std::nullopt;
    const double rate = static_cast<double>(pooledCounts) / pooledSeconds;
    return Background{rate, rate / pooledSeconds + extraSd * extraSd, pooledSeconds, false};
}

std::optional<Background> PairedBackground(const std::vector<CountSample>& lines) {
    std::uint64_t counts = 0;
    double seconds = 0;
    bool saturated = false;
    for (const CountSample& line : lines) {
        counts += line.count;
        seconds += line.seconds;
        saturated = saturated || line.count >= kSaturatedCount;
    }
    std::optional<Background> b = BaselineBackground(counts, seconds, 0);
    if (b) b->saturated = saturated;
    return b;
}

std::optional<Efficiency> BaselineEfficiency(double mean, double sd, int n,
                                             double certificateUPercent, double coverageK) {
    if (n < 1) return std::nullopt;
    const double meanU = sd / std::sqrt(static_cast<double>(n));
    const double certificate = certificateUPercent / 100 / coverageK;
    return Efficiency{mean, std::sqrt(std::pow(meanU / mean, 2) + certificate * certificate)};
}

SampleResult ComputeSampleResult(const SampleInputs& inputs) {
    SampleResult r = Echo(inputs);
    r.refused = Refusal(inputs);
    if (r.refused) return r;
    SetFigures(r, inputs);
    std::optional<std::string> why;
    if (!AllFinite(r))
        why = "the result is not a finite number: check the inputs' magnitudes";
    else if (*r.activity < -kImplausibleSigmas * *r.u)
        why = Format("the gross rate lies %.3g u(y) below the background: implausible",
                     -*r.activity / *r.u);
    if (!why) return r;
    SampleResult refused = Echo(inputs);
    refused.refused = why;
    return refused;
}

}  // namespace pulsedesk::analysis
