// The client library against scripted servers: what it refuses to send, what answers it
// rejects, that it never hangs or dies of SIGPIPE, and what it exports.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "mux/endpoint.h"
#include "mux/socket_io.h"
#include "mux/wire.h"
#include "MuxHarness.h"

namespace pulsedesk::muxtest {
namespace {

using namespace std::chrono_literals;
using mux::Clock;

// Accepts on a unix socket and treats every connection the same way.
class ScriptedServer {
  public:
    enum class Mode { Answer, Silent, ResetAtOnce };

    ScriptedServer(const std::string& path, Mode mode, std::vector<std::uint8_t> answer = {})
        : mode(mode), answer(std::move(answer)) {
        std::string error;
        listener = mux::Listen(*mux::ParseEndpoint("unix:" + path), error);
        if (!listener.Valid()) throw std::runtime_error(error);
        thread = std::thread([this] { Serve(); });
    }
    ~ScriptedServer() {
        stopping = true;
        thread.join();
    }
    int Connections() const { return connections.load(); }

  private:
    void Serve() {
        std::vector<mux::UniqueFd> held;
        while (!stopping) {
            pollfd p{listener.Get(), POLLIN, 0};
            if (poll(&p, 1, 20) <= 0) continue;
            mux::UniqueFd c(accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!c.Valid()) continue;
            ++connections;
            Handle(std::move(c), held);
        }
    }
    void Handle(mux::UniqueFd c, std::vector<mux::UniqueFd>& held) {
        if (mode == Mode::ResetAtOnce) {
            const linger abort{1, 0};
            setsockopt(c.Get(), SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
            return;
        }
        std::uint8_t request[128];  // the hello and the request
        [[maybe_unused]] const auto n = recv(c.Get(), request, sizeof request, 0);
        if (mode == Mode::Answer)
            send(c.Get(), answer.data(), answer.size(), MSG_NOSIGNAL);
        else
            held.push_back(std::move(c));
    }

    Mode mode;
    std::vector<std::uint8_t> answer;
    mux::UniqueFd listener;
    std::atomic<bool> stopping{false};
    std::atomic<int> connections{0};
    std::thread thread;
};

class ClientLibraryTest : public ::testing::Test {
  protected:
    void SetUp() override { setenv(mux::kEndpointVariable, ("unix:" + socketPath).c_str(), 1); }

    // Calls with a 32-byte buffer full of 0xCC, so writes past 20 bytes show.
    int CallWithCanary(std::vector<std::uint8_t> request, std::array<std::uint8_t, 32>& buffer) {
        buffer.fill(0xCC);
        return client.Function()(static_cast<unsigned>(request.size()), request.data(),
                                 buffer.data());
    }

    TempDir folder;
    std::string socketPath = folder.File("scripted.sock");
    ClientLibrary client;
};

TEST(MuxWire, EndpointForms) {
    const auto tcp = mux::ParseEndpoint("tcp:127.0.0.1:47011");
    ASSERT_TRUE(tcp);
    EXPECT_EQ(tcp->host, "127.0.0.1");
    EXPECT_EQ(tcp->port, 47011);
    const auto v6 = mux::ParseEndpoint("tcp:[::1]:9");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, "::1");
    EXPECT_EQ(v6->Describe(), "tcp:[::1]:9");
    const auto unixSocket = mux::ParseEndpoint("unix:/run/mux.sock");
    ASSERT_TRUE(unixSocket);
    EXPECT_EQ(unixSocket->path, "/run/mux.sock");
    EXPECT_TRUE(mux::ParseEndpoint(mux::kDefaultEndpoint));

