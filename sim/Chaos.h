// Random misbehaviour of the simulated counter for soak runs: one fault at a time, each for a
// fraction of a second to a few seconds, after a quiet spell of random length. Faults are put
// in and taken out with the simulator's own console commands, so chaos adds no fault of its own.
#pragma once

#include <cstdint>
#include <functional>
#include <random>
#include <string>

namespace pulsedesk::sim {

struct ChaosFault {
    std::string kind;   // the command's word: noreply, noreplyb, overlong, late, hangup or error
    std::string start;  // the command that puts it in
    std::string end;    // the command that takes it out; empty for a hang-up, which heals itself
    int bytes = 0;      // stray bytes per reply for overlong and late, else 0
    std::int64_t startMs = 0;
    int durationMs = 0;
};

class Chaos {
  public:
    static constexpr int kMinFaultMs = 200, kMaxFaultMs = 3000;
    static constexpr int kMinQuietMs = 1000, kMaxQuietMs = 8000;
    static constexpr int kMaxStrayBytes = 32;
    static constexpr int kMaxDeviceError = 10;  // the device's own error numbers, 1 to 10

    using FaultObserver = std::function<void(const ChaosFault&)>;
    // Off until Start; onBegin hears of every fault as it begins.
    Chaos(std::uint32_t seed, FaultObserver onBegin);

    void Start(std::int64_t nowMs);  // the first fault follows a quiet spell
    // Off; the command that ends the fault under way, or "" when none needs one.
    std::string Stop();
    bool Running() const { return running; }

    // The command due at nowMs: the end of a fault whose time is up, or the start of the next
    // one once its quiet spell is over; "" when nothing is to be run.
    std::string Due(std::int64_t nowMs);
    // How long the caller may sleep before something falls due; -1 while off.
    int MillisecondsUntilDue(std::int64_t nowMs) const;

  private:
    int Between(int low, int high);
    ChaosFault Draw(std::int64_t nowMs);

    std::mt19937 random;
    FaultObserver onBegin;
    bool running = false;
    bool inFault = false;
    std::string endCommand;
    std::int64_t nextMs = 0;  // the end of the fault under way, or of the quiet spell
};

}  // namespace pulsedesk::sim
