// The counter's frame protocol: frame layout, command catalogue, reply checks and the
// threshold conversions. Pure functions over byte arrays, so they are tested without a line.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "commands.h"

namespace pulsedesk::link {

// Requests are built, and replies received, in buffers of this size; no frame exceeds 16 bytes.
inline constexpr std::size_t kFrameBufferSize = 20;
inline constexpr std::size_t kMaxFrameLength = 16;
using FrameBuffer = std::array<std::uint8_t, kFrameBufferSize>;

constexpr std::size_t PayloadLength(std::uint8_t header) { return header & 0x0F; }

// Builds the frame of a header and its N values (N = header's low nibble) into buf, each value
// cut to its low 8 bits. Returns the frame length N + 1, or 0 when the number of values does not
// match the header or the header announces no bytes: a malformed command is never sent.
std::size_t BuildFrame(std::uint8_t header, std::initializer_list<std::int64_t> values,
                       FrameBuffer& buf);

// SendCommand's check: at least one byte, and the length agrees with the reply's header.
bool ReplyLengthAgrees(const std::uint8_t* reply, std::size_t length);

// The poll's checks: exact length and reply code; the header byte is not looked at.
bool IsReplyA(const std::uint8_t* reply, std::size_t length);
bool IsReplyB(const std::uint8_t* reply, std::size_t length);

// 24-bit big-endian value.
constexpr std::uint32_t Decode24(const std::uint8_t* b) {
    return (std::uint32_t{b[0]} << 16) | (std::uint32_t{b[1]} << 8) | b[2];
}

// The discriminator threshold: code 2048 is 0 V, one step is 2.5 mV; both ways cut toward zero.
inline constexpr std::int32_t kThresholdZeroCode = 2048;
inline constexpr std::int32_t kThresholdMinMv = -4600;
inline constexpr std::int32_t kThresholdMaxMv = 4600;
constexpr std::int32_t ThresholdCodeToMillivolts(std::uint16_t code) {
    return (static_cast<std::int32_t>(code) - kThresholdZeroCode) * 10 / 4;
}
constexpr std::uint16_t MillivoltsToThresholdCode(std::int32_t millivolts) {
    return static_cast<std::uint16_t>(millivolts * 4 / 10 + kThresholdZeroCode);
}

}  // namespace pulsedesk::link
