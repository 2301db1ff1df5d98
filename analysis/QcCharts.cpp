#include "analysis/QcCharts.h"

#include <cmath>
#include <cstdio>

#include "analysis/Decay.h"

namespace pulsedesk::analysis {

namespace {

using Inputs = std::map<std::int32_t, std::vector<ChartInput>>;

constexpr double kDaySeconds = 86400;

std::string Format(const char* format, double value) {
    char text[120];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

void Exclude(Inputs& inputs, const std::map<RecordId, std::string>& exclusions) {
    for (auto& [threshold, points] : inputs)
        for (ChartInput& in : points)
            if (const auto found = exclusions.find(in.record); found != exclusions.end())
                in.excluded = found->second;
}

Inputs BackgroundInputs(const Journal& journal) {
    Inputs inputs;
    for (const auto& [record, marker] : QcRecords(journal, QcMarker::Kind::Background))
        for (auto& [threshold, in] : RecordRates(*record)) inputs[threshold].push_back(in);
    Exclude(inputs, Exclusions(journal));
    return inputs;
}

// R_b for a source point: the latest usable background record at its threshold on or before
// its day, else the background chart's baseline mean.
void ChooseBackground(const std::vector<ChartInput>* records, const ControlChart* chart,
                      const LocalMinute& when, EfficiencyTerms& t) {
    const ChartInput* latest = nullptr;
    if (records != nullptr)
        for (const ChartInput& b : *records)
            if (b.refused.empty() && b.excluded.empty() && b.when.date <= when.date &&
                (latest == nullptr || latest->when < b.when))
                latest = &b;
    if (latest != nullptr) {
        t.backgroundRate = latest->value;
        t.backgroundRateU = latest->uncertainty;
        t.backgroundSeconds = latest->seconds;
        t.backgroundFrom = "record " + latest->record.Text();
    } else if (chart != nullptr && chart->limits) {
        const ChartLimits& l = *chart->limits;
        t.backgroundRate = l.mean;
        t.backgroundRateU = std::sqrt(static_cast<double>(l.pooledCounts)) / l.pooledSeconds;
        t.backgroundSeconds = l.pooledSeconds;
        t.backgroundFrom = "baseline mean";
    } else {
        t.backgroundFrom = "none";
    }
}

// The activity over the record's counts at the threshold, or why it cannot be trusted.
Checked<double> ActivityOver(const JournalRecord& record, std::int32_t thresholdMv,
                             const QcMarker& marker) {
    const Checked<double> f =
        DecayFactor(CountsSince(record, thresholdMv, marker.reference, marker.referenceMinute),
                    marker.halfLifeDays * kDaySeconds);
    if (!f.value) {
        if (f.reason.find("before the reference") != std::string::npos)
            return Checked<double>::Refused("the reference " + marker.reference.Text() +
                                            " lies after the count");
        return Checked<double>::Refused(
            f.reason + (f.reason.find("unit") != std::string::npos ? ": days" : ""));
    }
    return Checked<double>::Of(marker.activityBq * *f.value);
}

ChartInput EfficiencyPoint(const JournalRecord& record, const ChartInput& gross,
                           std::int32_t thresholdMv, const QcMarker& marker,
                           const std::vector<ChartInput>* backgrounds,
                           const ControlChart* backgroundChart) {
    ChartInput point = gross;
    EfficiencyTerms t;
    t.grossRate = gross.value;
    t.grossRateU = gross.uncertainty;
    ChooseBackground(backgrounds, backgroundChart, gross.when, t);
    if (marker.activityUPercent) t.activityRelativeU = *marker.activityUPercent / 100.0;
    const Checked<double> activity = ActivityOver(record, thresholdMv, marker);
    point.value = 0;
    point.uncertainty = 0;
    if (activity.value) {
        t.activityBq = *activity.value;
        point.value = (t.grossRate - t.backgroundRate) / t.activityBq;
        point.uncertainty = std::hypot(t.grossRateU, t.backgroundRateU) / t.activityBq;
    }
    if (point.refused.empty()) point.refused = activity.reason;
    if (point.refused.empty() && !(point.value > 0 && point.value <= 1))
        point.refused = Format("an efficiency of %.3g, outside (0, 1]: implausible", point.value);
    if (!point.refused.empty()) point.value = point.uncertainty = 0;
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
        if (m.count == kSaturatedCount)
            in.refused = "a count of 16777215 (the counter's maximum: saturated)";
    }
    for (auto& [threshold, in] : rates) {
        in.value = static_cast<double>(in.counts) / in.seconds;
        in.uncertainty = std::sqrt(static_cast<double>(in.counts)) / in.seconds;
    }
    return rates;
}

std::map<RecordId, std::string> Exclusions(const Journal& journal) {
    std::map<RecordId, std::string> excluded;
    for (const auto& [record, marker] : QcRecords(journal, QcMarker::Kind::Exclude)) {
        const int year = marker.excluded.year != 0 ? marker.excluded.year : record->id.year;
        excluded[{year, marker.excluded.number}] = marker.reason;
    }
    return excluded;
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

ChiSquareVerdict JudgeChiSquare(const Journal& journal, const JournalRecord& record) {
    const auto failed = [](const JournalRecord& r) {
        const SeriesStats stats = RecordSeriesStats(r);
        return stats.chiSquare && !stats.chiSquare->pass;
    };
    if (!failed(record)) return ChiSquareVerdict::Pass;
    const auto marker = ParseQcMarker(record.FirstLine());
    const JournalRecord* previous = nullptr;
    for (const auto& [r, m] : QcRecords(journal, QcMarker::Kind::ChiSquare))
        if (m.name == (marker ? marker->name : "") && r->id < record.id &&
            (previous == nullptr || previous->id < r->id))
            previous = r;
    return previous != nullptr && failed(*previous) ? ChiSquareVerdict::OutOfService
                                                    : ChiSquareVerdict::Recount;
}

std::vector<ControlChart> BackgroundCharts(const Journal& journal, const BaselineRule& baseline) {
    std::vector<ControlChart> charts;
    for (auto& [threshold, inputs] : BackgroundInputs(journal))
        charts.push_back(
            BuildControlChart("background_rate_cps", threshold, std::move(inputs), baseline));
    return charts;
}

const ControlChart* ChartAt(const std::vector<ControlChart>& charts, std::int32_t thresholdMv) {
    for (const ControlChart& c : charts)
        if (c.thresholdMv == thresholdMv) return &c;
    return nullptr;
}

std::vector<ControlChart> SourceCharts(const Journal& journal, const std::string& name,
                                       const BaselineRule& baseline) {
    const Inputs backgrounds = BackgroundInputs(journal);
    const std::vector<ControlChart> backgroundCharts = BackgroundCharts(journal, baseline);
    Inputs efficiencies;
    for (const auto& [record, marker] : QcRecords(journal, QcMarker::Kind::Source, name)) {
        for (const auto& [threshold, gross] : RecordRates(*record)) {
            const auto b = backgrounds.find(threshold);
            efficiencies[threshold].push_back(EfficiencyPoint(
                *record, gross, threshold, marker, b == backgrounds.end() ? nullptr : &b->second,
                ChartAt(backgroundCharts, threshold)));
        }
    }
    Exclude(efficiencies, Exclusions(journal));
    std::vector<ControlChart> charts;
    for (auto& [threshold, inputs] : efficiencies) {
        charts.push_back(BuildControlChart("efficiency", threshold, std::move(inputs), baseline));
        if (const ControlChart* b = ChartAt(backgroundCharts, threshold))
            charts.back().background = b->limits;
    }
    return charts;
}

std::optional<DetectionLimit> ChartDetectionLimit(const ControlChart& chart,
                                                  std::optional<double> sampleSeconds) {
    const bool source = chart.quantity == "efficiency";
    const std::optional<ChartLimits>& b = source ? chart.background : chart.limits;
    if (!b || b->pooledSeconds <= 0) return std::nullopt;
    std::optional<double> efficiency;
    bool provisional = b->provisional;
    if (source) {
        if (!chart.limits) return std::nullopt;
        efficiency = chart.limits->mean;
        provisional = provisional || chart.limits->provisional;
    }
    const double rate = static_cast<double>(b->pooledCounts) / b->pooledSeconds;
    DetectionLimit d = CurrieDetectionLimit(
        rate, b->pooledSeconds, sampleSeconds.value_or(b->pooledSeconds / b->baselinePoints),
        efficiency);
    d.provisional = provisional;
    return d;
}

}  // namespace pulsedesk::analysis
