// DeviceModel: the counter's side of the wire. It answers request frames with reply frames and
// counts pulses from a seeded random source on an injectable clock, so tests need no sleeps.
// It shares the command codes with the link but checks frames by its own rules.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "CountingCurve.h"

namespace pulsedesk::sim {

// The most bytes a fault may add to a reply: more than a poll's gap could carry on any line.
inline constexpr int kMaxInjectedBytes = 256;

// Faults that a test or the operator of the simulator can inject.
struct Faults {
    bool noReply = false;         // the device stays silent to every request
    bool noReplyB = false;        // status B goes unanswered
    bool wrongReplyCode = false;  // status A comes back with a wrong code
    int cutShort = 0;             // drop this many bytes from the end of every reply
    int overLong = 0;             // append this many bytes to every reply, without a pause
    int lateBytes = 0;            // send this many stray bytes well after each reply
    bool blocked = false;         // the blocked bit is reported
    std::uint8_t errorCode = 0;   // device error number reported in status A

    // The active faults in the words of the simulator's commands, or "none".
    std::string Describe() const;
};

// What the device sends for one request: the reply, then possibly stray bytes after a pause.
struct Response {
    std::vector<std::uint8_t> reply;
    std::vector<std::uint8_t> late;
};

// One count as it ended: what the device reports for it from then on, and when it ended.
struct FinishedCount {
    std::uint8_t mode = 0;
    std::uint32_t count = 0;
    std::int64_t elapsedHundredths = 0;
    std::uint16_t thresholdCode = 0;
    std::int64_t atMs = 0;  // on the model's clock
    bool stopped = false;   // ended by a stop command rather than by its preset
};

struct Identity {
    char modelDigit = '2';
    std::uint8_t firmware = 15;  // tenths: 15 is version 1.5
    std::uint16_t serial = 123;
};

class DeviceModel {
  public:
    using Clock = std::function<std::int64_t()>;  // milliseconds, monotonic
    using FinishObserver = std::function<void(const FinishedCount&)>;

    DeviceModel(Identity identity, double pulsesPerSecond, std::uint32_t seed, Clock clock);

    Response Handle(const std::uint8_t* request, std::size_t length);

    void SetRate(double pulsesPerSecond) { rate = pulsesPerSecond; }
    double Rate() const { return rate; }
    // With a curve, the rate counted is Rate() times the curve's factor at the threshold.
    void SetCurve(std::optional<CountingCurve> c) { curve = std::move(c); }
    double RateAtThreshold() const;
    Faults& faults() { return injected; }
    const Faults& faults() const { return injected; }
    // Told of every count that ends, once, as it ends on the model's clock.
    void OnFinish(FinishObserver observer) { finishObserver = std::move(observer); }

    // Read-only views for tests and the simulator's status line.
    std::uint8_t Mode() const { return modeOptions & 0x03; }
    std::uint8_t ModeOptions() const { return modeOptions; }
    bool Counting() const { return counting; }
    bool FinishedFlag() const { return finished; }
    std::uint32_t Count() const { return count; }
    std::uint32_t CountLimit() const { return countLimit; }
    std::uint32_t CountTimeSeconds() const { return countTimeSeconds; }
    std::uint16_t ThresholdCode() const { return thresholdCode; }
    std::int64_t ElapsedHundredths() const { return elapsedHundredths; }
    std::string Describe() const;

    // Brings the count and the clock-driven states up to now; Handle does it by itself.
    void Advance();
    // The device's own start and stop keys: a count started or stopped without any frame.
    void PressKey(bool start);

    static const std::vector<std::uint32_t>& CountLimitSteps();
    static const std::vector<std::uint32_t>& CountTimeSteps();  // seconds

  private:
    std::vector<std::uint8_t> Answer(const std::uint8_t* request, std::size_t length);
    std::vector<std::uint8_t> StatusA() const;
    std::vector<std::uint8_t> StatusB() const;
    std::vector<std::uint8_t> Ack(std::uint8_t code) const;
    void Carry(std::uint8_t code, const std::uint8_t* args, std::size_t argCount);
    void Start();
    void Stop();
    void Finish(bool stopped);
    void RestoreDefaults();
    void ApplyOptions(std::uint8_t options);
    void SetSoundBit(std::uint8_t bit, bool soundOn);
    void CountPulses(std::int64_t hundredths);
    void ApplyFaults(std::vector<std::uint8_t>& reply, Response& out);

    Identity identity;
    double rate;
    std::optional<CountingCurve> curve;
    Clock clock;
    std::mt19937 random;
    Faults injected;
    FinishObserver finishObserver;

    std::uint8_t modeOptions = 0;
    bool resetBit = true;
    bool counting = false;
    bool finished = false;
    std::uint32_t count = 0;
    std::uint32_t countLimit = 1000;
    std::uint32_t countTimeSeconds = 100;
    std::uint16_t thresholdCode = 2096;  // 120 mV
    std::int64_t elapsedHundredths = 0;
    std::int64_t lastAdvanceMs = 0;
    std::int64_t finishedAtMs = 0;
};

}  // namespace pulsedesk::sim
