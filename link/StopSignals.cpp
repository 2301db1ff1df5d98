#include "link/StopSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>

namespace pulsedesk::link {

namespace {

int stopPipe[2] = {-1, -1};

void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const auto n = write(stopPipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

int InstallStopSignals(bool restartCalls) {
    if (pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = restartCalls ? SA_RESTART : 0;
    signal(SIGPIPE, SIG_IGN);
    if (sigaction(SIGINT, &sa, nullptr) != 0 || sigaction(SIGTERM, &sa, nullptr) != 0) return -1;
    return stopPipe[0];
}

}  // namespace pulsedesk::link
