#include "link/PresetChange.h"

namespace pulsedesk::link {

ModeChange ModeChangeTo(std::uint8_t mode, const DeviceStatus& current) {
    return {.clearFinished = (current.runFlags & kRunFinished) != 0,
            .sendMode = current.Mode() != mode};
}

bool ModeAccepted(const CommandReply& reply) { return reply && reply.Byte(1) == kModeAccepted; }

bool CountLimitChanges(std::uint32_t limit, const DeviceStatus& current) {
    return limit != current.countLimit;
}

}  // namespace pulsedesk::link
