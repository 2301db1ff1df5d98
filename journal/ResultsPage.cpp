#include "journal/ResultsPage.h"

#include "journal/JournalCharts.h"

namespace pulsedesk::journal {

namespace an = pulsedesk::analysis;

namespace {

std::string Title(const an::JournalFilter& months) {
    return "Sample results, " + PeriodText(months);
}

HtmlPage::Row SummaryRow(const SampleReport& report) {
    const an::SampleResult& r = report.result;
    const auto figure = [&r](const std::optional<double>& value) {
        return value ? Rounded(*value, *value) + " " + r.unit : std::string("—");
    };
    return {r.sample,
            r.record.Text(),
            std::to_string(r.thresholdMv),
            ResultLine(r),
            figure(r.decisionThreshold),
            figure(r.detectionLimit)};
}

}  // namespace

void SampleResultsSection(HtmlPage& page, const std::vector<SampleReport>& results) {
    page.Heading(2, "Sample results");
    if (results.empty()) return page.Paragraph("No SAMPLE record in this period.", "note");
    std::vector<HtmlPage::Row> rows;
    for (const SampleReport& report : results) rows.push_back(SummaryRow(report));
    page.Table({{"sample"},
                {"record"},
                {"threshold (mV)", true},
                {"result"},
                {"decision threshold", true},
                {"detection limit", true}},
               rows);
    for (const SampleReport& report : results) {
        const an::SampleResult& r = report.result;
        page.OpenBlock();
        page.Heading(3, "Sample " + r.sample + " · record " + r.record.Text() + " · " +
                            std::to_string(r.thresholdMv) + " mV");
        page.Paragraph(ResultLine(r), r.refused ? "bad" : "");
        page.Facts(ResultFacts(report));
        page.CloseBlock();
    }
}

std::string ResultsPageHtml(const an::Journal& journal, const QaPageOptions& o) {
    HtmlPage page(Title(o.months));
    page.Heading(1, Title(o.months));
    page.Paragraph("Work folder " + o.folder + " · printed " + o.printedAt, "note");
    SampleResultsSection(
        page, SampleResults(journal, o.baseline, {}, SourcesFileCertificates()).InPeriod(o.months));
    return page.Text();
}

std::string ResultsPageName(const an::JournalFilter& months) {
    return "results" + QaPageName(months).substr(std::string("qa").size());
}

}  // namespace pulsedesk::journal
