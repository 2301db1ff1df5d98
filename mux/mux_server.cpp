#include "mux_server.h"

#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

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

// The process at the other end of a unix socket; 0 over tcp, where nothing tells.
std::uint32_t PeerPid(int fd) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.pid <= 0) return 0;
    return static_cast<std::uint32_t>(peer.pid);
}

std::string Hex(const std::uint8_t* bytes, std::size_t length) {
    std::string text;
    char byte[4];
    for (std::size_t i = 0; i < length; ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += byte;
    }
    return text;
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
        // Clients first: a hello that arrived since the last round is read before the limit
        // weighs the connection as one that has not said who it is.
        for (std::size_t i = 2; i < pollSet.size(); ++i)
            if (pollSet[i].revents != 0) OnClientEvent(pollIds[i - 2]);
        if (pollSet[1].revents != 0) AcceptPending();
        ExpireClients();
        AnswerOverdue();
        ServeNext();
    }
    waiting.clear();
    turns.clear();
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
    if (!turns.empty()) return 0;
    Clock::time_point next = Clock::now() + kLongestPoll;
    for (const auto& [id, c] : clients)
        if (c.stage != Stage::Queued) next = std::min(next, c.deadline);
    if (acceptPausedUntil > Clock::now()) next = std::min(next, acceptPausedUntil);
    return MillisecondsUntil(next);
}

// A client's hello usually comes with its connection, so it is read at once; the connections of
// this round are spared by the limit until their next round.
void MuxServer::AcceptPending() {
    const std::uint64_t firstNew = nextId;
    for (int i = 0; i < kAcceptsPerRound; ++i) {
        const int fd = accept4(listener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == ECONNABORTED || errno == EINTR) continue;
            if (!WouldBlock(errno)) {
                acceptPausedUntil = Clock::now() + kAcceptPause;
                lastTurnedAway = acceptPausedUntil;
            }
            break;
        }
        const std::uint64_t id = nextId++;
        Client& c = clients[id];
        c.fd = UniqueFd(fd);
        c.peerPid = PeerPid(fd);
        c.deadline = Clock::now() + limits.helloLimit;
        ++stats.accepted;
        ReadRequest(id, c);
    }
    KeepWithinLimit(firstNew);
}

void MuxServer::KeepWithinLimit(std::uint64_t firstNew) {
    while (clients.size() > limits.maxClients) {
        const auto victim = LeastNeeded(firstNew);
        if (!victim) return;  // the holder's connections and this round's newcomers stay
        if (!clients.at(*victim).identity) lastTurnedAway = Clock::now();
        Drop(*victim, &stats.refused);
    }
}

// Who makes room at the limit: a connection that has not said who it is before one that has, an
// idle one before a busy one, the oldest first; never the holder's.
std::optional<std::uint64_t> MuxServer::LeastNeeded(std::uint64_t firstNew) const {
    std::optional<std::uint64_t> least;
    std::pair<bool, bool> leastRank{};
    for (const auto& [id, c] : clients) {
        if (id >= firstNew || Holds(c)) continue;
        const std::pair<bool, bool> rank{c.identity.has_value(), c.stage != Stage::Idle};
        if (!least || rank < leastRank) {
            least = id;
            leastRank = rank;
        }
    }
    return least;
}

// A connection that has not said who it is gets only a moment between messages.
Clock::time_point MuxServer::IdleDeadline(const Client& c) const {
    return Clock::now() + (c.identity ? limits.idleLimit : limits.helloLimit);
}

void MuxServer::OnClientEvent(std::uint64_t id) {
    const auto it = clients.find(id);
    if (it == clients.end()) return;
    if (it->second.stage == Stage::Replying)
        SendReply(id, it->second);
    else
        ReadRequest(id, it->second);
}

