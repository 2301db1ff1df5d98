// Charts as the JSON description that pulseplot reads (its format: plot/ChartReader.h).
#pragma once

#include <string>
#include <vector>

#include "plot/Chart.h"

namespace pulsedesk::journal {

std::string ChartsJson(const std::vector<plot::Chart>& charts);

// Seconds of a naive local time -> "2024-03-05T10:15:00".
std::string LocalTimeText(double seconds);

}  // namespace pulsedesk::journal
