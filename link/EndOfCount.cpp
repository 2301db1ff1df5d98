#include "link/EndOfCount.h"

#include <algorithm>

#include "link/commands.h"

namespace pulsedesk::link {

bool EndOfCount::Trustworthy(const DeviceStatus& s, bool alive) { return alive && Whole(s); }

bool EndOfCount::Whole(const DeviceStatus& s) { return s.replyAFresh && s.replyBFresh; }

EndVerdict EndOfCount::StartSent(std::uint8_t startMode) {
    // The count followed may have ended unseen: a new start takes its result away.
    const bool endLost = pending || (counting && interrupted);
    reason = interrupted ? LossReason::LinkLost : LossReason::LeftFinished;
    Begin(startMode);
    return endLost ? EndVerdict::Lost : EndVerdict::None;
}

void EndOfCount::CountStarted(const DeviceStatus& s, bool alive) {
    Begin(s.Mode());
    Remember(s, alive);
}

void EndOfCount::Begin(std::uint8_t countMode) {
    ++countsBegun;
    spoiled = false;
    counting = true;
    pending = false;
    interrupted = false;
    mode = countMode;
    lastCount = 0;
    lastElapsed = 0;
    lastSeenMs.reset();
}

EndVerdict EndOfCount::WhileCounting(const DeviceStatus& s, bool alive) {
    // Only both replies of a poll can tell the count a fault spoiled from another.
    if (spoiled && !Whole(s)) return EndVerdict::None;
    if (spoiled && GoesOn(s)) {
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

// Another count runs: the one followed ended, or was given up, unseen. Across a gap in the link
// it may have finished: lost then, as nothing shows its result any more. Both replies of this
// poll tell it, even at the first poll after a failed one.
EndVerdict EndOfCount::AnotherCountRuns(const DeviceStatus& s, bool alive) {
    if (!counting || !Whole(s) || !(s.runFlags & kRunCounting) || GoesOn(s))
        return EndVerdict::None;
    const bool gap = interrupted;
    CountStarted(s, alive);
    if (!gap) return EndVerdict::None;
    reason = LossReason::LinkLost;
    return EndVerdict::Lost;
}

void EndOfCount::Remember(const DeviceStatus& s, bool alive) {
    if (!Trustworthy(s, alive)) {
        interrupted = true;
        return;
    }
    lastCount = s.count;
    lastElapsed = s.ElapsedHundredths();
    lastSeenMs = nowMs;
}

EndVerdict EndOfCount::Finished(const DeviceStatus& s, bool alive, bool deviceFault) {
    if (spoiled && EndsHere(s)) {
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

// The count followed had at least the rest of its preset to run (modes 1 and 2; in mode 3
// nothing bounds it); a later count, started at the device's keys, would have run as long as the
// one shown. When both fit into the time since the last whole poll, the end shown may be the
// later count's.
bool EndOfCount::AnotherCountFitsTheGap(const DeviceStatus& s) const {
    if (!lastSeenMs) return false;
    const std::int64_t shownMs = std::int64_t{s.ElapsedHundredths()} * 10;
    const std::int64_t restMs =
        mode == 3 ? 0 : std::max<std::int64_t>(0, shownMs - std::int64_t{lastElapsed} * 10);
    return nowMs - *lastSeenMs >= restMs + shownMs;
}

EndVerdict EndOfCount::FollowPending(const DeviceStatus& s, bool alive) {
    if (!pending) return EndVerdict::None;
    if (!s.replyAFresh || !alive) {
        interrupted = true;
        return EndVerdict::Pending;
    }
    if (!s.CountEnded())
        return Lose(interrupted ? LossReason::LinkLost : LossReason::LeftFinished);
    if (!s.replyBFresh) return EndVerdict::Pending;
    if (interrupted && !SameMeasurement(s)) return Lose(LossReason::LinkLost);
    if (interrupted && AnotherCountFitsTheGap(s)) return Lose(LossReason::GapTooLong);
    pending = false;
    return EndVerdict::Record;
}

EndVerdict EndOfCount::LeftCounting() {
    if (!counting) return EndVerdict::None;
    counting = false;
    return interrupted ? Lose(LossReason::LinkLost) : EndVerdict::None;
}

EndVerdict EndOfCount::DeviceFault(const DeviceStatus& s) {
    if (spoiled && GoesOn(s)) {
        Remember(s, s.replyAFresh);
        return EndVerdict::None;
    }
    if (!counting && !pending && !(s.runFlags & kRunCounting)) return EndVerdict::None;
    spoiled = true;
    mode = s.Mode();
    Remember(s, s.replyAFresh);
    return Lose(LossReason::Fault);
}

// The same mode, neither time nor count went back (both only grow during a count), and the
// count's time kept pace with the clock since it was last seen: the device goes on with that
// count rather than another. A second and 2 % of the gap allow for the two clocks and the polls.
bool EndOfCount::GoesOn(const DeviceStatus& s) const {
    if (s.Mode() != mode || s.ElapsedHundredths() < lastElapsed || s.count < lastCount)
        return false;
    if (!lastSeenMs) return true;
    const std::int64_t gapMs = nowMs - *lastSeenMs;
    const std::int64_t expectedMs = std::int64_t{lastElapsed} * 10 + gapMs - 1000 - gapMs / 50;
    return std::int64_t{s.ElapsedHundredths()} * 10 >= expectedMs;
}

// At its end a count of mode 3 is cut to its limit, which may have been lowered: only the time
// tells that it is the count last seen.
bool EndOfCount::EndsHere(const DeviceStatus& s) const {
    return s.Mode() == mode && s.ElapsedHundredths() >= lastElapsed;
}

EndVerdict EndOfCount::Lose(LossReason why) {
    counting = false;
    pending = false;
    reason = why;
    return EndVerdict::Lost;
}

void EndOfCount::AfterPoll(const DeviceStatus& s, bool alive) {
    if (spoiled && Trustworthy(s, alive) && !(s.runFlags & kRunCounting)) spoiled = false;
}

void EndOfCount::Forget() {
    counting = false;
    pending = false;
    spoiled = false;
}

}  // namespace pulsedesk::link
