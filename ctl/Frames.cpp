#include "ctl/Frames.h"

#include "link/protocol.h"

namespace pulsedesk::ctl {

namespace lk = pulsedesk::link;

Frame StartStopFrame(bool start) { return {0x02, {lk::StartStop, start ? 1 : 0}}; }

Frame ClearFinishedFrame() { return {0x01, {lk::ClearFinished}}; }

Frame SetModeFrame(int mode) { return {0x02, {lk::SetMode, mode}}; }

Frame SetCountTimeFrame(ClockTime t) {
    return {0x04, {lk::SetCountTime, t.hours, t.minutes, t.seconds}};
}

Frame SetCountLimitFrame(std::uint32_t limit) {
    return {0x04, {lk::SetCountLimit, limit >> 16, limit >> 8, limit}};
}

Frame SetThresholdFrame(std::int32_t millivolts) {
    const std::uint16_t code = lk::MillivoltsToThresholdCode(millivolts);
    return {0x03, {lk::SetThreshold, code >> 8, code}};
}

Frame StepFrame(Step what, bool up) {
    switch (what) {
        case Step::CountTime:
            return {0x02, {lk::StepCountTime, up ? 1 : 0}};
        case Step::CountLimit:
            return {0x02, {lk::StepCountLimit, up ? 1 : 0}};
        case Step::Threshold:
            break;
    }
    return {0x03, {lk::StepThreshold, up ? 1 : 0, 1}};
}

Frame SoundFrame(Sound which, bool on) {
    return {0x02, {which == Sound::Signal ? lk::SetSignalSound : lk::SetEndSound, on ? 1 : 0}};
}

Frame RestoreDefaultsFrame() { return {0x01, {lk::RestoreDefaults}}; }

Frame QueryFrame(lk::Command query) { return {0x01, {query}}; }

lk::CommandReply Send(lk::TSerial& line, const Frame& f) {
    const auto& v = f.values;
    switch (lk::PayloadLength(f.header)) {
        case 1:
            return line.SendCommand(f.header, {v[0]});
        case 2:
            return line.SendCommand(f.header, {v[0], v[1]});
        case 3:
            return line.SendCommand(f.header, {v[0], v[1], v[2]});
        case 4:
            return line.SendCommand(f.header, {v[0], v[1], v[2], v[3]});
        default:
            return {};
    }
}

}  // namespace pulsedesk::ctl
