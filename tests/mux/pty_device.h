// PtyDevice: the simulated counter on the master side of a pseudo-terminal, for driving
// muxserver over a real line. A thread reads request frames by the header rule and answers
// each one from sim::DeviceModel at once; the slave path is what the server opens.
#pragma once

#include <termios.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/DeviceModel.h"

namespace pulsedesk::muxtest {

class PtyDevice {
  public:
    PtyDevice();
    ~PtyDevice();  // stops the thread, then closes the master: the device vanishes
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    const std::string& SlavePath() const { return slavePath; }
    int RequestsSeen() const { return requests.load(); }
    void SetFaults(const sim::Faults& faults);
    // The line settings as the slave side now holds them.
    termios SlaveSettings() const;

  private:
    void Serve();
    void AnswerFrames(std::vector<std::uint8_t>& pending);

    int master = -1;
    int slaveKeeper = -1;  // keeps the pty alive between the server's opens
    std::string slavePath;
    std::mutex modelMutex;
    sim::DeviceModel model;
    std::atomic<bool> stopping{false};
    std::atomic<int> requests{0};
    std::thread thread;
};

// A symlink that can be pointed at another pty at once, as when an adapter is re-plugged.
void PointSymlink(const std::string& link, const std::string& target);

}  // namespace pulsedesk::muxtest
