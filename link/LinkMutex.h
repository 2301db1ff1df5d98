// A recursive mutex with timed waits, owned per thread: the lock around every exchange with
// the device. Built on std::mutex and a condition variable so that ThreadSanitizer sees every
// acquisition (it does not follow pthread_mutex_clocklock, which the standard timed mutexes use).
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace pulsedesk::link {

class LinkMutex {
  public:
    void lock() {
        std::unique_lock guard(state);
        released.wait(guard, [this] { return Available(); });
        Take();
    }

    bool try_lock() {
        std::lock_guard guard(state);
        if (!Available()) return false;
        Take();
        return true;
    }

    template <class Rep, class Period>
    bool try_lock_for(const std::chrono::duration<Rep, Period>& timeout) {
        std::unique_lock guard(state);
        if (!released.wait_for(guard, timeout, [this] { return Available(); })) return false;
        Take();
        return true;
    }

    void unlock() {
        {
            std::lock_guard guard(state);
            if (--depth > 0) return;
            owner = std::thread::id{};
        }
        released.notify_one();
    }

  private:
    bool Available() const { return depth == 0 || owner == std::this_thread::get_id(); }
    void Take() {
        owner = std::this_thread::get_id();
        ++depth;
    }

    std::mutex state;
    std::condition_variable released;
    std::thread::id owner;
    int depth = 0;
};

}  // namespace pulsedesk::link
