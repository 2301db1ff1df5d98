// muxserver as a real child process on a real pseudo-terminal, with the simulated counter on the
// master side and the client library loaded from the build's bin folder.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <deque>
#include <iostream>
#include <memory>
#include <random>
#include <thread>

#include "MuxHarness.h"
#include "SimulatedDevice.h"
#include "mux/endpoint.h"
#include "mux/socket_io.h"
#include "mux/wire.h"
#include "support/Wait.h"

namespace pulsedesk::muxtest {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using mux::Clock;
using testing::WaitUntil;

const Bytes kStatusA = {0x01, 0x28};
const Bytes kStatusB = {0x01, 0x31};
const Bytes kReadModel = {0x01, 0x2E};
const Bytes kReadSerial = {0x01, 0x2D};

class MuxServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        device = std::make_unique<SimulatedDevice>();
        PointSymlink(portLink, device->SlavePath());
        StartServer(address);
    }

    void TearDown() override {
        if (server) {
            EXPECT_EQ(server->Stop(SIGINT), 0);
        }
    }

    void StartServer(const std::string& listen) {
        setenv(mux::kEndpointVariable, listen.c_str(), 1);
        server = std::make_unique<ServerProcess>(portLink, listen, logPath);
        ASSERT_TRUE(WaitForListener(listen)) << ReadBytes(logPath);
    }

    // Stops the server with SIGTERM and returns what it logged.
    std::string StopServer() {
        EXPECT_EQ(server->Stop(SIGTERM), 0);
        server.reset();
        return ReadBytes(logPath);
    }

    int Call(const Bytes& request) {
        Bytes reply;
        return client.Call(request, reply);
    }

    TempDir folder;
    std::string portLink = folder.File("tty");
    std::string address = "unix:" + folder.File("mux.sock");
    std::string logPath = folder.File("server.log");
    ClientLibrary client;
    std::unique_ptr<SimulatedDevice> device;
    std::unique_ptr<ServerProcess> server;
};

TEST_F(MuxServerTest, StatusRequestsGetTheDevicesReplies) {
    Bytes reply;
    ASSERT_EQ(client.Call(kStatusA, reply), 10);
    EXPECT_EQ(reply[0] & 0x0F, 9);
    EXPECT_EQ(reply[1], 0xA8);
    ASSERT_EQ(client.Call(kStatusB, reply), 16);
    EXPECT_EQ(reply[0] & 0x0F, 15);
    EXPECT_EQ(reply[1], 0xB1);
    ASSERT_EQ(client.Call(kReadModel, reply), 4);
    EXPECT_EQ(reply, (Bytes{0x03, 0xAE, 'C', '2'}));
    EXPECT_EQ(device->RequestsSeen(), 3);
}

