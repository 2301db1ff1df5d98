// SeriesCounter: ПОВТОР, the measurements left in a series and the configured number it is
// refilled with. The panel's up-down shows what is left; the rules live here, apart from the
// widget, so that a test reaches them without a window.
#pragma once

#include <algorithm>
#include <cstdint>

namespace pulsedesk::app {

class SeriesCounter {
  public:
    // The up-down's range: what is left always lies in it, as the widget would hold it.
    static constexpr int kMinimum = 1;
    static constexpr int kMaximum = 99;

    explicit SeriesCounter(int repeatCount = 3) { Configure(repeatCount); }

    // From the settings, or the operator's arrows and typing: the configured number and what
    // is left.
    void Configure(int repeatCount) {
        configured = repeatCount;
        Refill();
    }
    // A series ends (its last count, a stop, a lost count): what is left becomes the configured
    // number again.
    // The up-down takes the low 16 bits of the configured number, then its range.
    void Refill() {
        left = std::clamp<int>(static_cast<std::int16_t>(configured & 0xFFFF), kMinimum, kMaximum);
    }
    // Whether the count that just ended is followed by another of the series.
    bool AnotherFollows() const { return left > 1; }
    // The next count of the series has been started.
    void Started() { left = std::max(kMinimum, left - 1); }

    int Left() const { return left; }
    int Configured() const { return configured; }

  private:
    int configured = 3;
    int left = 3;
};

}  // namespace pulsedesk::app
