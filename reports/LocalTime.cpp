#include "reports/LocalTime.h"

#include <ctime>

namespace pulsedesk::reports {

LocalTime SystemLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm parts{};
    localtime_r(&now, &parts);
    return LocalTime{.year = parts.tm_year + 1900,
                     .month = parts.tm_mon + 1,
                     .day = parts.tm_mday,
                     .hour = parts.tm_hour,
                     .minute = parts.tm_min,
                     .second = parts.tm_sec};
}

}  // namespace pulsedesk::reports
