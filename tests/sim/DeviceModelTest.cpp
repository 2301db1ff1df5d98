#include <gtest/gtest.h>

#include "link/commands.h"
#include "sim/DeviceModel.h"
#include "support/SimLink.h"

namespace pulsedesk::sim {
namespace {

namespace lk = pulsedesk::link;
using Bytes = std::vector<std::uint8_t>;

struct Device : ::testing::Test {
    testing::ManualClock clock;
    DeviceModel model{Identity{'1', 12, 0x1234}, 100.0, 42, [this] { return clock.Now(); }};

    Bytes Send(Bytes request) { return model.Handle(request.data(), request.size()).reply; }
    void Run(std::int64_t ms) {
        clock.Advance(ms);
        model.Advance();
    }
    std::uint8_t RunFlags() { return Send({0x01, lk::ReadStatusA})[2]; }
};

TEST_F(Device, AnswersQueriesWithWellFormedFrames) {
    for (std::uint8_t code : {lk::ReadStatusA, lk::ReadStatusB, lk::ReadModel,
                              lk::ReadFirmwareVersion, lk::ReadSerialNumber}) {
        const Bytes r = Send({0x01, code});
        ASSERT_GE(r.size(), 2u);
        EXPECT_EQ(r.size(), (r[0] & 0x0Fu) + 1) << int(code);
        EXPECT_EQ(r[1], code | 0x80) << int(code);
    }
    EXPECT_EQ(Send({0x01, lk::ReadStatusA}).size(), 10u);
    EXPECT_EQ(Send({0x01, lk::ReadStatusB}).size(), 16u);
    EXPECT_EQ(Send({0x01, lk::ReadModel})[3], '1');
    EXPECT_EQ(Send({0x01, lk::ReadFirmwareVersion})[2], 12);
    EXPECT_EQ(Send({0x01, lk::ReadSerialNumber}), (Bytes{0x03, 0xAD, 0x12, 0x34}));
    EXPECT_TRUE(Send({0x02, lk::ReadStatusA}).empty());  // header disagrees with the length
}

TEST_F(Device, ResetAfterPowerOnUntilTheFirstStart) {
    EXPECT_EQ(RunFlags(), lk::kRunReset);
    Send({0x02, lk::StartStop, 1});
    EXPECT_EQ(RunFlags(), lk::kRunCounting);
}

TEST_F(Device, TimedCountFinishesAtTheCountTime) {
    Send({0x02, lk::SetMode, 1});
    Send({0x04, lk::SetCountTime, 0, 0, 5});
    Send({0x02, lk::StartStop, 1});
    Run(4990);
    EXPECT_TRUE(model.Counting());
    Run(1000);
    EXPECT_FALSE(model.Counting());
    EXPECT_EQ(RunFlags(), lk::kRunFinished);
    const Bytes a = Send({0x01, lk::ReadStatusA});
    EXPECT_EQ((Bytes{a[6], a[7], a[8], a[9]}), (Bytes{0, 0, 5, 0}));
    EXPECT_GT(model.Count(), 300u);  // about 500 at 100 per second
    EXPECT_LT(model.Count(), 700u);
    Send({0x01, lk::ClearFinished});
    EXPECT_EQ(RunFlags(), 0);
}

TEST_F(Device, CountToLimitStopsExactlyAtTheLimit) {
    Send({0x02, lk::SetMode, 3});
    Send({0x04, lk::SetCountLimit, 0, 0, 50});
    Send({0x02, lk::StartStop, 1});
    Run(5000);
    EXPECT_EQ(model.Count(), 50u);
    EXPECT_EQ(RunFlags(), lk::kRunFinished);
    const Bytes b = Send({0x01, lk::ReadStatusB});
    EXPECT_EQ((Bytes{b[4], b[5], b[6]}), (Bytes{0, 0, 50}));
}

TEST_F(Device, PeriodicModeRestartsByItself) {
    Send({0x02, lk::SetMode, 2});
    Send({0x04, lk::SetCountTime, 0, 0, 1});
    Send({0x02, lk::StartStop, 1});
    Run(1000);
    EXPECT_EQ(RunFlags(), lk::kRunFinished);
    Run(2000);
    EXPECT_EQ(RunFlags(), lk::kRunCounting);
}

TEST_F(Device, StopEndsTheCountAndModeChangesAreRefusedWhileCounting) {
    Send({0x02, lk::StartStop, 1});
    EXPECT_EQ(Send({0x02, lk::SetMode, 3}), (Bytes{0x01, 0xE1}));
    Send({0x02, lk::StartStop, 0});
    EXPECT_EQ(RunFlags(), lk::kRunFinished);
    EXPECT_EQ(Send({0x02, lk::SetMode, 3}), (Bytes{0x01, 0xE0}));
    EXPECT_EQ(model.Mode(), 3);
}

// Minutes and seconds run 0 to 59: a time outside that leaves the preset as it was.
TEST_F(Device, CountTimesOutsideTheClockRangeAreIgnored) {
    Send({0x04, lk::SetCountTime, 2, 59, 59});
    EXPECT_EQ(model.CountTimeSeconds(), 2 * 3600u + 59 * 60 + 59);
    Send({0x04, lk::SetCountTime, 0, 60, 0});
    Send({0x04, lk::SetCountTime, 0, 0, 60});
    EXPECT_EQ(model.CountTimeSeconds(), 2 * 3600u + 59 * 60 + 59);
}

TEST_F(Device, StepTablesAndThresholdSteps) {
    Send({0x02, lk::StepCountLimit, 1});
    EXPECT_EQ(model.CountLimit(), 2000u);
    Send({0x02, lk::StepCountLimit, 0});
    Send({0x02, lk::StepCountLimit, 0});
    EXPECT_EQ(model.CountLimit(), 500u);
    Send({0x02, lk::StepCountTime, 1});
    EXPECT_EQ(model.CountTimeSeconds(), 120u);
    Send({0x03, lk::SetThreshold, 0x0F, 0xFF});
    Send({0x03, lk::StepThreshold, 1, 1});
    EXPECT_EQ(model.ThresholdCode(), 4095);  // clamped at the top
    Send({0x03, lk::StepThreshold, 0, 1});
    EXPECT_EQ(model.ThresholdCode(), 4094);
}

TEST_F(Device, SoundOptionsTravelInTheOppositeSense) {
    // Option byte: every sound on, high level; the status reports sounds as "off" bits.
    Send({0x02, lk::SetOptions, 0xE4});
    EXPECT_EQ(model.ModeOptions(), 0x04);
    Send({0x02, lk::SetSignalSound, 0});
    Send({0x02, lk::SetEndSound, 0});
    EXPECT_EQ(model.ModeOptions(), 0x04 | lk::kOptSignalSoundOff | lk::kOptEndSoundOff);
    Send({0x01, lk::RestoreDefaults});
    EXPECT_EQ(model.ModeOptions(), 0);
}

TEST_F(Device, InjectedFaultsShapeTheReplies) {
    model.faults().cutShort = 3;
    EXPECT_EQ(Send({0x01, lk::ReadStatusA}).size(), 7u);
    model.faults() = {};
    model.faults().overLong = 8;
    EXPECT_EQ(Send({0x01, lk::ReadStatusB}).size(), 24u);
    model.faults() = {};
    model.faults().lateBytes = 2;
    EXPECT_EQ(model.Handle(Bytes{0x01, 0x28}.data(), 2).late.size(), 2u);
    model.faults() = {};
    model.faults().noReplyB = true;
    EXPECT_TRUE(Send({0x01, lk::ReadStatusB}).empty());
    EXPECT_EQ(Send({0x01, lk::ReadStatusA}).size(), 10u);
    model.faults() = {};
    model.faults().wrongReplyCode = true;
    model.faults().errorCode = 7;
    model.faults().blocked = true;
    const Bytes a = Send({0x01, lk::ReadStatusA});
    EXPECT_NE(a[1], 0xA8);
    EXPECT_EQ(a[5], 7);
    EXPECT_TRUE(a[2] & lk::kRunBlocked);
    model.faults().noReply = true;
    EXPECT_TRUE(Send({0x01, lk::ReadModel}).empty());
}

// Each end is told once, with what the status reports from then on, at the moment it ended.
TEST_F(Device, EveryEndIsToldOnceWithItsFinalValues) {
    struct Case {
        std::uint8_t mode;
        std::int64_t stopAfterMs;  // 0: no stop command
        std::size_t ends;
        std::int64_t endMs;  // of the last end, from the start
        bool stopped;
    };
    const std::vector<Case> cases{
        {1, 0, 1, 2000, false},     // count time of 2 s
        {3, 0, 1, -1, false},       // count limit of 50: when the pulses reach it
        {0, 1500, 1, 1500, true},   // counts until stopped
        {2, 0, 2, 6000, false},     // periodic: restarts 2 s after the first end
        {1, 2500, 1, 2000, false},  // a stop after the end ends nothing
    };
    for (const Case& c : cases) {
        std::vector<FinishedCount> ends;
        model.OnFinish([&](const FinishedCount& f) { ends.push_back(f); });
        Send({0x02, lk::SetMode, c.mode});
        Send({0x04, lk::SetCountTime, 0, 0, 2});
        Send({0x04, lk::SetCountLimit, 0, 0, 50});
        Send({0x02, lk::StartStop, 1});
        const std::int64_t start = clock.Now();
        for (int ms = 0; ms < 6500; ms += 10) {
            Run(10);
            if (ms + 10 == c.stopAfterMs) Send({0x02, lk::StartStop, 0});
        }
        ASSERT_EQ(ends.size(), c.ends) << int(c.mode);
        const FinishedCount& last = ends.back();
        EXPECT_EQ(last.mode, c.mode);
        EXPECT_EQ(last.count, model.Count()) << int(c.mode);
        EXPECT_EQ(last.elapsedHundredths, model.ElapsedHundredths()) << int(c.mode);
        EXPECT_EQ(last.stopped, c.stopped) << int(c.mode);
        if (c.endMs >= 0) {
            EXPECT_EQ(last.atMs - start, c.endMs) << int(c.mode);
        }
        Send({0x02, lk::StartStop, 0});
        Send({0x01, lk::ClearFinished});
    }
}

TEST(DeviceRandomness, TheSameSeedGivesTheSameCounts) {
    auto countAfter = [](std::uint32_t seed) {
        testing::ManualClock clock;
        DeviceModel m(Identity{}, 1000.0, seed, [&] { return clock.Now(); });
        const Bytes start{0x02, lk::StartStop, 1};
        m.Handle(start.data(), start.size());
        clock.Advance(3000);
        m.Advance();
        return m.Count();
    };
    EXPECT_EQ(countAfter(9), countAfter(9));
    EXPECT_NE(countAfter(9), countAfter(10));
}

}  // namespace
}  // namespace pulsedesk::sim
