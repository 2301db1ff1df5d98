// The shared-port transport without its library, and the frame trace.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "link/tser_muxserver.h"
#include "support/SimLink.h"
#include "support/SimProcess.h"
#include "support/Wait.h"

namespace pulsedesk::link {
namespace {

using testing::WaitUntil;

TEST(MuxTransport, WithoutItsClientLibraryTheLinkShowsNotConnected) {
    // The test program's folder holds no libmuxclient.so and the search path has none.
    TSerialMux link;
    ASSERT_TRUE(WaitUntil([&] { return !link.IsConnected(); }));
    const CommandReply reply = link.SendCommand(0x01, {ReadModel});
    EXPECT_FALSE(reply);
    EXPECT_EQ(reply.replyLength, 0);
}

TEST(FrameTrace, RecordsEveryExchangeWhenAsked) {
    testing::TempDir dir;
    const std::string path = dir.Path() + "/frames.log";
    setenv("PULSEDESK_TRACE", path.c_str(), 1);
    testing::ManualClock clock;
    sim::DeviceModel device(sim::Identity{}, 10.0, 1, [&] { return clock.Now(); });
    {
        testing::TSerialSim link(device);
        unsetenv("PULSEDESK_TRACE");
        ASSERT_TRUE(WaitUntil([&] { return link.ExchangeCount() >= 4; }));
        link.WithDevice([](sim::DeviceModel& d) { d.faults().noReply = true; });
        link.SendCommand(0x01, {ReadModel});
    }
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("> 01 28 < 09 A8 08 00 00 00 00 00 00 00 (10)"), std::string::npos);
    EXPECT_NE(text.str().find("> 01 31 < 0F B1 08 30"), std::string::npos);
    EXPECT_NE(text.str().find("> 01 2E < no reply"), std::string::npos);
}

TEST(FrameTrace, OffUnlessTheEnvironmentNamesAFile) {
    unsetenv("PULSEDESK_TRACE");
    EXPECT_EQ(FrameTrace::FromEnvironment(), nullptr);
}

}  // namespace
}  // namespace pulsedesk::link
