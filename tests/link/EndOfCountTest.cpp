// When a finished count may be recorded: from a whole poll only, and after a gap in the link
// only if the device still shows the same measurement finished.
#include <gtest/gtest.h>

#include <vector>

#include "link/EndOfCount.h"
#include "link/commands.h"

namespace pulsedesk::link {
namespace {

// One poll as the panel sees it: what the device reported, and how much of it arrived.
struct Poll {
    enum Kind { Counting, Finished, Reset, Silent } kind;
    std::uint32_t count = 0;
    std::uint8_t seconds = 0;  // elapsed; the preset count time is 10 s, the limit 500
    bool replyB = true;
    bool alive = true;
    std::uint8_t mode = 1;
    std::uint8_t extraFlags = 0;
};

DeviceStatus StatusOf(const Poll& p) {
    DeviceStatus s;
    s.modeOptions = p.mode;
    s.replyAFresh = p.kind != Poll::Silent;
    s.replyBFresh = s.replyAFresh && p.replyB;
    const std::uint8_t flags[] = {kRunCounting, kRunFinished, kRunReset, 0};
    s.runFlags = static_cast<std::uint8_t>(flags[p.kind] | p.extraFlags);
    s.count = p.count;
    s.countLimit = 500;
    s.elapsedTime = {0, 0, p.seconds, 0};
    s.countTime = {0, 0, 10};
    return s;
}

// Feeds the polls as the panel does and returns the verdict of each.
std::vector<EndVerdict> Follow(const std::vector<Poll>& polls) {
    EndOfCount end;
    std::vector<EndVerdict> verdicts;
    bool following = false;
    for (const Poll& p : polls) {
        const DeviceStatus s = StatusOf(p);
        EndVerdict v = EndVerdict::None;
        if (p.kind == Poll::Counting) {
            v = end.WhileCounting(s, p.alive);
            following = true;
        } else if (p.kind == Poll::Finished && following) {
            following = false;
            v = end.Finished(s, p.alive, (p.extraFlags & kRunBlocked) != 0);
        } else if (p.kind == Poll::Silent && following) {
            end.WhileCounting(s, false);  // a failed poll leaves the panel's state as it was
        } else {
            following = false;
            v = end.IsPending() ? end.FollowPending(s, p.alive) : end.LeftCounting();
        }
        verdicts.push_back(v);
    }
    return verdicts;
}

using V = EndVerdict;
using P = Poll;

TEST(EndOfCount, RecordsOnlyFromAWholePollAndNeverLosesAnEndWithoutSayingSo) {
    const struct {
        const char* name;
        std::vector<Poll> polls;
        std::vector<EndVerdict> verdicts;
    } rows[] = {
        {"a whole poll ends the count",
         {{P::Counting, 100, 5}, {P::Finished, 200, 10}},
         {V::None, V::Record}},
        {"a stale reply B waits for a whole poll",
         {{P::Counting, 100, 5}, {P::Finished, 100, 10, false}, {P::Finished, 200, 10}},
         {V::None, V::Pending, V::Record}},
        {"the device leaving the finished state before a whole poll",
         {{P::Counting, 100, 5}, {P::Finished, 100, 10, false}, {P::Counting, 3, 0}},
         {V::None, V::Pending, V::Lost}},
        {"the first poll after a gap, before the link counts as alive again",
         {{P::Counting, 100, 5}, {P::Silent}, {P::Finished, 200, 10, true, false},
          {P::Finished, 200, 10}},
         {V::None, V::None, V::Pending, V::Record}},
        {"a gap, then the same count at its preset time",
         {{P::Counting, 100, 5}, {P::Silent}, {P::Silent}, {P::Finished, 200, 10}},
         {V::None, V::None, V::None, V::Record}},
        {"a gap, then a count stopped short of its preset time",
         {{P::Counting, 100, 5}, {P::Silent}, {P::Finished, 150, 8}},
         {V::None, V::None, V::Lost}},
        {"a gap, then a count smaller than one seen before it",
         {{P::Counting, 100, 5}, {P::Silent}, {P::Finished, 50, 10}},
         {V::None, V::None, V::Lost}},
        {"a gap, then a count of another mode",
         {{P::Counting, 100, 5}, {P::Silent}, {P::Finished, 500, 10, true, true, 3}},
         {V::None, V::None, V::Lost}},
        {"a gap in mode 3, then the count at its limit",
         {{P::Counting, 100, 5, true, true, 3}, {P::Silent}, {P::Finished, 500, 12, true, true, 3}},
         {V::None, V::None, V::Record}},
        {"a gap, then the device reset",
         {{P::Counting, 100, 5}, {P::Silent}, {P::Reset}},
         {V::None, V::None, V::Lost}},
        {"a reset without a gap is the operator's",
         {{P::Counting, 100, 5}, {P::Reset}},
         {V::None, V::None}},
        {"a count that finishes with the device blocked",
         {{P::Counting, 100, 5}, {P::Finished, 200, 10, true, true, 1, kRunBlocked}},
         {V::None, V::Lost}},
        {"a gap in mode 0, which nothing can prove",
         {{P::Counting, 100, 5, true, true, 0}, {P::Silent}, {P::Finished, 200, 9, true, true, 0}},
         {V::None, V::None, V::Lost}},
    };
    for (const auto& r : rows) EXPECT_EQ(Follow(r.polls), r.verdicts) << r.name;
}

TEST(EndOfCount, TellsWhyACountWasLost) {
    EndOfCount end;
    end.WhileCounting(StatusOf({P::Counting, 1, 1}), true);
    end.Finished(StatusOf({P::Finished, 1, 10, false}), true, false);
    end.FollowPending(StatusOf({P::Reset}), true);
    EXPECT_EQ(end.Reason(), LossReason::LeftFinished);
    end.WhileCounting(StatusOf({P::Counting, 1, 1}), true);
    end.WhileCounting(StatusOf({P::Silent}), false);
    EXPECT_EQ(end.LeftCounting(), EndVerdict::Lost);
    EXPECT_EQ(end.Reason(), LossReason::LinkLost);
}

}  // namespace
}  // namespace pulsedesk::link
