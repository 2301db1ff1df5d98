#include "pty_device.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>

namespace pulsedesk::muxtest {

namespace {

std::int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void MakeRaw(int fd) {
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
}

void WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) return;
        done += static_cast<std::size_t>(n);
    }
}

}  // namespace

PtyDevice::PtyDevice() : model(sim::Identity{}, 50.0, 7, NowMs) {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slavePath = ptsname(master);
    slaveKeeper = open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveKeeper < 0) throw std::runtime_error("cannot open " + slavePath);
    MakeRaw(slaveKeeper);  // no echo, no line editing before the server configures the line
    thread = std::thread([this] { Serve(); });
}

PtyDevice::~PtyDevice() {
    stopping = true;
    thread.join();
    close(slaveKeeper);
    close(master);
}

void PtyDevice::Serve() {
    std::vector<std::uint8_t> pending;
    while (!stopping) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
        std::uint8_t chunk[64];
        const ssize_t n = read(master, chunk, sizeof chunk);
        if (n <= 0) continue;
        pending.insert(pending.end(), chunk, chunk + n);
        AnswerFrames(pending);
    }
}

// A frame is (header & 0x0F) + 1 bytes; a header of length 1 is dropped on its own.
void PtyDevice::AnswerFrames(std::vector<std::uint8_t>& pending) {
    while (!pending.empty()) {
        const std::size_t length = (pending[0] & 0x0Fu) + 1u;
        if (pending.size() < length) return;
        if (length >= 2) {
            ++requests;
            std::unique_lock lock(modelMutex);
            const sim::Response response = model.Handle(pending.data(), length);
            lock.unlock();
            WriteAll(master, response.reply);
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(length));
    }
}

void PtyDevice::SetFaults(const sim::Faults& faults) {
    std::lock_guard lock(modelMutex);
    model.faults() = faults;
}

termios PtyDevice::SlaveSettings() const {
    termios t{};
    tcgetattr(slaveKeeper, &t);
    return t;
}

void PointSymlink(const std::string& link, const std::string& target) {
    const std::string temporary = link + ".new";
    unlink(temporary.c_str());
    if (symlink(target.c_str(), temporary.c_str()) != 0 ||
        std::rename(temporary.c_str(), link.c_str()) != 0)
        throw std::runtime_error("cannot point " + link + " at " + target);
}

}  // namespace pulsedesk::muxtest
