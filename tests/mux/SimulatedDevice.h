// The simulated counter (sim/'s PtyDevice and DeviceModel) on the master side of a
// pseudo-terminal, served by a thread of its own, for driving muxserver over a real line.
#pragma once

#include <termios.h>

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "sim/DeviceModel.h"
#include "sim/PtyDevice.h"

namespace pulsedesk::muxtest {

class SimulatedDevice {
  public:
    SimulatedDevice();
    ~SimulatedDevice();  // stops the thread, then closes the master: the device vanishes
    SimulatedDevice(const SimulatedDevice&) = delete;
    SimulatedDevice& operator=(const SimulatedDevice&) = delete;

    const std::string& SlavePath() const { return line->SlavePath(); }
    int RequestsSeen();
    void SetFaults(const sim::Faults& faults);
    // The line settings as the slave side now holds them.
    termios SlaveSettings() const;

  private:
    void Serve();

    std::mutex mutex;  // between the serving thread and the test
    sim::DeviceModel model;
    std::optional<sim::PtyDevice> line;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

// A symlink that can be pointed at another pty at once, as when an adapter is re-plugged.
void PointSymlink(const std::string& link, const std::string& target);

}  // namespace pulsedesk::muxtest
