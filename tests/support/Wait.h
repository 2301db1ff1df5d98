// Deadline-based waiting for tests: polls a condition instead of sleeping a fixed time.
#pragma once

#include <chrono>
#include <thread>

namespace pulsedesk::testing {

template <class Pred>
bool WaitUntil(Pred pred, std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace pulsedesk::testing
