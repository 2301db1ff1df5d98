// Where muxserver listens and muxclient connects: the address rule the link and pulsectl use,
// "tcp:HOST:PORT" or "unix:/path", under the server's names.
#pragma once

#include "link/MuxAddress.h"

namespace pulsedesk::mux {

using Endpoint = link::MuxAddress;
inline constexpr const char* kDefaultEndpoint = link::kDefaultMuxAddress;
inline constexpr const char* kEndpointVariable = link::kMuxAddressVariable;

inline std::optional<Endpoint> ParseEndpoint(std::string_view text) {
    return link::ParseMuxAddress(text);
}
inline std::string ClientEndpointText() { return link::MuxAddressText(); }

}  // namespace pulsedesk::mux
