// Axis scales: where the ticks go and what they say, for numbers and for local times.
#pragma once

#include <QString>
#include <algorithm>
#include <cmath>
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
    bool logarithmic = false;  // lo > 0; a value at or below 0 maps to lo

    // value's position between from (at lo) and to (at hi).
    double Map(double value, double from, double to) const {
        if (logarithmic)
            return from + std::log10(std::max(value, lo) / lo) / std::log10(hi / lo) * (to - from);
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

// Whole decades around the positive range (one at least), ticks at 1, 2 and 5 times each power
// of ten; lo and hi at or below 0 give a range of 1 to 10.
Scale LogScale(double lo, double hi);

// Ticks at whole minutes, hours, days, weeks (Mondays), months or years of the naive local
// time, the finest whose labels fit `width`.
Scale TimeScale(double lo, double hi, double width, const TextWidth& textWidth);

// A number as the axis shows it, with `decimals` places and a true minus sign.
QString NumberText(double value, int decimals);

}  // namespace pulsedesk::plot
