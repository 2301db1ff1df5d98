// How the panel's buttons and pulsectl change the device's mode and count limit: a finished
// count is cleared before a mode is chosen, and a mode or limit the device already has is not
// sent again.
#pragma once

#include <cstdint>

#include "link/CommandChannel.h"
#include "link/DeviceStatus.h"

namespace pulsedesk::link {

struct ModeChange {
    bool clearFinished = false;  // the last count's finished state goes first
    bool sendMode = false;
    bool operator==(const ModeChange&) const = default;
};

// What choosing the mode asks of a device in the current status.
ModeChange ModeChangeTo(std::uint8_t mode, const DeviceStatus& current);
// Whether the device took the mode it was sent.
bool ModeAccepted(const CommandReply& reply);
// Whether the limit must be sent: only when it differs from the device's.
bool CountLimitChanges(std::uint32_t limit, const DeviceStatus& current);

}  // namespace pulsedesk::link
