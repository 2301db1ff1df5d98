// Axis scales: where the ticks go and what they say, for numbers and for local times.
#pragma once

#include <QString>
#include <functional>
#include <vector>

namespace pulsedesk::plot {

struct Tick {
    double value = 0;
    QString label;
    QString below;  // a second line under the label: the date or year where it changes
};

struct Scale {
    double lo = 0;
    double hi = 1;
    std::vector<Tick> ticks;

    // value's position between from (at lo) and to (at hi).
    double Map(double value, double from, double to) const {
        return from + (value - lo) / (hi - lo) * (to - from);
    }
};

using TextWidth = std::function<double(const QString&)>;

// Ticks at 1, 2, 2.5 or 5 times a power of ten (whole numbers only with `integer`), at most as
// many as fit `width` with their labels side by side (or `maxTicks`, for a vertical axis).
// With `snap` the range widens to the outer ticks. A range of one value is widened around it.
Scale NumberScale(double lo, double hi, bool integer, bool snap, int maxTicks);
Scale NumberScaleFitting(double lo, double hi, bool integer, bool snap, double width,
                         const TextWidth& textWidth);

// Ticks at whole minutes, hours, days, weeks (Mondays), months or years of the naive local
// time, the finest whose labels fit `width`.
Scale TimeScale(double lo, double hi, double width, const TextWidth& textWidth);

// A number as the axis shows it, with `decimals` places and a true minus sign.
QString NumberText(double value, int decimals);

}  // namespace pulsedesk::plot
