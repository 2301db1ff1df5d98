#include "analysis/Json.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace pulsedesk::analysis {

namespace {

template <class T>
Json Optional(const std::optional<T>& value) {
    return value ? Json(*value) : Json(nullptr);
}

// JSON has no infinity: a background known without error has no count time to print.
Json Finite(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

}  // namespace

void to_json(Json& j, const JournalProblem& p) {
    j = Json{{"file", p.file}, {"line", p.line}, {"reason", p.reason}};
}

void to_json(Json& j, const ChiSquareTest& t) {
    j = Json{{"chi_square", t.chiSquare},
             {"degrees_of_freedom", t.degreesOfFreedom},
             {"p_value", t.pValue},
             {"quantile_p95", t.quantiles.lower},
             {"quantile_p05", t.quantiles.upper},
             {"pass", t.pass}};
}

void to_json(Json& j, const SeriesStats& s) {
    j = Json{{"n", s.n},
             {"total_count", s.totalCount},
             {"total_time_s", s.totalSeconds},
             {"mean_count", s.meanCount},
             {"mean_rate_cps", s.meanRate},
             {"mean_rate_se_cps", s.meanRateStdError},
             {"sample_sd_count", s.sampleSdCount},
             {"poisson_sd_count", s.poissonSdCount},
             {"chi_square_test", Optional(s.chiSquare)}};
}

void to_json(Json& j, const EfficiencyTerms& t) {
    j = Json{{"gross_rate_cps", t.grossRate},
             {"gross_rate_u_cps", t.grossRateU},
             {"background_rate_cps", t.backgroundRate},
             {"background_rate_u_cps", t.backgroundRateU},
             {"background_time_s", t.backgroundSeconds},
             {"background_from", t.backgroundFrom},
             {"activity_bq", t.activityBq},
             {"activity_relative_u", Optional(t.activityRelativeU)}};
}

void to_json(Json& j, const ChartPoint& p) {
    j = Json{{"record", p.record.Text()},
             {"end_local", p.when.Text()},
             {"value", p.value},
             {"u", p.uncertainty},
             {"count", p.counts},
             {"count_time_s", p.seconds},
             {"status", StatusName(p.status)},
             {"rule", p.rule},
             {"side", p.side},
             {"z", p.limits ? Json(p.z) : Json(nullptr)},
             {"limits", Optional(p.limits)}};
    if (p.efficiency) j["efficiency_terms"] = *p.efficiency;
}

void to_json(Json& j, const PointLimits& l) {
    j = Json{{"mean", l.mean},
             {"sigma", l.sigma},
             {"warning_low", l.warningLow},
             {"warning_high", l.warningHigh},
             {"action_low", l.actionLow},
             {"action_high", l.actionHigh},
             {"provisional", l.provisional},
             {"exact_tail", Optional(l.exactTail)}};
}

void to_json(Json& j, const ChartLimits& l) {
    j = Json{{"mean", l.mean},
             {"sigma", l.sigma},
             {"sample_sd", l.sampleSd},
             {"poisson_sd", l.poissonSd},
             {"extra_sd", l.extraSd},
             {"pooled_counts", l.pooledCounts},
             {"pooled_time_s", l.pooledSeconds},
             {"warning_low", l.warningLow},
             {"warning_high", l.warningHigh},
             {"action_low", l.actionLow},
             {"action_high", l.actionHigh},
             {"baseline_points", l.baselinePoints},
             {"provisional", l.provisional}};
}

void to_json(Json& j, const ControlChart& c) {
    j = Json{{"quantity", c.quantity},
             {"threshold_mv", c.thresholdMv},
             {"limits", Optional(c.limits)},
             {"points", c.points},
             {"flagged", c.flagged}};
}

void to_json(Json& j, const DetectionLimit& d) {
    j = Json{{"sample_time_s", d.sampleSeconds},
             {"background_rate_cps", d.backgroundRate},
             {"background_time_s", Finite(d.backgroundSeconds)},
             {"background_counts", d.backgroundCounts},
             {"lc_counts", d.decisionCounts},
             {"ld_counts", d.limitCounts},
             {"provisional", d.provisional},
             {"efficiency", Optional(d.efficiency)},
             {"mda_bq", Optional(d.mdaBq)}};
}

void to_json(Json& j, const PlateauPoint& p) {
    j = Json{{"threshold_mv", p.thresholdMv},
             {"count", p.count},
             {"count_time_s", p.seconds},
             {"rate_cps", p.rate},
             {"rate_u_cps", p.rateU}};
}

void to_json(Json& j, const PlateauRun& r) {
    j = Json{{"from_mv", r.fromMv},
             {"to_mv", r.toMv},
             {"width_mv", r.widthMv},
             {"points", r.last - r.first + 1},
             {"mean_rate_cps", r.meanRate},
             {"slope_pct_per_100mv", r.slopePercentPer100mV},
             {"slope_u_pct_per_100mv", r.slopeUPercentPer100mV}};
}

void to_json(Json& j, const PlateauResult& r) {
    j = Json{{"limit_pct_per_100mv", r.limitPercentPer100mV},
             {"chosen_threshold_mv", Optional(r.chosenThresholdMv)},
             {"refused", r.refused.empty() ? Json(nullptr) : Json(r.refused)},
             {"runs", r.runs},
             {"points", r.points}};
}

void to_json(Json& j, const SampleResult& r) {
    j = Json{{"record", r.record.Text()},
             {"sample", r.sample},
             {"threshold_mv", r.thresholdMv},
             {"gross_count", r.grossCount},
             {"gross_time_s", Optional(r.grossSeconds)},
             {"background_rate_cps", Optional(r.backgroundRate)},
             {"background_u_cps", Optional(r.backgroundU)},
             {"background_time_s", Optional(r.backgroundSeconds)},
             {"background_from", r.backgroundFrom},
             {"efficiency", Optional(r.efficiency)},
             {"efficiency_u_rel", Optional(r.efficiencyRelativeU)},
             {"source", r.source},
             {"unit", r.unit},
             {"w", Optional(r.w)},
             {"w_u_rel", Optional(r.wRelativeU)},
             {"activity", Optional(r.activity)},
             {"u", Optional(r.u)},
             {"decision_threshold", Optional(r.decisionThreshold)},
             {"detection_limit", Optional(r.detectionLimit)},
             {"detected", Optional(r.detected)},
             {"lower", Optional(r.lower)},
             {"upper", Optional(r.upper)},
             {"best_estimate", Optional(r.bestEstimate)},
             {"best_estimate_u", Optional(r.bestEstimateU)},
             {"currie_lc", Optional(r.currieLc)},
             {"currie_ld", Optional(r.currieLd)},
             {"mda", Optional(r.mda)},
             {"alpha", Optional(r.alpha)},
             {"beta", Optional(r.beta)},
             {"gamma", Optional(r.gamma)},
             {"refused", Optional(r.refused)}};
}

}  // namespace pulsedesk::analysis
