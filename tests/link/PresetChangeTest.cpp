// The decisions the panel's buttons and pulsectl share when they change the mode or the count
// limit, and when the device shows a count ended.
#include <gtest/gtest.h>

#include "link/PresetChange.h"

namespace pulsedesk::link {
namespace {

DeviceStatus StatusWith(std::uint8_t mode, std::uint8_t runFlags, std::uint32_t countLimit = 0) {
    DeviceStatus s;
    s.modeOptions = mode;
    s.runFlags = runFlags;
    s.countLimit = countLimit;
    return s;
}

TEST(PresetChange, AFinishedCountIsClearedFirstAndOnlyAnotherModeIsSent) {
    const struct {
        std::uint8_t current, wanted, flags;
        ModeChange expected;
    } cases[] = {
        {1, 1, 0, {false, false}},           {1, 3, 0, {false, true}},
        {3, 3, kRunFinished, {true, false}}, {0, 2, kRunFinished | kRunBlocked, {true, true}},
        {2, 0, kRunCounting, {false, true}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ModeChangeTo(c.wanted, StatusWith(c.current, c.flags)), c.expected)
            << int{c.current} << " -> " << int{c.wanted} << " flags " << int{c.flags};
}

TEST(PresetChange, ACountLimitIsSentOnlyWhenItDiffers) {
    EXPECT_FALSE(CountLimitChanges(500, StatusWith(3, 0, 500)));
    EXPECT_TRUE(CountLimitChanges(501, StatusWith(3, 0, 500)));
    EXPECT_TRUE(CountLimitChanges(0, StatusWith(3, 0, 0xFFFFFF)));
}

TEST(PresetChange, OnlyTheAcceptedReplyCodeTakesTheMode) {
    CommandReply reply;
    reply.accepted = true;
    reply.replyLength = 2;
    reply.replyBuffer[1] = kModeAccepted;
    EXPECT_TRUE(ModeAccepted(reply));
    reply.replyBuffer[1] = kModeAccepted ^ 1;
    EXPECT_FALSE(ModeAccepted(reply));
    reply.replyBuffer[1] = kModeAccepted;
    reply.replyLength = 1;  // the code byte missing
    EXPECT_FALSE(ModeAccepted(reply));
    reply.replyLength = 2;
    reply.accepted = false;
    EXPECT_FALSE(ModeAccepted(reply));
}

TEST(DeviceStatus, ACountEndedIsFinishedWithoutCountingOrReset) {
    const struct {
        std::uint8_t flags;
        bool ended;
    } cases[] = {
        {kRunFinished, true},
        {kRunFinished | kRunBlocked, true},
        {kRunFinished | kRunCounting, false},
        {kRunFinished | kRunReset, false},
        {kRunCounting, false},
        {0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(StatusWith(1, c.flags).CountEnded(), c.ended) << int{c.flags};
}

}  // namespace
}  // namespace pulsedesk::link
