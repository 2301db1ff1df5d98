// The discriminator threshold as the journal and pulsectl's command lines see it: whole
// millivolts within the device's range, on its 2.5 mV grid. The link's protocol turns them into
// codes; pulsectl checks at compile time that both agree.
#pragma once

#include <cstdint>

namespace pulsedesk::analysis {

inline constexpr std::int32_t kThresholdMinMv = -4600;
inline constexpr std::int32_t kThresholdMaxMv = 4600;
inline constexpr double kThresholdStepMv = 2.5;

}  // namespace pulsedesk::analysis
