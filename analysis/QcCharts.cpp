#include "analysis/QcCharts.h"

#include <cmath>

namespace pulsedesk::analysis {

namespace {

using Inputs = std::map<std::int32_t, std::vector<ChartInput>>;

Inputs BackgroundInputs(const Journal& journal) {
    Inputs inputs;
    for (const auto& [record, marker] : QcRecords(journal, QcMarker::Kind::Background))
        for (auto& [threshold, in] : RecordRates(*record)) inputs[threshold].push_back(in);
    return inputs;
}

const ControlChart* ChartAt(const std::vector<ControlChart>& charts, std::int32_t thresholdMv) {
    for (const ControlChart& c : charts)
        if (c.thresholdMv == thresholdMv) return &c;
    return nullptr;
}

// R_b for a source point: the latest background record at its threshold on or before its day,
// else the background chart's baseline mean.
void ChooseBackground(const std::vector<ChartInput>* records, const ControlChart* chart,
                      const LocalMinute& when, EfficiencyTerms& t) {
    const ChartInput* latest = nullptr;
    if (records != nullptr)
        for (const ChartInput& b : *records)
            if (b.when.date <= when.date && (latest == nullptr || latest->when < b.when))
                latest = &b;
    if (latest != nullptr) {
        t.backgroundRate = latest->value;
        t.backgroundRateU = latest->uncertainty;
        t.backgroundSeconds = latest->seconds;
        t.backgroundFrom = "record " + latest->record.Text();
    } else if (chart != nullptr && chart->limits) {
        const ChartLimits& l = *chart->limits;
        t.backgroundRate = l.mean;
        t.backgroundRateU = l.sigma / std::sqrt(static_cast<double>(l.baselinePoints));
        for (int i = 0; i < l.baselinePoints; ++i) t.backgroundSeconds += chart->points[i].seconds;
        t.backgroundFrom = "baseline mean";
    } else {
        t.backgroundFrom = "none";
    }
}

ChartInput EfficiencyPoint(const ChartInput& gross, const QcMarker& marker,
                           const std::vector<ChartInput>* backgrounds,
                           const ControlChart* backgroundChart) {
    EfficiencyTerms t;
    t.grossRate = gross.value;
    t.grossRateU = gross.uncertainty;
    ChooseBackground(backgrounds, backgroundChart, gross.when, t);
    const double days = gross.when.Days() - static_cast<double>(marker.reference.DayNumber());
    t.activityBq = marker.activityBq * std::exp2(-days / marker.halfLifeDays);
    if (marker.activityUPercent) t.activityRelativeU = *marker.activityUPercent / 100.0;
    ChartInput point = gross;
    point.value = (t.grossRate - t.backgroundRate) / t.activityBq;
    const double counting = std::hypot(t.grossRateU, t.backgroundRateU) / t.activityBq;
    point.uncertainty = std::hypot(counting, point.value * t.activityRelativeU.value_or(0));
    point.efficiency = t;
    return point;
}

}  // namespace

std::map<std::int32_t, ChartInput> RecordRates(const JournalRecord& record) {
    std::map<std::int32_t, ChartInput> rates;
    for (const JournalMeasurement& m : record.measurements) {
        if (m.countTimeHundredths == 0) continue;
        ChartInput& in = rates[m.thresholdMv];
        in.record = record.id;
        in.counts += m.count;
        in.seconds += m.CountTimeS();
        in.when = std::max(in.when, m.end);
    }
    for (auto& [threshold, in] : rates) {
        in.value = static_cast<double>(in.counts) / in.seconds;
        in.uncertainty = std::sqrt(static_cast<double>(in.counts)) / in.seconds;
    }
    return rates;
}

std::vector<std::pair<const JournalRecord*, QcMarker>> QcRecords(const Journal& journal,
                                                                 QcMarker::Kind kind,
                                                                 const std::string& name) {
    std::vector<std::pair<const JournalRecord*, QcMarker>> found;
    for (const JournalRecord& r : journal.records) {
        auto marker = ParseQcMarker(r.FirstLine());
        if (marker && marker->kind == kind && (name.empty() || marker->name == name))
            found.emplace_back(&r, *marker);
    }
    return found;
}

std::vector<ControlChart> BackgroundCharts(const Journal& journal, const BaselineRule& baseline) {
    std::vector<ControlChart> charts;
    for (auto& [threshold, inputs] : BackgroundInputs(journal))
        charts.push_back(
            BuildControlChart("background_rate_cps", threshold, std::move(inputs), baseline));
    return charts;
}

std::vector<ControlChart> SourceCharts(const Journal& journal, const std::string& name,
                                       const BaselineRule& baseline) {
    const Inputs backgrounds = BackgroundInputs(journal);
    const std::vector<ControlChart> backgroundCharts = BackgroundCharts(journal, baseline);
    Inputs efficiencies;
    for (const auto& [record, marker] : QcRecords(journal, QcMarker::Kind::Source, name)) {
        for (const auto& [threshold, gross] : RecordRates(*record)) {
            const auto b = backgrounds.find(threshold);
            efficiencies[threshold].push_back(
                EfficiencyPoint(gross, marker, b == backgrounds.end() ? nullptr : &b->second,
                                ChartAt(backgroundCharts, threshold)));
        }
    }
    std::vector<ControlChart> charts;
    for (auto& [threshold, inputs] : efficiencies)
        charts.push_back(BuildControlChart("efficiency", threshold, std::move(inputs), baseline));
    return charts;
}

std::optional<DetectionLimit> ChartDetectionLimit(const ControlChart& chart,
                                                  std::optional<double> sampleSeconds) {
    if (chart.points.empty()) return std::nullopt;
    const ChartPoint& latest = chart.points.back();
    if (!latest.efficiency) {
        return CurrieDetectionLimit(latest.value, latest.seconds,
                                    sampleSeconds.value_or(latest.seconds));
    }
    const EfficiencyTerms& t = *latest.efficiency;
    if (t.backgroundSeconds <= 0) return std::nullopt;
    return CurrieDetectionLimit(t.backgroundRate, t.backgroundSeconds,
                                sampleSeconds.value_or(t.backgroundSeconds), latest.value);
}

}  // namespace pulsedesk::analysis
