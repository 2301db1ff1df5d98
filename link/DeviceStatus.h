// DeviceStatus: the counter's two status replies decoded. The decoding is a pure function of
// the reply bytes, so a test can feed a session the statuses of a model device poll by poll.
#pragma once

#include <array>
#include <cstdint>

#include "link/commands.h"

namespace pulsedesk::link {

struct DeviceStatus {
    std::array<std::uint8_t, 2> thresholdCode{};  // high byte first
    std::array<std::uint8_t, 3> countRaw{};
    std::array<std::uint8_t, 3> replyBSpare{};
    std::array<std::uint8_t, 3> countLimitRaw{};
    std::array<std::uint8_t, 3> countTime{};  // hours, minutes, seconds
    std::uint32_t countLimit = 0;
    std::uint32_t count = 0;
    std::uint8_t runFlags = 0;
    std::uint8_t modeOptions = 0;
    std::uint8_t errorCode = 0;
    std::array<std::uint8_t, 4> elapsedTime{};  // hours, minutes, seconds, hundredths
    // Whether the poll that left this status had its reply A and its reply B accepted. A
    // rejected reply keeps the fields of an earlier poll, which must never pass for the count
    // or time of this moment.
    bool replyAFresh = false;
    bool replyBFresh = false;

    std::uint16_t ThresholdCode() const {
        return static_cast<std::uint16_t>((thresholdCode[0] << 8) | thresholdCode[1]);
    }
    std::uint8_t Mode() const { return modeOptions & kModeMask; }
    // The device shows a count ended: finished, and neither counting nor reset.
    bool CountEnded() const {
        return (runFlags & kRunFinished) && !(runFlags & (kRunCounting | kRunReset));
    }
    // Elapsed hours, minutes, seconds and hundredths in hundredths of a second.
    std::uint32_t ElapsedHundredths() const {
        const auto& t = elapsedTime;
        return t[0] * 360000u + t[1] * 6000u + t[2] * 100u + t[3];
    }
    // The preset count time (hours, minutes, seconds) in hundredths of a second.
    std::uint32_t CountTimeHundredths() const {
        const auto& t = countTime;
        return t[0] * 360000u + t[1] * 6000u + t[2] * 100u;
    }
};

// Takes reply A of a poll (length < 0: none came). A rejected reply clears the run flags and
// leaves the other fields as they were; returns whether it was accepted.
bool TakeReplyA(DeviceStatus& status, const std::uint8_t* reply, int length);
// Takes reply B after an accepted reply A; a rejected one forgets A's error number. Then marks
// a reported error number in the run flags.
void TakeReplyB(DeviceStatus& status, const std::uint8_t* reply, int length);

}  // namespace pulsedesk::link
