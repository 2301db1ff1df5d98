#include "ControlGrant.h"

namespace pulsedesk::link {

namespace {

std::uint32_t Hundredths(const DeviceStatus& s) {
    const auto& e = s.elapsedTime;
    return ((e[0] * 60u + e[1]) * 60u + e[2]) * 100u + e[3];
}

}  // namespace

ControlGrant::ControlGrant(SharedControl* shared) : shared(shared) {}

ControlAnswer ControlGrant::Take(bool fresh) {
    ControlAnswer answer = shared ? shared->TakeControl() : ControlAnswer{ControlState::Held, {}};
    if (answer.state == ControlState::Refused)
        holder = answer.holder;
    else if (answer.Allowed())
        holder.clear();
    if (fresh && answer.Allowed() && shared) shared->HeldSinceLastAsked();
    return answer;
}

ControlAnswer ControlGrant::OpenStudy() {
    ControlAnswer answer = Take(!studyOpen && commandDepth == 0);
    studyOpen = answer.Allowed();
    return answer;
}

void ControlGrant::CloseStudy() {
    studyOpen = false;
    if (shared && commandDepth == 0) shared->GiveBackControl();
}

ControlAnswer ControlGrant::BeginCommand() {
    if (commandDepth > 0) {
        ++commandDepth;
        return {ControlState::Held, {}};
    }
    ControlAnswer answer = Take(!studyOpen);
    if (answer.Allowed()) ++commandDepth;
    return answer;
}

void ControlGrant::EndCommand() {
    if (commandDepth > 0 && --commandDepth == 0 && !studyOpen && shared) shared->GiveBackControl();
}

void ControlGrant::OnPoll(const DeviceStatus& status) {
    const bool held = shared == nullptr || shared->HeldSinceLastAsked();
    heldInLastPoll = held;
    FollowCount(status, held);
    // A lapse during a study: control is taken back for what comes next, but the count that
    // ran meanwhile stays foreign.
    if (studyOpen && !held) Take(false);
}

// A new count is one seen running after a poll that did not show it running, one whose elapsed
// time went back (restarted between two polls), or one that started and finished between two
// polls. Any poll without control spoils the count it shows, a finished one included: a start
// that was refused must not make the last count look finished again.
void ControlGrant::FollowCount(const DeviceStatus& status, bool held) {
    const bool counting = status.runFlags & kRunCounting;
    const bool finished = status.runFlags & kRunFinished;
    const std::uint32_t elapsed = Hundredths(status);
    const bool restarted = wasCounting && elapsed < lastElapsed;
    const bool fresh = counting ? !wasCounting || restarted : !wasCounting && !wasFinished;
    if (counting || finished) countIsOurs = held && (fresh || countIsOurs);
    wasCounting = counting;
    wasFinished = finished;
    lastElapsed = elapsed;
}

}  // namespace pulsedesk::link
