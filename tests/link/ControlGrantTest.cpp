// ControlGrant against a scripted shared control: which counts are the program's own, and when
// control is taken and given back.
#include <gtest/gtest.h>

#include <deque>
#include <utility>

#include "link/ControlGrant.h"

namespace pulsedesk::link {
namespace {

// Answers takes as told; each poll's "held" comes from the script, else, as the link does, from
// holding and no lapse since the last ask.
struct ScriptedControl final : SharedControl {
    ControlAnswer answer{ControlState::Held, {}};
    bool holding = false;
    bool lapsed = false;
    std::deque<bool> polls;
    int takes = 0;
    int giveBacks = 0;

    ControlAnswer TakeControl() override {
        ++takes;
        holding = holding || answer.state == ControlState::Held;
        return answer;
    }
    void GiveBackControl() override {
        ++giveBacks;
        holding = false;
    }
    bool HeldSinceLastAsked() override {
        if (polls.empty()) return !std::exchange(lapsed, false) && holding;
        const bool held = polls.front();
        polls.pop_front();
        return held;
    }
    std::string LastRefusal() override { return {}; }
};

struct Poll {
    std::uint8_t runFlags;
    std::uint32_t elapsedSeconds;
    bool held;
};

DeviceStatus StatusOf(const Poll& p) {
    DeviceStatus s;
    s.runFlags = p.runFlags;
    s.elapsedTime = {0, 0, static_cast<std::uint8_t>(p.elapsedSeconds), 0};
    return s;
}

constexpr std::uint8_t kIdle = 0, kRun = kRunCounting, kDone = kRunFinished;

struct CountCase {
    const char* what;
    std::vector<Poll> polls;
    bool ours;
};

TEST(ControlGrantCount, OursOnlyWhenHeldInEveryPollFromItsFirstRunningPollToItsFinish) {
    const std::vector<CountCase> cases{
        {"held throughout (started by us or at the device's keys)",
         {{kIdle, 0, true}, {kRun, 1, true}, {kRun, 2, true}, {kDone, 3, true}}, true},
        {"a lapse while it ran", {{kRun, 1, true}, {kRun, 2, false}, {kRun, 3, true}, {kDone, 4, true}}, false},
        {"a lapse before the finishing poll", {{kRun, 1, true}, {kRun, 2, true}, {kDone, 3, false}}, false},
        {"first seen running without control", {{kIdle, 0, true}, {kRun, 1, false}, {kRun, 2, true}, {kDone, 3, true}}, false},
        {"a lapse before it began spoils nothing", {{kIdle, 0, false}, {kIdle, 0, true}, {kRun, 1, true}, {kDone, 2, true}}, true},
        {"restarted between two held polls", {{kRun, 9, false}, {kRun, 1, true}, {kDone, 2, true}}, true},
        {"restarted without control", {{kRun, 1, true}, {kRun, 9, true}, {kRun, 2, false}, {kDone, 3, true}}, false},
        {"began and ended between two held polls", {{kIdle, 0, true}, {kDone, 3, true}}, true},
        {"began and ended during a lapse", {{kIdle, 0, true}, {kDone, 3, false}}, false},
        {"an old finished count seen again without control",
         {{kRun, 1, true}, {kDone, 2, true}, {kDone, 2, false}}, false},
    };
    for (const CountCase& c : cases) {
        ScriptedControl shared;
        ControlGrant grant(&shared);
        for (const Poll& p : c.polls) {
            shared.polls.push_back(p.held);
            grant.OnPoll(StatusOf(p));
        }
        EXPECT_EQ(grant.CountIsOurs(), c.ours) << c.what;
        EXPECT_EQ(shared.takes, 0) << c.what << ": no study, no command, nothing taken";
    }
}

TEST(ControlGrantCount, AloneOnAPortEveryCountIsOurs) {
    ControlGrant grant(nullptr);
    EXPECT_EQ(grant.OpenStudy().state, ControlState::Held);
    EXPECT_TRUE(CommandControl(grant));
    for (const Poll& p : std::vector<Poll>{{kRun, 1, false}, {kDone, 2, false}})
        grant.OnPoll(StatusOf(p));
    EXPECT_TRUE(grant.CountIsOurs());
    EXPECT_TRUE(grant.HeldInLastPoll());
}

TEST(ControlGrantStudy, KeptForTheStudyTakenBackAfterALapseAndGivenBackAtItsEnd) {
    ScriptedControl shared;
    ControlGrant grant(&shared);
    ASSERT_TRUE(grant.OpenStudy().Allowed());
    EXPECT_TRUE(grant.StudyOpen());
    { EXPECT_TRUE(CommandControl(grant)); }
    EXPECT_EQ(shared.giveBacks, 0) << "a command during the study keeps control";
    grant.OnPoll(StatusOf({kRun, 1, true}));
    EXPECT_EQ(shared.takes, 2);

    shared.holding = false;  // the server restarted and forgot the grant
    shared.lapsed = true;
    EXPECT_TRUE(CommandControl(grant)) << "a command renews it before the next poll";
    grant.OnPoll(StatusOf({kRun, 2, false}));
    EXPECT_FALSE(grant.CountIsOurs()) << "the lapse before the renewal still counts";

    shared.holding = false;
    shared.answer = {ControlState::Refused, "pulsectl (process 7)"};
    grant.OnPoll(StatusOf({kRun, 3, false}));
    EXPECT_EQ(shared.takes, 5) << "taken back at once";
    EXPECT_EQ(grant.Holder(), "pulsectl (process 7)");
    EXPECT_FALSE(CommandControl(grant)) << "refused: the command is not sent";
    shared.answer = {ControlState::Held, {}};
    grant.OnPoll(StatusOf({kDone, 4, false}));
    EXPECT_FALSE(grant.CountIsOurs());
    EXPECT_EQ(grant.Holder(), "");

    grant.CloseStudy();
    EXPECT_EQ(shared.giveBacks, 1);
    EXPECT_FALSE(grant.StudyOpen());
}

TEST(ControlGrantStudy, AStudyForgetsLapsesBeforeItBegan) {
    ScriptedControl shared;
    shared.lapsed = true;  // polls before the study were not held
    ControlGrant grant(&shared);
    ASSERT_TRUE(grant.OpenStudy().Allowed());
    grant.OnPoll(StatusOf({kRun, 1, true}));  // started at once, before any poll
    grant.OnPoll(StatusOf({kDone, 2, true}));
    EXPECT_TRUE(grant.CountIsOurs());
}

TEST(ControlGrantStudy, ARefusedStudyDoesNotOpen) {
    ScriptedControl shared;
    shared.answer = {ControlState::Refused, "pulsectl (process 7)"};
    ControlGrant grant(&shared);
    const ControlAnswer answer = grant.OpenStudy();
    EXPECT_FALSE(answer.Allowed());
    EXPECT_FALSE(grant.StudyOpen());
    EXPECT_EQ(grant.Holder(), "pulsectl (process 7)");
    shared.answer = {ControlState::NoAnswer, {}};
    EXPECT_FALSE(grant.OpenStudy().Allowed());
}

TEST(ControlGrantCommand, WithoutAStudyTakenForEachCommandAndGivenBack) {
    ScriptedControl shared;
    ControlGrant grant(&shared);
    {
        CommandControl outer(grant);
        CommandControl inner(grant);  // ClearFinished inside the mode command
        EXPECT_TRUE(outer && inner);
        EXPECT_EQ(shared.takes, 1);
    }
    EXPECT_EQ(shared.giveBacks, 1);
    {
        CommandControl command(grant);
        grant.CloseStudy();  // closing while a command runs gives back after it
        EXPECT_EQ(shared.giveBacks, 1);
    }
    EXPECT_EQ(shared.giveBacks, 2);
    shared.answer = {ControlState::Unsupported, {}};
    EXPECT_TRUE(CommandControl(grant)) << "an old library: as before";
}

}  // namespace
}  // namespace pulsedesk::link
