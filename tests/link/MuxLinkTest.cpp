// TSerialMux through the real muxserver and libmuxclient.so to pulsesim on a pseudo-terminal.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace pulsedesk::link
