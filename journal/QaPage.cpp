#include "journal/QaPage.h"

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <tuple>

#include "analysis/DetectionLimit.h"
#include "analysis/Plateau.h"
#include "analysis/QcCharts.h"
#include "analysis/QcMarker.h"
#include "analysis/SeriesStats.h"
#include "journal/HtmlPage.h"
#include "journal/JournalCharts.h"
#include "journal/ResultsPage.h"

namespace pulsedesk::journal {
namespace {

namespace an = pulsedesk::analysis;

template <class... Values>
std::string Format(const char* format, Values... values) {
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

std::string MonthText(const an::YearMonth& m) { return Format("%04d-%02d", m.year, m.month); }

}  // namespace

std::string PeriodText(const an::JournalFilter& months) {
    if (!months.from && !months.to) return "all months";
    if (months.from && months.to && *months.from == *months.to) return MonthText(*months.from);
    return (months.from ? MonthText(*months.from) : std::string("the beginning")) + " to " +
           (months.to ? MonthText(*months.to) : std::string("the latest month"));
}

namespace {

bool InPeriod(const an::CivilDate& day, const an::JournalFilter& months) {
    return months.Holds({day.year, day.month});
}

class PageBuilder {
  public:
    PageBuilder(const an::Journal& journal, const QaPageOptions& o)
        : journal(journal), o(o), page("Counting QA, " + PeriodText(o.months)) {}

    std::string Build(const DrawCharts& draw) {
        page.Heading(1, "Counting QA, " + PeriodText(o.months));
        page.Paragraph("Work folder " + o.folder + " · printed " + o.printedAt, "note");
        Instruments();
        Problems();
        page.Heading(2, "Background");
        ControlCharts(an::BackgroundCharts(journal, o.baseline), "", "QC BACKGROUND");
        std::set<std::string> sources;
        for (const auto& [record, marker] : an::QcRecords(journal, an::QcMarker::Kind::Source))
            sources.insert(marker.name);
        for (const std::string& name : sources) {
            page.Heading(2, "Check source " + name);
            ControlCharts(an::SourceCharts(journal, name, o.baseline), name, "QC SOURCE " + name);
        }
        SampleResultsSection(
            page,
            SampleResults(journal, o.baseline, {}, SourcesFileCertificates()).InPeriod(o.months));
        Records();
        Review();
        return page.Text(charts.empty() ? std::vector<std::string>{} : draw(charts));
    }

  private:
    const an::Journal& journal;
    const QaPageOptions& o;
    HtmlPage page;
    std::vector<plot::Chart> charts;

    void Figure(plot::Chart chart) {
        charts.push_back(std::move(chart));
        page.Figure();
    }

    // The instruments the headers of the period's report files name, each with the days of
    // its records: a change of counter or firmware within the period shows here.
    void Instruments() {
        std::map<std::string, std::pair<an::CivilDate, an::CivilDate>> days;  // by file
        for (const an::JournalRecord& r : journal.records) {
            if (!InPeriod(r.date, o.months)) continue;
            auto [at, fresh] = days.try_emplace(r.file, r.date, r.date);
            at->second.first = std::min(at->second.first, r.date);
            at->second.second = std::max(at->second.second, r.date);
        }
        using Identity = std::tuple<std::string, std::uint32_t, int>;
        std::map<Identity, std::pair<an::CivilDate, an::CivilDate>> spans;
        for (const an::JournalInstrument& i : journal.instruments) {
            const auto file = days.find(i.file);
            if (file == days.end()) continue;
            auto [at, fresh] = spans.try_emplace({i.model, i.serial, i.firmware}, file->second);
            at->second.first = std::min(at->second.first, file->second.first);
            at->second.second = std::max(at->second.second, file->second.second);
        }
        page.Heading(2, "Instrument");
        if (spans.empty())
            return page.Paragraph("No report header of this period names the instrument.",
                                  "note");
        std::vector<HtmlPage::Row> rows;
        for (const auto& [identity, span] : spans) {
            const auto& [model, serial, firmware] = identity;
            rows.push_back({model, Format("%04u", serial),
                            Format("%d.%d", firmware / 10, firmware % 10), span.first.Text(),
                            span.second.Text()});
        }
        page.Table({{"model"}, {"serial", true}, {"firmware"}, {"records from"}, {"to"}}, rows);
    }