    for (const char* bad : {"", "tcp:", "tcp:host", "tcp::80", "tcp:h:0", "tcp:h:65536", "tcp:h:8x",
                            "tcp:h:-1", "unix:", "udp:h:1", "127.0.0.1:47011"})
        EXPECT_FALSE(mux::ParseEndpoint(bad)) << bad;
    EXPECT_FALSE(mux::ParseEndpoint("unix:/" + std::string(200, 'x')));
}

TEST(MuxWire, RequestRule) {
    const std::uint8_t status[] = {0x01, 0x28};
    const std::uint8_t limit[] = {0x04, 0x04, 0x0F, 0x42, 0x40};
    EXPECT_TRUE(mux::IsValidRequest(status, 2));
    EXPECT_TRUE(mux::IsValidRequest(limit, 5));
    EXPECT_FALSE(mux::IsValidRequest(status, 3));  // header says 2 bytes
    EXPECT_FALSE(mux::IsValidRequest(limit, 4));
    const std::uint8_t lonely[] = {0x00};
    EXPECT_FALSE(mux::IsValidRequest(lonely, 1));  // one byte is no frame
    std::uint8_t longest[17] = {0x0F};
    EXPECT_TRUE(mux::IsValidRequest(longest, 16));
    EXPECT_FALSE(mux::IsValidRequest(longest, 17));
    EXPECT_FALSE(mux::IsValidRequest(nullptr, 2));
}

TEST(MuxWire, MessageLengthsAndWhatChangesTheDevice) {
    const std::vector<std::pair<std::vector<std::uint8_t>, std::size_t>> lengths{
        {{}, 1},
        {{0x02}, 3},
        {{0x10}, 17},
        {{0x11}, 0},
        {{mux::kTakeControl}, 1},
        {{mux::kHello}, 2},
        {{mux::kHello, 20}, 22},
        {{mux::kHello, 52}, 54},
        {{mux::kHello, 19}, 0},
        {{mux::kHello, 53}, 0},
        {{mux::kRefused}, 0}};
    for (const auto& [bytes, length] : lengths)
        EXPECT_EQ(mux::MessageLength(bytes.data(), bytes.size()), length) << bytes.size();
    for (int code = 0; code < 256; ++code) {
        const std::uint8_t frame[] = {0x01, static_cast<std::uint8_t>(code)};
        const bool open = code == 0x28 || code == 0x31 || (code >= 0x2D && code <= 0x2F);
        EXPECT_EQ(mux::IsChangingFrame(frame, 2), !open) << code;
    }
    // A query's code in a frame that is no query does not open it.
    const std::vector<std::vector<std::uint8_t>> disguised{
        {0x0F, 0x28, 0x41, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {0x02, 0x31, 0x01},
        {0x02, 0x2E, 0x00},
        {0x11, 0x28}};
    for (const auto& frame : disguised)
        EXPECT_TRUE(mux::IsChangingFrame(frame.data(), frame.size())) << frame.size();
}

TEST_F(ClientLibraryTest, BadArgumentsNeverReachTheServer) {
    ScriptedServer server(socketPath, ScriptedServer::Mode::Answer, {2, 0x01, 0xAE});
    const std::uint8_t frame[17] = {0x01, 0x28};
    std::uint8_t reply[20];
    const auto transact = client.Function();
    EXPECT_EQ(transact(0, frame, reply), 0);
    EXPECT_EQ(transact(1, frame, reply), 0);
    EXPECT_EQ(transact(17, frame, reply), 0);
    EXPECT_EQ(transact(3, frame, reply), 0);  // disagrees with the header
    EXPECT_EQ(transact(0xFFFFFFFFu, frame, reply), 0);
    EXPECT_EQ(transact(2, nullptr, reply), 0);
    EXPECT_EQ(transact(2, frame, nullptr), 0);
    EXPECT_EQ(server.Connections(), 0);
    EXPECT_EQ(transact(2, frame, reply), 2);  // the same server does take a good request
}

TEST_F(ClientLibraryTest, AnswerIsCopiedWithinTwentyBytes) {
    std::vector<std::uint8_t> full = {20};
    for (int i = 0; i < 20; ++i) full.push_back(static_cast<std::uint8_t>(0x10 + i));
    ScriptedServer server(socketPath, ScriptedServer::Mode::Answer, full);
    std::array<std::uint8_t, 32> buffer{};
    ASSERT_EQ(CallWithCanary({0x01, 0x31}, buffer), 20);
    EXPECT_TRUE(std::equal(full.begin() + 1, full.end(), buffer.begin()));
    EXPECT_EQ(buffer[20], 0xCC);
    EXPECT_EQ(buffer[31], 0xCC);
}

TEST_F(ClientLibraryTest, MalformedOrCutAnswersGiveZeroAndLeaveTheBufferAlone) {
    const std::vector<std::vector<std::uint8_t>> answers = {
        {21, 1,  2,  3,  4,  5,  6,  7,  8,  9,  10,
         11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21},  // too long
        {200},                                         // length byte far beyond a reply
        {10, 0x09, 0xA8, 0x00},                        // cut short, then the server closes
        {},                                            // closed without a word
    };
    std::array<std::uint8_t, 32> buffer{};
    for (const auto& answer : answers) {
        ScriptedServer server(socketPath, ScriptedServer::Mode::Answer, answer);
        EXPECT_EQ(CallWithCanary({0x01, 0x28}, buffer), 0) << answer.size();
        EXPECT_EQ(std::count(buffer.begin(), buffer.end(), 0xCC), 32);
    }
    setenv(mux::kEndpointVariable, "no-such-form", 1);
    EXPECT_EQ(CallWithCanary({0x01, 0x28}, buffer), 0);
}

TEST_F(ClientLibraryTest, SilentOrMissingServerGivesZeroWithoutHanging) {
    std::array<std::uint8_t, 32> buffer{};
    auto start = Clock::now();
    EXPECT_EQ(CallWithCanary({0x01, 0x28}, buffer), 0);  // nobody listens
    EXPECT_LT(Clock::now() - start, 1s);

    ScriptedServer server(socketPath, ScriptedServer::Mode::Silent);
    start = Clock::now();
    EXPECT_EQ(CallWithCanary({0x01, 0x28}, buffer), 0);
    const auto took = Clock::now() - start;
    EXPECT_GE(took, 1500ms);  // it did wait for the reply...
    EXPECT_LT(took, 4s);      // ...but not for ever
    EXPECT_EQ(server.Connections(), 1);
}

// With SIGPIPE at its default action a write to a reset connection would end this process.
TEST_F(ClientLibraryTest, ResetConnectionsDoNotRaiseSigpipe) {
    ScriptedServer server(socketPath, ScriptedServer::Mode::ResetAtOnce);
    std::array<std::uint8_t, 32> buffer{};
    int zeros = 0;
    for (int i = 0; i < 50; ++i) zeros += CallWithCanary({0x01, 0x28}, buffer) == 0;
    EXPECT_EQ(zeros, 50);
}

// A unix listener with a full backlog refuses new connections at once; a connect waits for room.
TEST(MuxSockets, FullUnixBacklogIsWaitedForWithinTheDeadline) {
    TempDir folder;
    const auto endpoint = *mux::ParseEndpoint("unix:" + folder.File("busy.sock"));
    std::string error;
    mux::UniqueFd listener = mux::Listen(endpoint, error);
    ASSERT_TRUE(listener.Valid()) << error;
    ASSERT_EQ(listen(listener.Get(), 0), 0);
    std::vector<mux::UniqueFd> queued;
    for (int i = 0; i < 8; ++i) {
        mux::UniqueFd s = mux::ConnectWithin(endpoint, Clock::now());
        if (!s.Valid()) break;
        queued.push_back(std::move(s));
    }
    ASSERT_LT(queued.size(), 8u) << "the backlog never filled";
    std::thread acceptor([&] {
        std::this_thread::sleep_for(100ms);
        mux::UniqueFd taken(accept(listener.Get(), nullptr, nullptr));
    });
    EXPECT_TRUE(mux::ConnectWithin(endpoint, Clock::now() + 2s).Valid());
    acceptor.join();
}

TEST(MuxClientLibrary, ExportsTransactMuxCommandAndTheControlFunctionsOnly) {
    const std::string command = "nm -D --defined-only " + BinDir() + "/libmuxclient.so";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::vector<std::string> exported;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        const auto space = text.rfind(' ');
        const std::string name = text.substr(space + 1, text.find_last_not_of("\n") - space);
        const char kind = space >= 2 ? text[space - 1] : '?';
        if (kind != 'A') exported.push_back(name);  // 'A' are version nodes, not code or data
    }
    ASSERT_EQ(pclose(pipe), 0);
    std::sort(exported.begin(), exported.end());
    EXPECT_EQ(exported,
              (std::vector<std::string>{"GiveBackMuxControl", "TakeMuxControl", "TakeMuxControlEx",
                                        "TransactMuxCommand", "TransactMuxCommandEx"}));
}

}  // namespace
}  // namespace pulsedesk::muxtest
