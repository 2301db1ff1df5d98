#include "journal/JournalCharts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pulsedesk::journal {
namespace {

namespace an = pulsedesk::analysis;
using plot::AxisKind;
using plot::Flag;
using plot::LineKind;

template <class... Values>
std::string Format(const char* format, Values... values) {
    char text[200];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

double Seconds(const an::LocalMinute& when) { return std::round(when.Days() * 86400.0); }

bool InMonths(const an::LocalMinute& when, const an::JournalFilter& months) {
    const an::YearMonth month{when.date.year, when.date.month};
    return !(months.from && month < *months.from) && !(months.to && *months.to < month);
}

Flag FlagOf(an::PointStatus status) {
    if (status == an::PointStatus::OutOfService) return Flag::Action;
    return status == an::PointStatus::Recount || status == an::PointStatus::Trend ? Flag::Warning
                                                                                  : Flag::None;
}

std::string Minus(const std::string& text) {  // a true minus sign, as the axes show it
    return !text.empty() && text[0] == '-' ? "\u2212" + text.substr(1) : text;
}

// Mean and limits as each point was judged by them, stepping halfway between points; labelled
// with the last point's.
void AddLimits(plot::Chart& c, const std::vector<const an::ChartPoint*>& judged) {
    struct Line {
        double an::PointLimits::*y;
        LineKind kind;
        const char* name;
    };
    static const Line kLines[] = {{&an::PointLimits::mean, LineKind::Mean, "mean"},
                                  {&an::PointLimits::warningHigh, LineKind::Warning, "+2σ"},
                                  {&an::PointLimits::warningLow, LineKind::Warning, "−2σ"},
                                  {&an::PointLimits::actionHigh, LineKind::Action, "+3σ"},
                                  {&an::PointLimits::actionLow, LineKind::Action, "−3σ"}};
    const an::PointLimits& last = *judged.back()->limits;
    for (const Line& line : kLines) {
        plot::Level level{last.*line.y,
                          line.kind,
                          std::string(line.name) + " " + Minus(Rounded(last.*line.y, last.sigma)),
                          line.kind != LineKind::Mean && last.provisional,
                          {}};
        double previous = Seconds(judged.front()->when);
        for (const an::ChartPoint* p : judged) {
            level.steps.emplace_back((previous + Seconds(p->when)) / 2, (*p->limits).*line.y);
            previous = Seconds(p->when);
        }
        c.levels.push_back(std::move(level));
    }
}

std::string BaselineNote(const an::ControlChart& chart, const an::BaselineRule& baseline,
                         const std::string& unit) {
    const an::ChartLimits& l = *chart.limits;
    std::string from;
    for (const an::ChartPoint& p : chart.points)
        if (!baseline.from || !(p.when.date < *baseline.from)) {
            from = p.when.date.Text();
            break;
        }
    const std::string note = "baseline: " + std::to_string(l.baselinePoints) + " of " +
                             std::to_string(std::max(baseline.points, an::kFewestBaselinePoints)) +
                             " points from " + from + (l.provisional ? ", provisional" : "") +
                             "; extra σ = " + Rounded(l.extraSd, l.sigma) + " " + unit +
                             "; limits per point from its own counting precision";
    return note;
}

}  // namespace

std::string Rounded(double value, double uncertainty) {
    int decimals = 3;
    if (uncertainty > 0 && std::isfinite(uncertainty))
        decimals = std::clamp(1 - static_cast<int>(std::floor(std::log10(uncertainty))), 0, 9);
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

plot::Chart ControlChartOf(const an::ControlChart& chart, const std::string& name,
                           const an::BaselineRule& baseline, const an::JournalFilter& months) {
    const bool efficiency = chart.quantity == "efficiency";
    const std::string unit = efficiency ? "counts/decay" : "1/s";
    plot::Chart c;
    c.title = (efficiency ? "Efficiency, source " + name : std::string("Background")) +
              ", threshold " + std::to_string(chart.thresholdMv) + " mV";
    c.x = {AxisKind::Time, "End of count", "", false, false};
    c.y = {AxisKind::Number, efficiency ? "Efficiency" : "Background rate", unit, false, false};
    plot::Series series{efficiency ? "efficiency ±1σ" : "rate ±1σ", false, {}};
    std::vector<const an::ChartPoint*> judged;
    for (const an::ChartPoint& p : chart.points) {
        // A refused point has no figure to draw; the page lists it with its reason.
        if (!InMonths(p.when, months) || p.status == an::PointStatus::Refused) continue;
        series.points.push_back({Seconds(p.when), p.value, p.uncertainty, FlagOf(p.status),
                                 p.status == an::PointStatus::Excluded});
        if (p.limits) judged.push_back(&p);
    }
    c.series = {series};
    if (!judged.empty()) AddLimits(c, judged);
    if (chart.limits) c.note = BaselineNote(chart, baseline, unit);
    return c;
}

plot::Chart SeriesChartOf(const an::JournalRecord& record, const an::SeriesStats& stats) {
    std::vector<const an::JournalMeasurement*> lines;
    for (const an::JournalMeasurement& m : record.measurements)
        if (m.countTimeHundredths > 0) lines.push_back(&m);
    bool sameTime = true;
    for (const auto* m : lines)
        sameTime = sameTime && m->countTimeHundredths == lines[0]->countTimeHundredths;

    plot::Chart c;
    c.title = "Series, record " + record.id.Text() + ": " + record.FirstLine();
    c.x = {AxisKind::Number, "Measurement", "", false, true};
    c.y = sameTime ? plot::Axis{AxisKind::Number, "Count", "", false, false}
                   : plot::Axis{AxisKind::Number, "Rate", "1/s", false, false};
    plot::Series series{sameTime ? "count ±√N" : "rate ±√N/t", false, {}};
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const an::JournalMeasurement& m = *lines[i];
        const double y = sameTime ? m.count : *m.Rate();
        const double u = sameTime ? std::sqrt(static_cast<double>(m.count)) : *m.RateUncertainty();
        series.points.push_back({static_cast<double>(i + 1), y, u, Flag::None});
    }
    c.series = {series};
    if (stats.n == 0) return c;
    const double mean = sameTime ? stats.meanCount : stats.meanRate;
    const double spread = sameTime ? stats.poissonSdCount : stats.meanRateStdError;
    c.levels.push_back({mean, LineKind::Mean, "mean " + Rounded(mean, spread / 10), false});
    c.note = "n = " + std::to_string(stats.n) +
             (sameTime ? Format(", %.6g s each", lines[0]->CountTimeS()) : std::string()) +
             "; sd " +
             Format("%.4g (sample), %.4g (Poisson)", stats.sampleSdCount, stats.poissonSdCount);
    if (stats.chiSquare) {
        const an::ChiSquareTest& t = *stats.chiSquare;
        c.note +=
            Format("; χ² = %.2f, %d df, p = %.3f: ", t.chiSquare, t.degreesOfFreedom, t.pValue) +
            (t.pass ? "pass" : "FAIL");
    }
    return c;
}

plot::Chart PlateauChartOf(const an::JournalRecord& record, const an::PlateauResult& result) {
    plot::Chart c;
    c.title = "Counting curve, record " + record.id.Text() + ": " + record.FirstLine();
    c.x = {AxisKind::Number, "Threshold", "mV", false, false};
    c.y = {AxisKind::Number, "Rate", "1/s", true, false};
    plot::Series series{"rate ±√N/t", true, {}};
    double lowest = INFINITY, highest = 0;
    for (const an::PlateauPoint& p : result.points) {
        series.points.push_back({p.thresholdMv, p.rate, p.rateU, Flag::None, false});
        if (p.rate > 0) lowest = std::min(lowest, p.rate);
        highest = std::max(highest, p.rate);
    }
    // The steep edges span decades: on a linear axis the plateau would be a flat line at 0.
    c.logarithmicY = highest > 10 * lowest;
    if (c.logarithmicY) c.y.withZero = false;
    c.series = {series};
    for (const an::PlateauRun& run : result.runs) {
        c.bands.push_back({run.fromMv, run.toMv,
                           Format("%.1f–%.1f mV: slope %s ± %.2f %%/100 mV", run.fromMv, run.toMv,
                                  Minus(Format("%+.2f", run.slopePercentPer100mV)).c_str(),
                                  run.slopeUPercentPer100mV)});
    }
    if (result.chosenThresholdMv)
        c.markers.push_back({*result.chosenThresholdMv,
                             Format("working threshold %.1f mV", *result.chosenThresholdMv)});
    c.note = !result.refused.empty() && result.runs.empty() ? result.refused
             : result.runs.empty()
                 ? Format(
                       "no flat run: no 3 successive points with |slope| + 2u within "
                       "%.3g %%/100 mV",
                       result.limitPercentPer100mV)
                 : Format("flat runs: |slope| + 2u within %.3g %%/100 mV, widest first",
                          result.limitPercentPer100mV);
    return c;
}

}  // namespace pulsedesk::journal
