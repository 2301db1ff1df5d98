// Identify: the counter's three identification queries and the model table, for every program
// that names the counter (the panel's caption and report headers, pulsectl identify).
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/CommandChannel.h"

namespace pulsedesk::link {

struct Identity {
    std::string modelName;   // "QEV-C1", "QEV-C2" or "System is undefined"
    std::uint8_t systemType;  // 0 = QEV-C1, 1 = QEV-C2, 2 = not recognised
    std::optional<std::uint8_t> firmwareVersion;  // tenths; empty when the query went unanswered
    std::uint16_t serialNumber = 0xFFFF;           // 0xFFFF when the query went unanswered
};

// Empty when the model query goes unanswered: nothing is known then.
std::optional<Identity> Identify(CommandChannel& line);

}  // namespace pulsedesk::link
