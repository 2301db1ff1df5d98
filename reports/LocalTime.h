// Broken-down local time as the reports print it. The store reads it through an injected clock
// so that tests can pick their day.
#pragma once

#include <functional>

namespace pulsedesk::reports {

struct LocalTime {
    int year = 0;
    int month = 1;  // 1 to 12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
};

using Clock = std::function<LocalTime()>;

// The computer's local time (localtime_r).
LocalTime SystemLocalTime();

}  // namespace pulsedesk::reports
