// TSerialMux through the real muxserver and libmuxclient.so to pulsesim on a pseudo-terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

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

// Control through the real server: taken, seen in every reply, lost with a restart, refused
// while another program holds it (a pulsectl series), given back.
TEST_F(MuxFixture, ControlIsFollowedInEveryReply) {
    auto server = StartServer();
    TSerialMux link(BinDir());
    ASSERT_TRUE(WaitUntil([&] {
        auto s = link.TryCopyStatus();
        return s && s->runFlags != 0;
    }));
    EXPECT_FALSE(link.HeldSinceLastAsked()) << "nothing taken yet";
    ASSERT_EQ(link.TakeControl().state, ControlState::Held);
    ASSERT_TRUE(link.PollNow());
    EXPECT_TRUE(link.HeldSinceLastAsked());
    EXPECT_TRUE(link.SendCommand(0x02, {StartStop, 0}));

    server.reset();
    server = StartServer();  // a restarted server has forgotten the grant
    ASSERT_TRUE(WaitUntil([&] { return link.PollNow(); }));
    ASSERT_EQ(link.TakeControl().state, ControlState::Held);
    EXPECT_FALSE(link.HeldSinceLastAsked()) << "taking it back does not hide the lapse";
    ASSERT_TRUE(link.PollNow());
    EXPECT_TRUE(link.HeldSinceLastAsked());
    link.GiveBackControl();
    ASSERT_TRUE(link.PollNow());
    EXPECT_FALSE(link.HeldSinceLastAsked()) << "given back";

    ChildProcess series("pulsectl", {"--mux", socket, "measure", "--mode", "3", "--limit", "16000000"});
    ASSERT_TRUE(WaitUntil([&] {  // the series has started its count, holding control
        auto s = link.TryCopyStatus();
        return s && (s->runFlags & kRunCounting);
    }));
    const ControlAnswer refused = link.TakeControl();
    EXPECT_EQ(refused.state, ControlState::Refused);
    EXPECT_EQ(refused.holder.rfind("pulsectl (process ", 0), 0u) << refused.holder;
    EXPECT_FALSE(link.SendCommand(0x02, {StartStop, 0}));
    EXPECT_EQ(link.LastRefusal(), refused.holder);
    EXPECT_TRUE(link.SendCommand(0x01, {ReadModel})) << "identification stays open";
    EXPECT_EQ(series.Signal(SIGINT), 130);
    EXPECT_EQ(link.TakeControl().state, ControlState::Held);
    EXPECT_EQ(link.LastRefusal(), "");
}

// Standard error of this process goes to a file while the object lives.
struct CapturedStderr {
    testing::TempDir dir;
    std::string path = dir.Path() + "/stderr";
    int saved = dup(STDERR_FILENO);
    CapturedStderr() {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        dup2(fd, STDERR_FILENO);
        close(fd);
    }
    ~CapturedStderr() { Restore(); }
    std::string Restore() {
        if (saved >= 0) {
            dup2(saved, STDERR_FILENO);
            close(saved);
            saved = -1;
        }
        std::ostringstream text;
        text << std::ifstream(path).rdbuf();
        return text.str();
    }
};

TEST(OldMuxClient, RunsAsBeforeAndIsReportedOnceOnStandardError) {
    CapturedStderr err;
    for (int i = 0; i < 2; ++i) {
        TSerialMux link(OLD_MUX_CLIENT_DIR);
        EXPECT_EQ(link.TakeControl().state, ControlState::Unsupported);
        EXPECT_FALSE(link.SendCommand(0x02, {StartStop, 1})) << "sent, unanswered: no server";
        EXPECT_TRUE(link.HeldSinceLastAsked()) << "nothing can tell otherwise";
        EXPECT_TRUE(ControlAnswer{link.TakeControl()}.Allowed());
    }
    const std::string text = err.Restore();
    const std::string expected = std::string(program_invocation_short_name) + ": " +
                                 OLD_MUX_CLIENT_DIR + "/libmuxclient.so has no control functions";
    EXPECT_EQ(text.find(expected), 0u) << text;
    EXPECT_EQ(text.find(expected, 1), std::string::npos) << "once: " << text;
}

}  // namespace
}  // namespace pulsedesk::link
