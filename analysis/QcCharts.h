// The journal's quality-control records as control charts, one chart per threshold: the
// background rate of "QC BACKGROUND" records and the counting efficiency of "QC SOURCE <name>"
// records, with the detection limit under each.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analysis/ControlChart.h"
#include "analysis/DetectionLimit.h"
#include "analysis/Journal.h"
#include "analysis/QcMarker.h"

namespace pulsedesk::analysis {

// One point per record and threshold: sum N / sum t over the record's lines at it, with the
// Poisson uncertainty sqrt(sum N) / sum t, by threshold. Lines without a count time are left
// out.
std::map<std::int32_t, ChartInput> RecordRates(const JournalRecord& record);

// The records whose first description line is a marker of this kind (and name, when given).
std::vector<std::pair<const JournalRecord*, QcMarker>> QcRecords(const Journal& journal,
                                                                 QcMarker::Kind kind,
                                                                 const std::string& name = {});

std::vector<ControlChart> BackgroundCharts(const Journal& journal, const BaselineRule& baseline);

// eps = (R_s - R_b) / A(t), A(t) = A0 2^(-days / half-life) from the reference day; R_b from
// the latest background record at the same threshold on or before the point's day, else the
// background chart's baseline mean; u(eps) = sqrt(N_s / t_s^2 + u(R_b)^2) / A, combined with
// the activity's relative uncertainty when the marker gives one.
std::vector<ControlChart> SourceCharts(const Journal& journal, const std::string& name,
                                       const BaselineRule& baseline);

// For a sample counted sampleSeconds (default: the background's count time) at the chart's
// threshold: the latest background point's rate and count time, and for a source chart the
// latest efficiency. Nothing for an empty chart or one without a background.
std::optional<DetectionLimit> ChartDetectionLimit(const ControlChart& chart,
                                                  std::optional<double> sampleSeconds);

}  // namespace pulsedesk::analysis
