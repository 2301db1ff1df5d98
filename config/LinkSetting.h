// The link the settings name, the same for the panel and pulsectl: the shared-port server when
// TarlinkSupport is 1, else the port of COM-Port.
#pragma once

#include <string>

#include "config/ConfigFile.h"

namespace pulsedesk::config {

struct LinkSetting {
    enum class Kind { Mux, Port, NoPort };  // NoPort: COM-Port is empty
    Kind kind = Kind::NoPort;
    std::string port;  // for Port, as written there
};

LinkSetting LinkSettingOf(const ConfigFile& settings);

// "COM-Port is empty in the settings file F", for either program to say what to do next.
std::string EmptyPortText(const ConfigFile& settings);

}  // namespace pulsedesk::config
