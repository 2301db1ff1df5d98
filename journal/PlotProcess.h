// Pictures through pulseplot, the program beside pulsectl that draws with Qt: pulsectl itself
// stays free of Qt and hands the charts over as JSON on pulseplot's standard input.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

#include "plot/Chart.h"

namespace pulsedesk::journal {

// pulseplot could not be run, or failed (its own message is on standard error).
struct PlotError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The charts, one under the other, into FILE.svg or FILE.png, replaced whole; a symbolic link of
// that name is replaced, not written through.
void WritePicture(const std::vector<plot::Chart>& charts, const std::string& path,
                  const std::string& pulseplot);

// One SVG document per chart, in order.
std::vector<std::string> ChartSvgs(const std::vector<plot::Chart>& charts,
                                   const std::string& pulseplot);

// pulseplot beside this program.
std::string PulseplotPath();

}  // namespace pulsedesk::journal
