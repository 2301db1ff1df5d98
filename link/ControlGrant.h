// ControlGrant: when a program that writes measurements holds control of a shared counter, and
// which counts are its own.
//
// With a study open, control is taken at its start and kept until it closes; a lapse (a
// restarted server, a stall of 3 s) is noticed at the next poll and control is taken back. When
// the server then says that no other client held control meanwhile, nobody else can have
// touched the device: the count that ran through the lapse stays the program's own.
// Without a study, control is taken for each command and given back after it. A count is the
// program's own when control was held in every poll from the one that first showed it running
// to the one that showed it finished: nobody else can have started, stopped or changed it. A
// count started at the device's own keys meanwhile is therefore the program's too.
//
// Alone on a port (no shared control) every answer is "held".
#pragma once

#include <cstdint>
#include <string>

#include "SharedControl.h"
#include "link/DeviceStatus.h"

namespace pulsedesk::link {

class ControlGrant {
  public:
    explicit ControlGrant(SharedControl* shared);  // null: alone on a port

    // The study begins: control is taken and kept. Refused, the study must not begin.
    ControlAnswer OpenStudy();
    // The study ends (a new record, the program closes): control is given back.
    void CloseStudy();
    bool StudyOpen() const { return studyOpen; }

    // Around each command: control is taken (kept during a study); refused, send nothing.
    // Every allowed BeginCommand is followed by one EndCommand.
    ControlAnswer BeginCommand();
    void EndCommand();

    // After each status the program processes, before it decides about a finished count.
    void OnPoll(const DeviceStatus& status);
    // Whether the count that the last poll showed finished may be written and repeated.
    bool CountIsOurs() const { return countIsOurs && !lapseUnsettled; }
    // Whether control was held throughout since the poll before.
    bool HeldInLastPoll() const { return heldInLastPoll; }
    // Who holds control after the last refusal; "" while this program holds it or nobody
    // refused it.
    const std::string& Holder() const { return holder; }

  private:
    // A fresh grant starts the record of lapses anew: what ran before it is not ours anyway.
    // A renewal must not, or a lapse just before it would go unseen.
    ControlAnswer Take(bool fresh);
    void FollowCount(const DeviceStatus& status, bool held);

    SharedControl* shared;
    bool studyOpen = false;
    int commandDepth = 0;
    std::string holder;
    bool heldInLastPoll = false;
    bool countIsOurs = false;
    bool lapseUnsettled = false;  // control lapsed and the server has not answered since
    bool wasCounting = false;
    bool wasFinished = false;
    std::uint32_t lastElapsed = 0;
};

// A command's control for as long as the object lives.
class CommandControl {
  public:
    explicit CommandControl(ControlGrant& grant) : grant(grant), answer(grant.BeginCommand()) {}
    ~CommandControl() {
        if (answer.Allowed()) grant.EndCommand();
    }
    CommandControl(const CommandControl&) = delete;
    CommandControl& operator=(const CommandControl&) = delete;

    explicit operator bool() const { return answer.Allowed(); }

  private:
    ControlGrant& grant;
    ControlAnswer answer;
};

}  // namespace pulsedesk::link
