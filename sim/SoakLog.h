// The lines pulsesim appends for a soak run's checker: one per finished count and one per fault
// its chaos puts in, each stamped with the local wall-clock time, the time the panel's report
// lines carry.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "Chaos.h"
#include "DeviceModel.h"
#include "FrameRecord.h"

namespace pulsedesk::sim {

// "2026-12-07T14:05:09.250"
std::string WallClockText(std::chrono::system_clock::time_point at);
// "0:00:08.00": hours, minutes, seconds and hundredths.
std::string ElapsedText(std::int64_t hundredths);

// "seq=3 at=... mode=1 count=574 elapsed=0:00:08.00 threshold=2096 by=time": the threshold in
// device units; by=limit in mode 3, by=stop for a count ended by a stop command.
std::string FinishedLine(std::uint64_t seq, std::chrono::system_clock::time_point at,
                         const FinishedCount& finished);
// "at=... fault=late duration=1.250 bytes=7" (bytes only for overlong and late).
std::string FaultLine(std::chrono::system_clock::time_point at, const ChaosFault& fault);

// What pulsesim does for a soak run: logs the counts the device finishes, and runs the chaos,
// whose faults go to their own log or, without one, to standard error.
class SoakHooks {
  public:
    using Runner = std::function<void(const std::string& command)>;
    struct Settings {
        std::string finishedLog, faultLog;
        std::optional<std::uint32_t> chaosSeed;  // chaos from the start when set
    };

    // clock: the model's. The hooks stay where they are made: the model and the chaos call
    // back into them.
    SoakHooks(DeviceModel::Clock clock, std::uint32_t seed);
    SoakHooks(const SoakHooks&) = delete;
    SoakHooks& operator=(const SoakHooks&) = delete;

    // Opens the logs the settings name, listens to the model and starts the chaos if asked;
    // false with error set when a log cannot be opened.
    bool Open(const Settings& settings, DeviceModel& model, std::string& error);

    // "chaos on|off"; false with error set for any other argument. Turning it off ends the
    // fault under way through run.
    bool Switch(const std::string& argument, const Runner& run, std::string& error);
    // Brings the count and the chaos up to now; call it on every turn of the serving loop.
    void Tick(DeviceModel& model, const Runner& run);
    // How long the serving loop may sleep: -1 when nothing of ours falls due.
    int MillisecondsUntilDue(const DeviceModel& model) const;
    // " chaos: on" while it runs, else nothing.
    std::string Describe() const;

  private:
    std::chrono::system_clock::time_point WallClockOf(std::int64_t ms) const;
    void LogFault(const ChaosFault& fault);

    DeviceModel::Clock clock;
    std::optional<FrameRecord> finishedLog, faultLog;
    std::uint64_t finishedCount = 0;
    Chaos chaos;
};

}  // namespace pulsedesk::sim
