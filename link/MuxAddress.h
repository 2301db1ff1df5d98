// The shared-port server's address, "tcp:HOST:PORT" or "unix:/path", as the client library and
// the server read it, and a check that a server listens there: a client that gets no reply
// cannot tell a missing server from a silent counter, so it asks first.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pulsedesk::link {

inline constexpr const char* kDefaultMuxAddress = "tcp:127.0.0.1:47011";
// The client library reads the server's address from this environment variable.
inline constexpr const char* kMuxAddressVariable = "PULSEDESK_MUX";

struct MuxAddress {
    enum class Kind { Tcp, Unix };
    Kind kind = Kind::Tcp;
    std::string host;  // tcp: a name or numeric address; "[::1]" is given without brackets
    std::uint16_t port = 0;
    std::string path;  // unix: the socket's file

    // Back in the text form, for messages.
    std::string Describe() const;
};

// Nothing when the text is not one of the two forms (port 1 to 65535, a path that fits a
// socket address).
std::optional<MuxAddress> ParseMuxAddress(std::string_view text);

// The value of PULSEDESK_MUX when set and not empty, else the default.
std::string MuxAddressText();

// Why no server takes a connection at the address (the system's reason); empty when one does.
// The trial connection is closed at once.
std::string MuxServerUnreachable(const MuxAddress& address);

}  // namespace pulsedesk::link
