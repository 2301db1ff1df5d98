#include "socket_io.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace pulsedesk::mux {

namespace {

struct Address {
    sockaddr_storage storage{};
    socklen_t length = 0;
    int family = AF_UNSPEC;
};

Address UnixAddress(const std::string& path) {
    Address a;
    auto* un = reinterpret_cast<sockaddr_un*>(&a.storage);
    un->sun_family = AF_UNIX;
    std::memcpy(un->sun_path, path.c_str(), path.size() + 1);  // fits: checked when parsed
    a.length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    a.family = AF_UNIX;
    return a;
}

std::vector<Address> Resolve(const Endpoint& endpoint, bool passive) {
    if (endpoint.kind == Endpoint::Kind::Unix) return {UnixAddress(endpoint.path)};
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | (passive ? AI_PASSIVE : 0);
    addrinfo* found = nullptr;
    const std::string port = std::to_string(endpoint.port);
    if (getaddrinfo(endpoint.host.c_str(), port.c_str(), &hints, &found) != 0) return {};
    std::vector<Address> out;
    for (addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
        Address a;
        std::memcpy(&a.storage, ai->ai_addr, ai->ai_addrlen);
        a.length = ai->ai_addrlen;
        a.family = ai->ai_family;
        out.push_back(a);
    }
    freeaddrinfo(found);
    return out;
}

UniqueFd StreamSocket(int family) {
    return UniqueFd(socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
}

// Waits for one poll event on fd until the deadline; false on timeout or failure.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
    for (;;) {
        const int left = MillisecondsUntil(deadline);
        if (left == 0) return false;
        pollfd p{fd, events, 0};
        const int ready = poll(&p, 1, left);
        if (ready < 0 && errno == EINTR) continue;
        return ready > 0 && (p.revents & events) != 0;
    }
}

// A unix socket whose backlog is full refuses with EAGAIN at once instead of waiting: retry.
bool ConnectOne(int fd, const Address& a, Clock::time_point deadline) {
    const auto* address = reinterpret_cast<const sockaddr*>(&a.storage);
    int rc = 0;
    while ((rc = connect(fd, address, a.length)) != 0 && errno == EAGAIN &&
           MillisecondsUntil(deadline) > 0)
        poll(nullptr, 0, 5);
    if (rc == 0) return true;
    if (errno != EINPROGRESS && errno != EINTR) return false;
    if (!WaitFor(fd, POLLOUT, deadline)) return false;
    int error = 0;
    socklen_t size = sizeof error;
    return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
}

// A unix socket file is stale when it is a socket that nobody accepts on.
bool RemoveStaleSocketFile(const Endpoint& endpoint, std::string& error) {
    struct stat st {};
    if (lstat(endpoint.path.c_str(), &st) != 0) return true;
    if (!S_ISSOCK(st.st_mode)) {
        error = endpoint.path + ": exists and is not a socket";
        return false;
    }
    UniqueFd probe = ConnectWithin(endpoint, Clock::now() + std::chrono::milliseconds(200));
    if (probe.Valid()) {
        error = endpoint.path + ": another server is listening there";
        return false;
    }
    unlink(endpoint.path.c_str());
    return true;
}

bool BindAndListen(int fd, const Address& a) {
    const int on = 1;
    if (a.family != AF_UNIX) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    return bind(fd, reinterpret_cast<const sockaddr*>(&a.storage), a.length) == 0 &&
           listen(fd, SOMAXCONN) == 0;
}

}  // namespace

int MillisecondsUntil(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

UniqueFd ConnectWithin(const Endpoint& endpoint, Clock::time_point deadline) {
    for (const Address& a : Resolve(endpoint, false)) {
        UniqueFd fd = StreamSocket(a.family);
        if (fd.Valid() && ConnectOne(fd.Get(), a, deadline)) return fd;
        if (MillisecondsUntil(deadline) == 0) break;
    }
    return {};
}

UniqueFd Listen(const Endpoint& endpoint, std::string& error) {
    if (endpoint.kind == Endpoint::Kind::Unix && !RemoveStaleSocketFile(endpoint, error)) return {};
    const std::vector<Address> addresses = Resolve(endpoint, true);
    if (addresses.empty()) error = endpoint.Describe() + ": unknown host";
    for (const Address& a : addresses) {
        UniqueFd fd = StreamSocket(a.family);
        if (fd.Valid() && BindAndListen(fd.Get(), a)) return fd;
        error = endpoint.Describe() + ": " + std::strerror(errno);
    }
    return {};
}

bool SendAllWithin(int fd, const std::uint8_t* data, std::size_t length,
                   Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = send(fd, data + done, length - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
        if (!WaitFor(fd, POLLOUT, deadline)) return false;
    }
    return true;
}

bool ReceiveExactWithin(int fd, std::uint8_t* data, std::size_t length,
                        Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n = recv(fd, data + done, length - done, MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n == 0) return false;  // the other side closed
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
        if (!WaitFor(fd, POLLIN, deadline)) return false;
    }
    return true;
}

}  // namespace pulsedesk::mux
