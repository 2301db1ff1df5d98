// A monotonic tick counter and its ticks per second; the run-state timing uses nothing else.
#pragma once

#include <cstdint>
#include <functional>

namespace pulsedesk::app {

struct TickClock {
    std::function<std::int64_t()> now;
    std::int64_t frequency;
};
TickClock SteadyTickClock();

}  // namespace pulsedesk::app
