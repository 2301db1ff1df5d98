// The SAMPLE marker, half-lives with their units and decay factors over a count.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/Decay.h"
#include "analysis/SampleMarker.h"

namespace pulsedesk::analysis {
namespace {

TEST(SampleMarkerTest, MarkersAndTheirReasons) {
    const auto sample = ParseSampleMarker("SAMPLE W-12 Y=0.85:3 SRC=Sr90 M=0.25");
    ASSERT_TRUE(sample && sample->value);
    EXPECT_EQ(sample->value->id, "W-12");
    EXPECT_EQ(sample->value->massKg, 0.25);
    EXPECT_FALSE(sample->value->volumeL);
    EXPECT_EQ(sample->value->yield, 0.85);
    EXPECT_DOUBLE_EQ(*sample->value->yieldRelativeU, 0.03);
    EXPECT_EQ(sample->value->source, "Sr90");
    const auto bare = ParseSampleMarker("SAMPLE 7 V=1.5");
    ASSERT_TRUE(bare && bare->value);
    EXPECT_EQ(bare->value->volumeL, 1.5);
    EXPECT_FALSE(bare->value->yield || bare->value->yieldRelativeU || bare->value->massKg);

    for (const char* line : {"QC BACKGROUND", "SAMPLES 3", "sample 3", ""})
        EXPECT_FALSE(ParseSampleMarker(line)) << line;
    struct Bad {
        const char* line;
        const char* reason;
    };
    for (const Bad& bad :
         {Bad{"SAMPLE", "no sample id"}, Bad{"SAMPLE M=0.1", "no sample id"},
          Bad{"SAMPLE a M=0.1 V=1", "at most one of M= and V="},
          Bad{"SAMPLE a M=0.1 M=0.2", "at most one of M= and V="}, Bad{"SAMPLE a M=-1", "mass M"},
          Bad{"SAMPLE a V=x", "volume V"}, Bad{"SAMPLE a Y=1.2", "yield Y"},
          Bad{"SAMPLE a Y=0.9:", "uncertainty"}, Bad{"SAMPLE a Y=0.9 Y=0.8", "twice"},
          Bad{"SAMPLE a SRC=", "source"}, Bad{"SAMPLE a kg=1", "unknown word \"kg=1\""},
          Bad{"SAMPLE \xc3\xa9t\xc3\xa9", "ASCII"}}) {
        const auto parsed = ParseSampleMarker(bad.line);
        ASSERT_TRUE(parsed) << bad.line;
        ASSERT_FALSE(parsed->value) << bad.line;
        EXPECT_NE(parsed->reason.find(bad.reason), std::string::npos) << parsed->reason;
    }
    const std::string longest = "SAMPLE " + std::string(61, 'x');
    EXPECT_TRUE(ParseSampleMarker(longest)->value);
    EXPECT_NE(ParseSampleMarker(longest + "x")->reason.find("68"), std::string::npos);
}

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
