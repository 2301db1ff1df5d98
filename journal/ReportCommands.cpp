#include "journal/ReportCommands.h"

#include <nlohmann/json.hpp>
#include <set>

#include "analysis/Export.h"
#include "analysis/Json.h"
#include "analysis/QcCharts.h"
#include "analysis/SampleMarker.h"
#include "config/Cp1251.h"
#include "journal/Arguments.h"
#include "journal/JournalText.h"
#include "journal/PictureCommands.h"
#include "journal/PlotProcess.h"
#include "journal/SampleResults.h"
#include "reports/FileAccess.h"
#include "reports/ReportError.h"

namespace pulsedesk::journal {

namespace an = pulsedesk::analysis;

namespace {

void Print(const std::string& text, std::FILE* out) {
    std::fwrite(text.data(), 1, text.size(), out);
}

void PrintJson(const an::Json& json, std::FILE* out) { Print(json.dump(2) + "\n", out); }

int List(const an::Journal& journal, bool json, std::FILE* out) {
    an::Json rows = an::Json::array();
    std::string text = "record        date        lines  description\n";
    for (const an::JournalRecord& r : journal.records) {
        rows.push_back({{"record", r.id.Text()},
                        {"year", r.id.year},
                        {"number", r.id.number},
                        {"date", r.date.Text()},
                        {"measurements", r.measurements.size()},
                        {"description", r.FirstLine()}});
        char line[64];
        std::snprintf(line, sizeof line, "%-13s %s %6zu  ", r.id.Text().c_str(),
                      r.date.Text().c_str(), r.measurements.size());
        text += line + config::VisibleText(r.FirstLine()) + "\n";
    }
    json ? PrintJson(rows, out) : Print(text, out);
    return 0;
}

int Stats(const an::Journal& journal, const JournalOptions& o, const std::string& folder,
          std::FILE* out) {
    const an::JournalRecord& record = RecordOf(journal, *o.record, folder);
    an::Json series = an::Json::array();
    std::string text = RecordHeading(record);
    for (const an::ThresholdSeries& s : an::RecordThresholdSeries(record)) {
        series.push_back({{"threshold_mv", s.thresholdMv}, {"stats", s.stats}});
        text += "\nat " + std::to_string(s.thresholdMv) + " mV\n" + StatsText(s.stats);
    }
    if (o.json)
        PrintJson(
            {{"record", record.id.Text()}, {"description", record.description}, {"series", series}},
            out);
    else
        Print(text, out);
    return 0;
}

// "Cs137, Sr90": the check sources the journal has records of.
std::string SourceNames(const an::Journal& journal) {
    std::set<std::string> names;
    for (const auto& [record, marker] : an::QcRecords(journal, an::QcMarker::Kind::Source))
        names.insert(marker.name);
    std::string text;
    for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
    return text.empty() ? "none" : text;
}

int Qc(const an::Journal& journal, const JournalOptions& o, std::FILE* out, std::FILE* err) {
    const auto charts = QcChartsOf(journal, o);
    an::Json json = an::Json::array();
    std::string text;
    for (const an::ControlChart& chart : charts) {
        const auto limit = an::ChartDetectionLimit(chart, o.sampleSeconds);
        an::Json one = chart;
        one["detection_limit"] = limit ? an::Json(*limit) : an::Json(nullptr);
        json.push_back(std::move(one));
        text += (text.empty() ? "" : "\n") + ChartText(chart, limit);
    }
    if (charts.empty() && o.sourceChart) {
        std::fprintf(err, "pulsectl: no QC SOURCE %s records; the sources there are: %s\n",
                     config::VisibleText(o.name).c_str(),
                     config::VisibleText(SourceNames(journal)).c_str());
        return 1;
    }
    if (charts.empty()) text = "no QC BACKGROUND records\n";
    o.json ? PrintJson({{"charts", json}}, out) : Print(text, out);
    return 0;
}

// The record's results at each threshold, as text or JSON; exit 1 when one is refused.
int Result(const an::Journal& journal, const JournalOptions& o, const std::string& folder,
           std::FILE* out, std::FILE* err) {
    const an::JournalRecord& record = RecordOf(journal, *o.record, folder);
    const auto marker = an::ParseSampleMarker(record.FirstLine());
    if (!marker)
        throw reports::ReportError("record " + record.id.Text() +
                                   " is no sample: its description does not start with SAMPLE");
    const std::vector<SampleReport> reports =
        SampleResults(journal, o.baseline, o.sample, SourcesFileCertificates()).Of(record, *marker);
    if (reports.empty())
        throw reports::ReportError("record " + record.id.Text() + " has no measurement line");
    std::vector<an::SampleResult> results;
    std::string text;
    for (const SampleReport& report : reports) {
        results.push_back(report.result);
        text += (text.empty() ? "" : "\n") + ResultText(report);
    }
    o.json ? Print(an::SampleResultsJson(results), out) : Print(text, out);
    int code = 0;
    for (const an::SampleResult& r : results) {
        if (!r.refused) continue;
        std::fprintf(err, "pulsectl: record %s at %d mV: refused: %s\n", r.record.Text().c_str(),
                     r.thresholdMv, config::VisibleText(*r.refused).c_str());
        code = 1;
    }
    return code;
}

// Every sample result of the period, one row each; refused ones carry their reason.
int Results(const an::Journal& journal, const JournalOptions& o, std::FILE* out) {
    std::vector<an::SampleResult> results;
    for (const SampleReport& report :
         SampleResults(journal, o.baseline, o.sample, SourcesFileCertificates()).InPeriod(o.months))
        results.push_back(report.result);
    Print(o.csv ? an::SampleResultsCsv(results) : an::SampleResultsJson(results), out);
    return 0;
}

}  // namespace

std::string JournalFolder(const std::string& given, const config::ConfigFile& config,
                          const std::string& programFolder) {
    if (!given.empty()) return given;
    // Without the panel's settings there is no telling where its reports are.
    if (!config.IsOpen())
        throw UsageError("no --report-folder, and no settings file " + config.FileName() +
                         " to name the work folder");
    const std::string configured = config::Cp1251ToUtf8(
        config.ReadConfigString(config::ConfigSection::SYSTEM, config::keys::kWorkFolder));
    return configured.empty() ? programFolder : configured;
}

namespace {

void CheckFolder(const std::string& folder) {
    if (!reports::PathExists(folder)) throw reports::ReportError("no report folder " + folder);
}

// Each file's rows are written as it is read, on every processor: a year of records is never
// held at once.
int ExportAll(const JournalOptions& o, const std::string& folder, std::FILE* out, std::FILE* err) {
    CheckFolder(folder);
    const an::ExportFormat format = o.csv ? an::ExportFormat::Csv : an::ExportFormat::Json;
    an::ExportWriter writer(format, [out](std::string_view piece) {
        std::fwrite(piece.data(), 1, piece.size(), out);
    });
    const an::Journal rest = an::WriteJournal(
        folder, o.months,
        [format](an::TextRoom room) {
            return std::make_unique<an::ExportRows>(format, std::move(room));
        },
        [&writer](std::string_view rows) { writer.Add(rows); });
    writer.Finish();
    PrintProblems(rest, err);
    return 0;
}

}  // namespace

an::Journal ReadJournalOf(const std::string& folder, std::FILE* err,
                          const an::JournalFilter& filter) {
    CheckFolder(folder);
    an::Journal journal = an::ReadJournal(folder, filter);
    PrintProblems(journal, err);
    return journal;
}

const an::JournalRecord& RecordOf(const an::Journal& journal, const an::RecordRef& ref,
                                  const std::string& folder) {
    const an::RecordId id = an::Resolve(ref, journal);
    const an::JournalRecord* record = journal.Find(id);
    if (record == nullptr) throw reports::ReportError("no record " + id.Text() + " in " + folder);
    return *record;
}

std::vector<an::ControlChart> QcChartsOf(const an::Journal& journal, const JournalOptions& o) {
    return o.sourceChart ? an::SourceCharts(journal, o.name, o.baseline)
                         : an::BackgroundCharts(journal, o.baseline);
}

int RunReport(const JournalOptions& o, const std::string& folder, std::FILE* out, std::FILE* err) {
    if (o.action == "plot" || o.action == "html")
        return RunPictureCommand(o, folder, PulseplotPath(), out, err);
    if (o.action == "result" || o.action == "results") {
        // The baselines lie before any period: the whole journal is read.
        const an::Journal journal = ReadJournalOf(folder, err);
        return o.action == "result" ? Result(journal, o, folder, out, err)
                                    : Results(journal, o, out);
    }
    if (o.action == "export" && !o.record) return ExportAll(o, folder, out, err);
    const an::Journal journal = ReadJournalOf(folder, err, o.months);
    if (o.action == "list") return List(journal, o.json, out);
    if (o.action == "stats") return Stats(journal, o, folder, out);
    if (o.action == "qc") return Qc(journal, o, out, err);
    const an::RecordId only = RecordOf(journal, *o.record, folder).id;
    Print(o.csv ? an::ExportCsv(journal, only) : an::ExportJson(journal, only), out);
    return 0;
}

}  // namespace pulsedesk::journal
