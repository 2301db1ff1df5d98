// Serves a DeviceModel on a line: the master side of a pseudo-terminal (whose slave the panel
// opens) or a real tty. Requests are framed by the header's length nibble; replies go out at once,
// stray "late" bytes well after the reply has ended.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "DeviceModel.h"

namespace pulsedesk::sim {

class PtyDevice {
  public:
    using RequestObserver = std::function<void(const std::vector<std::uint8_t>& request)>;

    // A new pseudo-terminal; linkPath (may be empty) becomes a symbolic link to its slave, if
    // nothing but a dangling symbolic link has that name. The link goes when the line closes.
    static std::optional<PtyDevice> OpenPty(const std::string& linkPath, std::string& error);
    // A real serial port at 9600 8N1, for a null-modem cable to a bench computer.
    static std::optional<PtyDevice> OpenPort(const std::string& path, std::string& error);

    PtyDevice(PtyDevice&& other) noexcept;
    PtyDevice& operator=(PtyDevice&& other) noexcept;
    ~PtyDevice();

    const std::string& SlavePath() const { return slavePath; }
    int Descriptor() const { return fd; }
    int RequestsAnswered() const { return requestsAnswered; }

    // Call when the descriptor is readable (or to flush due late bytes): answers complete
    // requests, each shown to observe first. Returns false when the other side hung up for
    // good (a real port went away).
    bool Serve(DeviceModel& model, const RequestObserver& observe = {});
    // How long poll() may sleep before late bytes fall due; -1 when none are pending.
    int MillisecondsUntilDue() const;
    void FlushDue();

  private:
    PtyDevice(int fd, int keepSlaveOpen, std::string slavePath, std::string linkPath);
    void Answer(DeviceModel& model, const std::vector<std::uint8_t>& request);
    void Close();

    int fd = -1;
    int slaveKeeper = -1;  // keeps the pty alive while no panel has it open
    std::string slavePath;
    std::string linkPath;
    std::vector<std::uint8_t> pending;  // bytes of a request not yet complete
    std::chrono::steady_clock::time_point pendingSince;
    std::vector<std::uint8_t> late;
    std::chrono::steady_clock::time_point lateDue;
    int requestsAnswered = 0;
};

}  // namespace pulsedesk::sim
