// The chart description pulseplot reads on its standard input: a JSON object
//   {"charts": [{"title", "note", "x": AXIS, "y": AXIS, "series": [...], "levels": [...],
//                "bands": [...], "markers": [...]}, ...]}
// with AXIS = {"kind": "number"|"time", "title", "unit", "zero": bool, "integer": bool},
// series {"name", "joined": bool, "points": [{"x", "y", "error", "flag": "warning"|"action"}]},
// levels {"y", "kind": "mean"|"warning"|"action"|"plain", "label", "provisional": bool},
// bands {"from", "to", "label"}, markers {"x", "label"}. On a time axis every x (and a band's
// ends) is a local time "YYYY-MM-DDTHH:MM[:SS]". Everything but x and y is optional; an unknown
// key is an error, so that a misspelt key never vanishes silently.
#pragma once

#include <QByteArray>
#include <stdexcept>
#include <string>
#include <vector>

#include "plot/Chart.h"

namespace pulsedesk::plot {

// Names the place in the document and what is wrong there.
struct ChartError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::vector<Chart> ReadCharts(const QByteArray& json);

// "2024-03-05T10:15" -> seconds of the naive local time; the inverse for labels.
double ParseLocalTime(const QString& text, bool& ok);
QString LocalTimeText(double seconds, const char* format);

}  // namespace pulsedesk::plot
