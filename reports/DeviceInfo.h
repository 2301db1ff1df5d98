// The panel's record of the identified device; the report header prints it and the measurement
// categories use its two rate thresholds.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "config/ConfigFile.h"
#include "config/ConfigNumber.h"
#include "version/Version.h"

namespace pulsedesk::reports {

struct DeviceInfo {
    std::uint16_t programVersion = 0;  // major in the high byte, minor in the low byte
    std::uint8_t firmwareVersion = 0;  // in tenths: 15 is 1.5
    std::string modelName;
    std::uint32_t serialNumber = 0;
    std::int32_t warningThreshold = 30;  // thousandths of a pulse per second
    std::int32_t alarmThreshold = 60;

    // The device as the link identified it: its model, firmware version (0 when that query
    // went unanswered) and serial number, with this program's version and the settings' rate
    // thresholds.
    static DeviceInfo Identified(std::string model, std::optional<std::uint8_t> firmware,
                                 std::uint32_t serial, const config::ConfigFile& settings) {
        DeviceInfo info;
        info.programVersion = version::kProgramVersion;
        info.firmwareVersion = firmware.value_or(0);
        info.modelName = std::move(model);
        info.serialNumber = serial;
        info.ReadRateThresholds(settings);
        return info;
    }

    // The two rate thresholds as the settings give them; a missing or garbled one keeps its
    // default.
    void ReadRateThresholds(const config::ConfigFile& settings) {
        const auto read = [&](std::string_view key, std::int32_t& value) {
            std::int32_t parsed = value;
            if (config::ParseIntegerText(
                    settings.ReadConfigString(config::ConfigSection::SYSTEM, key), parsed))
                value = parsed;
        };
        read(config::keys::kThresholdWarning, warningThreshold);
        read(config::keys::kThresholdAlarm, alarmThreshold);
    }
};

}  // namespace pulsedesk::reports
