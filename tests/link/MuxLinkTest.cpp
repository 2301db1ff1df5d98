// TSerialMux through the real muxserver and libmuxclient.so to pulsesim on a pseudo-terminal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>

#include "link/tser_muxserver.h"
#include "support/SimProcess.h"
#include "support/Wait.h"

namespace pulsedesk::link {
namespace {

using namespace std::chrono_literals;
using testing::BinDir;
using testing::ChildProcess;
using testing::WaitUntil;

struct MuxFixture : ::testing::Test {
    testing::TempDir dir;
    testing::SimProcess sim{{"--link", dir.Path() + "/counter"}};
    std::string socket = "unix:" + dir.Path() + "/mux.sock";

    std::unique_ptr<ChildProcess> StartServer() {
        auto server = std::make_unique<ChildProcess>(
            "muxserver",
            std::vector<std::string>{"--port", dir.Path() + "/counter", "--listen", socket});
        WaitUntil([&] { return access((dir.Path() + "/mux.sock").c_str(), F_OK) == 0; });
        return server;
    }
    void SetUp() override { setenv("PULSEDESK_MUX", socket.c_str(), 1); }
    void TearDown() override { unsetenv("PULSEDESK_MUX"); }
};

TEST_F(MuxFixture, PollsThroughTheServerAndStaysConnected) {
    auto server = StartServer();
    TSerialMux link(BinDir());
    ASSERT_TRUE(WaitUntil([&] {
        auto s = link.TryCopyStatus();
        return s && (s->runFlags & kRunReset);
    }));
    EXPECT_TRUE(WaitUntil([&] { return link.IsConnected(); }));
    const CommandReply reply = link.SendCommand(0x01, {ReadSerialNumber});
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply.Byte(1), 0xAD);
    EXPECT_EQ(reply.Byte(3), 123);
}

TEST_F(MuxFixture, ServerGoneMeansNotConnectedUntilItReturns) {
    auto server = StartServer();
    TSerialMux link(BinDir());
    ASSERT_TRUE(WaitUntil([&] {
        auto s = link.TryCopyStatus();
        return s && s->runFlags != 0;
    }));
    server->Stop();
    ASSERT_TRUE(WaitUntil([&] { return !link.IsConnected(); }));
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_FALSE(link.SendCommand(0x01, {ReadModel}));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 3s);  // bounded, never a hang
    server = StartServer();
    EXPECT_TRUE(WaitUntil([&] { return link.IsConnected(); }));
}

// Control through the real server: seen in every reply, lost with a restart, refused while a
// pulsectl series holds it.
TEST_F(MuxFixture, ControlIsFollowedInEveryReply) {
    auto server = StartServer();
    TSerialMux link(BinDir());
    ASSERT_TRUE(WaitUntil([&] { return link.PollNow(); }));
    EXPECT_FALSE(link.HeldSinceLastAsked()) << "nothing taken yet";
    ControlAnswer taken = link.TakeControl();
    ASSERT_EQ(taken.state, ControlState::Held);
    EXPECT_FALSE(taken.othersMeanwhile) << "the first grant of the server";
    link.HeldSinceLastAsked();  // a fresh grant forgets the polls before it, as ControlGrant does
    ASSERT_TRUE(link.PollNow());
    EXPECT_TRUE(link.HeldSinceLastAsked());

    server.reset();
    server = StartServer();  // a restarted server has forgotten the grant
    ASSERT_TRUE(WaitUntil([&] { return link.PollNow(); }));
    taken = link.TakeControl();
    ASSERT_EQ(taken.state, ControlState::Held);
    EXPECT_FALSE(taken.othersMeanwhile) << "nobody else since the restart";
    EXPECT_FALSE(link.HeldSinceLastAsked()) << "taking it back does not hide the lapse";
    ASSERT_TRUE(link.PollNow());
    EXPECT_TRUE(link.HeldSinceLastAsked());
    link.GiveBackControl();

    ChildProcess series("pulsectl", {"--mux", socket, "measure", "--mode", "3", "--limit", "1000"});
    ASSERT_TRUE(WaitUntil([&] {  // the series has started its count, holding control
        const auto status = link.TryCopyStatus();
        return status && (status->runFlags & kRunCounting);
    }));
    const ControlAnswer refused = link.TakeControl();
    EXPECT_EQ(refused.holder.rfind("pulsectl (process ", 0), 0u) << refused.holder;
    EXPECT_FALSE(link.SendCommand(0x02, {StartStop, 0}));
    EXPECT_EQ(link.LastRefusal(), refused.holder);
    EXPECT_EQ(series.Signal(SIGINT), 130);
    taken = link.TakeControl();
    EXPECT_EQ(taken.state, ControlState::Held);
    EXPECT_TRUE(taken.othersMeanwhile) << "the series held it in between";
}

// A lost exchange is no lapse: the stalled server did not answer, then answered as before.
TEST_F(MuxFixture, AnUnansweredExchangeIsNoLapseOfControl) {
    auto server = StartServer();
    TSerialMux link(BinDir());
    ASSERT_TRUE(WaitUntil([&] { return link.PollNow(); }));
    ASSERT_EQ(link.TakeControl().state, ControlState::Held);
    link.HeldSinceLastAsked();
    kill(server->Pid(), SIGSTOP);
    const bool lost = WaitUntil([&] { return !link.IsConnected(); });
    const bool held = link.HeldSinceLastAsked();
    kill(server->Pid(), SIGCONT);
    ASSERT_TRUE(lost) << "a poll went unanswered";
    EXPECT_TRUE(held);
    ASSERT_TRUE(WaitUntil([&] { return link.IsConnected(); }));
    EXPECT_TRUE(link.HeldSinceLastAsked()) << "the server kept the grant";
}

TEST(OldMuxClient, RunsAsBeforeAndIsReportedOnceOnStandardError) {
    testing::TempDir dir;
    const int saved = dup(STDERR_FILENO);
    const int capture = open((dir.Path() + "/stderr").c_str(), O_WRONLY | O_CREAT, 0600);
    dup2(capture, STDERR_FILENO);
    for (int i = 0; i < 2; ++i) {
        TSerialMux link(OLD_MUX_CLIENT_DIR);
        const ControlAnswer answer = link.TakeControl();
        EXPECT_EQ(answer.state, ControlState::Unsupported);
        EXPECT_TRUE(answer.othersMeanwhile) << "cannot tell";
        EXPECT_FALSE(link.SendCommand(0x02, {StartStop, 1})) << "sent, unanswered: no server";
        EXPECT_TRUE(link.HeldSinceLastAsked()) << "nothing can tell otherwise";
    }
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(capture);
    EXPECT_EQ(testing::ReadBytes(dir.Path() + "/stderr"),
              std::string(program_invocation_short_name) + ": " + OLD_MUX_CLIENT_DIR +
                  "/libmuxclient.so has no control functions (an older shared-port client "
                  "library): control of the counter is neither taken nor checked\n");
}

}  // namespace
}  // namespace pulsedesk::link