    void Review() {
        page.OpenBlock();
        page.Heading(2, "Review");
        page.Paragraph("Charts, verdicts and records above reviewed:", "note");
        page.BlankFields({"name", "date", "signature"});
        page.CloseBlock();
    }

    void Problems() {
        if (journal.problems.empty()) return;
        page.Heading(2, "Lines not read");
        std::vector<HtmlPage::Row> rows;
        for (const an::JournalProblem& p : journal.problems)
            rows.push_back({p.file, p.line > 0 ? std::to_string(p.line) : "", p.reason});
        page.Table({{"file"}, {"line", true}, {"why"}}, rows);
    }

    void ControlCharts(const std::vector<an::ControlChart>& all, const std::string& name,
                       const std::string& marker) {
        bool any = false;
        for (const an::ControlChart& chart : all) {
            std::vector<const an::ChartPoint*> inPeriod;
            for (const an::ChartPoint& p : chart.points)
                if (InPeriod(p.when.date, o.months)) inPeriod.push_back(&p);
            if (inPeriod.empty()) continue;
            any = true;
            page.OpenBlock();
            Figure(ControlChartOf(chart, name, o.baseline, o.months));
            ChartFacts(chart, inPeriod);
            page.CloseBlock();
        }
        if (!any) page.Paragraph("No " + marker + " record in this period.", "note");
    }

    void ChartFacts(const an::ControlChart& chart,
                    const std::vector<const an::ChartPoint*>& points) {
        std::vector<std::pair<std::string, std::string>> facts;
        if (chart.limits) {
            const an::ChartLimits& l = *chart.limits;
            facts.push_back(
                {"baseline",
                 Format("%d points%s, mean %s, extra σ %s; limits per "
                        "point from its own counting precision",
                        l.baselinePoints, l.provisional ? " (provisional)" : " (frozen)",
                        Rounded(l.mean, l.sigma).c_str(), Rounded(l.extraSd, l.sigma).c_str())});
        }
        int count[7] = {};
        for (const an::ChartPoint* p : points) ++count[static_cast<int>(p->status)];
        using S = an::PointStatus;
        const auto n = [&count](S s) { return count[static_cast<int>(s)]; };
        facts.push_back(
            {"verdict", Format("%d judged: %d in control, %d recount, %d out of service, %d trend; "
                               "%d not judged, %d refused, %d excluded",
                               n(S::InControl) + n(S::Recount) + n(S::OutOfService) + n(S::Trend),
                               n(S::InControl), n(S::Recount), n(S::OutOfService), n(S::Trend),
                               n(S::NotJudged), n(S::Refused), n(S::Excluded))});
        const int flagged = static_cast<int>(points.size()) - n(S::InControl) - n(S::NotJudged);
        if (const auto limit = an::ChartDetectionLimit(chart, o.sampleSeconds)) {
            std::string text =
                Format("L_D = %.1f counts in %.6g s (background %.4g counts)", limit->limitCounts,
                       limit->sampleSeconds, limit->backgroundCounts);
            if (limit->mdaBq) text += Format("; MDA = %.4g Bq", *limit->mdaBq);
            text = Format("L_C = %.1f counts, ", limit->decisionCounts) + text +
                   (limit->provisional ? " (provisional)" : "");
            facts.push_back({"detection limit", text});
        }
        page.Facts(facts);
        if (flagged == 0) return;
        std::vector<HtmlPage::Row> rows;
        for (const an::ChartPoint* p : points)
            if (p->status != S::InControl && p->status != S::NotJudged)
                rows.push_back({p->record.Text(), p->when.Text(),
                                p->status == S::Refused
                                    ? std::string("—")
                                    : Rounded(p->value, p->uncertainty) + " ± " +
                                          Rounded(p->uncertainty, p->uncertainty),
                                std::string(an::StatusName(p->status)) + ": " + p->rule});
        page.Table({{"record"}, {"end of count"}, {"value", true}, {"judged"}}, rows);
    }

    void Records() {
        page.Heading(2, "Records");
        bool any = false;
        for (const an::JournalRecord& r : journal.records) {
            if (!InPeriod(r.date, o.months)) continue;
            any = true;
            Record(r);
        }
        if (!any) page.Paragraph("No record in this period.", "note");
    }

