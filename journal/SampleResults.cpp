#include "journal/SampleResults.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "analysis/Decay.h"
#include "analysis/QcCharts.h"
#include "analysis/QcMarker.h"
#include "config/Cp1251.h"
#include "config/FileLookup.h"
#include "journal/Arguments.h"
#include "journal/JournalCharts.h"
#include "reports/ReportError.h"

namespace pulsedesk::journal {

namespace an = pulsedesk::analysis;

namespace {

// A mean of one point has no spread to tell its uncertainty by.
constexpr int kFewestEfficiencyPoints = 2;
// The result's expanded uncertainty as a lab states it.
constexpr double kCoverageK = 2;

template <class... Values>
std::string Format(const char* format, Values... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string At(std::int32_t thresholdMv) { return " at " + std::to_string(thresholdMv) + " mV"; }

// The first reason found stands.
void RefuseWith(an::SampleInputs& in, const std::string& why) {
    if (in.refused.empty()) in.refused = why;
}

std::vector<an::CountSample> CountsAt(const an::JournalRecord& record, std::int32_t thresholdMv) {
    std::vector<an::CountSample> counts;
    for (const an::JournalMeasurement& m : record.measurements)
        if (m.thresholdMv == thresholdMv) counts.push_back({m.count, m.CountTimeS()});
    return counts;
}

// "20 points 2026-03-02 … 2026-03-22 (frozen)"
std::string BaselineExtent(const an::ControlChart& chart) {
    const an::ChartLimits& l = *chart.limits;
    std::string text = Format("%d point%s", l.baselinePoints, l.baselinePoints == 1 ? "" : "s");
    if (!l.points.empty())
        text += " " + chart.points[l.points.front()].when.date.Text() + " … " +
                chart.points[l.points.back()].when.date.Text();
    return text + (l.provisional ? " (provisional)" : " (frozen)");
}

// The newest point on or before the day that no reviewer left out: the QA verdict that stood.
const an::ChartPoint* LastCheck(const an::ControlChart& chart, const an::CivilDate& day) {
    const an::ChartPoint* last = nullptr;
    for (const an::ChartPoint& p : chart.points)
        if (p.status != an::PointStatus::Excluded && p.when.date <= day) last = &p;
    return last;
}

std::string CheckText(const an::ChartPoint* p) {
    if (p == nullptr) return "no check on or before the record's day";
    return "last check " + p->when.date.Text() + ", record " + p->record.Text() + ": " +
           an::StatusName(p->status) + (p->rule.empty() ? "" : " (" + p->rule + ")");
}

// As qa judges it: beyond the action limits, or refused as implausible or saturated.
bool OutOfService(const an::ChartPoint* p) {
    return p != nullptr &&
           (p->status == an::PointStatus::OutOfService || p->status == an::PointStatus::Refused);
}

void SetAliquot(const SampleOptions& o, const an::SampleMarker& m, an::SampleInputs& in) {
    using Kind = an::Aliquot::Kind;
    const bool optionGiven = o.massKg || o.volumeL;
    const std::optional<double> mass = optionGiven ? o.massKg : m.massKg;
    const std::optional<double> volume = optionGiven ? o.volumeL : m.volumeL;
    const double u = o.aliquotUPercent.value_or(0) / 100;
    if (mass)
        in.aliquot = an::Aliquot{Kind::Mass, *mass, u};
    else if (volume)
        in.aliquot = an::Aliquot{Kind::Volume, *volume, u};
    else if (o.aliquotUPercent)
        RefuseWith(in, "--mass-u without a mass or volume (M=, V=, --mass or --volume)");
}

// --yield replaces the marker's Y= with its uncertainty; --yield-u alone the uncertainty only.
void SetYield(const SampleOptions& o, const an::SampleMarker& m, an::SampleInputs& in) {
    in.yield = o.yield ? *o.yield : m.yield.value_or(1);
    const std::optional<double> markerU = o.yield ? std::nullopt : m.yieldRelativeU;
    in.yieldRelativeU = o.yieldUPercent ? *o.yieldUPercent / 100 : markerU.value_or(0);
}

std::string SampledText(const SampleOptions& o) {
    return o.sampled->Text() + Format("T%02d:%02d", o.sampledMinute / 60, o.sampledMinute % 60);
}

}  // namespace

CertificateLookup SourcesFileCertificates() {
    return [](const std::string& name) {
        return config::FindSourceCertificate(
            config::SourcesFileCandidates(config::ProgramFolder(), config::RootsFromEnvironment()),
            name);
    };
}

SampleResults::SampleResults(const an::Journal& journal, const an::BaselineRule& baseline,
                             SampleOptions options, CertificateLookup certificates)
    : journal(journal),
      options(std::move(options)),
      certificates(std::move(certificates)),
      backgroundCharts(an::BackgroundCharts(journal, baseline)) {
    // Records come oldest first: the newest marker's U= stays.
    for (const auto& [record, marker] : an::QcRecords(journal, an::QcMarker::Kind::Source)) {
        if (sourceCharts.count(marker.name) == 0)
            sourceCharts[marker.name] = an::SourceCharts(journal, marker.name, baseline);
        if (marker.activityUPercent) markerUPercent[marker.name] = *marker.activityUPercent;
    }
}

std::vector<SampleReport> SampleResults::Of(const an::JournalRecord& record,
                                            const an::Checked<an::SampleMarker>& marker) const {
    std::set<std::int32_t> thresholds;
    for (const an::JournalMeasurement& m : record.measurements) thresholds.insert(m.thresholdMv);
    const an::SampleMarker m = marker.value.value_or(an::SampleMarker{});
    std::vector<SampleReport> reports;
    for (const std::int32_t thresholdMv : thresholds) {
        SampleReport report;
        report.date = record.date;
        an::SampleInputs& in = report.inputs;
        in.record = record.id;
        in.sample = m.id;
        in.thresholdMv = thresholdMv;
        in.gross = CountsAt(record, thresholdMv);
        in.alpha = options.alpha;
        in.beta = options.beta;
        in.gamma = options.gamma;
        if (!marker.value) RefuseWith(in, marker.reason);
        SetAliquot(options, m, in);
        SetYield(options, m, in);
        Background(record, report);
        Efficiency(record, m.source, report);
        Decay(record, report);
        report.result = an::ComputeSampleResult(in);
        reports.push_back(std::move(report));
    }
    return reports;
}

std::vector<SampleReport> SampleResults::InPeriod(const an::JournalFilter& months) const {
    std::vector<SampleReport> all;
    for (const an::JournalRecord& r : journal.records) {
        if (!months.Holds({r.date.year, r.date.month})) continue;
        const auto marker = an::ParseSampleMarker(r.FirstLine());
        if (!marker) continue;
        for (SampleReport& one : Of(r, *marker)) all.push_back(std::move(one));
    }
    return all;
}

void SampleResults::Background(const an::JournalRecord& record, SampleReport& report) const {
    an::SampleInputs& in = report.inputs;
    if (options.background) {
        const an::RecordId id = an::Resolve(*options.background, journal);
        const an::JournalRecord* paired = journal.Find(id);
        if (paired == nullptr) throw reports::ReportError("no background record " + id.Text());
        const std::vector<an::CountSample> lines = CountsAt(*paired, in.thresholdMv);
        in.background = an::PairedBackground(lines);
        in.backgroundFrom = "record " + id.Text();
        report.backgroundNote = "paired record " + id.Text() + " of " + paired->date.Text() +
                                Format(", %zu line%s", lines.size(), lines.size() == 1 ? "" : "s") +
                                At(in.thresholdMv);
        return;
    }
    const an::ControlChart* chart = an::ChartAt(backgroundCharts, in.thresholdMv);
    if (chart == nullptr || !chart->limits) {
        report.backgroundNote = "no QC BACKGROUND baseline" + At(in.thresholdMv);
        return;
    }
    const an::ChartLimits& l = *chart->limits;
    in.background = an::BaselineBackground(l.pooledCounts, l.pooledSeconds, l.extraSd);
    in.backgroundFrom = "baseline";
    report.backgroundNote = "QC BACKGROUND baseline" + At(in.thresholdMv) + ": " +
                            BaselineExtent(*chart) +
                            Format(", %llu counts, extra σ %.3g /s; ",
                                   static_cast<unsigned long long>(l.pooledCounts), l.extraSd) +
                            CheckText(LastCheck(*chart, record.date));
}

std::string SampleResults::SourceAt(std::int32_t thresholdMv, const std::string& markerSource,
                                    an::SampleInputs& in) const {
    if (!options.source.empty()) return options.source;
    if (!markerSource.empty()) return markerSource;
    std::vector<std::string> charted;
    for (const auto& [name, charts] : sourceCharts)
        if (const an::ControlChart* c = an::ChartAt(charts, thresholdMv); c && c->limits)
            charted.push_back(name);
    if (charted.size() == 1) return charted[0];
    if (charted.size() > 1) {
        std::string names;
        for (const std::string& name : charted) names += (names.empty() ? "" : ", ") + name;
        RefuseWith(in, "check sources " + names + " are charted" + At(thresholdMv) +
                           ": name one with --source or SRC=");
    }
    return {};
}

void SampleResults::Efficiency(const an::JournalRecord& record, const std::string& markerSource,
                               SampleReport& report) const {
    an::SampleInputs& in = report.inputs;
    const std::string at = At(in.thresholdMv);
    in.source = SourceAt(in.thresholdMv, markerSource, in);
    const auto charts = sourceCharts.find(in.source);
    const an::ControlChart* chart =
        charts == sourceCharts.end() ? nullptr : an::ChartAt(charts->second, in.thresholdMv);
    if (chart == nullptr || !chart->limits) {
        report.efficiencyNote = "no QC SOURCE " +
                                (in.source.empty() ? std::string() : in.source + " ") + "baseline" +
                                at;
        return;
    }
    const an::ChartLimits& l = *chart->limits;
    const an::ChartPoint* last = LastCheck(*chart, record.date);
    std::string& note = report.efficiencyNote;
    note = in.source + " baseline" + at + ": " + BaselineExtent(*chart) +
           Format(", mean %.6g, s %.3g; ", l.mean, l.sampleSd) + CheckText(last);
    double uPercent = 0, k = 1;
    const auto certificate = certificates ? certificates(in.source) : std::nullopt;
    const auto markerU = markerUPercent.find(in.source);
    if (certificate && !certificate->uPercent.empty()) {
        const std::string where = " (in [" + in.source + "] of " + certificate->file + ")";
        try {
            uPercent = ParseDecimal("U_percent" + where, certificate->uPercent, 0, 100);
            k = certificate->coverageK.empty()
                    ? 2
                    : ParseDecimal("Coverage_k" + where, certificate->coverageK, 1, 10);
        } catch (const UsageError& e) {
            return RefuseWith(in, e.what());
        }
        note += Format("; certificate U %.3g %% (k = %.3g), ", uPercent, k) + certificate->file;
    } else if (markerU != markerUPercent.end()) {
        uPercent = markerU->second;
        note += Format("; certificate u %.3g %%, the QC SOURCE marker's U=", uPercent);
    } else {
        note += "; no certificate uncertainty (sources.cfg, the marker's U=): none counted";
    }
    in.efficiency = an::BaselineEfficiency(l.mean, l.sampleSd, l.baselinePoints, uPercent, k);
    if (l.baselinePoints < kFewestEfficiencyPoints)
        RefuseWith(in, "the " + in.source + " baseline" + at +
                           " has one point: the spread of its mean is not known yet");
    if (OutOfService(last))
        RefuseWith(in, "the check source " + in.source + at + " is out of service on " +
                           record.date.Text() + " (record " + last->record.Text() + ": " +
                           an::StatusName(last->status) + ")");
}

void SampleResults::Decay(const an::JournalRecord& record, SampleReport& report) const {
    if (!options.sampled) return;
    an::SampleInputs& in = report.inputs;
    const auto f = an::DecayFactor(
        an::CountsSince(record, in.thresholdMv, *options.sampled, options.sampledMinute),
        options.halfLifeSeconds);
    const std::string to = "to the sampling time " + SampledText(options);
    if (!f.value) return RefuseWith(in, "the decay " + to + ": " + f.reason);
    in.decayFactor = *f.value;
    report.decayNote = Format("f = %.6g ", *f.value) + to + ", half-life " + options.halfLife;
}

std::string ResultLine(const an::SampleResult& r) {
    if (r.refused) return "refused: " + *r.refused;
    if (*r.detected) {
        const double expanded = kCoverageK * *r.u;
        return Rounded(*r.activity, expanded) + " ± " + Rounded(expanded, expanded) + " " + r.unit +
               Format(" (k = %g)", kCoverageK);
    }
    if (r.detectionLimit)
        return "< " + Rounded(*r.detectionLimit, *r.detectionLimit) + " " + r.unit;
    return "not detected (no detection limit exists)";
}

std::vector<std::pair<std::string, std::string>> ResultFacts(const SampleReport& report) {
    const an::SampleResult& r = report.result;
    const an::SampleInputs& in = report.inputs;
    const std::string unit = " " + r.unit;
    std::vector<std::pair<std::string, std::string>> facts{
        {"sample", (r.sample.empty() ? std::string("(no id)") : r.sample) + ", record " +
                       r.record.Text() + " of " + report.date.Text() + At(r.thresholdMv)},
        {"result", ResultLine(r)}};
    if (!r.refused) {
        facts.push_back({"decision", Format(*r.detected ? "detected: y %.6g above y* %.6g"
                                                        : "not detected: y %.6g not above y* %.6g",
                                            *r.activity, *r.decisionThreshold)});
        facts.push_back({"activity y", Format("%.6g%s, u(y) %.6g%s", *r.activity, unit.c_str(),
                                              *r.u, unit.c_str())});
        facts.push_back({"decision threshold y*",
                         Format("%.6g%s (α = %g)", *r.decisionThreshold, unit.c_str(), *r.alpha)});
        facts.push_back({"detection limit y#",
                         r.detectionLimit
                             ? Format("%.6g%s (β = %g)", *r.detectionLimit, unit.c_str(), *r.beta)
                             : Format("none exists: 1 − k² u_rel²(w) ≤ 0 with u_rel(w) = %.3g %%",
                                      *r.wRelativeU * 100)});
        if (*r.detected) {
            facts.push_back({"coverage interval", Format("%.6g … %.6g%s (γ = %g)", *r.lower,
                                                         *r.upper, unit.c_str(), *r.gamma)});
            facts.push_back(
                {"best estimate", Format("%.6g%s, u %.6g%s", *r.bestEstimate, unit.c_str(),
                                         *r.bestEstimateU, unit.c_str())});
        }
        facts.push_back({"Currie", Format("L_C %.1f counts, L_D %.1f counts, MDA %.4g%s",
                                          *r.currieLc, *r.currieLd, *r.mda, unit.c_str())});
    }
    facts.push_back(
        {"gross", Format("%llu counts in %.6g s", static_cast<unsigned long long>(r.grossCount),
                         r.grossSeconds.value_or(0))});
    facts.push_back(
        {"background", (r.backgroundRate ? Format("%.6g /s, u %.3g /s, %.6g s: ", *r.backgroundRate,
                                                  *r.backgroundU, *r.backgroundSeconds)
                                         : std::string()) +
                           report.backgroundNote});
    facts.push_back({"efficiency", (r.efficiency ? Format("%.6g, u_rel %.3g %%: ", *r.efficiency,
                                                          *r.efficiencyRelativeU * 100)
                                                 : std::string()) +
                                       report.efficiencyNote});
    if (!in.aliquot)
        facts.push_back({"mass or volume", "none: the result is in Bq"});
    else
        facts.push_back(in.aliquot->kind == an::Aliquot::Kind::Mass
                            ? std::pair("mass", Format("%.6g kg, u_rel %.3g %%", in.aliquot->value,
                                                       in.aliquot->relativeU * 100))
                            : std::pair("volume", Format("%.6g L, u_rel %.3g %%", in.aliquot->value,
                                                         in.aliquot->relativeU * 100)));
    facts.push_back({"yield", Format("%.6g, u_rel %.3g %%", in.yield, in.yieldRelativeU * 100)});
    if (!report.decayNote.empty()) facts.push_back({"decay", report.decayNote});
    if (r.w)
        facts.push_back(
            {"calibration w", Format("%.6g, u_rel %.3g %%", *r.w, *r.wRelativeU * 100)});
    return facts;
}

std::string ResultText(const SampleReport& report) {
    constexpr std::size_t kNameWidth = 23;
    std::string text;
    for (const auto& [name, value] : ResultFacts(report))
        text += name + std::string(kNameWidth - std::min(name.size(), kNameWidth - 1), ' ') +
                config::VisibleText(value) + "\n";
    return text;
}

}  // namespace pulsedesk::journal
