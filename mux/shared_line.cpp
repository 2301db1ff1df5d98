#include "shared_line.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "link/serial_line.h"
#include "wire.h"

namespace pulsedesk::mux {

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kReadGap{50};

milliseconds WriteLimit(std::size_t length) {
    return milliseconds(300) + milliseconds(300) * static_cast<long>(length);
}

bool PollReportsHangUp(int fd) {
    pollfd p{fd, 0, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

SharedLine::SharedLine(std::string path, LogSink log)
    : path(std::move(path)), log(std::move(log)) {}

SharedLine::~SharedLine() {
    if (fd >= 0) close(fd);
}

bool SharedLine::Open(std::string& error) {
    const int opened = link::OpenExclusive(path, error);
    if (opened < 0) return false;
    if (!link::ConfigureLine(opened, link::LineSettings{})) {
        error = path + ": refuses 9600 8N1 raw settings";
        close(opened);
        return false;
    }
    fd = opened;
    return true;
}

std::size_t SharedLine::Transact(const std::uint8_t* request, std::size_t length,
                                 std::uint8_t* reply) {
    if (!EnsureOpen()) return 0;
    link::DiscardInput(fd);  // late bytes of an earlier reply must not start this one
    if (!WriteRequest(request, length)) return 0;
    const link::Reply r = link::ReadUntilSilence(fd, reply, kMaxReply, kReadGap);
    if (r.hungUp) CloseAfterHangUp();
    return r.length;
}

bool SharedLine::WriteRequest(const std::uint8_t* request, std::size_t length) {
    const std::size_t written = link::WriteWithin(fd, request, length, WriteLimit(length));
    if (written == length) return true;
    if (link::IsHangUpError(errno) || PollReportsHangUp(fd)) CloseAfterHangUp();
    return false;
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
    close(fd);
    fd = -1;
    ++hangUps;
    log("line hung up: " + path + " (reopened at the next transaction)");
}

}  // namespace pulsedesk::mux
