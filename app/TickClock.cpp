#include "app/TickClock.h"

#include <chrono>

namespace pulsedesk::app {

TickClock SteadyTickClock() {
    using namespace std::chrono;
    return {[] { return steady_clock::now().time_since_epoch().count(); },
            steady_clock::period::den / steady_clock::period::num};
}

}  // namespace pulsedesk::app
