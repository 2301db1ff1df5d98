#include "journal/QaVerdict.h"

#include "analysis/Plateau.h"
#include "config/Cp1251.h"
#include "analysis/QcCharts.h"
#include "journal/JournalText.h"
#include "journal/ReportCommands.h"
#include "reports/ReportError.h"

namespace pulsedesk::journal {

namespace an = pulsedesk::analysis;

namespace {

void Print(const std::string& text, std::FILE* out) {
    std::fwrite(text.data(), 1, text.size(), out);
    std::fflush(out);
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
    int code = 0;
    std::string text = RecordHeading(record);
    for (const an::ControlChart& chart : QcChartsOf(journal, o)) {
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

int Plateau(const an::JournalRecord& record, const JournalOptions& o, std::FILE* out) {
    const an::PlateauResult result = an::FindPlateau(an::PlateauPoints(record), o.limit, o.pick);
    Print(RecordHeading(record) + PlateauText(result), out);
    return result.chosenThresholdMv ? 0 : kQaFailed;
}

}  // namespace

int JudgeQaRecord(const JournalOptions& o, const std::string& folder, std::FILE* out,
                  std::FILE* err) {
    const an::Journal journal = ReadJournalOf(folder, err);
    const an::JournalRecord& record = NewestMarked(journal, o.marker, folder);
    if (o.action == "plateau") return Plateau(record, o, out);
    if (o.action == "chi-square") return ChiSquare(journal, record, out);
    return Charted(journal, record, o, out);
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

}  // namespace pulsedesk::journal
