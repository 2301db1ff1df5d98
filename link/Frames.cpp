#include "link/Frames.h"

#include <stdexcept>

namespace pulsedesk::link::frames {

// Every builder below passes a header that agrees with its values; a disagreement is a fault
// of this file, caught by its tests, never a frame sent short.
Frame Build(std::uint8_t header, std::initializer_list<std::int64_t> values) {
    Frame f;
    f.length = static_cast<std::uint8_t>(BuildFrame(header, values, f.bytes));
    if (f.length == 0) throw std::logic_error("a command frame whose header disagrees with it");
    return f;
}

Frame StartStopFrame(bool start) { return Build(0x02, {StartStop, start ? 1 : 0}); }

Frame ClearFinishedFrame() { return Build(0x01, {ClearFinished}); }

Frame SetModeFrame(int mode) { return Build(0x02, {SetMode, mode}); }

Frame SetCountTimeFrame(ClockTime t) {
    return Build(0x04, {SetCountTime, t.hours, t.minutes, t.seconds});
}

Frame SetCountLimitFrame(std::uint32_t limit) {
    return Build(0x04, {SetCountLimit, limit >> 16, limit >> 8, limit});
}

Frame SetThresholdFrame(std::int32_t millivolts) {
    const std::uint16_t code = MillivoltsToThresholdCode(millivolts);
    return Build(0x03, {SetThreshold, code >> 8, code});
}

Frame StepFrame(Step what, bool up) {
    switch (what) {
        case Step::CountTime:
            return Build(0x02, {StepCountTime, up ? 1 : 0});
        case Step::CountLimit:
            return Build(0x02, {StepCountLimit, up ? 1 : 0});
        case Step::Threshold:
            break;
    }
    return Build(0x03, {StepThreshold, up ? 1 : 0, 1});
}

Frame SoundFrame(Sound which, bool on) {
    return Build(0x02, {which == Sound::Signal ? SetSignalSound : SetEndSound, on ? 1 : 0});
}

Frame SetOptionsFrame(std::uint8_t settings) { return Build(0x02, {SetOptions, settings}); }

Frame RestoreDefaultsFrame() { return Build(0x01, {RestoreDefaults}); }

Frame QueryFrame(Command query) { return Build(0x01, {query}); }

}  // namespace pulsedesk::link::frames