TEST_F(MuxServerTest, LineRunsAt9600EightNoneOneRaw) {
    ASSERT_EQ(Call(kStatusA), 10);
    const termios t = device->SlaveSettings();
    EXPECT_EQ(cfgetospeed(&t), B9600);  // a fresh pty starts at 38400
    EXPECT_EQ(t.c_cflag & CSIZE, CS8);
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(t.c_iflag & (IXON | IXOFF), 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
}

TEST_F(MuxServerTest, DeviceRepliesAreCutAtTwentyBytesAndSilenceGivesZero) {
    sim::Faults faults;
    faults.overLong = 10;  // reply B grows to 26 bytes without a pause
    device->SetFaults(faults);
    Bytes reply;
    EXPECT_EQ(client.Call(kStatusB, reply), 20);
    EXPECT_EQ(reply[1], 0xB1);
    device->SetFaults(sim::Faults{.noReply = true});
    EXPECT_EQ(Call(kStatusA), 0);
    device->SetFaults(sim::Faults{});
    EXPECT_EQ(Call(kStatusA), 10);
}

// A loopback address whose port nobody uses now.
std::string FreeLoopbackAddress() {
    mux::UniqueFd probe(socket(AF_INET, SOCK_STREAM, 0));
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof any;
    if (bind(probe.Get(), reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 ||
        getsockname(probe.Get(), reinterpret_cast<sockaddr*>(&any), &size) != 0)
        return {};
    return "tcp:127.0.0.1:" + std::to_string(ntohs(any.sin_port));
}

TEST_F(MuxServerTest, ServesOverTcpToo) {
    StopServer();
    StartServer(FreeLoopbackAddress());
    EXPECT_EQ(Call(kStatusB), 16);
}

// Each client asks something whose reply tells it apart from the others' replies.
TEST_F(MuxServerTest, ConcurrentClientsGetOnlyTheirOwnReplies) {
    struct Poller {
        Bytes request;
        std::size_t length;
        std::uint8_t code;
        int mismatches = 0;
        int failures = 0;
    };
    std::vector<Poller> pollers = {
        {kReadModel, 4, 0xAE}, {kReadSerial, 4, 0xAD}, {kStatusA, 10, 0xA8}};
    constexpr int kRounds = 70;
    std::vector<std::thread> threads;
    for (Poller& p : pollers)
        threads.emplace_back([&p, this] {
            Bytes reply;
            for (int i = 0; i < kRounds; ++i) {
                const int n = client.Call(p.request, reply);
                if (n == 0)
                    ++p.failures;
                else if (std::size_t(n) != p.length || reply[1] != p.code)
                    ++p.mismatches;
            }
        });
    for (auto& t : threads) t.join();
    for (const Poller& p : pollers) {
        EXPECT_EQ(p.mismatches, 0) << std::hex << int(p.code);
        EXPECT_EQ(p.failures, 0) << std::hex << int(p.code);
    }
    EXPECT_EQ(device->RequestsSeen(), 3 * kRounds);
}

TEST_F(MuxServerTest, StoppedServerGivesZeroAndARestartedOneIsReachedAgain) {
    ASSERT_EQ(Call(kStatusA), 10);
    const std::string log = StopServer();
    EXPECT_NE(log.find("stopped: 1 transactions"), std::string::npos) << log;
    EXPECT_NE(access(folder.File("mux.sock").c_str(), F_OK), 0);  // socket file removed

    const auto start = Clock::now();
    EXPECT_EQ(Call(kStatusA), 0);
    EXPECT_LT(Clock::now() - start, 3s);

    StartServer(address);
    EXPECT_TRUE(WaitUntil([&] { return Call(kStatusA) == 10; }));
}

// The device vanishes (pty master closed); a new one appears behind the same symlink.
TEST_F(MuxServerTest, VanishedDeviceGivesZeroAndAReturningOneIsPickedUp) {
    ASSERT_EQ(Call(kStatusA), 10);
    device.reset();
    EXPECT_EQ(Call(kStatusA), 0);
    EXPECT_EQ(Call(kStatusB), 0);

    device = std::make_unique<SimulatedDevice>();
    PointSymlink(portLink, device->SlavePath());
    EXPECT_TRUE(WaitUntil([&] { return Call(kStatusA) == 10; }));
    EXPECT_EQ(Call(kStatusB), 16);

    const std::string log = StopServer();
    EXPECT_NE(log.find("line hung up"), std::string::npos) << log;
    EXPECT_NE(log.find("line reopened"), std::string::npos) << log;
    EXPECT_NE(log.find("1 line hang-ups, 1 reopens"), std::string::npos) << log;
}

// Requests written back to back on one connection are answered one after the other, in order.
TEST_F(MuxServerTest, OneConnectionCarriesRequestsInOrder) {
    const mux::UniqueFd s = mux::ConnectWithin(*mux::ParseEndpoint(address), Clock::now() + 1s);
    const Bytes both = {0x02, 0x01, 0x2E, 0x02, 0x01, 0x2D, 0x02, 0x01, 0x28};
    ASSERT_TRUE(mux::SendAllWithin(s.Get(), both.data(), both.size(), Clock::now() + 1s));
    Bytes answers(5 + 5 + 11);
    ASSERT_TRUE(
        mux::ReceiveExactWithin(s.Get(), answers.data(), answers.size(), Clock::now() + 3s));
    EXPECT_EQ(Bytes(answers.begin(), answers.begin() + 10),
              (Bytes{4, 0x03, 0xAE, 'C', '2', 4, 0x03, 0xAD, 0x00, 123}));
    EXPECT_EQ(answers[10], 10);
    EXPECT_EQ(answers[12], 0xA8);
}

// Clients polling without pause, each on a connection of its own that keeps one request waiting;
// all under one identity (one process with many connections) or each under its own.
class Pollers {
  public:
    Pollers(const std::string& address, int count, bool oneIdentity) {
        for (int i = 0; i < count; ++i)
            threads.emplace_back([=, this] {
                mux::ClientIdentity id{static_cast<std::uint32_t>(getpid()), {}, "poller"};
                id.token.fill(oneIdentity ? 0xEE : static_cast<std::uint8_t>(i));
                Poll(*mux::ParseEndpoint(address), id);
            });
    }
    ~Pollers() {
        running = false;
        for (auto& t : threads) t.join();
    }
    int Busy() const { return busy; }
    int Unanswered() const { return unanswered; }

  private:
    void Poll(const mux::Endpoint& endpoint, const mux::ClientIdentity& id) {
        const mux::UniqueFd s = mux::ConnectWithin(endpoint, Clock::now() + 1s);
        Bytes out = mux::EncodeHello(id);
        const Bytes request{2, 0x01, 0x28};
        while (running) {
            out.insert(out.end(), request.begin(), request.end());
            std::uint8_t first = 0, reply[20];
            const auto deadline = Clock::now() + 3s;
            if (!mux::SendAllWithin(s.Get(), out.data(), out.size(), deadline) ||
                !mux::ReceiveExactWithin(s.Get(), &first, 1, deadline) ||
                (first != mux::kBusy &&
                 !mux::ReceiveExactWithin(s.Get(), reply, first, deadline))) {
                ++unanswered;
                return;
            }
            busy += first == mux::kBusy;
            out.clear();
        }
    }

    std::atomic<bool> running{true};
    std::atomic<int> busy{0}, unanswered{0};
    std::vector<std::thread> threads;
};

// Clients take turns: a process keeping 40 requests waiting delays another's by one exchange per
// round, not by forty; when the clients themselves are too many, a request that waits too long
// is answered busy, and the library says so. Over tcp, where a hello's identity is the client.
TEST_F(MuxServerTest, ClientsTakeTurnsAndAnOverdueRequestIsAnsweredBusy) {
    StopServer();
    const std::string tcp = FreeLoopbackAddress();
    StartServer(tcp);
    using Ex = int (*)(unsigned, const unsigned char*, unsigned char*, int*, char*, unsigned);
    const auto ex = reinterpret_cast<Ex>(client.Symbol("TransactMuxCommandEx"));
    unsigned char reply[20];
    char holder[80];
    int held = 0;
    {
        const Pollers crowd(tcp, 40, true);
        int answered = 0;
        for (int i = 0; i < 20; ++i) answered += Call(kStatusA) == 10;
        EXPECT_EQ(answered, 20);
        EXPECT_EQ(crowd.Unanswered(), 0);
    }
    // Eighty, so that a round of them outlasts the server's second of patience even when a
    // loaded machine slows the crowd's own polling (forty failed 3 runs of 4 with both cores busy).
    const Pollers crowd(tcp, 80, false);
    EXPECT_TRUE(
        WaitUntil([&] { return ex(2, kStatusA.data(), reply, &held, holder, sizeof holder) == -2; },
                  10s, 1ms));
    EXPECT_EQ(held, -1);
    // The crowd's own busy answers may still be on their way when ours arrives.
    EXPECT_TRUE(WaitUntil([&] { return crowd.Busy() > 0; }, 5s, 1ms));
    EXPECT_EQ(crowd.Unanswered(), 0);
}

TEST_F(MuxServerTest, SecondServerCannotTakeTheSameLine) {
    const std::string otherLog = folder.File("other.log");
    ServerProcess other(portLink, "unix:" + folder.File("other.sock"), otherLog);
    EXPECT_EQ(other.WaitExit(5s), 1);
    EXPECT_NE(ReadBytes(otherLog).find("cannot open the line"), std::string::npos);
    EXPECT_EQ(Call(kStatusA), 10);  // the first one still owns it
}

// ---- Bad input: the server must keep serving a well-formed client throughout. ----

struct Attack {
    mux::Endpoint endpoint;
    std::mt19937 random{2024};

    mux::UniqueFd Connect() const { return mux::ConnectWithin(endpoint, Clock::now() + 1s); }

    static bool Send(const mux::UniqueFd& s, const Bytes& bytes) {
        return mux::SendAllWithin(s.Get(), bytes.data(), bytes.size(), Clock::now() + 1s);
    }

    // True when the server closes the connection (possibly after a reply) within the limit.
    static bool ServerCloses(const mux::UniqueFd& s, std::chrono::milliseconds within) {
        const auto deadline = Clock::now() + within;
        std::uint8_t sink[64];
        while (Clock::now() < deadline) {
            const ssize_t n = recv(s.Get(), sink, sizeof sink, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN)) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    }

    Bytes RandomBytes(std::size_t count) {
        Bytes b(count);
        for (auto& x : b) x = static_cast<std::uint8_t>(random());
        return b;
    }
};

struct BadInputTally {
    int randomBursts = 0, badLengths = 0, badHeaders = 0, halfThenGone = 0, slowCut = 0;
    int wholeThenGone = 0, connects = 0, heldOpen = 0;
};

TEST_F(MuxServerTest, BadInputIsSurvivedWhileAWellFormedClientKeepsPolling) {
    std::atomic<bool> attacking{true};
    std::atomic<int> good{0}, bad{0};
    std::thread poller([&] {
        while (attacking) (Call(kStatusA) == 10 ? good : bad)++;
    });

    Attack attack{*mux::ParseEndpoint(address)};
    BadInputTally tally;
    for (int i = 0; i < 100; ++i) {  // random garbage, then gone
        const auto s = attack.Connect();
        tally.randomBursts += Attack::Send(s, attack.RandomBytes(1 + attack.random() % 64));
    }
    // A length byte out of range, or a control message without a hello: closed at once.
    for (int length : {0, 1, 17, 18, 100, 255, 0xC1, 0xC2, 0xC3, 0xC4}) {
        for (int i = 0; i < 10; ++i) {
            const auto s = attack.Connect();
            Attack::Send(s, Bytes{std::uint8_t(length), 0x0F, 0x28});
            tally.badLengths += Attack::ServerCloses(s, 2s);
        }
    }
    for (int i = 0; i < 30; ++i) {  // the header disagrees with the length byte
        const auto s = attack.Connect();
        Attack::Send(s, Bytes{0x02, 0x05, 0x28});
        tally.badHeaders += Attack::ServerCloses(s, 2s);
    }
    for (int i = 0; i < 50; ++i) {  // half a frame, then the client vanishes
        const auto s = attack.Connect();
        tally.halfThenGone += Attack::Send(s, Bytes{0x05, 0x04, 0x04});
    }
    for (int i = 0; i < 20; ++i) {  // a whole request, then gone before the reply
        const auto s = attack.Connect();
        tally.wholeThenGone += Attack::Send(s, Bytes{0x02, 0x01, 0x2F});
    }
    std::vector<mux::UniqueFd> slow;
    for (int i = 0; i < 20; ++i) {  // half a frame, then nothing more: cut off by the server
        slow.push_back(attack.Connect());
        Attack::Send(slow.back(), Bytes{0x02, 0x01});
    }
    for (const auto& s : slow) tally.slowCut += Attack::ServerCloses(s, 5s);
    for (int i = 0; i < 300; ++i) tally.connects += attack.Connect().Valid();
    std::vector<mux::UniqueFd> held;
    for (int i = 0; i < 200; ++i) held.push_back(attack.Connect());
    tally.heldOpen = static_cast<int>(
        std::count_if(held.begin(), held.end(), [](auto& s) { return s.Valid(); }));
    EXPECT_TRUE(WaitUntil([&] { return good.load() >= 5; }));  // still served with 200 idle peers
    held.clear();
    attacking = false;
    poller.join();

    std::cout << "tried: " << tally.randomBursts << " random bursts, " << tally.badLengths
              << "/100 bad lengths closed, " << tally.badHeaders << "/30 bad headers closed, "
              << tally.halfThenGone << " half frames abandoned, " << tally.wholeThenGone
              << " requests abandoned, " << tally.slowCut << "/20 slow clients cut off, "
              << tally.connects << " bare connects, " << tally.heldOpen
              << " held open; well-formed client: " << good << " good, " << bad << " failed\n";
    EXPECT_EQ(tally.badLengths, 100);
    EXPECT_EQ(tally.badHeaders, 30);
    EXPECT_EQ(tally.slowCut, 20);
    EXPECT_EQ(tally.heldOpen, 200);
    EXPECT_GT(good, 0);
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(Call(kStatusB), 16);
    const std::string log = StopServer();
    std::cout << log;
    EXPECT_NE(log.find("20 timed out"), std::string::npos) << log;
}

// Only a connection that has said who it is may stay idle; the others are closed within 500 ms.
TEST_F(MuxServerTest, AConnectionThatSaysNoHelloIsClosedSoon) {
    const Attack attack{*mux::ParseEndpoint(address)};
    const auto silent = attack.Connect();
    const auto introduced = attack.Connect();
    const mux::ClientIdentity id{static_cast<std::uint32_t>(getpid()), {}, "panel"};
    ASSERT_TRUE(Attack::Send(introduced, mux::EncodeHello(id)));
    const auto start = Clock::now();
    EXPECT_TRUE(Attack::ServerCloses(silent, 2s));
    EXPECT_LT(Clock::now() - start, 700ms);
    EXPECT_FALSE(Attack::ServerCloses(introduced, 1s));
    EXPECT_NE(StopServer().find(" 1 without hello"), std::string::npos);
}

// ---- Control: one client at a time may change the device. ----

const Bytes kStart = {0x02, 0x41, 0x01};

// A client of its own identity speaking the wire itself, one connection per message as the
// library does, so that one test process plays several programs.
struct Speaker {
    mux::Endpoint endpoint;
    mux::ClientIdentity id;

    struct Heard {
        int first = -1;      // the answer's first byte; -1: closed without one
        std::string holder;  // named by a refusal
        std::size_t Length() const { return first & ~mux::kHeldFlag; }
        bool Held() const {
            return first >= 0 && first != mux::kRefused && (first & mux::kHeldFlag);
        }
    };

    Speaker(const std::string& address, const char* name, std::uint8_t token,
            std::uint32_t pid = static_cast<std::uint32_t>(getpid()))
        : endpoint(*mux::ParseEndpoint(address)), id{pid, {}, name} {
        id.token.fill(token);
    }
    Heard Say(Bytes message, bool hello = true) const {
        const auto deadline = Clock::now() + 3s;
        const mux::UniqueFd s = mux::ConnectWithin(endpoint, deadline);
        const Bytes introduction = hello ? mux::EncodeHello(id) : Bytes{};
        message.insert(message.begin(), introduction.begin(), introduction.end());
        Heard h;
        std::uint8_t first = 0, length = 0;
        char text[256] = {};
        if (!mux::SendAllWithin(s.Get(), message.data(), message.size(), deadline) ||
            !mux::ReceiveExactWithin(s.Get(), &first, 1, deadline))
            return h;
        h.first = first;
        if (first == mux::kRefused && mux::ReceiveExactWithin(s.Get(), &length, 1, deadline) &&
            mux::ReceiveExactWithin(s.Get(), reinterpret_cast<std::uint8_t*>(text), length,
                                    deadline))
            h.holder.assign(text, length);
        return h;
    }
    Heard Send(const Bytes& frame) const {
        Bytes message{static_cast<std::uint8_t>(frame.size())};
        message.insert(message.end(), frame.begin(), frame.end());
        return Say(message);
    }
    Heard Take() const { return Say({mux::kTakeControl}); }
    Heard GiveBack() const { return Say({mux::kGiveBack}); }
    std::string Named() const { return id.Describe(); }
    std::string Logged() const { return id.Logged(); }
};

TEST_F(MuxServerTest, WhileOneClientHoldsControlNoOtherChangesTheDevice) {
    const Speaker a(address, "panel", 0xAA), b(address, "script", 0xBB);
    ASSERT_EQ(a.Take().first, mux::kGranted);
    EXPECT_EQ(b.Send(kStart).holder, a.Named());
    EXPECT_EQ(b.Take().holder, a.Named());
    EXPECT_EQ(b.Send(kStatusA).first, 10) << "status and identification stay open, without 0x40";
    EXPECT_EQ(b.Send(kReadModel).Length(), 4u);
    EXPECT_TRUE(a.Send(kStatusA).Held());
    EXPECT_EQ(a.Send(kStart).Length(), 2u);
    EXPECT_EQ(device->RequestsSeen(), 4);

    // The library of this very process is another client; an old library's unnamed frame too.
    using Take = int (*)(char*, unsigned);
    using Ex = int (*)(unsigned, const unsigned char*, unsigned char*, int*, char*, unsigned);
    const auto take = reinterpret_cast<Take>(client.Symbol("TakeMuxControl"));
    const auto ex = reinterpret_cast<Ex>(client.Symbol("TransactMuxCommandEx"));
    const auto giveBack = reinterpret_cast<int (*)()>(client.Symbol("GiveBackMuxControl"));
    char holder[80] = "";
    unsigned char reply[20];
    int held = -1;
    EXPECT_EQ(take(holder, sizeof holder), 0);
    EXPECT_EQ(std::string(holder), a.Named());
    EXPECT_EQ(ex(3, kStart.data(), reply, &held, holder, 8), -1);
    EXPECT_EQ(std::string(holder), a.Named().substr(0, 7)) << "cut to the room given";
    EXPECT_EQ(held, 0);
    EXPECT_EQ(Call(kStart), 0);
    EXPECT_EQ(b.Say({3, 0x02, 0x41, 0x01}, false).holder, a.Named());
    EXPECT_EQ(device->RequestsSeen(), 4) << "a refused frame never reaches the line";

    EXPECT_EQ(a.GiveBack().first, mux::kGivenBack);
    ASSERT_EQ(take(holder, sizeof holder), 1);
    EXPECT_EQ(ex(2, kStatusA.data(), reply, &held, holder, sizeof holder), 10);
    EXPECT_EQ(held, 1);
    EXPECT_EQ(giveBack(), 1);
    EXPECT_EQ(b.Send(kStart).Length(), 2u) << "no grant: frames flow as before";
    const std::string log = StopServer();
    for (const std::string& line :
         {"control granted to " + a.Logged(), "control given back by " + a.Logged(),
          "refused 02 41 01 from " + b.Logged() + ": control is held by " + a.Logged(),
          std::string("6 refused for control")})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}

// The token is what makes a client the holder: a name and a process id prove nothing, and over a
// unix socket a process id that is not the caller's closes the connection.
TEST_F(MuxServerTest, AForgedIdentityGainsNothing) {
    const Speaker holder(address, "panel", 0xAA), copy(address, "panel", 0xAB),
        otherProcess(address, "panel", 0xAA, getpid() + 1);
    ASSERT_EQ(holder.Take().first, mux::kGranted);
    EXPECT_EQ(copy.Send(kStart).first, mux::kRefused);
    EXPECT_EQ(copy.Take().first, mux::kRefused);
    EXPECT_EQ(copy.GiveBack().first, mux::kGivenBack);
    EXPECT_EQ(otherProcess.Send(kStart).first, -1);
    EXPECT_EQ(device->RequestsSeen(), 0);
    EXPECT_TRUE(holder.Send(kStatusA).Held()) << "the holder kept control throughout";
    const std::string log = StopServer();
    EXPECT_NE(log.find("1 false identities"), std::string::npos);
    EXPECT_NE(copy.Logged(), holder.Logged()) << "the log tells the copy from the holder";
    EXPECT_NE(log.find("from " + copy.Logged() + ": control is held by " + holder.Logged()),
              std::string::npos)
        << log;
}

// A hostile local process opening connections as fast as it can, keeping the newest ones open,
// bounded in rate (one every 250 us) and count; with hello, each says it is a client of its own.
class Flood {
  public:
    Flood(const std::string& address, bool hello)
        : endpoint(*mux::ParseEndpoint(address)), hello(hello), thread([this] { Run(); }) {}
    ~Flood() {
        running = false;
        thread.join();
    }
    int Connections() const { return connections; }

  private:
    static constexpr std::size_t kKeptOpen = 700;  // more than the server's 512
    static constexpr int kMost = 20000;

    void Run() {
        std::deque<mux::UniqueFd> open;
        mux::ClientIdentity id{static_cast<std::uint32_t>(getpid()), {}, "flood"};
        auto next = Clock::now();
        while (running && connections < kMost) {
            next += 250us;
            std::this_thread::sleep_until(next);
            mux::UniqueFd s = mux::ConnectWithin(endpoint, Clock::now() + 100ms);
            if (!s.Valid()) continue;
            ++connections;
            if (hello) {
                id.token[0] = static_cast<std::uint8_t>(connections);
                id.token[1] = static_cast<std::uint8_t>(connections >> 8);
                const Bytes bytes = mux::EncodeHello(id);
                mux::SendAllWithin(s.Get(), bytes.data(), bytes.size(), Clock::now() + 100ms);
            }
            open.push_back(std::move(s));
            if (open.size() > kKeptOpen) open.pop_front();
        }
    }

    mux::Endpoint endpoint;
    bool hello;
    std::atomic<bool> running{true};
    std::atomic<int> connections{0};
    std::thread thread;
};

// A connection flood neither takes control from its holder nor keeps anyone out: the holder and a
// status-only client are served throughout, and while connections are being turned away the
// grant stands even when its holder says nothing.
TEST_F(MuxServerTest, AConnectionFloodNeitherTakesControlNorLocksOut) {
    const Speaker a(address, "panel", 0xAA), b(address, "intruder", 0xBB);
    ASSERT_EQ(a.Take().first, mux::kGranted);
    for (const bool hello : {false, true}) {
        const Flood flood(address, hello);
        const auto end = Clock::now() + 1500ms;
        int held = 0, statusAnswered = 0, rounds = 0;
        for (; Clock::now() < end; ++rounds) {
            held += a.Send(kStatusA).Held();
            statusAnswered += Call(kStatusA) == 10;
        }
        EXPECT_EQ(held, rounds) << "hello " << hello << ", " << flood.Connections()
                                << " connections";
        EXPECT_EQ(statusAnswered, rounds) << "hello " << hello;
        EXPECT_EQ(b.Take().holder, a.Named());
    }
    {
        const Flood flood(address, false);
        const auto silentSince = Clock::now();
        ASSERT_TRUE(WaitUntil([&] { return Clock::now() - silentSince > 3500ms; }, 5s));
        EXPECT_EQ(b.Take().holder, a.Named()) << "lapsed while connections were turned away";
    }
    EXPECT_TRUE(WaitUntil([&] { return b.Take().first == mux::kGranted; }, 5s, 100ms))
        << "the grant lapses once nobody is kept out";
    const std::string log = StopServer();
    std::cout << log.substr(log.rfind("stopped:"));
    EXPECT_EQ(log.find(" 0 refused,"), std::string::npos) << log;
}

// A granted take says whether another client was granted control since this one last held it;
// the server remembers the last grant for as long as it runs, across give-backs and lapses.
TEST_F(MuxServerTest, AGrantSaysWhetherAnotherClientHeldControlMeanwhile) {
    const Speaker a(address, "panel", 0xAA), b(address, "script", 0xBB);
    struct Step {
        const Speaker& who;
        int answer;
    };
    const std::vector<Step> steps{{a, mux::kGranted},  // the first grant since the start
                                  {a, mux::kGranted},
                                  {b, mux::kGrantedAfterOther},
                                  {a, mux::kGrantedAfterOther},
                                  {a, mux::kGranted}};
    for (std::size_t i = 0; i < steps.size(); ++i) {
        EXPECT_EQ(steps[i].who.Take().first, steps[i].answer) << "step " << i;
        EXPECT_EQ(steps[i].who.Take().first, mux::kGranted) << "renewed, step " << i;
        steps[i].who.GiveBack();
    }
    using TakeEx = int (*)(char*, unsigned, int*);
    const auto takeEx = reinterpret_cast<TakeEx>(client.Symbol("TakeMuxControlEx"));
    const auto take = reinterpret_cast<int (*)(char*, unsigned)>(client.Symbol("TakeMuxControl"));
    char holder[80] = "";
    int others = -1;
    ASSERT_EQ(takeEx(holder, sizeof holder, &others), 1);
    EXPECT_EQ(others, 1) << "this process never held it, the panel did";
    EXPECT_EQ(take(holder, sizeof holder), 1);
    EXPECT_EQ(a.Take().first, mux::kRefused);
    ASSERT_EQ(takeEx(holder, sizeof holder, &others), 1);
    EXPECT_EQ(others, 0);

    StopServer();
    StartServer(address);
    EXPECT_EQ(b.Take().first, mux::kGranted) << "nobody held it since the server started";
    EXPECT_EQ(takeEx(holder, sizeof holder, &others), 0);
    EXPECT_EQ(others, 1) << "refused";
}

TEST_F(MuxServerTest, ControlEndsThreeSecondsAfterTheHoldersLastRequestAndWithTheServer) {
    const Speaker a(address, "panel", 0xAA), b(address, "script", 0xBB);
    ASSERT_EQ(a.Take().first, mux::kGranted);
    // The server counts from the request's arrival, before the device has answered it.
    const auto lastRequest = Clock::now();
    ASSERT_TRUE(a.Send(kStatusA).Held());
    ASSERT_TRUE(WaitUntil([&] { return b.Send(kStart).first != mux::kRefused; }, 5s, 50ms))
        << "a refused client's requests never renew the grant";
    const auto freed = Clock::now() - lastRequest;
    EXPECT_GE(freed, 3s);
    EXPECT_LT(freed, 3500ms);
    EXPECT_FALSE(a.Send(kStatusA).Held());
    EXPECT_NE(StopServer().find("control of " + a.Logged() + " lapsed"), std::string::npos);

    StartServer(address);
    ASSERT_EQ(a.Take().first, mux::kGranted);
    StopServer();
    StartServer(address);
    EXPECT_FALSE(a.Send(kStatusA).Held()) << "a restarted server holds no grant";
    EXPECT_EQ(b.Send(kStart).Length(), 2u);
}

TEST(MuxServerProgram, StartUpProblemsEndWithClearErrors) {
    TempDir folder;
    const std::string log = folder.File("server.log");
    const std::string listen = "unix:" + folder.File("mux.sock");
    EXPECT_EQ(ServerProcess(folder.File("no-such-tty"), listen, log).WaitExit(5s), 1);
    EXPECT_NE(ReadBytes(log).find("cannot open the line"), std::string::npos);
    SimulatedDevice device;
    EXPECT_EQ(ServerProcess(device.SlavePath(), "udp:nowhere", log).WaitExit(5s), 2);
    EXPECT_NE(ReadBytes(log).find("bad --listen address"), std::string::npos);

    FILE* help = popen((BinDir() + "/muxserver --help").c_str(), "r");
    ASSERT_NE(help, nullptr);
    std::string text;
    char chunk[256];
    while (std::fgets(chunk, sizeof chunk, help) != nullptr) text += chunk;
    EXPECT_EQ(pclose(help), 0);
    EXPECT_NE(text.find("--port PATH"), std::string::npos);
    EXPECT_NE(text.find("PULSEDESK_MUX"), std::string::npos);
}

TEST(MuxServerProgram, ABadOptionIsNamedNotAnsweredWithTheWholeUsage) {
    struct Case {
        std::vector<std::string> args;
        std::string message;
    };
    const std::vector<Case> cases{{{"--prot", "/dev/ttyS0"}, "unknown option --prot"},
                                  {{"--port"}, "--port needs a value"},
                                  {{"--listen", "unix:/tmp/x"}, "--port PATH is required"}};
    for (const Case& c : cases) {
        const testing::ProgramResult r = testing::RunProgram("muxserver", c.args, 5s);
        EXPECT_EQ(r.exitCode, 2) << c.message;
        EXPECT_EQ(r.err, "muxserver: " + c.message + " (see --help)\n");
    }
}

}  // namespace
}  // namespace pulsedesk::muxtest
