#include "shared_line.h"

#include <unistd.h>

#include "link/serial_line.h"
#include "wire.h"

namespace pulsedesk::mux {

SharedLine::SharedLine(std::string path, LogSink log)
    : path(std::move(path)), log(std::move(log)) {}

SharedLine::~SharedLine() { link::CloseCounterLine(fd); }

bool SharedLine::Open(std::string& error) {
    fd = link::OpenCounterLine(path, error);
    return fd >= 0;
}

std::size_t SharedLine::Transact(const std::uint8_t* request, std::size_t length,
                                 std::uint8_t* reply) {
    if (!EnsureOpen()) return 0;
    const link::Reply r = link::ExchangeOnLine(fd, request, length, reply, kMaxReply);
    if (r.hungUp) CloseAfterHangUp();
    return r.length;
}

// Reopening is tried once per transaction; only a change of the reason is logged.
bool SharedLine::EnsureOpen() {
    if (fd >= 0) return true;
    std::string error;
    if (!Open(error)) {
        if (error != lastOpenError) log("line unavailable: " + error);
        lastOpenError = error;
        return false;
    }
    lastOpenError.clear();
    ++reopens;
    log("line reopened: " + path);
    return true;
}

void SharedLine::CloseAfterHangUp() {
    link::CloseCounterLine(fd);
    fd = -1;
    ++hangUps;
    log("line hung up: " + path + " (reopened at the next transaction)");
}

}  // namespace pulsedesk::mux
