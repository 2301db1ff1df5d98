#include "ctl/StopSignal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace pulsedesk::ctl {

namespace {

std::atomic<int> received{0};
int wakePipe[2] = {-1, -1};

void OnStop(int signal) {
    const int saved = errno;
    received = signal;
    const char byte = 1;
    [[maybe_unused]] const auto n = write(wakePipe[1], &byte, 1);
    errno = saved;
}

}  // namespace

void StopSignal::Install() {
    if (pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return;  // then pauses just sleep
    struct sigaction sa {};
    sa.sa_handler = OnStop;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    signal(SIGPIPE, SIG_IGN);
}

int StopSignal::Received() { return received.load(); }

bool StopSignal::Pause(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    while (received.load() == 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return true;
        pollfd p{wakePipe[0], POLLIN, 0};
        poll(&p, 1, static_cast<int>(left.count()));
    }
    return false;
}

}  // namespace pulsedesk::ctl
