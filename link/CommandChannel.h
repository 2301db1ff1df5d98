// CommandChannel: what a measurement session needs of the link: send a frame, poll at once,
// and whether the device answers. TSerial is one; a session's tests drive a model device
// through another, poll by poll, without a thread.
#pragma once

#include "link/Frames.h"
#include "link/protocol.h"

namespace pulsedesk::link {

// What SendCommand gives back: the reply bytes as received (at most kFrameBufferSize) and
// whether their length agrees with their header.
struct CommandReply {
    bool accepted = false;
    int replyLength = 0;
    FrameBuffer replyBuffer{};

    explicit operator bool() const { return accepted; }
    // Reply byte i, or 0 when the reply is shorter: a missing byte never matches a reply code.
    std::uint8_t Byte(int i) const { return i < replyLength ? replyBuffer[i] : 0; }
};

class CommandChannel {
  public:
    virtual ~CommandChannel() = default;
    // Sends a frame of the catalogue (Frames.h) and returns the device's reply.
    virtual CommandReply SendCommand(const frames::Frame& frame) = 0;
    // Polls the status now; its listener is told before this returns.
    virtual bool PollNow() = 0;
    virtual bool IsConnected() const = 0;
};

}  // namespace pulsedesk::link
