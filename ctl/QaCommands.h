// pulsectl qa chi-square|background|source and plateau: quality-control runs on the counter.
// Each one counts through the same measure path as `pulsectl measure` (so whatever controls a
// measurement controls these: the work folder's lock, the counter's control), which writes the
// marked record through the report store; then the record is read back from the journal and
// judged.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "ctl/CommandLine.h"
#include "ctl/Counter.h"
#include "journal/QaVerdict.h"

namespace pulsedesk::ctl {

// Runs one measure command: opens the report store on options.reportFolder and runs the series.
using MeasureFunction = std::function<void(const MeasureOptions&)>;

// Counts the series (the earlier threshold is restored at its end, even after Ctrl-C), then
// judges the record it wrote; the run's exit code.
int RunQa(Counter& counter, const JournalOptions& options, const std::string& folder,
          const MeasureFunction& measure, std::FILE* out, std::FILE* err);

// The threshold code's millivolts as the threshold command takes them: whole millivolts that
// the device cuts toward 0 to this code (102 would give 100 mV, 103 gives 102.5 mV).
std::int32_t MillivoltsForCode(int offsetFromZero);

}  // namespace pulsedesk::ctl
