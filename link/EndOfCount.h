// EndOfCount: when the device's "finished" may be taken as a result. A finished count is taken
// only from a poll whose replies A and B were both accepted while the link was alive, so that a
// count or time kept from an earlier poll never passes for the final one. A count during which
// the link failed is taken only if the device still reports that same measurement finished;
// otherwise it is reported lost, never dropped without a word. So is a count during which, or at
// whose end, the device reported an error or its block: it is lost once, and the rest of that
// same count, when the device goes on with it, is neither written nor reported again.
#pragma once

#include <cstdint>
#include <optional>

#include "link/DeviceStatus.h"

namespace pulsedesk::link {

enum class EndVerdict : std::uint8_t {
    None,     // no end of a count to act on
    Pending,  // the device finished, but no trustworthy poll has shown it yet
    Record,   // take the count and elapsed time of this poll as the result
    Lost,     // the count ended and cannot be recorded: tell the operator
};

enum class LossReason : std::uint8_t {
    LinkLost,      // the link failed during the count and the device no longer shows it finished
    LeftFinished,  // the device left "finished" before a trustworthy poll showed the result
    Fault,         // the count finished while the device reported an error or a block
    GapTooLong,    // the link was down long enough for another whole count to have run
};

class EndOfCount {
  public:
    // Each poll's moment in milliseconds, before the calls below: a count's time runs with the
    // clock, so one seen again after a gap with less time than the gap is another count.
    void SetPollTime(std::int64_t ms) { nowMs = ms; }
    // A start of the given mode was answered: its count is followed before any poll shows it.
    // Lost when the count followed before may have ended unseen.
    EndVerdict StartSent(std::uint8_t mode);
    // A count has begun (its start was seen).
    void CountStarted(const DeviceStatus& status, bool alive);
    // Every poll first, whatever the run state: Lost when the device counts another count than
    // the one followed, which may have ended unseen across a gap in the link.
    EndVerdict AnotherCountRuns(const DeviceStatus& status, bool alive);
    // Every poll while the count runs; Lost when it is a new count that an end still pending
    // can no longer be taken from.
    EndVerdict WhileCounting(const DeviceStatus& status, bool alive);
    // The device's finished bit ended the count the caller was following; deviceFault is the
    // error or blocked bit of that poll.
    EndVerdict Finished(const DeviceStatus& status, bool alive, bool deviceFault);
    // Every later poll while an end is pending.
    EndVerdict FollowPending(const DeviceStatus& status, bool alive);
    // The count was left without the finished bit (reset, error, a new start).
    EndVerdict LeftCounting();
    // A poll showed the device's error or blocked bit: Lost when a count was being followed or
    // runs on the device.
    EndVerdict DeviceFault(const DeviceStatus& status);
    // Last, after every poll: a spoiled count is over once the device shows it counting no more.
    void AfterPoll(const DeviceStatus& status, bool alive);
    // The result no longer matters (the study closed, the operator started anew).
    void Forget();

    bool IsCounting() const { return counting; }
    // How many counts have begun: a new one ends what the operator was told of the last.
    std::uint32_t CountsBegun() const { return countsBegun; }
    bool IsPending() const { return pending; }
    LossReason Reason() const { return reason; }

  private:
    // Trustworthy for a result: both replies of a poll, with the link alive before it too.
    static bool Trustworthy(const DeviceStatus& status, bool alive);
    // Enough to tell one count from another: both replies of this poll.
    static bool Whole(const DeviceStatus& status);
    bool SameMeasurement(const DeviceStatus& status) const;
    bool AnotherCountFitsTheGap(const DeviceStatus& status) const;
    void Remember(const DeviceStatus& status, bool alive);
    void Begin(std::uint8_t countMode);  // a new count, nothing of it seen yet
    EndVerdict Lose(LossReason why);
    bool GoesOn(const DeviceStatus& status) const;
    bool EndsHere(const DeviceStatus& status) const;

    bool counting = false;
    bool pending = false;
    bool interrupted = false;  // a poll failed (or the link was down) since the count began
    bool spoiled = false;      // the count lost to a fault may still run or end on the device
    std::uint32_t countsBegun = 0;
    std::uint8_t mode = 0;
    std::uint32_t lastCount = 0;
    std::uint32_t lastElapsed = 0;
    std::optional<std::int64_t> lastSeenMs;  // when lastCount and lastElapsed were polled
    std::int64_t nowMs = 0;
    LossReason reason = LossReason::LinkLost;
};

}  // namespace pulsedesk::link
