// SIGINT and SIGTERM turned into a readable descriptor, for the programs that serve a line
// (pulsesim, muxserver) and pulsectl: a poll loop sees the stop like any input and ends cleanly,
// so what they made (a link, a socket file, a running count) is undone on the way out. SIGPIPE
// is ignored.
#pragma once

#include <chrono>

namespace pulsedesk::link {

// The descriptor to poll for the stop, or -1 when the signals could not be set up.
// restartCalls: interrupted system calls resume instead of failing with EINTR.
int InstallStopSignals(bool restartCalls);

// The signal that asked for the stop, 0 while none did.
int StopSignalReceived();

// Waits for the duration; false when a stop is asked for meanwhile (or was before). Without
// installed signals it only waits.
bool PauseUnlessStopped(std::chrono::steady_clock::duration duration);

}  // namespace pulsedesk::link
