// ControlGrant against a scripted shared control: which counts are the program's own, and when
// control is taken and given back.
#include <gtest/gtest.h>

#include <utility>

#include "link/ControlGrant.h"

namespace pulsedesk::link {
namespace {

// Answers takes as told; a poll is held, as the link tells it, when control is held and did not
// lapse since the last ask.
struct ScriptedControl final : SharedControl {
    ControlAnswer answer{ControlState::Held, {}};
    bool holding = false, lapsed = false;
    int takes = 0, giveBacks = 0;

    ControlAnswer TakeControl() override {
        ++takes;
        holding = holding || answer.state == ControlState::Held;
        return answer;
    }
    void GiveBackControl() override {
        ++giveBacks;
        holding = false;
    }
    bool HeldSinceLastAsked() override { return !std::exchange(lapsed, false) && holding; }
    std::string LastRefusal() override { return {}; }
    bool LastExchangeBusy() override { return false; }
};

constexpr std::uint8_t kIdle = 0, kRun = kRunCounting, kDone = kRunFinished;

struct Poll {
    std::uint8_t runFlags;
    std::uint8_t elapsedSeconds;
    bool held = true;
};

DeviceStatus StatusOf(const Poll& p) {
    DeviceStatus s;
    s.replyAFresh = true;
    s.runFlags = p.runFlags;
    s.elapsedTime = {0, 0, p.elapsedSeconds, 0};
    return s;
}

TEST(ControlGrantCount, OursOnlyWhenHeldInEveryPollFromItsFirstRunningPollToItsFinish) {
    const std::vector<std::tuple<const char*, std::vector<Poll>, bool>> cases{
        {"held throughout (also: started at the device's keys)",
         {{kIdle, 0}, {kRun, 1}, {kRun, 2}, {kDone, 3}},
         true},
        {"a lapse while it ran", {{kRun, 1}, {kRun, 2, false}, {kRun, 3}, {kDone, 4}}, false},
        {"a lapse before the finishing poll", {{kRun, 1}, {kDone, 3, false}}, false},
        {"first seen running without control", {{kIdle, 0}, {kRun, 1, false}, {kDone, 3}}, false},
        {"a lapse before it began", {{kIdle, 0, false}, {kRun, 1}, {kDone, 2}}, true},
        {"restarted between two held polls", {{kRun, 9, false}, {kRun, 1}, {kDone, 2}}, true},
        {"restarted without control", {{kRun, 1}, {kRun, 9}, {kRun, 2, false}, {kDone, 3}}, false},
        {"began and ended between two held polls", {{kIdle, 0}, {kDone, 3}}, true},
        {"began and ended during a lapse", {{kIdle, 0}, {kDone, 3, false}}, false},
        {"an old finished count seen without control",
         {{kRun, 1}, {kDone, 2}, {kDone, 2, false}},
         false},
    };
    for (const auto& [what, polls, ours] : cases) {
        ScriptedControl shared;
        shared.holding = true;
        ControlGrant grant(&shared), alone(nullptr);
        for (const Poll& p : polls) {
            shared.lapsed = !p.held;
            grant.OnPoll(StatusOf(p));
            alone.OnPoll(StatusOf(p));
        }
        EXPECT_EQ(grant.CountIsOurs(), ours) << what;
        EXPECT_TRUE(alone.CountIsOurs()) << what << ": alone on a port every count is ours";
        EXPECT_EQ(shared.takes, 0) << what << ": no study, no command, nothing taken";
    }
}

TEST(ControlGrantStudy, KeptForTheStudyTakenBackAfterALapseAndGivenBackAtItsEnd) {
    ScriptedControl shared;
    shared.answer = {ControlState::Refused, "pulsectl (process 7)"};
    ControlGrant grant(&shared);
    EXPECT_FALSE(grant.OpenStudy().Allowed());
    EXPECT_FALSE(grant.StudyOpen());
    EXPECT_EQ(grant.Holder(), "pulsectl (process 7)");

    shared.answer = {ControlState::Held, {}};
    shared.lapsed = true;  // the polls before the study were not held: forgotten
    ASSERT_TRUE(grant.OpenStudy().Allowed());
    EXPECT_EQ(grant.Holder(), "");
    { EXPECT_TRUE(CommandControl(grant)); }
    grant.OnPoll(StatusOf({kRun, 1}));
    EXPECT_TRUE(grant.CountIsOurs());
    EXPECT_EQ(shared.giveBacks, 0) << "a command during the study keeps control";

    shared.holding = false;  // the server restarted and forgot the grant
    shared.lapsed = true;
    EXPECT_TRUE(CommandControl(grant)) << "a command renews it before the next poll";
    grant.OnPoll(StatusOf({kRun, 2}));
    EXPECT_FALSE(grant.CountIsOurs()) << "the lapse before the renewal still counts";
    shared.holding = false;
    shared.answer = {ControlState::Refused, "pulsectl (process 7)"};
    const int takes = shared.takes;
    grant.OnPoll(StatusOf({kRun, 3}));
    EXPECT_EQ(shared.takes, takes + 1) << "taken back at once";
    EXPECT_EQ(grant.Holder(), "pulsectl (process 7)");
    EXPECT_FALSE(CommandControl(grant)) << "refused: the command is not sent";

    grant.CloseStudy();
    EXPECT_EQ(shared.giveBacks, 1);
}

// A restarted server: the polls go unanswered, then control is taken back. The count that ran
// through it stays ours only when the server says nobody else held control meanwhile.
TEST(ControlGrantStudy, ACountThroughALapseIsOursOnlyWhenNobodyElseHeldControlMeanwhile) {
    const ControlAnswer alone{ControlState::Held, {}, false};
    const ControlAnswer afterOther{ControlState::Held, {}, true};
    const ControlAnswer refused{ControlState::Refused, "pulsectl (process 7)"};
    const ControlAnswer silent{ControlState::NoAnswer, {}};
    const struct {
        const char* what;
        std::vector<ControlAnswer> retakes;  // one a poll after the lapse
        bool ours;
    } cases[] = {
        {"nobody else since", {silent, alone}, true},
        {"another client since", {silent, afterOther}, false},
        {"another client holds it now", {refused, alone}, false},
        {"no answer yet", {silent}, false},
    };
    for (const auto& c : cases) {
        ScriptedControl shared;
        ControlGrant grant(&shared);
        ASSERT_TRUE(grant.OpenStudy().Allowed());
        grant.OnPoll(StatusOf({kRun, 1}));
        DeviceStatus unanswered;  // the server is down
        shared.holding = false;
        shared.lapsed = true;
        shared.answer = silent;
        grant.OnPoll(unanswered);
        for (const ControlAnswer& answer : c.retakes) {
            shared.answer = answer;
            shared.lapsed = true;
            grant.OnPoll(StatusOf({kDone, 3}));
        }
        EXPECT_EQ(grant.CountIsOurs(), c.ours) << c.what;
    }
}

TEST(ControlGrantCommand, WithoutAStudyTakenForEachCommandAndGivenBack) {
    ScriptedControl shared;
    ControlGrant grant(&shared);
    {
        CommandControl outer(grant), inner(grant);  // ClearFinished inside the mode command
        EXPECT_EQ(shared.takes, 1);
        grant.CloseStudy();  // the panel closes meanwhile: given back after the command
        EXPECT_EQ(shared.giveBacks, 0);
    }
    EXPECT_EQ(shared.giveBacks, 1);
    shared.answer = {ControlState::Unsupported, {}};
    EXPECT_TRUE(CommandControl(grant)) << "an old library: as before";
}

}  // namespace
}  // namespace pulsedesk::link
