// The counter's command catalogue and status bits, shared by the link and the simulated device.
#pragma once

#include <cstdint>

namespace pulsedesk::link {

enum Command : std::uint8_t {
    SetCountTime = 0x02,
    SetCountLimit = 0x04,
    SetOptions = 0x06,
    ReadStatusA = 0x28,
    ReadSerialNumber = 0x2D,
    ReadModel = 0x2E,
    ReadFirmwareVersion = 0x2F,
    ReadStatusB = 0x31,
    StartStop = 0x41,
    SetThreshold = 0x42,
    SetMode = 0x43,
    ClearFinished = 0x46,
    StepThreshold = 0x47,
    SetSignalSound = 0x4A,
    SetEndSound = 0x4B,
    StepCountLimit = 0x50,
    StepCountTime = 0x51,
    RestoreDefaults = 0x5F,
};

// A query's reply carries its command code with bit 7 set.
constexpr std::uint8_t ReplyCodeFor(std::uint8_t query) { return query | 0x80; }
inline constexpr std::uint8_t kModeAccepted = 0xE0;

inline constexpr std::size_t kReplyALength = 10;
inline constexpr std::size_t kReplyBLength = 16;

// Run-state bits (reply A byte 2).
inline constexpr std::uint8_t kRunBlocked = 0x02;
inline constexpr std::uint8_t kRunReset = 0x08;
inline constexpr std::uint8_t kRunCounting = 0x20;
inline constexpr std::uint8_t kRunFinished = 0x40;
inline constexpr std::uint8_t kRunDeviceError = 0x80;

// Mode and option bits (reply A byte 3).
inline constexpr std::uint8_t kModeMask = 0x03;
inline constexpr std::uint8_t kOptHighLevelSignals = 0x04;
inline constexpr std::uint8_t kOptInvertSignals = 0x08;
inline constexpr std::uint8_t kOptInvertPulses = 0x10;
inline constexpr std::uint8_t kOptSignalSoundOff = 0x20;
inline constexpr std::uint8_t kOptKeySoundOff = 0x40;
inline constexpr std::uint8_t kOptEndSoundOff = 0x80;

}  // namespace pulsedesk::link
