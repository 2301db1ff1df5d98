// pulsectl watch: one line per poll until a stop signal, CSV with a header or JSON lines.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "ctl/Counter.h"

namespace pulsedesk::ctl {

// The error number's text for the status lines; empty when there is none.
using ErrorTextOf = std::function<std::string(std::uint8_t errorCode)>;

// Raises Interrupted when a stop signal ends it.
void RunWatch(Counter& counter, double intervalSeconds, bool json, const ErrorTextOf& errorText,
              std::FILE* out);

}  // namespace pulsedesk::ctl
