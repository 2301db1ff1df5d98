// The frame of every command pulsectl sends, built exactly as the panel builds it for the same
// action: a header and its values, which the link cuts to their low bytes. Pure functions, so
// the bytes are checked without a device.
#pragma once

#include <array>
#include <cstdint>

#include "link/tser.h"

namespace pulsedesk::ctl {

struct Frame {
    std::uint8_t header = 0;
    std::array<std::int64_t, 4> values{};  // the first PayloadLength(header) are sent
};

struct ClockTime {
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};

enum class Step { CountTime, CountLimit, Threshold };
enum class Sound { Signal, End };

Frame StartStopFrame(bool start);
Frame ClearFinishedFrame();
Frame SetModeFrame(int mode);
Frame SetCountTimeFrame(ClockTime time);
Frame SetCountLimitFrame(std::uint32_t limit);
Frame SetThresholdFrame(std::int32_t millivolts);
Frame StepFrame(Step what, bool up);
Frame SoundFrame(Sound which, bool on);
Frame RestoreDefaultsFrame();
Frame QueryFrame(link::Command query);

// Sends the frame; the device's reply.
link::CommandReply Send(link::TSerial& line, const Frame& frame);

}  // namespace pulsedesk::ctl
