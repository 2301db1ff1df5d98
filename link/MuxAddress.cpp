#include "link/MuxAddress.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace pulsedesk::link {

namespace {

// A server that neither accepts nor refuses within this is taken as unreachable.
constexpr int kConnectLimitMs = 3000;

std::optional<std::uint16_t> ParsePort(std::string_view text) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != text.npos)
        return std::nullopt;
    const unsigned long port = std::strtoul(std::string(text).c_str(), nullptr, 10);
    if (port < 1 || port > 65535) return std::nullopt;
    return static_cast<std::uint16_t>(port);
}

std::optional<MuxAddress> ParseTcp(std::string_view rest) {
    const auto colon = rest.rfind(':');
    if (colon == rest.npos) return std::nullopt;
    std::string_view host = rest.substr(0, colon);
    if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    const auto port = ParsePort(rest.substr(colon + 1));
    if (host.empty() || !port) return std::nullopt;
    return MuxAddress{MuxAddress::Kind::Tcp, std::string(host), *port, {}};
}

std::optional<MuxAddress> ParseUnix(std::string_view path) {
    if (path.empty() || path.size() >= sizeof(sockaddr_un{}.sun_path) ||
        path.find('\0') != path.npos)
        return std::nullopt;
    return MuxAddress{MuxAddress::Kind::Unix, {}, 0, std::string(path)};
}

// Connects without waiting longer than the limit; 0 or the errno of the failure.
int ConnectWithin(int fd, const sockaddr* to, socklen_t length) {
    if (connect(fd, to, length) == 0) return 0;
    if (errno != EINPROGRESS) return errno;
    pollfd p{fd, POLLOUT, 0};
    if (poll(&p, 1, kConnectLimitMs) <= 0) return ETIMEDOUT;
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
    return error;
}

std::string TryConnect(int family, const sockaddr* to, socklen_t length) {
    const int fd = socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::strerror(errno);
    const int error = ConnectWithin(fd, to, length);
    close(fd);
    return error == 0 ? std::string() : std::strerror(error);
}

}  // namespace

std::string MuxAddress::Describe() const {
    if (kind == Kind::Unix) return "unix:" + path;
    const bool v6 = host.find(':') != std::string::npos;
    return "tcp:" + (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

std::optional<MuxAddress> ParseMuxAddress(std::string_view text) {
    if (text.substr(0, 4) == "tcp:") return ParseTcp(text.substr(4));
    if (text.substr(0, 5) == "unix:") return ParseUnix(text.substr(5));
    return std::nullopt;
}

std::string MuxAddressText() {
    const char* value = std::getenv(kMuxAddressVariable);
    return value != nullptr && *value != '\0' ? value : kDefaultMuxAddress;
}

std::string MuxServerUnreachable(const MuxAddress& address) {
    if (address.kind == MuxAddress::Kind::Unix) {
        sockaddr_un to{};
        to.sun_family = AF_UNIX;
        std::memcpy(to.sun_path, address.path.data(), address.path.size());
        return TryConnect(AF_UNIX, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    }
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(address.port);
    if (const int e = getaddrinfo(address.host.c_str(), port.c_str(), &hints, &found); e != 0)
        return gai_strerror(e);
    std::string reason;
    for (const addrinfo* a = found; a != nullptr; a = a->ai_next) {
        reason = TryConnect(a->ai_family, a->ai_addr, a->ai_addrlen);
        if (reason.empty()) break;
    }
    freeaddrinfo(found);
    return reason;
}

}  // namespace pulsedesk::link
