// pulsectl's session with the counter. It opens the link the command line names, takes the
// link thread's first poll and then ends that thread, so that every later exchange on the line
// is one that pulsectl asked for.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "config/ConfigFile.h"
#include "ctl/CommandLine.h"
#include "link/ControlGrant.h"
#include "link/Frames.h"
#include "link/tser.h"
#include "reports/DeviceInfo.h"

namespace pulsedesk::ctl {

// The command frames, by name, as the panel sends them.
using namespace link::frames;

// The device or the link failed (exit code 1).
struct LinkError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A stop signal that ends the program with 128 + the signal's number, after what it must do.
struct Interrupted {
    int signal;
};

// The link of the command line, or of the panel's settings file; raises LinkError when the
// port does not open, UsageError when nothing names one.
std::unique_ptr<link::TSerial> OpenLink(const LinkChoice& choice, const config::ConfigFile& config);

class Counter {
  public:
    // Raises LinkError when the counter does not answer its first poll.
    explicit Counter(std::unique_ptr<link::TSerial> line);
    ~Counter();  // gives back control it took

    // Takes control of a counter shared through muxserver for this command or series; raises
    // LinkError naming the holder when another program has it. Alone on a port: nothing asked.
    void TakeControl();
    // False when control lapsed before the last poll (a restarted server, a stall of 3 s):
    // another program may have changed the device since.
    bool InControl() const { return grant.HeldInLastPoll(); }

    // One poll; false when the counter did not answer (the last status stays).
    bool Poll();
    // What to say of an exchange without a reply: the words given for a silent counter, or, when
    // the shared-port server was too busy to ask it, that the server is busy.
    std::string Unanswered(const std::string& silentCounter) const;
    const link::DeviceStatus& Status() const { return status; }

    // Sends the frame; raises LinkError naming the action when no fitting reply comes.
    link::CommandReply Command(const Frame& frame, const std::string& action);
    // As Command, for a frame that sets a value: sent again when no fitting reply came, since a
    // reply that a busy computer read too late is no refusal and the same value twice changes
    // nothing. Not for start, stop or steps.
    link::CommandReply Set(const Frame& frame, const std::string& action);
    // As the panel's mode buttons: a finished count is cleared first, and the mode is sent only
    // when it differs; raises LinkError when the device refuses it.
    void SelectMode(int mode);
    // Model, firmware version and serial number, as the panel identifies the device, with the
    // rate thresholds of its settings.
    reports::DeviceInfo Identify(const config::ConfigFile& settings);

  private:
    void TakeFirstPoll();

    std::unique_ptr<link::TSerial> line;
    link::DeviceStatus status;
    link::ControlGrant grant{link::SharedControlOf(line.get())};
    bool controlTaken = false;
};

}  // namespace pulsedesk::ctl