    void Record(const an::JournalRecord& r) {
        const an::SeriesStats stats = an::RecordSeriesStats(r);
        page.OpenBlock();
        page.Heading(3, "Record " + r.id.Text() + " · " + r.date.Text());
        page.Lines(r.description);
        Stats(r, stats);
        // A short table stays with its heading; a long one flows on, its head repeated.
        const bool shortTable = r.measurements.size() <= 12;
        if (shortTable && !r.measurements.empty()) page.Table(LineColumns(), LineRows(r));
        page.CloseBlock();
        if (!shortTable) page.Table(LineColumns(), LineRows(r));
        const auto marker = an::ParseQcMarker(r.FirstLine());
        if (marker && marker->kind == an::QcMarker::Kind::Plateau)
            Figure(PlateauChartOf(r, an::FindPlateau(an::PlateauPoints(r))));
        else if (marker && marker->kind == an::QcMarker::Kind::ChiSquare && stats.n >= 2)
            Figure(SeriesChartOf(r, stats));
    }

    // One line of figures under the record's heading, the chi-square test on its own line.
    void Stats(const an::JournalRecord& r, const an::SeriesStats& s) {
        if (s.n == 0) return page.Paragraph("no measurement with a count time", "note");
        std::set<std::int32_t> thresholds;
        for (const an::JournalMeasurement& m : r.measurements) thresholds.insert(m.thresholdMv);
        // Across thresholds the rate changes by design: a mean or a chi-square says nothing.
        if (thresholds.size() > 1) {
            return page.Paragraph(Format("%d measurements at %zu thresholds, %d … %d mV", s.n,
                                         thresholds.size(), *thresholds.begin(),
                                         *thresholds.rbegin()));
        }
        const std::string rate = Rounded(s.meanRate, s.meanRateStdError) + " ± " +
                                 Rounded(s.meanRateStdError, s.meanRateStdError) + " 1/s";
        if (s.n == 1)
            return page.Paragraph("1 measurement · count " + Format("%.0f", s.meanCount) +
                                  " · rate " + rate);
        page.Paragraph(Format("%d measurements · mean count %.1f · mean rate ", s.n, s.meanCount) +
                       rate +
                       Format(" · sd of counts %.1f (sample), %.1f (Poisson)", s.sampleSdCount,
                              s.poissonSdCount));
        if (!s.chiSquare) return;
        const an::ChiSquareTest& t = *s.chiSquare;
        page.Paragraph(Format("χ² = %.3f with %d df, p = %.3f: %s (accepted %.3f … %.3f)",
                              t.chiSquare, t.degreesOfFreedom, t.pValue, t.pass ? "pass" : "FAIL",
                              t.quantiles.lower, t.quantiles.upper),
                       t.pass ? "" : "bad");
    }

    static std::vector<HtmlPage::Column> LineColumns() {
        return {{"label"},          {"end"},         {"threshold (mV)", true},
                {"time (s)", true}, {"count", true}, {"rate (1/s)", true},
                {"u (1/s)", true},  {"cat."}};
    }

    static std::vector<HtmlPage::Row> LineRows(const an::JournalRecord& r) {
        std::vector<HtmlPage::Row> rows;
        for (const an::JournalMeasurement& m : r.measurements) {
            const auto rate = m.Rate();
            const auto u = m.RateUncertainty();
            rows.push_back({m.label, m.end.Text(), std::to_string(m.thresholdMv),
                            Format("%.2f", m.CountTimeS()), std::to_string(m.count),
                            rate ? Rounded(*rate, *u) : "", u ? Rounded(*u, *u) : "",
                            std::string(1, m.category)});
        }
        return rows;
    }
};

}  // namespace

std::string QaPageHtml(const an::Journal& journal, const QaPageOptions& options,
                       const DrawCharts& draw) {
    return PageBuilder(journal, options).Build(draw);
}

std::string QaPageName(const an::JournalFilter& months) {
    if (!months.from && !months.to) return "qa-all.html";
    const std::string from = months.from ? MonthText(*months.from) : "start";
    const std::string to = months.to ? MonthText(*months.to) : "latest";
    return from == to ? "qa-" + from + ".html" : "qa-" + from + "_" + to + ".html";
}

}  // namespace pulsedesk::journal
