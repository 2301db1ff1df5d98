// The frame trace for service work: when PULSEDESK_TRACE names a file, every exchange is
// appended to it as one line. Off by default, and then it costs one pointer test.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>

namespace pulsedesk::link {

class FrameTrace {
  public:
    // The trace named by the environment, or none.
    static std::unique_ptr<FrameTrace> FromEnvironment();
    explicit FrameTrace(std::FILE* file);
    ~FrameTrace();

    // "<monotonic ms> <thread> > <request hex> < <reply hex> (<n>)" or "... < no reply".
    void Record(const std::uint8_t* request, std::size_t length, const std::uint8_t* reply,
                int replyLength);

  private:
    std::FILE* file;
    std::mutex writing;
};

}  // namespace pulsedesk::link
