#include "SimLink.h"

#include <algorithm>

namespace pulsedesk::testing {

TSerialSim::TSerialSim(sim::DeviceModel& m, bool fails) : model(m), openFails(fails) {
    OpenAndStart();
}

TSerialSim::~TSerialSim() { StopPolling(); }

std::vector<std::vector<std::uint8_t>> TSerialSim::Requests() {
    std::lock_guard lock(seenMutex);
    return seen;
}

// Like a real line: at most capacity bytes are taken, and stray late bytes are flushed before
// the next request, so they never reach a caller.
int TSerialSim::Exchange(const std::uint8_t* request, std::uint8_t length, std::uint8_t capacity,
                         std::uint8_t* reply) {
    ++exchanges;
    {
        std::lock_guard lock(seenMutex);
        seen.emplace_back(request, request + length);
    }
    const sim::Response r = model.Handle(request, length);
    const std::size_t n = std::min<std::size_t>(r.reply.size(), capacity);
    std::copy_n(r.reply.begin(), n, reply);
    return static_cast<int>(n);
}

}  // namespace pulsedesk::testing
