#include "link/EndOfCount.h"

#include "link/commands.h"

namespace pulsedesk::link {

bool EndOfCount::Trustworthy(const DeviceStatus& s, bool alive) {
    return alive && s.replyAFresh && s.replyBFresh;
}

void EndOfCount::CountStarted(const DeviceStatus& s, bool alive) {
    ++countsBegun;
    spoiled = false;
    counting = true;
    pending = false;
    interrupted = false;
    mode = s.Mode();
    lastCount = 0;
    lastElapsed = 0;
    Remember(s, alive);
}

EndVerdict EndOfCount::WhileCounting(const DeviceStatus& s, bool alive) {
    if (spoiled && SpoiledCountGoesOn(s)) {
        Remember(s, alive);
        return EndVerdict::None;
    }
    if (counting) {
        Remember(s, alive);
        return EndVerdict::None;
    }
    const bool endLost = pending;
    CountStarted(s, alive);
    if (!endLost) return EndVerdict::None;
    reason = LossReason::LeftFinished;
    return EndVerdict::Lost;
}

void EndOfCount::Remember(const DeviceStatus& s, bool alive) {
    if (!Trustworthy(s, alive)) {
        interrupted = true;
        return;
    }
    lastCount = s.count;
    lastElapsed = s.ElapsedHundredths();
}

EndVerdict EndOfCount::Finished(const DeviceStatus& s, bool alive, bool deviceFault) {
    if (spoiled && SpoiledCountGoesOn(s)) {
        spoiled = false;
        return EndVerdict::None;
    }
    if (!counting) CountStarted(s, alive);
    counting = false;
    if (deviceFault) return Lose(LossReason::Fault);
    pending = true;
    return FollowPending(s, alive);
}

// Preset reached exactly, and nothing went backwards: after a gap in the link, this is how the
// count the panel followed is told apart from a later one or a stopped one.
bool EndOfCount::SameMeasurement(const DeviceStatus& s) const {
    const std::uint32_t elapsed = s.ElapsedHundredths();
    if (s.Mode() != mode || s.count < lastCount || elapsed < lastElapsed) return false;
    switch (mode) {
        case 1:
        case 2:
            return elapsed == s.CountTimeHundredths();
        case 3:
            return s.count == s.countLimit;
        default:
            return false;  // a count of mode 0 ends only by a stop: nothing proves which
    }
}

EndVerdict EndOfCount::FollowPending(const DeviceStatus& s, bool alive) {
    if (!pending) return EndVerdict::None;
    if (!s.replyAFresh || !alive) {
        interrupted = true;
        return EndVerdict::Pending;
    }
    const bool stillFinished =
        (s.runFlags & kRunFinished) && !(s.runFlags & (kRunCounting | kRunReset));
    if (!stillFinished)
        return Lose(interrupted ? LossReason::LinkLost : LossReason::LeftFinished);
    if (!s.replyBFresh) return EndVerdict::Pending;
    if (interrupted && !SameMeasurement(s)) return Lose(LossReason::LinkLost);
    pending = false;
    return EndVerdict::Record;
}

EndVerdict EndOfCount::LeftCounting() {
    if (!counting) return EndVerdict::None;
    counting = false;
    return interrupted ? Lose(LossReason::LinkLost) : EndVerdict::None;
}

EndVerdict EndOfCount::DeviceFault(const DeviceStatus& s) {
    if (!counting && !pending) return EndVerdict::None;
    spoiled = true;
    mode = s.Mode();
    Remember(s, s.replyAFresh);
    return Lose(LossReason::Fault);
}

// The same mode, and neither time nor count went back: the device went on with the spoiled
// count rather than starting another.
bool EndOfCount::SpoiledCountGoesOn(const DeviceStatus& s) const {
    return s.Mode() == mode && s.ElapsedHundredths() >= lastElapsed && s.count >= lastCount;
}

EndVerdict EndOfCount::Lose(LossReason why) {
    counting = false;
    pending = false;
    reason = why;
    return EndVerdict::Lost;
}

void EndOfCount::Forget() {
    counting = false;
    pending = false;
    spoiled = false;
}

}  // namespace pulsedesk::link
