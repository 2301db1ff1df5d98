// Sockets for the server and the client library: every call is bounded by a deadline and none
// of them can raise SIGPIPE.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "endpoint.h"
#include "fileio/UniqueFd.h"

namespace pulsedesk::mux {

using Clock = std::chrono::steady_clock;

using fileio::UniqueFd;

int MillisecondsUntil(Clock::time_point deadline);

// A non-blocking, close-on-exec stream socket connected to the endpoint, or an invalid one
// when no address answers before the deadline.
UniqueFd ConnectWithin(const Endpoint& endpoint, Clock::time_point deadline);

// A non-blocking listening socket. A leftover unix socket file that nobody serves is replaced;
// one that a running server answers on is not.
UniqueFd Listen(const Endpoint& endpoint, std::string& error);

// On a non-blocking socket: all bytes, or false on error, hang-up or deadline.
bool SendAllWithin(int fd, const std::uint8_t* data, std::size_t length,
                   Clock::time_point deadline);
bool ReceiveExactWithin(int fd, std::uint8_t* data, std::size_t length, Clock::time_point deadline);

}  // namespace pulsedesk::mux
