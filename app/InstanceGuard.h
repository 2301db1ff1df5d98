// InstanceGuard: one running panel per program name. An exclusive lock on a file named after
// the upper-cased executable file name; the kernel drops it when the process ends, however it
// ends, so a crash never leaves the bench locked. The holder writes its process id into the
// file, so that a refused instance can name it.
#pragma once

#include <sys/types.h>

#include <string>

namespace pulsedesk::app {

class InstanceGuard {
  public:
    // Tries the lock in $XDG_RUNTIME_DIR, else /tmp.
    explicit InstanceGuard(const std::string& executablePath);
    ~InstanceGuard();
    InstanceGuard(const InstanceGuard&) = delete;
    InstanceGuard& operator=(const InstanceGuard&) = delete;

    // True when another process holds the lock. A lock file that cannot be opened at all does
    // not stop the program: it starts as a first instance.
    bool AnotherInstanceRuns() const { return anotherRuns; }
    // The process id that the running instance wrote into the lock file; 0 when not known
    // (it has not written it yet).
    pid_t HolderPid() const { return holder; }

    static std::string LockPath(const std::string& executablePath);

  private:
    int fd = -1;
    bool anotherRuns = false;
    pid_t holder = 0;
};

}  // namespace pulsedesk::app
