// Radioactive decay between a reference time and a count: half-lives as a lab writes them
// ("30.08 a", "2.6 d", "6.01 h", "20.4 min", "55.6 s") and the factor by which a count sees the
// activity of the reference time,
//   f = 2^(-dt / T) (1 - e^(-lambda t)) / (lambda t),   lambda = ln 2 / T,
// dt from the reference to the start of the count and t its count time: the activity averaged
// over the count, since a short-lived nuclide decays while it is counted.
#pragma once

#include <string>
#include <vector>

#include "analysis/Checked.h"
#include "analysis/Journal.h"

namespace pulsedesk::analysis {

// A positive number and its unit, a (365.25 d), d, h, min or s, apart by blanks; in seconds.
Checked<double> ParseHalfLife(const std::string& text);

struct CountInterval {
    double startSeconds = 0;  // from the reference time to the start of the count
    double seconds = 0;       // count time
};

// The record's counts at the threshold from a reference day and minute of local time; each
// count starts its count time before the end its line gives to the minute. Lines without a
// count time are left out.
std::vector<CountInterval> CountsSince(const JournalRecord& record, std::int32_t thresholdMv,
                                       const CivilDate& reference, int referenceMinute);

// One count, or several as one: their factors weighted by count time, so that the counts
// expect A eps f sum t. Refused for a count starting before the reference, a count time of
// zero, a non-positive half-life, and a factor below 0.001 (ten half-lives: a half-life in the
// wrong unit, as a rule).
Checked<double> DecayFactor(const std::vector<CountInterval>& counts, double halfLifeSeconds);

}  // namespace pulsedesk::analysis
