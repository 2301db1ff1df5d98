// The journal commands' figures in words, for people; --json prints the analysis structs
// instead (analysis/Json.h).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "analysis/ControlChart.h"
#include "analysis/DetectionLimit.h"
#include "analysis/Journal.h"
#include "analysis/Plateau.h"
#include "analysis/SeriesStats.h"

namespace pulsedesk::journal {

// "2026/03-26_000001-000004.rep:17: not a measurement line: ..." for each, on err. Text for a
// terminal here and below shows control characters escaped (config::VisibleText).
void PrintProblems(const analysis::Journal& journal, std::FILE* err);

std::string RecordHeading(const analysis::JournalRecord& record);
std::string StatsText(const analysis::SeriesStats& stats);
std::string ChartText(const analysis::ControlChart& chart,
                      const std::optional<analysis::DetectionLimit>& limit);
std::string PlateauText(const analysis::PlateauResult& result);

}  // namespace pulsedesk::journal
