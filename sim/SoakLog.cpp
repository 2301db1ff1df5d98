#include "SoakLog.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "NumberField.h"

namespace pulsedesk::sim {

std::string WallClockText(std::chrono::system_clock::time_point at) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        at - std::chrono::system_clock::from_time_t(seconds))
                        .count();
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[40];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::snprintf(text + n, sizeof text - n, ".%03lld", static_cast<long long>(ms));
    return text;
}

std::string ElapsedText(std::int64_t h) {
    char text[40];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld.%02lld",
                  static_cast<long long>(h / 360000), static_cast<long long>(h / 6000 % 60),
                  static_cast<long long>(h / 100 % 60), static_cast<long long>(h % 100));
    return text;
}

std::string FinishedLine(std::uint64_t seq, std::chrono::system_clock::time_point at,
                         const FinishedCount& f) {
    const char* by = f.stopped ? "stop" : (f.mode == 3 ? "limit" : "time");
    return "seq=" + std::to_string(seq) + " at=" + WallClockText(at) +
           " mode=" + std::to_string(f.mode) + " count=" + std::to_string(f.count) +
           " elapsed=" + ElapsedText(f.elapsedHundredths) +
           " threshold=" + std::to_string(f.thresholdCode) + " by=" + by;
}

std::string FaultLine(std::chrono::system_clock::time_point at, const ChaosFault& fault) {
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f", fault.durationMs / 1000.0);
    std::string line = "at=" + WallClockText(at) + " fault=" + fault.kind + " duration=" + duration;
    if (fault.bytes > 0) line += " bytes=" + std::to_string(fault.bytes);
    return line;
}

SoakHooks::SoakHooks(DeviceModel::Clock c, std::uint32_t seed)
    : clock(std::move(c)), chaos(seed, [this](const ChaosFault& f) { LogFault(f); }) {}

bool SoakHooks::Open(const Settings& settings, DeviceModel& model, std::string& error) {
    for (auto [path, log] : {std::pair{&settings.finishedLog, &finishedLog},
                             std::pair{&settings.faultLog, &faultLog}}) {
        if (!path->empty() && !(*log = FrameRecord::Open(*path, error))) return false;
    }
    if (finishedLog) {
        model.OnFinish([this](const FinishedCount& f) {
            finishedLog->WriteLine(FinishedLine(++finishedCount, WallClockOf(f.atMs), f));
        });
    }
    if (settings.chaosSeed) chaos.Start(clock());
    return true;
}

std::chrono::system_clock::time_point SoakHooks::WallClockOf(std::int64_t ms) const {
    return std::chrono::system_clock::now() - std::chrono::milliseconds(clock() - ms);
}

void SoakHooks::LogFault(const ChaosFault& fault) {
    const std::string line = FaultLine(WallClockOf(fault.startMs), fault);
    if (faultLog)
        faultLog->WriteLine(line);
    else
        std::fprintf(stderr, "pulsesim: chaos %s\n", line.c_str());
}

bool SoakHooks::Switch(const std::string& argument, const Runner& run, std::string& error) {
    const auto on = ParseOnOff("chaos", argument, error);
    if (!on) return false;
    if (*on) {
        chaos.Start(clock());
    } else if (const std::string end = chaos.Stop(); !end.empty()) {
        run(end);
    }
    std::printf("chaos %s\n", *on ? "on" : "off");
    return true;
}

void SoakHooks::Tick(DeviceModel& model, const Runner& run) {
    if (finishedLog) model.Advance();  // an end is logged when it happens, not at the next poll
    if (const std::string command = chaos.Due(clock()); !command.empty()) run(command);
}

int SoakHooks::MillisecondsUntilDue(const DeviceModel& model) const {
    constexpr int kCountingTick = 10;
    int wait = chaos.MillisecondsUntilDue(clock());
    if (finishedLog && model.Counting())
        wait = wait < 0 ? kCountingTick : std::min(wait, kCountingTick);
    return wait;
}

std::string SoakHooks::Describe() const { return chaos.Running() ? " chaos: on" : ""; }

}  // namespace pulsedesk::sim
