// TSerialCom: the link over a local serial port (termios), 9600 baud 8N1, no flow control.
#pragma once

#include <atomic>
#include <string>

#include "serial_line.h"
#include "tser.h"

namespace pulsedesk::link {

class TSerialCom final : public TSerial {
  public:
    explicit TSerialCom(std::string portName);
    ~TSerialCom() override;

    const std::string& PortName() const { return portName; }
    // Why the port could not be opened the last time it was tried (path and reason); empty
    // after a successful open.
    std::string OpenError() const;
    // The open line's descriptor, -1 while it is closed; for looking at its settings only.
    int PortHandle() const { return portHandle.load(); }

  protected:
    bool OpenTransport() override;
    int Exchange(const std::uint8_t* request, std::uint8_t length, std::uint8_t capacity,
                 std::uint8_t* reply) override;

  private:
    void CloseLine();

    const std::string portName;
    std::atomic<int> portHandle{-1};
    bool lineLost = false;  // hung up: reopen the same path at the next exchange
    mutable std::mutex openErrorMutex;
    std::string openError;
};

}  // namespace pulsedesk::link
