// TSerialCom: the link over a local serial port (termios), 9600 baud 8N1, no flow control.
#pragma once

#include <string>

#include "serial_line.h"
#include "tser.h"

namespace pulsedesk::link {

class TSerialCom final : public TSerial {
public:
    explicit TSerialCom(std::string portName);
    ~TSerialCom() override;

    termios dcb{};            // the line settings written by OpenTransport
    int portHandle = -1;      // -1 while the line is closed
    const std::string portName;

    static constexpr std::chrono::milliseconds kReadGap{50};
    static std::chrono::milliseconds WriteLimit(std::size_t length) {
        return std::chrono::milliseconds(300 + 300 * length);
    }

protected:
    bool OpenTransport() override;
    int Exchange(const std::uint8_t* request, std::uint8_t length, std::uint8_t capacity,
                 std::uint8_t* reply) override;

private:
    void CloseLine();
    bool ReopenAfterHangUp();

    bool lineLost = false;  // hung up: reopen the same path at the next exchange
};

}  // namespace pulsedesk::link
