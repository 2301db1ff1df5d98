#include "link/DeviceStatus.h"

#include <algorithm>

#include "link/protocol.h"

namespace pulsedesk::link {

namespace {

std::size_t Received(int length) { return static_cast<std::size_t>(std::max(length, 0)); }

}  // namespace

bool TakeReplyA(DeviceStatus& status, const std::uint8_t* reply, int length) {
    status.replyAFresh = IsReplyA(reply, Received(length));
    status.replyBFresh = false;
    if (!status.replyAFresh) {
        status.runFlags = 0;
        return false;
    }
    status.runFlags = reply[2];
    status.modeOptions = reply[3];
    status.errorCode = reply[5];
    std::copy_n(&reply[6], 4, status.elapsedTime.begin());
    return true;
}

void TakeReplyB(DeviceStatus& status, const std::uint8_t* reply, int length) {
    status.replyBFresh = IsReplyB(reply, Received(length));
    if (status.replyBFresh) {
        std::copy_n(&reply[2], 2, status.thresholdCode.begin());
        std::copy_n(&reply[4], 3, status.countRaw.begin());
        std::copy_n(&reply[7], 3, status.replyBSpare.begin());
        std::copy_n(&reply[10], 3, status.countLimitRaw.begin());
        std::copy_n(&reply[13], 3, status.countTime.begin());
        status.countLimit = Decode24(status.countLimitRaw.data());
        status.count = Decode24(status.countRaw.data());
    } else {
        status.errorCode = 0;
    }
    // Bit 7 is ours, not the device's: it marks a reported error number.
    status.runFlags = static_cast<std::uint8_t>((status.runFlags & 0x7F) |
                                                (status.errorCode != 0 ? kRunDeviceError : 0));
}

}  // namespace pulsedesk::link
