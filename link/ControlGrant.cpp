#include "ControlGrant.h"

namespace pulsedesk::link {

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
    bool held = shared == nullptr || shared->HeldSinceLastAsked();
    heldInLastPoll = held;
    // A lapse during a study: control is taken back; the count that ran meanwhile stays ours
    // only when nobody else held control in between. Until the server answers nothing is known.
    if (studyOpen && !held) {
        const ControlAnswer answer = Take(false);
        lapseUnsettled = answer.state == ControlState::NoAnswer;
        if (lapseUnsettled) return;
        held = answer.Allowed() && !answer.othersMeanwhile;
    }
    FollowCount(status, held);
}

// A new count is one seen running after a poll that did not show it running, one whose elapsed
// time went back (restarted between two polls), or one that started and finished between two
// polls. Any poll without control spoils the count it shows, a finished one included: a start
// that was refused must not make the last count look finished again.
void ControlGrant::FollowCount(const DeviceStatus& status, bool held) {
    if (!status.replyAFresh) return;  // an unanswered poll shows nothing of the device
    const bool counting = status.runFlags & kRunCounting;
    const bool finished = status.runFlags & kRunFinished;
    const std::uint32_t elapsed = status.ElapsedHundredths();
    const bool restarted = wasCounting && elapsed < lastElapsed;
    const bool fresh = counting ? !wasCounting || restarted : !wasCounting && !wasFinished;
    if (counting || finished) countIsOurs = held && (fresh || countIsOurs);
    wasCounting = counting;
    wasFinished = finished;
    lastElapsed = elapsed;
}

}  // namespace pulsedesk::link