// Reads exactly what the message still lacks, so bytes of a following request stay queued in
// the socket until this one is answered.
void MuxServer::ReadRequest(std::uint64_t id, Client& c) {
    while (c.stage == Stage::Idle || c.stage == Stage::Reading) {
        const std::size_t want = MessageLength(c.in.data(), c.have) - c.have;
        const ssize_t n = recv(c.fd.Get(), c.in.data() + c.have, want, MSG_DONTWAIT);
        if (n < 0 && WouldBlock(errno)) return;
        if (n <= 0) {  // closed between requests is a normal goodbye
            Drop(id, c.stage == Stage::Idle ? nullptr : &stats.vanished);
            return;
        }
        if (c.have == 0) {
            c.stage = Stage::Reading;
            const Clock::time_point limit = Clock::now() + limits.requestLimit;
            c.deadline = c.identity ? limit : std::min(c.deadline, limit);
        }
        c.have += static_cast<std::size_t>(n);
        if (!TakeMessageBytes(id, c)) return;
    }
}

// False when the client is answered or gone: the caller must not touch it again.
bool MuxServer::TakeMessageBytes(std::uint64_t id, Client& c) {
    const std::size_t total = MessageLength(c.in.data(), c.have);
    const bool request = IsValidRequestLength(c.in[0]);
    const bool complete = total != 0 && c.have == total;
    const bool anonymousControl = complete && !request && c.in[0] != kHello && !c.identity;
    if (total == 0 || anonymousControl ||
        (complete && request && !IsValidRequest(c.in.data() + 1, c.in[0]))) {
        Drop(id, &stats.malformed);
        return false;
    }
    if (!complete) return true;
    if (c.in[0] == kHello) return OnHello(id, c);
    ExpireGrant();
    if (grant && Holds(c)) grant->lastRequest = Clock::now();
    if (!request) {
        OnControlMessage(id, c);
        return false;
    }
    Enqueue(id, c);
    return true;
}

// One hello per connection; over a unix socket the process it names must be the peer's own.
bool MuxServer::OnHello(std::uint64_t id, Client& c) {
    const auto identity = DecodeHello(c.in.data() + 2, c.in[1]);
    if (c.identity || !identity) {
        Drop(id, &stats.malformed);
        return false;
    }
    if (c.peerPid != 0 && identity->pid != c.peerPid) {
        log("closed a connection of process " + std::to_string(c.peerPid) + " that called itself " +
            identity->Logged());
        Drop(id, &stats.falseIdentities);
        return false;
    }
    c.identity = identity;
    c.have = 0;
    c.stage = Stage::Idle;
    c.deadline = IdleDeadline(c);
    return true;
}

void MuxServer::OnControlMessage(std::uint64_t id, Client& c) {
    const ClientIdentity& who = *c.identity;
    if (c.in[0] == kGiveBack) {
        if (grant && Holds(c)) {
            log("control given back by " + who.Logged());
            grant.reset();
        }
        c.out[0] = kGivenBack;
        StartReply(c, 1);
    } else if (!grant || Holds(c)) {
        if (!grant) log("control granted to " + who.Logged());
        const bool othersMeanwhile = lastGranted && !lastGranted->SameClient(who);
        grant = Grant{who, Clock::now()};
        lastGranted = who;
        c.out[0] = othersMeanwhile ? kGrantedAfterOther : kGranted;
        StartReply(c, 1);
    } else {
        Refuse(c);
    }
    SendReply(id, c);
}

// A grant whose holder has been silent too long has ended (a crash, a kill, a hang), unless its
// holder may have been kept out meanwhile.
void MuxServer::ExpireGrant() {
    if (!grant) return;
    const Clock::time_point now = Clock::now();
    if (now - grant->lastRequest <= limits.controlLapse ||
        now - lastTurnedAway <= limits.controlLapse)
        return;
    log("control of " + grant->holder.Logged() + " lapsed: no request for " +
        std::to_string(limits.controlLapse.count()) + " ms");
    grant.reset();
}

bool MuxServer::Holds(const Client& c) const {
    return grant && c.identity && grant->holder.SameClient(*c.identity);
}

bool MuxServer::MayChangeDevice(const Client& c) {
    ExpireGrant();
    return !grant || Holds(c);
}

void MuxServer::Refuse(Client& c) {
    ++stats.refusedForControl;
    const std::string holder = grant->holder.Describe().substr(0, kMaxHolder);
    c.out[0] = kRefused;
    c.out[1] = static_cast<std::uint8_t>(holder.size());
    std::copy(holder.begin(), holder.end(), c.out.begin() + 2);
    StartReply(c, 2 + holder.size());
}

