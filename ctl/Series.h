// pulsectl measure: a series of measurements run as the panel runs one, each finished
// measurement printed and, with a report store, written into the month's report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "ctl/CommandLine.h"
#include "ctl/Counter.h"
#include "reports/ReportStore.h"

namespace pulsedesk::ctl {

struct Measurement {
    std::uint32_t count = 0;
    reports::CountTime time;
    std::int32_t thresholdMv = 0;
};

// "2/3 count=512 time=00:00:10.00 rate=51.200/s sigma=2.263/s": the rate N/t and its Poisson
// standard uncertainty sqrt(N)/t; "-" for both when the count time is zero.
std::string MeasurementLine(int number, int of, const Measurement& m);

// Runs the series on the counter. The store, when given, gets a record with the description
// and one line per finished measurement; lines go to out as they finish. A measurement is taken
// from a poll with both replies accepted; one whose counter left its finished state before such
// a poll is named on standard error, and the series goes on, then raises LinkError at its end.
// Raises LinkError when the device or the link fails, Interrupted after Ctrl-C or SIGTERM once
// the device's count is stopped; an unfinished measurement is never written.
void RunSeries(Counter& counter, const MeasureOptions& options, reports::ReportStore* store,
               const std::string& description, std::FILE* out);

}  // namespace pulsedesk::ctl
