// The statistics against published figures, seeded series and hand-made charts and curves.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "analysis/ControlChart.h"
#include "analysis/DetectionLimit.h"
#include "analysis/Plateau.h"
#include "analysis/SeriesStats.h"

namespace pulsedesk::analysis {
namespace {

TEST(ChiSquareTest, QuantilesAreThePublishedOnes) {
    struct Row {
        int df;
        double lower, upper;
    };
    for (const Row& r : {Row{9, 3.325, 16.919}, Row{14, 6.571, 23.685}, Row{19, 10.117, 30.144},
                         Row{24, 13.848, 36.415}}) {
        const ChiSquareQuantiles q = ChiSquareQuantilesOf(r.df);
        EXPECT_NEAR(q.lower, r.lower, 5e-4) << r.df;
        EXPECT_NEAR(q.upper, r.upper, 5e-4) << r.df;
    }
}

TEST(ChiSquareTest, SeriesOfEqualAndOfUnequalCountTimes) {
    // Equal times: sum (N - mean)^2 / mean = 2 with 2 df, where P(chi2 >= x) = exp(-x / 2).
    const SeriesStats even = SeriesStatsOf({{90, 10}, {100, 10}, {110, 10}});
    ASSERT_TRUE(even.chiSquare);
    EXPECT_NEAR(even.chiSquare->chiSquare, 2.0, 1e-12);
    EXPECT_EQ(even.chiSquare->degreesOfFreedom, 2);
    EXPECT_NEAR(even.chiSquare->pValue, std::exp(-1.0), 1e-9);
    EXPECT_TRUE(even.chiSquare->pass);
    EXPECT_NEAR(even.sampleSdCount, 10.0, 1e-12);
    EXPECT_NEAR(even.meanRateStdError, std::sqrt(300.0) / 30, 1e-12);
    // Unequal times that follow one rate exactly: too little scatter fails too.
    const SeriesStats exact = SeriesStatsOf({{100, 10}, {200, 20}, {50, 5}});
    EXPECT_NEAR(exact.chiSquare->chiSquare, 0.0, 1e-12);
    EXPECT_FALSE(exact.chiSquare->pass);
    EXPECT_FALSE(SeriesStatsOf({{0, 10}, {0, 10}}).chiSquare);
}

// Counts of a Poisson source whose rate grows by `drift` (relative) over the series.
std::vector<CountSample> Series(std::mt19937& random, int n, double mean, double drift) {
    std::vector<CountSample> s;
    for (int i = 0; i < n; ++i) {
        std::poisson_distribution<std::uint32_t> count(mean * (1 + drift * i / (n - 1)));
        s.push_back({count(random), 10.0});
    }
    return s;
}

TEST(ChiSquareTest, PoissonSeriesPassNineTimesInTenAndADriftingSourceFails) {
    std::mt19937 random(20260307);
    int passed = 0;
    for (int i = 0; i < 2000; ++i)
        passed += SeriesStatsOf(Series(random, 5, 400, 0)).chiSquare->pass;
    EXPECT_GE(passed, 1760);
    EXPECT_LE(passed, 1840);
    int failed = 0;
    for (int i = 0; i < 200; ++i)
        failed += !SeriesStatsOf(Series(random, 10, 40000, 0.05)).chiSquare->pass;
    EXPECT_GE(failed, 199);
}

TEST(DetectionLimitTest, CurrieForAHundredBackgroundCounts) {
    EXPECT_NEAR(CurrieDetectionLimit(1.0, 100, 100).limitCounts, 49.2, 0.05);
    const DetectionLimit known = CurrieDetectionLimit(1.0, INFINITY, 100, 0.25);
    EXPECT_NEAR(known.limitCounts, 35.6, 0.05);
    EXPECT_NEAR(*known.mdaBq, known.limitCounts / 25, 1e-12);
    EXPECT_FALSE(CurrieDetectionLimit(1.0, 100, 100, 0.0).mdaBq);
}

// Efficiency points of counting uncertainty u, one a day from 2026-03-01.
std::vector<ChartInput> Points(const std::vector<double>& values, double u) {
    std::vector<ChartInput> in;
    const long first = CivilDate{2026, 3, 1}.DayNumber();
    for (std::size_t i = 0; i < values.size(); ++i) {
        ChartInput p;
        p.record = {2026, static_cast<std::uint32_t>(i + 1)};
        p.when = {CivilDate::FromDayNumber(first + static_cast<long>(i)), 8, 0};
        p.value = values[i];
        p.uncertainty = u;
        p.seconds = 10;
        in.push_back(p);
    }
    return in;
}

// Twenty baseline points 100 -/+ 0.5 (less scatter than u = 1: no extra spread, sigma 1, the
// last above the mean), then the points under test at 100 + z.
std::vector<double> AfterBaseline(const std::vector<double>& z) {
    std::vector<double> values;
    for (int i = 0; i < 10; ++i) values.insert(values.end(), {99.5, 100.5});
    for (double d : z) values.push_back(100 + d);
    return values;
}

TEST(ControlChartTest, EachRuleAndTheVerdictItGives) {
    using S = PointStatus;
    const struct {
        std::vector<double> z;
        S last;
        const char* rule;
    } cases[] = {
        {{0.4}, S::InControl, ""},
        {{3.2}, S::OutOfService, "beyond 3σ"},
        {{-2.3}, S::Recount, "beyond 2σ"},
        {{2.3, 2.3}, S::OutOfService, "two successive beyond 2σ on one side"},
        {{2.3, -2.3}, S::Recount, "beyond 2σ"},
        {{1.5, 1.5, 0.2, 1.5}, S::InControl, ""},
        {{1.5, 1.5, 0.2, 1.5, 1.5}, S::Trend, "four of five beyond 1σ on one side"},
        {{-1.7, -1.7, -1.7, -1.7}, S::Trend, "four of five beyond 1σ on one side"},
        {{-0.5, -0.5, -0.5, -0.5, -0.5, -0.5, -0.5}, S::InControl, ""},
        {{-0.5, -0.5, -0.5, -0.5, -0.5, -0.5, -0.5, -0.5},
         S::Trend,
         "eight successive on one side of the mean"},
    };
    for (const auto& c : cases) {
        const ControlChart chart =
            BuildControlChart("efficiency", 120, Points(AfterBaseline(c.z), 1.0), {});
        const ChartPoint& last = chart.points.back();
        SCOPED_TRACE(last.z);
        EXPECT_EQ(last.status, c.last);
        EXPECT_EQ(last.rule, c.rule);
        EXPECT_NEAR(std::abs(last.z), std::abs(c.z.back()), 0.02);
    }
}

TEST(ControlChartTest, TheBaselineIsTheFirstPointsInControlAndVerdictsStand) {
    std::vector<double> values = AfterBaseline({});
    values[5] = 104;  // beyond 3 sigma: never part of the baseline
    for (int i = 0; i < 30; ++i) values.push_back(i % 2 ? 101.5 : 98.8);
    auto inputs = Points(values, 1.0);
    std::swap(inputs[0].when, inputs[1].when);  // charted in time order, not journal order
    inputs[7].excluded = "dropped planchet";
    inputs[9].refused = "saturated";
    const ControlChart all = BuildControlChart("efficiency", 120, inputs, {});
    EXPECT_EQ(all.points[0].value, 100.5);
    EXPECT_EQ(all.points[0].status, PointStatus::NotJudged);
    EXPECT_EQ(all.points[3].status, PointStatus::InControl);
    EXPECT_EQ(all.points[5].status, PointStatus::OutOfService);
    EXPECT_EQ(all.points[7].status, PointStatus::Excluded);
    EXPECT_EQ(all.points[7].rule, "dropped planchet");
    EXPECT_EQ(all.points[9].status, PointStatus::Refused);
    ASSERT_TRUE(all.limits);
    EXPECT_FALSE(all.limits->provisional);
    std::vector<std::size_t> expected;
    for (std::size_t i = 0; expected.size() < 20; ++i)
        if (i != 5 && i != 7 && i != 9) expected.push_back(i);
    EXPECT_EQ(all.limits->points, expected);
    EXPECT_EQ(all.flagged, (std::vector<std::size_t>{5, 9}));
    // Later points change no earlier verdict nor the limits it was judged by.
    inputs.resize(20);
    const ControlChart early = BuildControlChart("efficiency", 120, inputs, {});
    for (std::size_t i = 0; i < early.points.size(); ++i) {
        EXPECT_EQ(early.points[i].status, all.points[i].status) << i;
        EXPECT_EQ(early.points[i].z, all.points[i].z) << i;
    }
    EXPECT_TRUE(early.limits->provisional);
}

TEST(ControlChartTest, LimitsClippedAtZeroAndABaselineFromADay) {
    const ControlChart chart = BuildControlChart(
        "efficiency", 0, Points({9, 1.0, 1.2, 0.8, 1.1}, 0.5), {20, CivilDate{2026, 3, 2}});
    ASSERT_EQ(chart.points.size(), 4u);  // the first day lies before the baseline's start
    EXPECT_NEAR(chart.points[3].limits->mean, 1.0, 1e-12);
    EXPECT_EQ(chart.points[3].limits->actionLow, 0.0);
    EXPECT_NEAR(chart.points[3].limits->actionHigh, 1 + 3 * 0.5, 1e-12);
    // An efficiency lost in the background's noise: no clipping, its own point is in control.
    const ControlChart lost =
        BuildControlChart("efficiency", 0, Points({-0.05, -0.04, -0.06, -0.05}, 0.07), {});
    EXPECT_EQ(lost.points[3].status, PointStatus::InControl);
    EXPECT_LT(lost.points[3].limits->warningLow, -0.05);
}

// Exact rates of a curve with flat regions 100..400 mV (1 % per 100 mV down) and 600..800 mV
// at half the level, log-linear between, e-fold per 25 mV outside.
std::vector<PlateauPoint> Curve(double seconds) {
    const auto flat = [](double mv, double level, double middle) {
        return level * (1 - 1e-4 * (mv - middle));
    };
    std::vector<PlateauPoint> points;
    for (double mv = 0; mv <= 1000; mv += 25) {
        const double share = std::clamp((mv - 400) / 200, 0.0, 1.0);
        double rate = std::exp((1 - share) * std::log(flat(std::min(mv, 400.0), 1000, 250)) +
                               share * std::log(flat(std::max(mv, 600.0), 500, 700)));
        if (mv < 100) rate = flat(100, 1000, 250) * std::exp((100 - mv) / 25);
        if (mv > 800) rate = flat(800, 500, 700) * std::exp((800 - mv) / 25);
        const auto count = static_cast<std::uint32_t>(std::lround(rate * seconds));
        points.push_back({mv, count, seconds, count / seconds, std::sqrt(count) / seconds});
    }
    return points;
}

TEST(PlateauTest, FindsBothFlatRunsWidestFirst) {
    const PlateauResult r = FindPlateau(Curve(100));
    ASSERT_EQ(r.runs.size(), 2u);
    // Each run covers its region; a run may reach into the gentle fall between the two while
    // its slope stays within the limit.
    EXPECT_LE(r.runs[0].fromMv, 100);
    EXPECT_GE(r.runs[0].toMv, 400);
    EXPECT_LE(r.runs[1].fromMv, 600);
    EXPECT_GE(r.runs[1].toMv, 800);
    EXPECT_LT(r.runs[0].toMv, r.runs[1].fromMv);
    for (const PlateauRun& run : r.runs) EXPECT_LE(std::abs(run.slopePercentPer100mV), 5.0);
    EXPECT_GE(*r.chosenThresholdMv, 100);
    EXPECT_LE(*r.chosenThresholdMv, 400);
    EXPECT_EQ(std::fmod(*r.chosenThresholdMv, 2.5), 0.0);
    // A hundredth of the counts: the same curve, but no slope can be told within the limit.
    EXPECT_TRUE(FindPlateau(Curve(0.05)).runs.empty());
    EXPECT_FALSE(FindPlateau(Curve(100), 0.5).chosenThresholdMv);
}

// A step of a fifth between two flat levels: across it the mean slope is small, but the points
// do not lie on a line, so no run may span it.
TEST(PlateauTest, NoRunSpansAStepBetweenTwoLevels) {
    std::vector<PlateauPoint> points;
    for (double mv = 0; mv <= 1000; mv += 25) {
        const std::uint32_t count = mv <= 300 ? 100000 : 80000;
        points.push_back({mv, count, 100, count / 100.0, std::sqrt(count) / 100.0});
    }
    const PlateauResult r = FindPlateau(points);
    ASSERT_EQ(r.runs.size(), 2u);
    EXPECT_EQ(r.runs[0].fromMv, 325);
    EXPECT_EQ(r.runs[0].toMv, 1000);
    EXPECT_EQ(r.runs[1].toMv, 300);
    EXPECT_EQ(*r.chosenThresholdMv, 662.5);
}

// Two regions as pulsesim draws them (100-900 and 1500-2500 mV, the second at half the level,
// a log-linear fall between), 200/s counted 2 s a point from 0 to 3000 mV.
std::vector<PlateauPoint> TwoPlateaus() {
    const auto flat = [](double mv, double level, double middle) {
        return level * (1 - 1e-4 * (mv - middle));
    };
    std::vector<PlateauPoint> points;
    for (double mv = 0; mv <= 3000; mv += 100) {
        const double share = std::clamp((mv - 900) / 600, 0.0, 1.0);
        double rate = std::exp((1 - share) * std::log(flat(std::min(mv, 900.0), 200, 500)) +
                               share * std::log(flat(std::max(mv, 1500.0), 100, 2000)));
        if (mv < 100) rate = flat(100, 200, 500) * std::exp((100 - mv) / 25);
        if (mv > 2500) rate = flat(2500, 100, 2000) * std::exp((2500 - mv) / 25);
        const auto count = static_cast<std::uint32_t>(std::lround(rate * 2));
        points.push_back({mv, count, 2, count / 2.0, std::sqrt(count) / 2.0});
    }
    return points;
}

TEST(PlateauTest, TwoPlateausApartAndTheChoiceOfThreshold) {
    const struct {
        PlateauPick pick;
        std::optional<double> chosen;
    } picks[] = {
        {{PlateauChoice::Widest, std::nullopt}, 1950},
        {{PlateauChoice::Lowest, std::nullopt}, 550},
        {{PlateauChoice::Highest, std::nullopt}, 1950},
        {{PlateauChoice::Widest, 750.0}, 750},
        {{PlateauChoice::Widest, 1200.0}, std::nullopt},  // on the fall
    };
    for (const auto& c : picks) {
        const PlateauResult r = FindPlateau(TwoPlateaus(), kPlateauSlopeLimit, c.pick);
        // Each run reaches one point into the fall, where the curve only begins to bend.
        ASSERT_EQ(r.runs.size(), 2u);
        EXPECT_EQ(r.runs[0].fromMv, 1400);
        EXPECT_EQ(r.runs[0].toMv, 2500);
        EXPECT_EQ(r.runs[1].fromMv, 100);
        EXPECT_EQ(r.runs[1].toMv, 1000);
        EXPECT_EQ(r.chosenThresholdMv, c.chosen);
        EXPECT_EQ(r.refused.empty(), c.chosen.has_value()) << r.refused;
    }
}

TEST(PlateauTest, ANoiseTailOrFewThresholdsIsNoCountingCurve) {
    std::vector<PlateauPoint> noise;
    for (int i = 0; i < 20; ++i) {
        const std::uint32_t n = i % 3 == 0 ? 1 : 0;
        noise.push_back({525.0 + 25 * i, n, 10, n / 10.0, std::sqrt(n) / 10.0});
    }
    const PlateauResult tail = FindPlateau(noise);
    EXPECT_TRUE(tail.runs.empty());
    EXPECT_FALSE(tail.chosenThresholdMv);
    auto few = TwoPlateaus();
    few.resize(4);
    const PlateauResult four = FindPlateau(few);
    EXPECT_TRUE(four.runs.empty());
    EXPECT_EQ(four.refused, "not a counting curve: 4 thresholds, at least 5 are needed");
}

}  // namespace
}  // namespace pulsedesk::analysis