void MuxServer::StartReply(Client& c, std::size_t length) {
    c.outLength = length;
    c.sent = 0;
    c.have = 0;
    c.stage = Stage::Replying;
    c.deadline = Clock::now() + limits.replyLimit;
}

MuxServer::Turn MuxServer::TurnOf(const Client& c) {
    if (c.peerPid != 0) return {c.peerPid, {}};
    if (c.identity) return {c.identity->pid, c.identity->token};
    return {};
}

void MuxServer::Enqueue(std::uint64_t id, Client& c) {
    c.stage = Stage::Queued;
    c.queuedAt = Clock::now();
    const Turn turn = TurnOf(c);
    std::deque<std::uint64_t>& requests = waiting[turn];
    if (requests.empty()) turns.push_back(turn);
    requests.push_back(id);
}

// The oldest request of the client whose turn it is; that client goes to the back of the round
// when it has more.
std::optional<std::uint64_t> MuxServer::NextInTurn() {
    if (turns.empty()) return std::nullopt;
    const Turn turn = turns.front();
    turns.pop_front();
    const auto it = waiting.find(turn);
    const std::uint64_t id = it->second.front();
    it->second.pop_front();
    if (it->second.empty())
        waiting.erase(it);
    else
        turns.push_back(turn);
    return id;
}

// Each client's requests wait in the order they came, so the overdue ones lead its queue.
void MuxServer::AnswerOverdue() {
    const Clock::time_point now = Clock::now();
    for (auto it = waiting.begin(); it != waiting.end();) {
        std::deque<std::uint64_t>& requests = it->second;
        while (!requests.empty()) {
            const auto c = clients.find(requests.front());
            if (c != clients.end() && now - c->second.queuedAt <= limits.turnLimit) break;
            requests.pop_front();
            if (c == clients.end()) continue;
            ++stats.busy;
            c->second.out[0] = kBusy;
            StartReply(c->second, 1);
            SendReply(c->first, c->second);
        }
        if (!requests.empty()) {
            ++it;
            continue;
        }
        std::erase(turns, it->first);
        it = waiting.erase(it);
    }
}

void MuxServer::ServeNext() {
    const std::optional<std::uint64_t> next = NextInTurn();
    if (!next) return;
    const std::uint64_t id = *next;
    const auto it = clients.find(id);
    if (it == clients.end()) return;
    Client& c = it->second;
    if (PeerHasLeft(c.fd.Get())) {
        Drop(id, &stats.vanished);
        return;
    }
    const std::uint8_t* frame = c.in.data() + 1;
    if (IsChangingFrame(frame, c.in[0]) && !MayChangeDevice(c)) {
        log("refused " + Hex(frame, c.in[0]) + " from " +
            (c.identity ? c.identity->Logged() : std::string("an unnamed client")) +
            ": control is held by " + grant->holder.Logged());
        Refuse(c);
        SendReply(id, c);
        return;
    }
    std::array<std::uint8_t, kMaxReply> reply{};
    const std::size_t n = line.Transact(frame, c.in[0], reply.data());
    ++stats.transactions;
    ExpireGrant();
    c.out[0] = static_cast<std::uint8_t>(n | (Holds(c) ? kHeldFlag : 0));
    std::copy_n(reply.begin(), n, c.out.begin() + 1);
    StartReply(c, 1 + n);
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
    c.deadline = IdleDeadline(c);
}

// An idle connection of a known client that times out is closed without counting: that is
// housekeeping.
void MuxServer::ExpireClients() {
    ExpireGrant();
    const Clock::time_point now = Clock::now();
    for (auto it = clients.begin(); it != clients.end();) {
        const Client& c = it->second;
        if (c.stage == Stage::Queued || c.deadline > now) {
            ++it;
            continue;
        }
        if (c.stage != Stage::Idle)
            ++stats.timedOut;
        else if (!c.identity)
            ++stats.noHello;
        it = clients.erase(it);
    }
}

void MuxServer::Drop(std::uint64_t id, std::uint64_t* counter) {
    if (counter != nullptr) ++*counter;
    clients.erase(id);
}

}  // namespace pulsedesk::mux
