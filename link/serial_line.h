// One termios implementation for every program that opens a serial line: the panel's COM
// transport, the simulated device and the shared-port server.
#pragma once

#include <termios.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace pulsedesk::link {

// "COM-Port" value to device path: a value containing "/" is a path used as it is; COMn (n >= 1)
// is /dev/ttyS(n-1); any other name is /dev/ + name (so an empty name gives "/dev/", which fails).
std::string PortPath(const std::string& portName);

struct LineSettings {
    speed_t speed = B9600;
    bool markParity = false;  // parity bit always 1, checked on input
    bool twoStopBits = false;
    bool dtr = false;  // modem lines; a pseudo-terminal refuses them, which is tolerated
    bool rts = false;
};

// Opens a line for this program alone: O_NOCTTY, close-on-exec, an exclusive flock and
// TIOCEXCL, so a port held by another program fails to open. What is no serial port is refused:
// a file that is no terminal, the terminal this program runs in, a virtual console. Returns -1
// and sets error on failure.
int OpenExclusive(const std::string& path, std::string& error);

// Raw binary mode with the given settings; false when the line refuses them.
bool ConfigureLine(int fd, const LineSettings& settings);

// OpenExclusive, then the counter's line settings (9600 8N1 raw); -1 and the reason on failure.
// The settings the line had before are kept for CloseCounterLine.
int OpenCounterLine(const std::string& path, std::string& error);
// Puts back the settings the line had before OpenCounterLine, then closes it.
void CloseCounterLine(int fd);

// Writes all bytes unless the deadline passes first; returns how many were written.
std::size_t WriteWithin(int fd, const std::uint8_t* data, std::size_t length,
                        std::chrono::milliseconds limit);

enum class ReadOutcome { Byte, Silence, HangUp };

// Waits at most gap for one byte.
ReadOutcome ReadByteWithin(int fd, std::uint8_t& byte, std::chrono::milliseconds gap);

struct Reply {
    std::size_t length = 0;
    bool hungUp = false;
};

// Reads one byte at a time until the first gap of silence, a hang-up or capacity bytes.
Reply ReadUntilSilence(int fd, std::uint8_t* buffer, std::size_t capacity,
                       std::chrono::milliseconds gap);

// The read gap that ends a reply, and the write time-out for a request of n bytes.
inline constexpr std::chrono::milliseconds kReplyGap{50};
constexpr std::chrono::milliseconds WriteLimit(std::size_t length) {
    return std::chrono::milliseconds(300 + 300 * static_cast<long>(length));
}

// One request and its reply, the only way any program of ours talks to the counter: the
// receive queue is emptied (late bytes of an earlier reply must not start this one), the
// request written within WriteLimit, and the reply read until kReplyGap of silence or capacity
// bytes. hungUp says the line itself is gone and must be opened again.
Reply ExchangeOnLine(int fd, const std::uint8_t* request, std::size_t length, std::uint8_t* reply,
                     std::size_t capacity);

}  // namespace pulsedesk::link
