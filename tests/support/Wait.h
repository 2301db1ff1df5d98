// Deadline-based waiting for tests: polls a condition instead of sleeping a fixed time.
#pragma once

#include <chrono>
#include <thread>

namespace pulsedesk::testing {

// interval: how long to wait between two looks; a look that starts a program (an X client,
// say) wants a longer one than a look at memory.
template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(5),
               std::chrono::milliseconds interval = std::chrono::milliseconds(2)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(interval);
    }
    return true;
}

}  // namespace pulsedesk::testing
