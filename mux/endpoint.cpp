#include "endpoint.h"

#include <sys/un.h>

#include <cstdlib>

namespace pulsedesk::mux {

namespace {

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos)
        return std::nullopt;
    const unsigned long port = std::strtoul(std::string(text).c_str(), nullptr, 10);
    if (port < 1 || port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

std::optional<Endpoint> ParseTcp(std::string_view rest) {
    const auto colon = rest.rfind(':');
    if (colon == rest.npos) return std::nullopt;
    std::string_view host = rest.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const auto port = ParsePort(rest.substr(colon + 1));
    if (host.empty() || !port) return std::nullopt;
    Endpoint e;
    e.kind = Endpoint::Kind::Tcp;
    e.host = host;
    e.port = *port;
    return e;
}

std::optional<Endpoint> ParseUnix(std::string_view path) {
    if (path.empty() || path.size() >= sizeof(sockaddr_un{}.sun_path) ||
        path.find('\0') != path.npos)
        return std::nullopt;
    Endpoint e;
    e.kind = Endpoint::Kind::Unix;
    e.path = path;
    return e;
}

}  // namespace

std::string Endpoint::Describe() const {
    if (kind == Kind::Unix) return "unix:" + path;
    const bool v6 = host.find(':') != std::string::npos;
    return "tcp:" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<Endpoint> ParseEndpoint(std::string_view text) {
    if (text.substr(0, 4) == "tcp:") return ParseTcp(text.substr(4));
    if (text.substr(0, 5) == "unix:") return ParseUnix(text.substr(5));
    return std::nullopt;
}

std::string ClientEndpointText() {
    const char* value = std::getenv(kEndpointVariable);
    return value != nullptr && *value != '\0' ? value : kDefaultEndpoint;
}

}  // namespace pulsedesk::mux
