#include "plot/Scale.h"

#include <QDate>
#include <algorithm>
#include <array>
#include <cmath>

#include "plot/ChartReader.h"

namespace pulsedesk::plot {
namespace {

constexpr double kMinute = 60;
constexpr double kHour = 3600;
constexpr double kDay = 86400;

// The fewest decimals that show every multiple of step exactly.
int DecimalsOf(double step) {
    for (int d = 0; d < 10; ++d) {
        const double scaled = step * std::pow(10.0, d);
        if (std::fabs(scaled - std::round(scaled)) < 1e-6 * scaled) return d;
    }
    return 10;
}

// Neighbouring labels (and neighbouring second lines) keep a gap of two digits' width.
bool Fits(const Scale& scale, double width, const TextWidth& textWidth) {
    const double gap = textWidth(QStringLiteral("00"));
    const auto fits = [&](QString Tick::*text) {
        double lastRight = -1e300;
        for (const Tick& t : scale.ticks) {
            if ((t.*text).isEmpty()) continue;
            const double half = textWidth(t.*text) / 2;
            const double at = scale.Map(t.value, 0, width);
            if (at - half < lastRight + gap) return false;
            lastRight = at + half;
        }
        return true;
    };
    return fits(&Tick::label) && fits(&Tick::below);
}

const std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                             "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

QDate DateOf(double seconds) {
    return QDate(1970, 1, 1).addDays(static_cast<qint64>(std::floor(seconds / kDay)));
}
double SecondsOf(QDate date) { return static_cast<double>(QDate(1970, 1, 1).daysTo(date)) * kDay; }

// One candidate spacing of time ticks: a fixed number of seconds (aligned to `offset`), or a
// number of calendar months.
struct TimeStep {
    double seconds = 0;
    int months = 0;
    double offset = 0;
    double Approx() const { return months ? months * 30.44 * kDay : seconds; }
};

std::vector<double> TimeTicks(const TimeStep& step, double lo, double hi) {
    std::vector<double> at;
    if (step.months == 0) {
        for (double t = std::ceil((lo - step.offset) / step.seconds) * step.seconds + step.offset;
             t <= hi; t += step.seconds)
            at.push_back(t);
        return at;
    }
    const QDate first = DateOf(lo);
    QDate month(first.year(), first.month(), 1);
    while ((month.year() * 12 + month.month() - 1) % step.months != 0) month = month.addMonths(1);
    if (SecondsOf(month) < lo) month = month.addMonths(step.months);
    for (; SecondsOf(month) <= hi; month = month.addMonths(step.months))
        at.push_back(SecondsOf(month));
    return at;
}

// Labels: hours and minutes with the date below where it changes; day and month with the year
// below where it changes; months; years.
Scale LabelTimes(const TimeStep& step, const std::vector<double>& at, double lo, double hi) {
    Scale scale{lo, hi, {}};
    QString previousBelow;
    for (double t : at) {
        const QDate date = DateOf(t);
        Tick tick{t, {}, {}};
        QString below;
        if (step.months >= 12) {
            tick.label = QString::number(date.year());
        } else if (step.months > 0) {
            tick.label = QLatin1String(kMonths[date.month() - 1]);
            below = QString::number(date.year());
        } else if (step.seconds >= kDay) {
            tick.label = QStringLiteral("%1 %2")
                             .arg(date.day())
                             .arg(QLatin1String(kMonths[date.month() - 1]));
            below = QString::number(date.year());
        } else {
            tick.label = LocalTimeText(t, "HH:mm");
            below = date.toString(Qt::ISODate);
        }
        if (below != previousBelow) tick.below = below;
        previousBelow = below;
        scale.ticks.push_back(tick);
    }
    return scale;
}

}  // namespace

QString NumberText(double value, int decimals) {
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith(u'-')) {
        bool zero = true;
        for (QChar c : text) zero = zero && (c == u'-' || c == u'0' || c == u'.');
        text = zero ? text.mid(1) : QChar(0x2212) + text.mid(1);
    }
    return text;
}

