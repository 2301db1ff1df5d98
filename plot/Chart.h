// What a chart shows, independent of how it is drawn: pulsectl fills it from the journal's
// figures and sends it as JSON (journal/ChartJson), pulseplot reads it back (ChartReader) and draws
// it. Plain C++ so that Qt-free programs can build one.
#pragma once

#include <string>
#include <vector>

namespace pulsedesk::plot {

// A time axis holds local wall-clock times as seconds since 1970-01-01 00:00 of the same
// calendar (no time zone, no daylight-saving jumps): the journal's times are local and naive.
enum class AxisKind { Number, Time };

struct Axis {
    AxisKind kind = AxisKind::Number;
    std::string title;      // "Threshold"
    std::string unit;       // "mV"; shown as "Threshold (mV)"
    bool withZero = false;  // the range reaches down (or up) to 0
    bool integer = false;   // ticks only at whole numbers (measurement numbers)
};

// How a point or a line is judged: a point beyond the warning limits is recounted, beyond the
// action limits the counter is taken out of service.
enum class Flag { None, Warning, Action };

struct Point {
    double x = 0;
    double y = 0;
    double error = 0;  // ± this, drawn as a bar; 0: none
    Flag flag = Flag::None;
    bool hollow = false;  // left out by the reviewer: drawn without fill
};

struct Series {
    std::string name;
    bool joined = false;  // a line through the points in order
    std::vector<Point> points;
};

enum class LineKind { Mean, Warning, Action, Plain };

// A horizontal line across the plot: mean and limits, stepped where each point has its own.
struct Level {
    double y = 0;
    LineKind kind = LineKind::Plain;
    std::string label;         // "mean", "+2σ"
    bool provisional = false;  // limits that rest on too few points yet
    // When given, the line steps instead: each y holds from its x to the next x, the first also
    // from the plot's left end and the last to its right end; y above is the last one's.
    std::vector<std::pair<double, double>> steps;
};

// A shaded range of x, e.g. a flat run of the counting curve.
struct Band {
    double from = 0;
    double to = 0;
    std::string label;
};

// A vertical line at one x, e.g. the chosen working threshold.
struct Marker {
    double x = 0;
    std::string label;
};

struct Chart {
    std::string title;
    std::string note;  // one line under the title: baseline, test result, ...
    Axis x;
    Axis y;
    std::vector<Series> series;
    std::vector<Level> levels;
    std::vector<Band> bands;
    std::vector<Marker> markers;
    bool logarithmicY = false;  // y in decades: a rate that spans more than a factor 10
};

}  // namespace pulsedesk::plot
