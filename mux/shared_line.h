// SharedLine: the one serial line the server owns, driven by the same exchange rule as the
// panel's COM transport. A line that hangs up is closed and opened again, by the same path, at
// the next transaction, so an adapter that is re-plugged (or a new pty behind a symlink) is
// picked up without restarting the server.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace pulsedesk::mux {

using LogSink = std::function<void(const std::string&)>;

class SharedLine {
  public:
    SharedLine(std::string path, LogSink log);
    ~SharedLine();
    SharedLine(const SharedLine&) = delete;
    SharedLine& operator=(const SharedLine&) = delete;

    // Opens the line now; false with the reason when it cannot.
    bool Open(std::string& error);

    // One exchange by the serial line's one rule (link::ExchangeOnLine). Returns the number of
    // bytes placed in reply (kMaxReply bytes of room), 0 while the line is unavailable.
    std::size_t Transact(const std::uint8_t* request, std::size_t length, std::uint8_t* reply);

    bool IsOpen() const { return fd >= 0; }
    std::uint64_t HangUps() const { return hangUps; }
    std::uint64_t Reopens() const { return reopens; }

  private:
    bool EnsureOpen();
    void CloseAfterHangUp();

    std::string path;
    LogSink log;
    int fd = -1;
    std::string lastOpenError;
    std::uint64_t hangUps = 0;
    std::uint64_t reopens = 0;
};

}  // namespace pulsedesk::mux
