// Ctrl-C (SIGINT) and SIGTERM end pulsectl's long commands in order: the loops ask whether a
// stop was asked for, and their pauses end at once when it is.
#pragma once

#include <chrono>

namespace pulsedesk::ctl {

class StopSignal {
  public:
    // Installs the handlers; call once, before any pause.
    static void Install();
    // The signal that asked for the stop, 0 while none did.
    static int Received();
    // Waits for the duration; false when a stop is asked for meanwhile (or was before).
    static bool Pause(std::chrono::milliseconds duration);
};

// A stop that ends the program with 128 + the signal's number, after what it must do.
struct Interrupted {
    int signal;
};

}  // namespace pulsedesk::ctl
