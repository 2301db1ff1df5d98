// Half-lives with their units and decay factors over a count.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/Decay.h"

namespace pulsedesk::analysis {
namespace {

TEST(DecayTest, HalfLivesWithTheirUnits) {
    struct Row {
        const char* text;
        double seconds;  // 0: refused
    };
    for (const Row& r :
         {Row{"30.08 a", 30.08 * 365.25 * 86400}, Row{"2.6 d", 2.6 * 86400},
          Row{"6.01 h", 6.01 * 3600}, Row{"  20.4   min ", 20.4 * 60}, Row{"55.6 s", 55.6},
          Row{"30.08 y", 0}, Row{"-1 d", 0}, Row{"0 h", 0}, Row{"d", 0}, Row{"5", 0},
          Row{"1 d 2", 0}, Row{"nan d", 0}, Row{"inf a", 0}, Row{"2.6d", 0}}) {
        const Checked<double> half = ParseHalfLife(r.text);
        EXPECT_NEAR(half.value.value_or(0), r.seconds, 1e-9 * r.seconds) << r.text;
        EXPECT_EQ(half.reason.empty(), r.seconds > 0) << r.text;
    }
    EXPECT_NE(ParseHalfLife("30.08 y").reason.find("unit"), std::string::npos);
}

TEST(DecayTest, FactorsOverTheCountAndTheirRefusals) {
    const double half = 6.01 * 3600, lambda = std::log(2.0) / half;
    // Sampled 2 h before a count of 1 h.
    const double one = std::pow(2.0, -2 / 6.01) * (1 - std::exp(-lambda * 3600)) / (lambda * 3600);
    EXPECT_NEAR(*DecayFactor({{7200, 3600}}, half).value, one, 1e-14);
    // A count far shorter than the half-life sees the activity at its start.
    EXPECT_NEAR(*DecayFactor({{0, 1e-6}}, 30.08 * 365.25 * 86400).value, 1, 1e-15);
    // Two counts: weighted by count time.
    const double later =
        std::pow(2.0, -4 / 6.01) * (1 - std::exp(-lambda * 1800)) / (lambda * 1800);
    EXPECT_NEAR(*DecayFactor({{7200, 3600}, {14400, 1800}}, half).value,
                (one * 3600 + later * 1800) / 5400, 1e-14);
    struct Bad {
        std::vector<CountInterval> counts;
        double half;
        const char* reason;
    };
    for (const Bad& bad :
         {Bad{{{-60, 60}}, half, "before the reference"}, Bad{{{0, 0}}, half, "count time of zero"},
          Bad{{}, half, "count time of zero"}, Bad{{{11 * half, 60}}, half, "check the half-life"},
          Bad{{{0, 60}}, 0, "half-life"}, Bad{{{NAN, 60}}, half, "finite"}}) {
        const Checked<double> f = DecayFactor(bad.counts, bad.half);
        EXPECT_FALSE(f.value) << bad.reason;
        EXPECT_NE(f.reason.find(bad.reason), std::string::npos) << f.reason;
    }
}

}  // namespace
}  // namespace pulsedesk::analysis
