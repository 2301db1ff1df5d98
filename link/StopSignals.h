// SIGINT and SIGTERM turned into a readable descriptor, for the programs that serve a line
// (pulsesim, muxserver): their poll loop sees the stop like any input and ends cleanly, so
// what they made (a link, a socket file) is removed on the way out. SIGPIPE is ignored.
#pragma once

namespace pulsedesk::link {

// The descriptor to poll for the stop, or -1 when the signals could not be set up.
// restartCalls: interrupted system calls resume instead of failing with EINTR.
int InstallStopSignals(bool restartCalls);

}  // namespace pulsedesk::link
