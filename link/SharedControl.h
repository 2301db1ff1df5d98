// Control of a counter shared through the shared-port server: the right to send the frames that
// change the device, held by one client at a time. Status and identification need no control.
#pragma once

#include <string>

namespace pulsedesk::link {

class TSerial;

enum class ControlState {
    Held,         // this process holds control
    Refused,      // another client holds it; holder names it
    NoAnswer,     // the server did not answer
    Unsupported,  // the client library is too old to ask: everything runs as without control
};

struct ControlAnswer {
    ControlState state = ControlState::NoAnswer;
    std::string holder;  // "pulsectl (process 4242)" when refused
    // Whether another client may have held control since this process last held it: false only
    // when the server said none did (since it started, for a restarted one).
    bool othersMeanwhile = true;

    // Whether frames that change the device may be sent now.
    bool Allowed() const {
        return state == ControlState::Held || state == ControlState::Unsupported;
    }
};

class SharedControl {
  public:
    virtual ~SharedControl() = default;
    // Takes control, or renews it when this process holds it already. A lapse before it stays
    // on record for HeldSinceLastAsked.
    virtual ControlAnswer TakeControl() = 0;
    virtual void GiveBackControl() = 0;
    // True when this process held control throughout since the last call: every exchange was
    // answered as the holder's and control was not given back (always true when the library
    // cannot tell). A refused frame or a reply without the grant makes it false; an exchange the
    // server did not answer does not.
    virtual bool HeldSinceLastAsked() = 0;
    // The holder named by the last refused frame, "" when none was refused.
    virtual std::string LastRefusal() = 0;
    // Whether the last exchange went unanswered because the server was too busy with other
    // clients to run it in time: then the counter was never asked, so it is not silent.
    virtual bool LastExchangeBusy() = 0;
};

// The link's control when it goes through the shared-port server; null for a link alone on its
// port, which needs none.
SharedControl* SharedControlOf(TSerial* link);

}  // namespace pulsedesk::link
