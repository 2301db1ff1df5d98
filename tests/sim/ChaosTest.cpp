#include <gtest/gtest.h>

#include <set>
#include <utility>
#include <vector>

#include "sim/Chaos.h"

namespace pulsedesk::sim {
namespace {

using Timeline = std::vector<std::pair<std::int64_t, std::string>>;  // when, which command

struct ChaosRun {
    std::vector<ChaosFault> begun;
    Chaos chaos;
    explicit ChaosRun(std::uint32_t seed)
        : chaos(seed, [this](const ChaosFault& f) { begun.push_back(f); }) {}

    Timeline Run(std::int64_t from, std::int64_t to) {
        Timeline commands;
        for (std::int64_t t = from; t < to; t += 10)
            if (std::string c = chaos.Due(t); !c.empty()) commands.emplace_back(t, c);
        return commands;
    }
};

TEST(Chaos, OneFaultAtATimeOfEveryKindEachTakenOutWhenItsTimeIsUp) {
    ChaosRun run(7);
    run.chaos.Start(0);
    const Timeline commands = run.Run(0, 30 * 60000);
    Timeline expected;
    std::set<std::string> kinds;
    std::int64_t quietSince = 0;
    for (const ChaosFault& f : run.begun) {
        kinds.insert(f.kind);
        EXPECT_GE(f.durationMs, Chaos::kMinFaultMs);
        EXPECT_LE(f.durationMs, Chaos::kMaxFaultMs);
        EXPECT_GE(f.startMs - quietSince, Chaos::kMinQuietMs);
        EXPECT_LE(f.startMs - quietSince, Chaos::kMaxQuietMs + 10);
        const std::int64_t end = (f.startMs + f.durationMs + 9) / 10 * 10;  // the next step
        expected.emplace_back(f.startMs, f.start);
        if (!f.end.empty() && end < 30 * 60000) expected.emplace_back(end, f.end);
        quietSince = end;
    }
    EXPECT_EQ(kinds, (std::set<std::string>{"noreply", "noreplyb", "overlong", "late", "hangup", "error"}));
    EXPECT_GT(run.begun.size(), 150u);
    EXPECT_EQ(commands, expected);
}

TEST(Chaos, StoppingEndsTheFaultUnderWayAndNothingFollowsUntilItStartsAgain) {
    ChaosRun run(11);
    run.chaos.Start(0);
    std::int64_t t = 0;
    for (;; t += 10) {  // on to a fault that needs a command to end it
        const std::string c = run.chaos.Due(t);
        if (!c.empty() && c == run.begun.back().start && !run.begun.back().end.empty()) break;
    }
    EXPECT_EQ(run.chaos.Stop(), run.begun.back().end);
    EXPECT_EQ(run.chaos.MillisecondsUntilDue(t), -1);
    const std::size_t faults = run.begun.size();
    EXPECT_TRUE(run.Run(t, t + 60000).empty());
    run.chaos.Start(t + 60000);
    EXPECT_FALSE(run.Run(t + 60000, t + 120000).empty());
    EXPECT_GT(run.begun.size(), faults);
}

TEST(Chaos, TheSeedMakesARunRepeatable) {
    auto timeline = [](std::uint32_t seed) {
        ChaosRun run(seed);
        run.chaos.Start(0);
        return run.Run(0, 120000);
    };
    EXPECT_EQ(timeline(5), timeline(5));
    EXPECT_NE(timeline(5), timeline(6));
}

}  // namespace
}  // namespace pulsedesk::sim
