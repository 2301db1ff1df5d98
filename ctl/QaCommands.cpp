#include "ctl/QaCommands.h"

#include <cmath>

#include "analysis/QcCharts.h"
#include "config/Cp1251.h"
#include "ctl/JournalText.h"
#include "ctl/ReportCommands.h"
#include "link/protocol.h"
#include "reports/ReportError.h"

namespace pulsedesk::ctl {

namespace an = pulsedesk::analysis;

namespace {

constexpr double kCodeMv = 2.5;

void Print(const std::string& text, std::FILE* out) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
}

MeasureOptions SeriesOf(const JournalOptions& o, const std::string& folder) {
    MeasureOptions m;
    m.mode = 1;
    m.time = o.time;
    m.repeat = o.repeat;
    m.threshold = o.threshold;
    m.reportFolder = folder;
    m.description = o.marker;
    return m;
}

// The record just written: the newest one with the marker.
const an::JournalRecord& NewestMarked(const an::Journal& journal, const std::string& marker,
                                      const std::string& folder) {
    const an::JournalRecord* record = nullptr;
    for (const an::JournalRecord& r : journal.records)
        if (r.FirstLine() == marker && (record == nullptr || record->id < r.id)) record = &r;
    if (record == nullptr)
        throw reports::ReportError("the record \"" + marker + "\" just written is not in " +
                                   folder);
    return *record;
}

int ChiSquare(const an::Journal& journal, const an::JournalRecord& record, std::FILE* out) {
    const an::ChiSquareVerdict verdict = an::JudgeChiSquare(journal, record);
    std::string text = RecordHeading(record) + StatsText(an::RecordSeriesStats(record));
    if (verdict == an::ChiSquareVerdict::Recount) text += "verdict: recount (one failure)\n";
    if (verdict == an::ChiSquareVerdict::OutOfService)
        text += "verdict: out of service (the previous test of this name failed too)\n";
    Print(text, out);
    if (verdict == an::ChiSquareVerdict::Pass) return 0;
    return verdict == an::ChiSquareVerdict::Recount ? kQaRecount : kQaFailed;
}

int ExitCodeOf(an::PointStatus status) {
    switch (status) {
        case an::PointStatus::Recount:
            return kQaRecount;
        case an::PointStatus::OutOfService:
        case an::PointStatus::Refused:
            return kQaFailed;
        case an::PointStatus::Trend:
            return kQaTrend;
        default:
            break;
    }
    return 0;
}

// The new record's point on the chart of each threshold it was counted at; the worst verdict.
int Charted(const an::Journal& journal, const an::JournalRecord& record, const JournalOptions& o,
            std::FILE* out) {
    const auto charts = o.action == "source" ? an::SourceCharts(journal, o.name, o.baseline)
                                             : an::BackgroundCharts(journal, o.baseline);
    int code = 0;
    std::string text = RecordHeading(record);
    for (const an::ControlChart& chart : charts) {
        for (const an::ChartPoint& p : chart.points) {
            if (p.record != record.id) continue;
            text += "\n" + ChartText(chart, an::ChartDetectionLimit(chart, o.sampleSeconds));
            text += "new point: " + std::string(an::StatusName(p.status)) +
                    (p.rule.empty() ? "" : " (" + config::VisibleText(p.rule) + ")") + "\n";
            const int verdict = ExitCodeOf(p.status);
            if (verdict == kQaFailed || (verdict == kQaRecount && code != kQaFailed) || code == 0)
                code = verdict;
        }
    }
    Print(text, out);
    return code;
}

// Thresholds from --from to --to, each as its code's millivolts.
std::vector<std::int32_t> SweepOf(const JournalOptions& o) {
    std::vector<std::int32_t> sweep;
    const long first = std::lround(o.fromMv / kCodeMv);
    const long step = std::lround(o.stepMv / kCodeMv);
    for (long code = first; code * kCodeMv <= o.toMv; code += step)
        sweep.push_back(MillivoltsForCode(static_cast<int>(code)));
    return sweep;
}

void RestoreThreshold(Counter& counter, std::uint16_t code) {
    counter.Command(
        SetThresholdFrame(MillivoltsForCode(static_cast<int>(code) - link::kThresholdZeroCode)),
        "the earlier threshold");
}

// Counts the series and gives the counter its earlier threshold back, also after Ctrl-C, a lost
// link or a full disk, if it listens.
void MeasureRestoring(Counter& counter, const MeasureOptions& m, const MeasureFunction& measure) {
    const std::uint16_t earlier = counter.Status().ThresholdCode();
    try {
        measure(m);
    } catch (...) {
        try {
            RestoreThreshold(counter, earlier);
        } catch (const LinkError&) {
        }
        throw;
    }
    RestoreThreshold(counter, earlier);
}

int Plateau(Counter& counter, const JournalOptions& o, const std::string& folder,
            const MeasureFunction& measure, std::FILE* out, std::FILE* err) {
    MeasureOptions m = SeriesOf(o, folder);
    m.sweep = SweepOf(o);
    m.repeat = static_cast<int>(m.sweep.size());
    MeasureRestoring(counter, m, measure);
    const an::Journal journal = ReadJournalOf(folder, err);
    const an::JournalRecord& record = NewestMarked(journal, o.marker, folder);
    const an::PlateauResult result = an::FindPlateau(an::PlateauPoints(record), o.limit, o.pick);
    Print(RecordHeading(record) + PlateauText(result), out);
    return result.chosenThresholdMv ? 0 : kQaFailed;
}

}  // namespace

std::int32_t MillivoltsForCode(int offset) {
    const auto magnitude = static_cast<std::int32_t>(std::ceil(std::abs(offset) * kCodeMv));
    return offset < 0 ? -magnitude : magnitude;
}

int RunExclude(const JournalOptions& o, const std::string& folder,
               const std::function<void(const std::string&)>& write, std::FILE* out,
               std::FILE* err) {
    const an::Journal journal = ReadJournalOf(folder, err);
    const an::JournalRecord& record = RecordOf(journal, *o.record, folder);
    an::QcMarker marker = *an::ParseQcMarker(o.marker);
    marker.excluded = {record.id.year, record.id.number};
    const std::string text = an::MarkerText(marker);
    if (text.empty()) throw UsageError("qa exclude: the reason is too long for one line of 68");
    write(text);
    Print("written: " + config::VisibleText(text) + "\n", out);
    return 0;
}

int RunQa(Counter& counter, const JournalOptions& o, const std::string& folder,
          const MeasureFunction& measure, std::FILE* out, std::FILE* err) {
    if (o.action.empty()) return Plateau(counter, o, folder, measure, out, err);
    MeasureRestoring(counter, SeriesOf(o, folder), measure);
    const an::Journal journal = ReadJournalOf(folder, err);
    const an::JournalRecord& record = NewestMarked(journal, o.marker, folder);
    if (o.action == "chi-square") return ChiSquare(journal, record, out);
    return Charted(journal, record, o, out);
}

}  // namespace pulsedesk::ctl
