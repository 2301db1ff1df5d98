// What the panel is given by the entry logic: the settings and message files, the one link,
// the report folder to use when "Work_Folder" is empty, and the clocks. Tests build it from a
// temporary folder and a simulated link.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "app/TickClock.h"
#include "config/ConfigFile.h"
#include "config/MessageFile.h"
#include "link/tser.h"
#include "reports/LocalTime.h"

namespace pulsedesk::app {

// Shows an error raised inside an event handler; the program goes on running.
using ErrorSink = std::function<void(const std::string& utf8Text)>;
ErrorSink ErrorBox();

struct PanelContext {
    const config::MessageFile& messages;
    const config::ConfigFile& config;
    std::unique_ptr<link::TSerial>& link;  // the process-wide link; the panel's close ends it
    std::string defaultWorkFolder;         // with its trailing "/"
    TickClock ticks = SteadyTickClock();
    reports::Clock localTime = reports::SystemLocalTime;
    ErrorSink showError = ErrorBox();
};

// Ends the link's thread while still serving the notifications it sends meanwhile (a plain
// join could wait on a thread that waits on us), then destroys it.
void EndLink(std::unique_ptr<link::TSerial>& link);

}  // namespace pulsedesk::app
