// The analysis results as JSON objects with snake_case keys, in a fixed key order: what
// `pulsectl report ... --json` prints and what a chart writer may read instead of the structs.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include "analysis/ControlChart.h"
#include "analysis/DetectionLimit.h"
#include "analysis/Journal.h"
#include "analysis/Plateau.h"
#include "analysis/SampleResult.h"
#include "analysis/SeriesStats.h"

namespace pulsedesk::analysis {

using Json = nlohmann::ordered_json;

void to_json(Json& j, const JournalProblem& p);
void to_json(Json& j, const ChiSquareTest& t);
void to_json(Json& j, const SeriesStats& s);
void to_json(Json& j, const EfficiencyTerms& t);
void to_json(Json& j, const PointLimits& l);
void to_json(Json& j, const ChartPoint& p);
void to_json(Json& j, const ChartLimits& l);
void to_json(Json& j, const ControlChart& c);
void to_json(Json& j, const DetectionLimit& d);
void to_json(Json& j, const PlateauPoint& p);
void to_json(Json& j, const PlateauRun& r);
void to_json(Json& j, const PlateauResult& r);
// Every key always there; null for what is absent (a figure of a refused result, a detection
// limit that does not exist), so a reader never meets NaN.
void to_json(Json& j, const SampleResult& r);

}  // namespace pulsedesk::analysis
