#include "mux_server.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>

namespace pulsedesk::mux {

namespace {

constexpr int kAcceptsPerRound = 64;
constexpr std::chrono::milliseconds kLongestPoll{1000};
constexpr std::chrono::milliseconds kAcceptPause{100};  // after running out of descriptors

bool WouldBlock(int error) { return error == EAGAIN || error == EWOULDBLOCK || error == EINTR; }

// A client that closed its socket while its request waited has given up on the reply.
bool PeerHasLeft(int fd) {
    std::uint8_t byte;
    const ssize_t n = recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return n == 0 || (n < 0 && !WouldBlock(errno));
}

}  // namespace

MuxServer::MuxServer(UniqueFd listener, SharedLine& line, ServerLimits limits, LogSink log)
    : listener(std::move(listener)), line(line), limits(limits), log(std::move(log)) {}

void MuxServer::Run(int stopFd) {
    for (;;) {
        BuildPollSet(stopFd);
        if (poll(pollSet.data(), pollSet.size(), PollTimeout()) < 0) {
            if (errno == EINTR) continue;
            log("poll failed; stopping");
            break;
        }
        if (pollSet[0].revents != 0) break;
        if (pollSet[1].revents != 0) AcceptPending();
        for (std::size_t i = 2; i < pollSet.size(); ++i)
            if (pollSet[i].revents != 0) OnClientEvent(pollIds[i - 2]);
        ExpireClients();
        ServeNext();
    }
    queue.clear();
    clients.clear();
}

// Queued clients are left out: they send nothing more until they have their reply.
void MuxServer::BuildPollSet(int stopFd) {
    pollSet.clear();
    pollIds.clear();
    const bool acceptPaused = Clock::now() < acceptPausedUntil;
    pollSet.push_back({stopFd, POLLIN, 0});
    pollSet.push_back({acceptPaused ? -1 : listener.Get(), POLLIN, 0});
    for (const auto& [id, c] : clients) {
        if (c.stage == Stage::Queued) continue;
        pollSet.push_back(
            {c.fd.Get(), static_cast<short>(c.stage == Stage::Replying ? POLLOUT : POLLIN), 0});
        pollIds.push_back(id);
    }
}

int MuxServer::PollTimeout() const {
    if (!queue.empty()) return 0;
    Clock::time_point next = Clock::now() + kLongestPoll;
    for (const auto& [id, c] : clients)
        if (c.stage != Stage::Queued) next = std::min(next, c.deadline);
    if (acceptPausedUntil > Clock::now()) next = std::min(next, acceptPausedUntil);
    return MillisecondsUntil(next);
}

void MuxServer::AcceptPending() {
    for (int i = 0; i < kAcceptsPerRound; ++i) {
        const int fd = accept4(listener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == ECONNABORTED || errno == EINTR) continue;
            if (!WouldBlock(errno)) acceptPausedUntil = Clock::now() + kAcceptPause;
            return;
        }
        UniqueFd client(fd);
        if (clients.size() >= limits.maxClients) {
            ++stats.refused;
            continue;
        }
        Client& c = clients[nextId++];
        c.fd = std::move(client);
        c.deadline = Clock::now() + limits.idleLimit;
        ++stats.accepted;
    }
}

void MuxServer::OnClientEvent(std::uint64_t id) {
    const auto it = clients.find(id);
    if (it == clients.end()) return;
    if (it->second.stage == Stage::Replying)
        SendReply(id, it->second);
    else
        ReadRequest(id, it->second);
}

// Reads exactly what the request still lacks, so bytes of a following request stay queued in
// the socket until this one is answered.
void MuxServer::ReadRequest(std::uint64_t id, Client& c) {
    while (c.stage == Stage::Idle || c.stage == Stage::Reading) {
        const std::size_t want = c.have == 0 ? 1 : 1 + c.in[0] - c.have;
        const ssize_t n = recv(c.fd.Get(), c.in.data() + c.have, want, MSG_DONTWAIT);
        if (n < 0 && WouldBlock(errno)) return;
        if (n <= 0) {  // closed between requests is a normal goodbye
            Drop(id, c.stage == Stage::Idle ? nullptr : &stats.vanished);
            return;
        }
        if (c.have == 0) {
            c.stage = Stage::Reading;
            c.deadline = Clock::now() + limits.requestLimit;
        }
        c.have += static_cast<std::size_t>(n);
        if (!TakeRequestBytes(id, c)) return;
    }
}

// False when the bytes so far break the request rules and the client is gone.
bool MuxServer::TakeRequestBytes(std::uint64_t id, Client& c) {
    const bool badLength = !IsValidRequestLength(c.in[0]);
    const bool complete = !badLength && c.have == 1 + std::size_t{c.in[0]};
    if (badLength || (complete && !IsValidRequest(c.in.data() + 1, c.in[0]))) {
        Drop(id, &stats.malformed);
        return false;
    }
    if (complete) {
        c.stage = Stage::Queued;
        queue.push_back(id);
    }
    return true;
}

void MuxServer::ServeNext() {
    if (queue.empty()) return;
    const std::uint64_t id = queue.front();
    queue.pop_front();
    const auto it = clients.find(id);
    if (it == clients.end()) return;
    Client& c = it->second;
    if (PeerHasLeft(c.fd.Get())) {
        Drop(id, &stats.vanished);
        return;
    }
    std::array<std::uint8_t, kMaxReply> reply{};
    const std::size_t n = line.Transact(c.in.data() + 1, c.in[0], reply.data());
    ++stats.transactions;
    c.out[0] = static_cast<std::uint8_t>(n);
    std::copy_n(reply.begin(), n, c.out.begin() + 1);
    c.outLength = 1 + n;
    c.sent = 0;
    c.have = 0;
    c.stage = Stage::Replying;
    c.deadline = Clock::now() + limits.replyLimit;
    SendReply(id, c);
}

void MuxServer::SendReply(std::uint64_t id, Client& c) {
    while (c.sent < c.outLength) {
        const ssize_t n = send(c.fd.Get(), c.out.data() + c.sent, c.outLength - c.sent,
                               MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n < 0 && WouldBlock(errno)) return;
        if (n <= 0) {
            Drop(id, &stats.vanished);
            return;
        }
        c.sent += static_cast<std::size_t>(n);
    }
    c.stage = Stage::Idle;
    c.deadline = Clock::now() + limits.idleLimit;
}

// An idle connection that times out is closed without counting: that is housekeeping.
void MuxServer::ExpireClients() {
    const Clock::time_point now = Clock::now();
    for (auto it = clients.begin(); it != clients.end();) {
        const Client& c = it->second;
        if (c.stage == Stage::Queued || c.deadline > now) {
            ++it;
            continue;
        }
        if (c.stage != Stage::Idle) ++stats.timedOut;
        it = clients.erase(it);
    }
}

void MuxServer::Drop(std::uint64_t id, std::uint64_t* counter) {
    if (counter != nullptr) ++*counter;
    clients.erase(id);
}

}  // namespace pulsedesk::mux
