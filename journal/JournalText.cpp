#include "journal/JournalText.h"

#include <cmath>
#include <cstdarg>

#include "config/Cp1251.h"

namespace pulsedesk::journal {

namespace an = pulsedesk::analysis;

namespace {

__attribute__((format(printf, 2, 3))) void Add(std::string& text, const char* format, ...) {
    char line[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    text += line;
}

std::string ChiSquareText(const an::ChiSquareTest& t) {
    std::string text;
    Add(text, "chi-square      %.3f with %d degrees of freedom, p = %.3f\n", t.chiSquare,
        t.degreesOfFreedom, t.pValue);
    Add(text, "                %s: want %.3f <= chi-square <= %.3f (0.05 <= p <= 0.95)\n",
        t.pass ? "pass" : "FAIL", t.quantiles.lower, t.quantiles.upper);
    return text;
}

std::string LimitsText(const an::ChartLimits& l) {
    std::string text;
    Add(text, "baseline        %d point%s%s\n", l.baselinePoints, l.baselinePoints == 1 ? "" : "s",
        l.provisional ? ", provisional" : ", frozen");
    Add(text, "mean            %.6g, sigma %.4g (extra %.4g, counting %.4g, sample %.4g)\n", l.mean,
        l.sigma, l.extraSd, l.poissonSd, l.sampleSd);
    Add(text, "limits          each point's own: mean -/+ 2 and 3 sqrt(extra^2 + its u^2)\n");
    return text;
}

std::string PointLine(const an::ChartPoint& p) {
    std::string text;
    Add(text, "%-12s %s  %12.6g %10.4g  ", p.record.Text().c_str(), p.when.Text().c_str(), p.value,
        p.uncertainty);
    if (p.limits)
        Add(text, "z %+6.2f  warning %.6g .. %.6g, action %.6g .. %.6g%s  ", p.z,
            p.limits->warningLow, p.limits->warningHigh, p.limits->actionLow, p.limits->actionHigh,
            p.limits->exactTail ? " (exact tail)" : "");
    text += an::StatusName(p.status);
    if (!p.rule.empty()) text += ": " + config::VisibleText(p.rule);
    if (p.efficiency && p.status != an::PointStatus::Refused) {
        const an::EfficiencyTerms& t = *p.efficiency;
        Add(text, "  (R_s %.6g/s, R_b %.6g/s from %s, A %.6g Bq)", t.grossRate, t.backgroundRate,
            t.backgroundFrom.c_str(), t.activityBq);
    }
    return text + "\n";
}

std::string DetectionText(const an::DetectionLimit& d) {
    std::string text;
    Add(text,
        "detection limit for a sample counted %.6g s%s: L_C = %.1f counts, L_D = %.1f counts "
        "(B = %.4g counts, baseline background %.6g/s counted %.6g s)\n",
        d.sampleSeconds, d.provisional ? " (provisional)" : "", d.decisionCounts, d.limitCounts,
        d.backgroundCounts, d.backgroundRate, d.backgroundSeconds);
    if (d.mdaBq)
        Add(text, "                MDA = %.4g Bq at efficiency %.4g counts per decay\n", *d.mdaBq,
            *d.efficiency);
    return text;
}

}  // namespace

void PrintProblems(const an::Journal& journal, std::FILE* err) {
    for (const an::JournalProblem& p : journal.problems) {
        const std::string file = config::VisibleText(p.file);
        const std::string reason = config::VisibleText(p.reason);
        if (p.line > 0)
            std::fprintf(err, "pulsectl: %s:%d: %s\n", file.c_str(), p.line, reason.c_str());
        else
            std::fprintf(err, "pulsectl: %s: %s\n", file.c_str(), reason.c_str());
    }
}

std::string RecordHeading(const an::JournalRecord& r) {
    return "record " + r.id.Text() + "  " + r.date.Text() + "  " +
           config::VisibleText(r.FirstLine()) + "\n";
}

std::string StatsText(const an::SeriesStats& s) {
    std::string text;
    Add(text, "n               %d\n", s.n);
    if (s.n == 0) return text;
    Add(text, "mean count      %.2f\n", s.meanCount);
    Add(text, "mean rate       %.6g +- %.3g /s (standard error)\n", s.meanRate, s.meanRateStdError);
    Add(text, "sd of counts    %.4g (sample), %.4g (Poisson)\n", s.sampleSdCount, s.poissonSdCount);
    if (s.chiSquare && s.meanCount < an::kFewCountsForChiSquare)
        text += "warning: a mean count below 20: the chi-square test is no longer exact\n";
    if (s.chiSquare)
        text += ChiSquareText(*s.chiSquare);
    else
        text += "chi-square      needs two counts or more at one threshold, and pulses\n";
    return text;
}

std::string ChartText(const an::ControlChart& chart,
                      const std::optional<an::DetectionLimit>& limit) {
    std::string text;
    const bool efficiency = chart.quantity == "efficiency";
    Add(text, "%s at %d mV (%s)\n", efficiency ? "efficiency" : "background rate",
        chart.thresholdMv, efficiency ? "counts per decay" : "counts per second");
    if (chart.limits) text += LimitsText(*chart.limits);
    Add(text, "%-12s %-16s  %12s %10s  %s\n", "record", "end", "value", "u", "status");
    for (const an::ChartPoint& p : chart.points) text += PointLine(p);
    if (limit) text += DetectionText(*limit);
    return text;
}

std::string PlateauText(const an::PlateauResult& r) {
    std::string text;
    Add(text, "%12s %10s %10s %12s %10s\n", "threshold_mV", "count", "time_s", "rate/s", "u/s");
    for (const an::PlateauPoint& p : r.points)
        Add(text, "%12.1f %10u %10.2f %12.4f %10.4f\n", p.thresholdMv, p.count, p.seconds, p.rate,
            p.rateU);
    if (r.runs.empty()) {
        if (!r.refused.empty()) return text + r.refused + "\n";
        Add(text,
            "no flat run: no 3 successive points with |slope| + 2 u(slope) within %.3g %% per "
            "100 mV\n",
            r.limitPercentPer100mV);
        return text;
    }
    Add(text, "flat runs, |slope| + 2 u(slope) within %.3g %% per 100 mV, widest first:\n",
        r.limitPercentPer100mV);
    for (const an::PlateauRun& run : r.runs)
        Add(text,
            "  %.1f .. %.1f mV (%zu points): slope %+.2f +- %.2f %% per 100 mV, "
            "mean rate %.6g/s\n",
            run.fromMv, run.toMv, run.last - run.first + 1, run.slopePercentPer100mV,
            run.slopeUPercentPer100mV, run.meanRate);
    if (r.chosenThresholdMv) Add(text, "working threshold %.1f mV\n", *r.chosenThresholdMv);
    if (!r.refused.empty()) text += "no working threshold: " + r.refused + "\n";
    return text;
}

}  // namespace pulsedesk::journal
