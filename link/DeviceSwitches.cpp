#include "link/DeviceSwitches.h"

#include "link/commands.h"

namespace pulsedesk::link {

DeviceSwitches SwitchesOf(std::uint8_t o) {
    return {!(o & kOptSignalSoundOff),     !(o & kOptEndSoundOff),
            !(o & kOptKeySoundOff),        (o & kOptInvertPulses) != 0,
            (o & kOptInvertSignals) != 0, (o & kOptHighLevelSignals) != 0};
}

std::uint8_t OptionByteOf(const DeviceSwitches& s, std::uint8_t modeOptions) {
    const auto bit = [](bool on, std::uint8_t mask) { return on ? mask : std::uint8_t{0}; };
    return static_cast<std::uint8_t>(
        (modeOptions & kModeMask) | bit(s.highLevelSignals, kOptHighLevelSignals) |
        bit(s.invertSignals, kOptInvertSignals) | bit(s.invertPulses, kOptInvertPulses) |
        bit(s.signalSound, kOptSignalSoundOff) | bit(s.keySound, kOptKeySoundOff) |
        bit(s.endSound, kOptEndSoundOff));
}

}  // namespace pulsedesk::link
