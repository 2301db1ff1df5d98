#include "tser_com.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace pulsedesk::link {

namespace {

bool LineReportsHangUp(int fd) {
    pollfd p{fd, POLLIN | POLLOUT, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

TSerialCom::TSerialCom(std::string name) : portName(std::move(name)) { OpenAndStart(); }

TSerialCom::~TSerialCom() {
    StopPolling();
    CloseLine();
}

bool TSerialCom::OpenTransport() {
    std::string error;
    portHandle = OpenExclusive(PortPath(portName), error);
    if (portHandle < 0) return false;
    if (!ConfigureLine(portHandle, LineSettings{}) || tcgetattr(portHandle, &dcb) != 0) {
        CloseLine();
        return false;
    }
    return true;
}

void TSerialCom::CloseLine() {
    if (portHandle >= 0) close(portHandle);
    portHandle = -1;
}

// A USB adapter that was pulled and plugged in again, or a simulator that made a new
// pseudo-terminal at the same path, brings the link back without a restart.
bool TSerialCom::ReopenAfterHangUp() {
    if (!OpenTransport()) return false;
    lineLost = false;
    return true;
}

int TSerialCom::Exchange(const std::uint8_t* request, std::uint8_t length, std::uint8_t capacity,
                         std::uint8_t* reply) {
    if (lineLost && !ReopenAfterHangUp()) return 0;
    if (portHandle < 0) return 0;
    DiscardInput(portHandle);  // late bytes of an earlier reply must not start this one
    bytesWritten = static_cast<std::uint32_t>(WriteWithin(portHandle, request, length, WriteLimit(length)));
    if (bytesWritten != length) {
        if (LineReportsHangUp(portHandle)) {
            CloseLine();
            lineLost = true;
        }
        return 0;
    }
    const Reply r = ReadUntilSilence(portHandle, reply, capacity, kReadGap);
    if (r.hungUp) {
        CloseLine();
        lineLost = true;
    }
    return static_cast<int>(r.length);
}

}  // namespace pulsedesk::link
