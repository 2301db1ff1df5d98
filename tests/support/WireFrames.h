// The bytes each operator action puts on the line, in one table for every wire-level test: the
// link's frame catalogue, the panel's controls and pulsectl's commands are held against it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace pulsedesk::testing::wire {

using Bytes = std::vector<std::uint8_t>;

inline const Bytes kStart{0x02, 0x41, 1};
inline const Bytes kStop{0x02, 0x41, 0};
inline const Bytes kClearFinished{0x01, 0x46};
inline const Bytes kRestoreDefaults{0x01, 0x5F};
inline const Bytes kStepCountLimitDown{0x02, 0x50, 0};
inline const Bytes kStepCountLimitUp{0x02, 0x50, 1};
inline const Bytes kStepCountTimeDown{0x02, 0x51, 0};
inline const Bytes kStepCountTimeUp{0x02, 0x51, 1};
inline const Bytes kStepThresholdDown{0x03, 0x47, 0, 1};
inline const Bytes kStepThresholdUp{0x03, 0x47, 1, 1};
inline const Bytes kThresholdMin{0x03, 0x42, 0x00, 0xD0};  // -4600 mV, code 208
inline const Bytes kThresholdMax{0x03, 0x42, 0x0F, 0x30};  // 4600 mV, code 3888
inline Bytes Mode(std::uint8_t mode) { return {0x02, 0x43, mode}; }

// As pulsesim's request log writes them: "02 41 01".
inline std::string Hex(const Bytes& bytes) {
    std::string text;
    char byte[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(byte, sizeof byte, "%s%02X", text.empty() ? "" : " ", b);
        text += byte;
    }
    return text;
}

}  // namespace pulsedesk::testing::wire
