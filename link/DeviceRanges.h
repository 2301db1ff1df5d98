// The device's value ranges that pulsectl, the simulator and the panel's checks share.
#pragma once

#include <cstdint>

namespace pulsedesk::link {

// The counter and its count limit are 24 bits wide.
inline constexpr std::uint32_t kMaxCountLimit = 0xFFFFFF;

}  // namespace pulsedesk::link
