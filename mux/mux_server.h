// MuxServer: lets any number of clients share the one line. A single thread polls the
// listening socket and every client; complete requests go to the line one at a time, the
// clients taking turns (one request each per round, however many connections a client opens),
// so two clients' exchanges never interleave and each reply goes back on the connection that
// asked for it. A request that waits too long for its turn is answered "busy" instead. One client
// at a time may hold control: while it does, no other client's changing frame reaches the line.
#pragma once

#include <poll.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "shared_line.h"
#include "socket_io.h"
#include "wire.h"

namespace pulsedesk::mux {

struct ServerLimits {
    std::size_t maxClients = 512;                  // beyond, the least needed one is closed
    std::chrono::milliseconds helloLimit{500};     // for a connection to say who it is
    std::chrono::milliseconds requestLimit{1000};  // first to last byte of one request
    std::chrono::milliseconds replyLimit{1000};    // for a client to take its reply
    std::chrono::milliseconds idleLimit{30000};    // between requests
    std::chrono::milliseconds controlLapse{3000};  // a holder silent this long loses control
    std::chrono::milliseconds turnLimit{1000};     // a request waiting longer is answered busy
};

struct ServerStats {
    std::uint64_t accepted = 0;
    std::uint64_t refused = 0;       // closed to keep within maxClients
    std::uint64_t noHello = 0;       // said neither hello nor a request in time
    std::uint64_t transactions = 0;  // exchanges run on the line
    std::uint64_t busy = 0;          // requests answered busy: their turn did not come in time
    std::uint64_t malformed = 0;     // bad length byte or bad frame header: connection closed
    std::uint64_t timedOut = 0;      // too slow to send a request or take a reply
    std::uint64_t vanished = 0;      // left in the middle of a request or before its reply
    std::uint64_t refusedForControl = 0;  // takes and changing frames refused: another held it
    std::uint64_t falseIdentities = 0;  // a hello whose process is not the peer's: closed
};

class MuxServer {
  public:
    MuxServer(UniqueFd listener, SharedLine& line, ServerLimits limits, LogSink log);

    // Serves until stopFd becomes readable.
    void Run(int stopFd);

    const ServerStats& Stats() const { return stats; }

  private:
    enum class Stage { Idle, Reading, Queued, Replying };

    struct Client {
        UniqueFd fd;
        Stage stage = Stage::Idle;
        Clock::time_point deadline;
        std::array<std::uint8_t, kMaxMessage> in{};  // request: length byte + frame
        std::size_t have = 0;
        std::array<std::uint8_t, 2 + kMaxHolder> out{};  // length byte + reply, or a refusal
        std::size_t outLength = 0;
        std::size_t sent = 0;
        std::uint32_t peerPid = 0;  // from the unix socket's credentials; 0 when unknown (tcp)
        std::optional<ClientIdentity> identity;  // after its hello
        Clock::time_point queuedAt;
    };

    // Whose turn a request waits for: a process proven by a unix socket's credentials, else the
    // identity a hello claims, else (unnamed, over tcp) all such connections together.
    struct Turn {
        std::uint32_t pid = 0;
        std::array<std::uint8_t, kTokenSize> token{};
        auto operator<=>(const Turn&) const = default;
    };

    struct Grant {
        ClientIdentity holder;
        Clock::time_point lastRequest;
    };

    void BuildPollSet(int stopFd);
    int PollTimeout() const;
    void AcceptPending();
    void KeepWithinLimit(std::uint64_t firstNew);
    std::optional<std::uint64_t> LeastNeeded(std::uint64_t firstNew) const;
    Clock::time_point IdleDeadline(const Client& c) const;
    void OnClientEvent(std::uint64_t id);
    void ReadRequest(std::uint64_t id, Client& c);
    bool TakeMessageBytes(std::uint64_t id, Client& c);
    bool OnHello(std::uint64_t id, Client& c);
    void OnControlMessage(std::uint64_t id, Client& c);
    void ExpireGrant();
    bool Holds(const Client& c) const;
    bool MayChangeDevice(const Client& c);
    void Refuse(Client& c);
    void StartReply(Client& c, std::size_t length);
    void SendReply(std::uint64_t id, Client& c);
    static Turn TurnOf(const Client& c);
    void Enqueue(std::uint64_t id, Client& c);
    std::optional<std::uint64_t> NextInTurn();
    void AnswerOverdue();
    void ServeNext();
    void ExpireClients();
    void Drop(std::uint64_t id, std::uint64_t* counter);

    UniqueFd listener;
    SharedLine& line;
    ServerLimits limits;
    LogSink log;
    ServerStats stats;

    std::map<std::uint64_t, Client> clients;
    std::map<Turn, std::deque<std::uint64_t>> waiting;  // complete requests, oldest first
    std::deque<Turn> turns;  // the clients with a waiting request, in the order they are served
    std::optional<Grant> grant;
    // The last client granted control, kept after its grant ended: tells a client that takes
    // control again whether anybody else held it in between.
    std::optional<ClientIdentity> lastGranted;
    std::uint64_t nextId = 1;
    Clock::time_point acceptPausedUntil;
    // When a connection that might have been the holder's was last turned away (closed for the
    // limit before it said who it was, or not accepted at all): a grant does not lapse meanwhile.
    Clock::time_point lastTurnedAway;

    std::vector<pollfd> pollSet;         // [0] stop, [1] listener, then clients
    std::vector<std::uint64_t> pollIds;  // client id of pollSet[i + 2]
};

}  // namespace pulsedesk::mux
