// The panel's record of the identified device; the report header prints it and the measurement
// categories use its two rate thresholds.
#pragma once

#include <cstdint>
#include <string>

namespace pulsedesk::reports {

struct DeviceInfo {
    std::uint16_t programVersion = 0;  // major in the high byte, minor in the low byte
    std::uint8_t firmwareVersion = 0;  // in tenths: 15 is 1.5
    std::string modelName;
    std::uint32_t serialNumber = 0;
    std::int32_t warningThreshold = 30;  // thousandths of a pulse per second
    std::int32_t alarmThreshold = 60;
};

}  // namespace pulsedesk::reports
