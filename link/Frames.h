// The frame of every command the device takes, by name: one builder per command, each giving a
// checked frame, so the panel and pulsectl send the same bytes for the same action and no
// caller writes a header or a command code by hand.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "link/protocol.h"

namespace pulsedesk::link::frames {

// A frame built and checked: its header agrees with the number of bytes that follow it.
class Frame {
  public:
    const std::uint8_t* Data() const { return bytes.data(); }
    std::uint8_t Length() const { return length; }
    std::uint8_t Code() const { return bytes[1]; }
    std::vector<std::uint8_t> Bytes() const { return {bytes.begin(), bytes.begin() + length}; }

  private:
    friend Frame Build(std::uint8_t header, std::initializer_list<std::int64_t> values);
    FrameBuffer bytes{};
    std::uint8_t length = 0;
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
Frame SetOptionsFrame(std::uint8_t settings);
Frame RestoreDefaultsFrame();
Frame QueryFrame(Command query);

}  // namespace pulsedesk::link::frames
