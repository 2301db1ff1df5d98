#include "link/StopSignals.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <thread>

namespace pulsedesk::link {

namespace {

int stopPipe[2] = {-1, -1};
std::atomic<int> received{0};

void OnStopSignal(int signal) {
    const int saved = errno;
    received = signal;
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

int StopSignalReceived() { return received.load(); }

bool PauseUnlessStopped(std::chrono::steady_clock::duration duration) {
    using namespace std::chrono;
    const auto deadline = steady_clock::now() + duration;
    while (received.load() == 0) {
        const auto left = ceil<milliseconds>(deadline - steady_clock::now());
        if (left.count() <= 0) return true;
        if (stopPipe[0] < 0) {
            std::this_thread::sleep_for(left);
            continue;
        }
        pollfd p{stopPipe[0], POLLIN, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
    return false;
}

}  // namespace pulsedesk::link
