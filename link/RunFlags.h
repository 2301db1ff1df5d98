// Which of the status's run-state bits decides the state when several are set: one order for
// the panel's run state and pulsectl's state words.
#pragma once

#include <cstdint>

#include "link/commands.h"

namespace pulsedesk::link {

// The first bit of this list that is set decides.
inline constexpr std::uint8_t kRunFlagPriority[] = {kRunDeviceError, kRunReset, kRunCounting,
                                                    kRunFinished, kRunBlocked};

// The deciding bit of runFlags; 0 when none of the list is set.
constexpr std::uint8_t DecidingRunFlag(std::uint8_t runFlags) {
    for (const std::uint8_t bit : kRunFlagPriority)
        if (runFlags & bit) return bit;
    return 0;
}

}  // namespace pulsedesk::link
