// The first description line that marks a record as a sample to report a result for, as an
// operator types it on the panel:
//   SAMPLE <id> [M=<kg> | V=<L>] [Y=<yield>[:<u %>]] [SRC=<source name>]
// The options in any order, each at most once; at most 68 ASCII characters, like the QC
// markers.
#pragma once

#include <optional>
#include <string>

#include "analysis/Checked.h"

namespace pulsedesk::analysis {

struct SampleMarker {
    std::string id;
    std::optional<double> massKg;  // at most one of the two
    std::optional<double> volumeL;
    std::optional<double> yield;           // the chemical yield, in (0, 1]
    std::optional<double> yieldRelativeU;  // a fraction (the marker gives percent)
    std::string source;                    // the efficiency's check source; empty when not named
    bool operator==(const SampleMarker&) const = default;
};

// Nothing when the line is not a sample marker; the reason when it is one but malformed.
std::optional<Checked<SampleMarker>> ParseSampleMarker(const std::string& firstLine);

}  // namespace pulsedesk::analysis
