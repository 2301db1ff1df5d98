#include "tser_com.h"

#include <unistd.h>

namespace pulsedesk::link {

TSerialCom::TSerialCom(std::string name) : portName(std::move(name)) { OpenAndStart(); }

TSerialCom::~TSerialCom() {
    StopPolling();
    CloseLine();
}

std::string TSerialCom::OpenError() const {
    std::lock_guard lock(openErrorMutex);
    return openError;
}

bool TSerialCom::OpenTransport() {
    std::string error;
    portHandle = OpenCounterLine(PortPath(portName), error);
    std::lock_guard lock(openErrorMutex);
    openError = portHandle >= 0 ? std::string() : error;
    return portHandle >= 0;
}

void TSerialCom::CloseLine() {
    const int fd = portHandle.exchange(-1);
    CloseCounterLine(fd);
}

// A USB adapter that was pulled and plugged in again, or a simulator that made a new
// pseudo-terminal at the same path, brings the link back without a restart.
int TSerialCom::Exchange(const std::uint8_t* request, std::uint8_t length, std::uint8_t capacity,
                         std::uint8_t* reply) {
    if (lineLost) {
        if (!OpenTransport()) return 0;
        lineLost = false;
    }
    if (portHandle < 0) return 0;
    const Reply r = ExchangeOnLine(portHandle, request, length, reply, capacity);
    if (r.hungUp) {
        CloseLine();
        lineLost = true;
    }
    return static_cast<int>(r.length);
}

}  // namespace pulsedesk::link
