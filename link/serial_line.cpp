#include "serial_line.h"

#include <fcntl.h>
#include <linux/kd.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <mutex>

namespace pulsedesk::link {

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    // Rounded up, so that a gap of 50 ms is never cut short.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// A pseudo-terminal has no modem lines and answers ENOTTY/EINVAL: that is not a failure.
void SetModemLine(int fd, int line, bool active) { ioctl(fd, active ? TIOCMBIS : TIOCMBIC, &line); }

// Frames written onto the terminal a user types in would show there and leave it raw.
std::string WhyNoSerialPort(int fd) {
    if (!isatty(fd)) return "not a serial device";
    if (tcgetsid(fd) == getsid(0)) return "the terminal this program runs in, not a serial port";
    char keyboard = 0;
    if (ioctl(fd, KDGKBTYPE, &keyboard) == 0) return "a virtual console, not a serial port";
    return {};
}

// The settings of each line opened by OpenCounterLine as it found them, by descriptor.
std::mutex savedMutex;
std::map<int, termios> savedSettings;

}  // namespace

std::string PortPath(const std::string& name) {
    if (name.find('/') != std::string::npos) return name;
    if (name.size() > 3 && name.compare(0, 3, "COM") == 0 &&
        name.find_first_not_of("0123456789", 3) == std::string::npos) {
        const unsigned long n = std::strtoul(name.c_str() + 3, nullptr, 10);
        if (n >= 1 && name.size() < 12) return "/dev/ttyS" + std::to_string(n - 1);
    }
    return "/dev/" + name;
}

int OpenExclusive(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = path + ": " + std::strerror(errno);
        return -1;
    }
    // A regular file or /dev/null opens as well, but would swallow the frames: refuse it
    // before the lock, so that it is not reported as held by another program.
    if (const std::string why = WhyNoSerialPort(fd); !why.empty()) {
        error = path + ": " + why;
        close(fd);
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 || ioctl(fd, TIOCEXCL) != 0) {
        error = path + ": in use by another program";
        close(fd);
        return -1;
    }
    // Reads and writes are paced by poll(), so the descriptor stays non-blocking.
    return fd;
}

bool ConfigureLine(int fd, const LineSettings& s) {
    termios t{};
    if (tcgetattr(fd, &t) != 0) return false;
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    if (s.markParity) t.c_cflag |= PARENB | PARODD | CMSPAR;
    if (s.twoStopBits) t.c_cflag |= CSTOPB;
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR);
    if (s.markParity) t.c_iflag |= INPCK;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (cfsetispeed(&t, s.speed) != 0 || cfsetospeed(&t, s.speed) != 0) return false;
    if (tcsetattr(fd, TCSANOW, &t) != 0) return false;
    SetModemLine(fd, TIOCM_DTR, s.dtr);
    SetModemLine(fd, TIOCM_RTS, s.rts);
    return true;
}

int OpenCounterLine(const std::string& path, std::string& error) {
    const int fd = OpenExclusive(path, error);
    if (fd < 0) return -1;
    termios before{};
    const bool known = tcgetattr(fd, &before) == 0;
    if (!ConfigureLine(fd, LineSettings{})) {
        error = path + ": refuses 9600 8N1 raw settings";
        close(fd);
        return -1;
    }
    std::lock_guard lock(savedMutex);
    if (known)
        savedSettings[fd] = before;
    else
        savedSettings.erase(fd);
    return fd;
}

// A line that has hung up refuses the settings; it is closed all the same.
void CloseCounterLine(int fd) {
    if (fd < 0) return;
    {
        std::lock_guard lock(savedMutex);
        if (const auto it = savedSettings.find(fd); it != savedSettings.end()) {
            tcsetattr(fd, TCSANOW, &it->second);
            savedSettings.erase(it);
        }
    }
    close(fd);
}

std::size_t WriteWithin(int fd, const std::uint8_t* data, std::size_t length,
                        std::chrono::milliseconds limit) {
    const auto deadline = Clock::now() + limit;
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = write(fd, data + done, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) break;
        pollfd p{fd, POLLOUT, 0};
        const int left = MillisecondsLeft(deadline);
        if (left == 0 || poll(&p, 1, left) <= 0 || (p.revents & (POLLERR | POLLHUP))) break;
    }
    return done;
}

ReadOutcome ReadByteWithin(int fd, std::uint8_t& byte, std::chrono::milliseconds gap) {
    const auto deadline = Clock::now() + gap;
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, MillisecondsLeft(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return ReadOutcome::HangUp;
        if (ready == 0) return ReadOutcome::Silence;
        const ssize_t n = read(fd, &byte, 1);
        if (n == 1) return ReadOutcome::Byte;
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (MillisecondsLeft(deadline) == 0) return ReadOutcome::Silence;
            continue;
        }
        return ReadOutcome::HangUp;  // read 0 after POLLHUP, EIO, ENODEV: the line is gone
    }
}

Reply ReadUntilSilence(int fd, std::uint8_t* buffer, std::size_t capacity,
                       std::chrono::milliseconds gap) {
    Reply r;
    while (r.length < capacity) {
        const ReadOutcome o = ReadByteWithin(fd, buffer[r.length], gap);
        if (o == ReadOutcome::Byte) {
            ++r.length;
            continue;
        }
        r.hungUp = o == ReadOutcome::HangUp;
        break;
    }
    return r;
}

namespace {

bool IsHangUpError(int error) { return error == EIO || error == ENODEV || error == ENXIO; }

bool PollReportsHangUp(int fd) {
    pollfd p{fd, POLLIN | POLLOUT, 0};
    return poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

Reply ExchangeOnLine(int fd, const std::uint8_t* request, std::size_t length, std::uint8_t* reply,
                     std::size_t capacity) {
    tcflush(fd, TCIFLUSH);
    errno = 0;
    if (WriteWithin(fd, request, length, WriteLimit(length)) != length) {
        Reply failed;
        failed.hungUp = IsHangUpError(errno) || PollReportsHangUp(fd);
        return failed;
    }
    return ReadUntilSilence(fd, reply, capacity, kReplyGap);
}

}  // namespace pulsedesk::link
