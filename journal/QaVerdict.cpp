#include "journal/QaVerdict.h"

#include "analysis/Plateau.h"
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

int ChiSquare(const an::JournalRecord& record, std::FILE* out) {
    const an::SeriesStats stats = an::RecordSeriesStats(record);
    Print(RecordHeading(record) + StatsText(stats), out);
    return stats.chiSquare && stats.chiSquare->pass ? 0 : kQaFailed;
}

int ExitCodeOf(an::PointStatus status) {
    switch (status) {
        case an::PointStatus::Recount:
            return kQaRecount;
        case an::PointStatus::OutOfService:
            return kQaFailed;
        case an::PointStatus::InControl:
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
            text += "new point: " + std::string(an::StatusName(p.status)) + "\n";
            const int verdict = ExitCodeOf(p.status);
            if (verdict == kQaFailed || code == 0) code = verdict;
        }
    }
    Print(text, out);
    return code;
}

int Plateau(const an::JournalRecord& record, double limit, std::FILE* out) {
    const an::PlateauResult result = an::FindPlateau(an::PlateauPoints(record), limit);
    Print(RecordHeading(record) + PlateauText(result), out);
    return result.runs.empty() ? kQaFailed : 0;
}

}  // namespace

int JudgeQaRecord(const JournalOptions& o, const std::string& folder, std::FILE* out,
                  std::FILE* err) {
    const an::Journal journal = ReadJournalOf(folder, err);
    const an::JournalRecord& record = NewestMarked(journal, o.marker, folder);
    if (o.action == "plateau") return Plateau(record, o.limit, out);
    if (o.action == "chi-square") return ChiSquare(record, out);
    return Charted(journal, record, o, out);
}

}  // namespace pulsedesk::journal
