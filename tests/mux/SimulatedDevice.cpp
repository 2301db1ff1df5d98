#include "SimulatedDevice.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

namespace pulsedesk::muxtest {

namespace {

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Short enough for the thread to notice that it should stop.
constexpr int kPollMs = 20;

}  // namespace

SimulatedDevice::SimulatedDevice() : model(sim::Identity{}, 50.0, 7, NowMs) {
    std::string error;
    line = sim::PtyDevice::OpenPty({}, error);
    if (!line) throw std::runtime_error(error);
    thread = std::thread([this] { Serve(); });
}

SimulatedDevice::~SimulatedDevice() {
    stopping = true;
    thread.join();
}

void SimulatedDevice::Serve() {
    while (!stopping) {
        const int due = line->MillisecondsUntilDue();
        pollfd p{line->Descriptor(), POLLIN, 0};
        ::poll(&p, 1, due < 0 ? kPollMs : std::min(due, kPollMs));
        std::lock_guard lock(mutex);
        if (!line->Serve(model)) return;
    }
}

int SimulatedDevice::RequestsSeen() {
    std::lock_guard lock(mutex);
    return line->RequestsAnswered();
}

void SimulatedDevice::SetFaults(const sim::Faults& faults) {
    std::lock_guard lock(mutex);
    model.faults() = faults;
}

// The master answers for the slave's settings.
termios SimulatedDevice::SlaveSettings() const {
    termios t{};
    ::tcgetattr(line->Descriptor(), &t);
    return t;
}

void PointSymlink(const std::string& link, const std::string& target) {
    const std::string temporary = link + ".new";
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0 ||
        std::rename(temporary.c_str(), link.c_str()) != 0)
        throw std::runtime_error("cannot point " + link + " at " + target);
}

}  // namespace pulsedesk::muxtest
