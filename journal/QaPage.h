// The QA page a lab prints for its binder: the period's QC control charts with their limits
// and detection limits, then every record of the period with its lines, statistics and, for
// a counting curve or a chi-square series, its chart. One self-contained HTML file.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis/ControlChart.h"
#include "analysis/Journal.h"
#include "plot/Chart.h"

namespace pulsedesk::journal {

struct QaPageOptions {
    std::string folder;              // named on the page
    analysis::JournalFilter months;  // the period; the control charts' limits use every month
    analysis::BaselineRule baseline;
    std::optional<double> sampleSeconds;  // for the detection limits
    std::string printedAt;                // "2026-04-01 10:15"
};

// Draws the charts as SVG documents, in order (pulseplot in the program, ChartSvgs).
using DrawCharts = std::function<std::vector<std::string>(const std::vector<plot::Chart>&)>;

// journal: the whole work folder's journal.
std::string QaPageHtml(const analysis::Journal& journal, const QaPageOptions& options,
                       const DrawCharts& draw);

// "2026-03", "2026-01 to 2026-03", "all months", ...
std::string PeriodText(const analysis::JournalFilter& months);

// "qa-2026-03.html", "qa-2026-01_2026-03.html", "qa-all.html", ...
std::string QaPageName(const analysis::JournalFilter& months);

}  // namespace pulsedesk::journal