Scale NumberScale(double lo, double hi, bool integer, bool snap, int maxTicks) {
    if (!(hi > lo)) {
        const double half = std::max(integer ? 1.0 : 0.0, lo == 0 ? 1.0 : std::fabs(lo) * 0.1);
        lo -= half;
        hi += half;
    }
    maxTicks = std::max(maxTicks, 2);
    const double magnitude = std::pow(10.0, std::floor(std::log10((hi - lo) / maxTicks)));
    double step = 0;
    for (double m : {1.0, 2.0, 2.5, 5.0, 10.0, 20.0, 25.0, 50.0, 100.0}) {
        step = m * magnitude;
        if (integer && (step < 1 || step != std::floor(step))) continue;
        const double first = snap ? std::floor(lo / step + 1e-9) : std::ceil(lo / step - 1e-9);
        const double last = snap ? std::ceil(hi / step - 1e-9) : std::floor(hi / step + 1e-9);
        if (last - first + 1 <= maxTicks) break;
    }
    if (snap) {
        lo = std::floor(lo / step + 1e-9) * step;
        hi = std::ceil(hi / step - 1e-9) * step;
    }
    Scale scale{lo, hi, {}};
    const int decimals = DecimalsOf(step);
    for (double k = std::ceil(lo / step - 1e-9); k * step <= hi + step * 1e-9; k += 1)
        scale.ticks.push_back({k * step, NumberText(k * step, decimals), {}});
    return scale;
}

Scale LogScale(double lo, double hi) {
    if (!(hi > 0)) hi = 10;
    if (!(lo > 0) || lo > hi) lo = hi / 10;
    const double first = std::floor(std::log10(lo) + 1e-9);
    const double last = std::max(first + 1, std::ceil(std::log10(hi) - 1e-9));
    Scale scale{std::pow(10.0, first), std::pow(10.0, last), {}, true};
    for (double e = first; e <= last; ++e)
        for (double m : {1.0, 2.0, 5.0}) {
            const double value = m * std::pow(10.0, e);
            if (value > scale.hi * (1 + 1e-9)) break;
            scale.ticks.push_back(
                {value, NumberText(value, std::max(0, static_cast<int>(-e))), {}});
        }
    return scale;
}

Scale NumberScaleFitting(double lo, double hi, bool integer, bool snap, double width,
                         const TextWidth& textWidth) {
    Scale scale;
    for (int maxTicks = 11; maxTicks >= 2; --maxTicks) {
        scale = NumberScale(lo, hi, integer, snap, maxTicks);
        if (Fits(scale, width, textWidth)) break;
    }
    return scale;
}

Scale TimeScale(double lo, double hi, double width, const TextWidth& textWidth) {
    if (hi - lo < 2 * kHour) {
        const double middle = (lo + hi) / 2;
        lo = middle - kHour;
        hi = middle + kHour;
    }
    const double monday = 4 * kDay;  // 1970-01-05
    const std::vector<TimeStep> steps = {{kMinute},
                                         {5 * kMinute},
                                         {10 * kMinute},
                                         {15 * kMinute},
                                         {30 * kMinute},
                                         {kHour},
                                         {2 * kHour},
                                         {3 * kHour},
                                         {6 * kHour},
                                         {12 * kHour},
                                         {kDay},
                                         {2 * kDay},
                                         {7 * kDay, 0, monday},
                                         {14 * kDay, 0, monday},
                                         {0, 1},
                                         {0, 2},
                                         {0, 3},
                                         {0, 6},
                                         {0, 12},
                                         {0, 24},
                                         {0, 60},
                                         {0, 120}};
    const double narrowest = textWidth(QStringLiteral("00:00"));
    Scale scale;
    for (const TimeStep& step : steps) {
        if ((hi - lo) / step.Approx() * narrowest > width) continue;  // far too many ticks
        // A dozen ticks at most, and days rather than hours once the range spans days.
        if (step.Approx() < (hi - lo) / 12 || (hi - lo >= 2 * kDay && step.Approx() < kDay))
            continue;
        scale = LabelTimes(step, TimeTicks(step, lo, hi), lo, hi);
        if (Fits(scale, width, textWidth)) break;
    }
    return scale;
}

}  // namespace pulsedesk::plot
