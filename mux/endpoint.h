// Where muxserver listens and muxclient connects: "tcp:HOST:PORT" or "unix:/path".
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pulsedesk::mux {

inline constexpr const char* kDefaultEndpoint = "tcp:127.0.0.1:47011";
// The client library reads the server's address from this environment variable.
inline constexpr const char* kEndpointVariable = "PULSEDESK_MUX";

struct Endpoint {
    enum class Kind { Tcp, Unix };
    Kind kind = Kind::Tcp;
    std::string host;  // tcp: a name or numeric address; "[::1]" is given without brackets
    std::uint16_t port = 0;
    std::string path;  // unix: the socket's file

    std::string Describe() const;
};

// Nothing when the text is not one of the two forms (port 1 to 65535, a path that fits a
// socket address).
std::optional<Endpoint> ParseEndpoint(std::string_view text);

// The value of PULSEDESK_MUX when set and not empty, else the default.
std::string ClientEndpointText();

}  // namespace pulsedesk::mux
