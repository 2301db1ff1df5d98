// The device's six option switches as values, and the rules between them and the option byte:
// the settings dialog shows and returns them, the session sends them.
#pragma once

#include <cstdint>

namespace pulsedesk::link {

struct DeviceSwitches {
    bool signalSound = false;       // "Звук по приходу сигнала"
    bool endSound = false;          // "Звук по окончанию счета"
    bool keySound = false;          // "Звук по нажатию кнопок"
    bool invertPulses = false;      // "Инвертировать счетные импульсы"
    bool invertSignals = false;     // "Инвертировать сигналы управления"
    bool highLevelSignals = false;  // "Высокий уровень сигналов управления"
    bool operator==(const DeviceSwitches&) const = default;
};

// The switches from the device's option bits: the three sound switches read "on" from a
// cleared bit, the other three from a set bit.
DeviceSwitches SwitchesOf(std::uint8_t modeOptions);
// The option byte sent back: the mode bits as given, and every ticked switch a 1 bit, the
// sound switches too, as the device takes them.
std::uint8_t OptionByteOf(const DeviceSwitches& switches, std::uint8_t modeOptions);

}  // namespace pulsedesk::link
