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
#include "analysis/SeriesStats.h"

namespace pulsedesk::analysis {

// One point per record and threshold: sum N / sum t over the record's lines at it, with the
// Poisson uncertainty sqrt(sum N) / sum t, by threshold; refused where a line saturated the
// counter. Lines without a count time are left out.
std::map<std::int32_t, ChartInput> RecordRates(const JournalRecord& record);

// The records that QC EXCLUDE records leave out, with their reasons; a reference without its
// year means the year of the exclusion's own record.
std::map<RecordId, std::string> Exclusions(const Journal& journal);

// The records whose first description line is a marker of this kind (and name, when given).
std::vector<std::pair<const JournalRecord*, QcMarker>> QcRecords(const Journal& journal,
                                                                 QcMarker::Kind kind,
                                                                 const std::string& name = {});

// A failed chi-square test is recounted; one that fails again (the previous QC CHI2 record of
// the same name failed too) takes the counter out of service.
enum class ChiSquareVerdict { Pass, Recount, OutOfService };
ChiSquareVerdict JudgeChiSquare(const Journal& journal, const JournalRecord& record);

std::vector<ControlChart> BackgroundCharts(const Journal& journal, const BaselineRule& baseline);
// The chart of the threshold; nullptr when there is none.
const ControlChart* ChartAt(const std::vector<ControlChart>& charts, std::int32_t thresholdMv);

// eps = (R_s - R_b) / A, A the activity averaged over each of the record's counts at the
// threshold (Decay.h), weighted by count time; R_b from the latest usable background record at
// the same threshold on or before the point's day, else the background chart's baseline mean;
// u(eps) = sqrt(N_s / t_s^2 + u(R_b)^2) / A, counting alone: the certificate's uncertainty is
// the same for every point. A point is refused with its reason for an efficiency outside
// (0, 1], a decay factor below 0.001, a reference after the count, or a saturated count.
std::vector<ControlChart> SourceCharts(const Journal& journal, const std::string& name,
                                       const BaselineRule& baseline);

// For a sample counted sampleSeconds (default: the mean count time of the background
// baseline's points) at the chart's threshold: from the background baseline's pooled rate and
// count time, and for a source chart its baseline's mean efficiency; provisional while either
// baseline is not full. Nothing without a background baseline.
std::optional<DetectionLimit> ChartDetectionLimit(const ControlChart& chart,
                                                  std::optional<double> sampleSeconds);

}  // namespace pulsedesk::analysis
