// The panel's rules, table by table: run-state bits, progress, enabling and the mode label.
#include <gtest/gtest.h>

#include "app/PanelRules.h"
#include "app/SeriesCounter.h"
#include "link/DeviceSwitches.h"

namespace pulsedesk::app {
namespace {

using S = RunState;

TEST(RunStateRules, FirstSetBitDecidesInItsOrder) {
    const struct {
        S from;
        std::uint8_t flags;
        S to;
    } rows[] = {
        {S::Counting, 0x60, S::Counting},     // counting beats finished
        {S::Counting, 0x88, S::DeviceError},  // error beats reset
        {S::Idle, 0x40, S::Done},             // finished outside Counting writes nothing
        {S::Counting, 0x40, S::Finished},
        {S::Done, 0x08, S::Idle},
        {S::Done, 0x02, S::Blocked},
        {S::Blocked, 0x42, S::Done},           // finished before blocked
        {S::RepeatWait, 0x00, S::RepeatWait},  // a failed poll's zero matches nothing
        {S::Starting, 0x11, S::Starting},      // unused bits change nothing
    };
    for (const auto& r : rows)
        EXPECT_EQ(NextRunState(r.from, r.flags), r.to) << int(r.from) << " with " << int(r.flags);
}

TEST(Progress, FollowsTheModeAndNeverDividesByZeroOrWraps) {
    EXPECT_EQ(ProgressOf(3, 250, 1000, 0, 0, 7), 25);
    EXPECT_EQ(ProgressOf(1, 0, 0, 4500, 9000, 7), 50);
    EXPECT_EQ(ProgressOf(2, 0, 0, 9000, 9000, 7), 100);
    EXPECT_EQ(ProgressOf(0, 500, 1000, 4500, 9000, 7), 7);  // mode 0 keeps what it had
    EXPECT_EQ(ProgressOf(3, 250, 0, 0, 0, 7), 0);
    EXPECT_EQ(ProgressOf(1, 0, 0, 4500, 0, 7), 0);
    EXPECT_EQ(ProgressOf(3, 3000, 1000, 0, 0, 0), 100);  // 300 % would wrap to 44 in a byte
    EXPECT_EQ(ProgressOf(1, 0, 0, 0xFFFFFFFFu, 100, 0), 100);
}

PanelFacts Alive(S state, std::uint8_t mode, bool study = true, int repeat = 1) {
    return {true, false, study, true, state, mode, repeat};
}

TEST(Enabling, FollowsFaultStudyModeAndState) {
    PanelFacts down{};  // link down: fault, no study, a store kept from before
    down.fault = true;
    down.reportStore = true;
    Enabling e = EnablingFor(down);
    EXPECT_TRUE(e.newRecord);
    EXPECT_FALSE(e.startStudy || e.modeButtons || e.countLimit || e.countTime || e.stop ||
                 e.start || e.threshold || e.settings || e.repeat);

    e = EnablingFor(Alive(S::Done, 3));
    EXPECT_TRUE(e.startStudy && e.modeButtons && e.countLimit && e.stop && e.start && e.threshold &&
                e.settings && e.repeat);
    EXPECT_FALSE(e.countTime || e.onlyHeldMode);

    e = EnablingFor(Alive(S::Counting, 1));
    EXPECT_TRUE(e.onlyHeldMode && e.countTime && e.stop);
    EXPECT_FALSE(e.startStudy || e.start || e.countLimit);

    e = EnablingFor(Alive(S::Idle, 2, false));
    EXPECT_FALSE(e.modeButtons || e.countTime || e.start || e.stop || e.repeat);
    EXPECT_TRUE(e.threshold && e.startStudy);

    e = EnablingFor(Alive(S::Done, 1, true, 0));  // no repeats left in a series mode
    EXPECT_FALSE(e.start || e.threshold);
    EXPECT_TRUE(e.repeat);
    EXPECT_TRUE(EnablingFor(Alive(S::Done, 0, true, 0)).start);

    PanelFacts noStore = Alive(S::Done, 0);
    noStore.reportStore = false;
    EXPECT_FALSE(EnablingFor(noStore).newRecord);
}

TEST(ModeLabel, FirstMatchingRowDecides) {
    PanelFacts down = Alive(S::DeviceError, 1);
    down.linkAlive = false;
    PanelFacts noStore = Alive(S::Idle, 1, false);
    noStore.reportStore = false;
    PanelFacts lost = Alive(S::Done, 1);
    lost.countLost = lost.blocked = true;
    PanelFacts blockedAfterEnd = Alive(S::Done, 1, false);
    blockedAfterEnd.blocked = true;
    const struct {
        PanelFacts facts;
        LabelKind kind;
        std::int32_t number;
        std::uint32_t colour;
    } rows[] = {
        {down, LabelKind::Error, 1006, 0x0000FF},
        {noStore, LabelKind::NoReportStore, 0, 0x0000FF},
        {lost, LabelKind::CountLost, 0, 0x0000FF},
        {blockedAfterEnd, LabelKind::Status, 4, 0xD040D0},
        {Alive(S::DeviceError, 1, false), LabelKind::Status, 5, 0x0000FF},
        {Alive(S::DeviceError, 1), LabelKind::Error, 9, 0x0000FF},
        {Alive(S::Blocked, 1), LabelKind::Status, 4, 0xD040D0},
        {Alive(S::Counting, 3), LabelKind::Status, 3, 0x00FF00},
    };
    for (const auto& r : rows) {
        const LabelChoice c = LabelFor(r.facts, 9);
        EXPECT_EQ(c.kind, r.kind);
        EXPECT_EQ(c.number, r.number);
        EXPECT_EQ(c.colour, r.colour);
    }
}

// ПОВТОР counts down with each started count of a series and refills with the configured
// number, held in the up-down's range as the 16-bit control would hold it.
TEST(SeriesCounter, CountsDownAndRefillsWithinTheUpDownsRange) {
    SeriesCounter series(3);
    series.Started();
    EXPECT_TRUE(series.AnotherFollows());
    series.Started();
    EXPECT_FALSE(series.AnotherFollows());
    series.Refill();
    EXPECT_EQ(series.Left(), 3);
    const struct {
        int configured, left;
    } rows[] = {{150, 99}, {0, 1}, {-5, 1}, {65537, 1}, {65536 + 42, 42}};
    for (const auto& r : rows) {
        series.Configure(r.configured);
        EXPECT_EQ(series.Left(), r.left) << r.configured;
        EXPECT_EQ(series.Configured(), r.configured);
    }
}

// Sounds read "on" from a cleared bit but go back as a set bit, as the device takes them.
TEST(OptionByte, SwitchesReadTheOptionBitsAndGoBackAsTheDeviceTakesThem) {
    const struct {
        std::uint8_t options;
        std::uint8_t sentBack;
    } rows[] = {{0x00, 0xE0}, {0xE3, 0x03}, {0x1D, 0xFD}, {0x42, 0xA2}};
    for (const auto& r : rows)
        EXPECT_EQ(pulsedesk::link::OptionByteOf(pulsedesk::link::SwitchesOf(r.options), r.options),
                  r.sentBack)
            << int(r.options);
}

}  // namespace
}  // namespace pulsedesk::app
