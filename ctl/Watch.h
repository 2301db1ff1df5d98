// pulsectl watch: one line per poll until a stop signal, CSV with a header or JSON lines.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

#include "ctl/Counter.h"

namespace pulsedesk::ctl {

// The error number's text for the status lines; empty when there is none.
using ErrorTextOf = std::function<std::string(std::uint8_t errorCode)>;

// The reader of the lines has gone (a closed pipe): the watch is over, and that is no failure.
struct OutputClosed {};

// Local time in ISO 8601 with milliseconds and the offset: "2026-12-07T14:05:09.042+01:00".
std::string IsoLocalTime(std::chrono::system_clock::time_point when);

// Polls on a fixed period of the monotonic clock. Raises Interrupted when a stop signal ends
// it, OutputClosed at the first line that cannot be written.
void RunWatch(Counter& counter, double intervalSeconds, bool json, const ErrorTextOf& errorText,
              std::FILE* out);

}  // namespace pulsedesk::ctl
