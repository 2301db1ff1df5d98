#include "journal/PictureCommands.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "analysis/Plateau.h"
#include "analysis/QcCharts.h"
#include "analysis/SeriesStats.h"
#include "fileio/DurableFileWriter.h"
#include "journal/Arguments.h"
#include "journal/JournalCharts.h"
#include "journal/PlotProcess.h"
#include "journal/QaPage.h"
#include "journal/ReportCommands.h"
#include "journal/ResultsPage.h"
#include "reports/LocalTime.h"
#include "reports/ReportError.h"

namespace pulsedesk::journal {
namespace {

namespace an = pulsedesk::analysis;

std::vector<plot::Chart> ControlCharts(const an::Journal& journal, const JournalOptions& o) {
    std::vector<plot::Chart> charts;
    for (const an::ControlChart& chart : QcChartsOf(journal, o)) {
        plot::Chart c = ControlChartOf(chart, o.name, o.baseline, o.months);
        if (!c.series.empty() && !c.series[0].points.empty()) charts.push_back(std::move(c));
    }
    if (charts.empty())
        throw reports::ReportError(
            std::string("no ") + (o.sourceChart ? "QC SOURCE " + o.name : "QC BACKGROUND") +
            " record" + (o.months.from || o.months.to ? " in the period" : ""));
    return charts;
}

std::vector<plot::Chart> PlotCharts(const an::Journal& journal, const JournalOptions& o,
                                    const std::string& folder) {
    if (o.chart == "control") return ControlCharts(journal, o);
    const an::JournalRecord& record = RecordOf(journal, *o.record, folder);
    if (o.chart == "series") return {SeriesChartOf(record, an::RecordSeriesStats(record))};
    return {PlateauChartOf(record, an::FindPlateau(an::PlateauPoints(record), o.limit, o.pick))};
}

// "2026-04-01 10:15", the page's print date.
std::string LocalNow() {
    const reports::LocalTime t = reports::SystemLocalTime();
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute);
    return text;
}

void WritePage(const an::Journal& journal, const JournalOptions& o, const std::string& folder,
               const std::string& pulseplot, std::FILE* out) {
    std::error_code failed;
    std::filesystem::create_directories(o.out, failed);
    if (failed)
        throw reports::ReportError("cannot make the folder " + o.out + ": " + failed.message());
    const QaPageOptions page{folder, o.months, o.baseline, o.sampleSeconds, LocalNow()};
    const std::string html = o.resultsOnly
                                 ? ResultsPageHtml(journal, page)
                                 : QaPageHtml(journal, page, [&pulseplot](const auto& charts) {
                                       return ChartSvgs(charts, pulseplot);
                                   });
    const std::string path =
        o.out + "/" + (o.resultsOnly ? ResultsPageName(o.months) : QaPageName(o.months));
    fileio::DurableFileWriter().Replace(path, html);
    std::fprintf(out, "%s\n", path.c_str());
}

}  // namespace

std::string ParsePlotChart(const std::string& word) {
    if (word != "control" && word != "series" && word != "plateau")
        Refuse("report plot: control, series or plateau is needed");
    return word;
}

void CheckPictureOptions(const JournalOptions& o) {
    if (o.out.empty()) Refuse("report " + o.action + ": --out is needed");
    std::string lower = o.out;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (o.action == "plot" && !lower.ends_with(".svg") && !lower.ends_with(".png"))
        Refuse("report plot: --out " + o.out + ": the name must end in .svg or .png");
    if ((o.chart == "series" || o.chart == "plateau") && !o.record)
        Refuse("report plot " + o.chart + ": --record [YYYY:]N is needed");
}

int RunPictureCommand(const JournalOptions& o, const std::string& folder,
                      const std::string& pulseplot, std::FILE* out, std::FILE* err) {
    // The control charts' baselines lie before any period: the whole journal is read.
    const an::Journal journal = ReadJournalOf(folder, err);
    if (o.action == "html")
        WritePage(journal, o, folder, pulseplot, out);
    else
        WritePicture(PlotCharts(journal, o, folder), o.out, pulseplot);
    return 0;
}

}  // namespace pulsedesk::journal
