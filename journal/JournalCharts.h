// The journal's figures as charts for pulseplot: control charts, a record's series and the
// counting curve, titled, with units, limits and judgements as a reader of the chart needs them.
#pragma once

#include <optional>

#include "analysis/ControlChart.h"
#include "analysis/Journal.h"
#include "analysis/Plateau.h"
#include "analysis/SeriesStats.h"
#include "plot/Chart.h"

namespace pulsedesk::journal {

// One threshold's control chart; `name` is the check source's (empty for the background).
// Only the points within `months` are drawn; the limits stay the baseline's.
plot::Chart ControlChartOf(const analysis::ControlChart& chart, const std::string& name,
                           const analysis::BaselineRule& baseline,
                           const analysis::JournalFilter& months = {});

// A record's counts one after the other with their Poisson bars and the mean; rates instead
// when the count times differ.
plot::Chart SeriesChartOf(const analysis::JournalRecord& record,
                          const analysis::SeriesStats& stats);

// Rate against threshold, the flat runs shaded and the working threshold marked.
plot::Chart PlateauChartOf(const analysis::JournalRecord& record,
                           const analysis::PlateauResult& result);

// "0.520" for a value whose uncertainty is 0.040: two significant digits of the uncertainty.
std::string Rounded(double value, double uncertainty);

}  // namespace pulsedesk::journal
