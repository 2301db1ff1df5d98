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

std::vector<ChartInput> Points(const std::vector<double>& values, double u) {
    std::vector<ChartInput> in;
    for (std::size_t i = 0; i < values.size(); ++i)
        in.push_back({{2026, static_cast<std::uint32_t>(i + 1)},
                      {{2026, 3, static_cast<int>(i + 1)}, 8, 0},
                      values[i],
                      u,
                      0,
                      10,
                      std::nullopt});
    return in;
}

TEST(ControlChartTest, BaselineLimitsAndJudgedPoints) {
    // Twenty baseline points of mean 100 and sample sd 2 (above the Poisson 1), then the tests.
    std::vector<double> values;
    for (int i = 0; i < 10; ++i) values.insert(values.end(), {98.0, 102.0});
    values.insert(values.end(), {104.5, 100, 107, 100, 105, 105, 95.5, 104.5, 100});
    auto inputs = Points(values, 1.0);
    std::swap(inputs[0].when, inputs[1].when);  // charted in time order, not journal order
    const ControlChart chart = BuildControlChart("background_rate_cps", 120, inputs, {});
    ASSERT_TRUE(chart.limits);
    EXPECT_FALSE(chart.limits->provisional);
    EXPECT_NEAR(chart.limits->sigma, 2 * std::sqrt(20.0 / 19), 1e-9);
    // Warning band 100 -/+ 4.10, action band -/+ 6.16; two beyond 2 sigma on opposite sides
    // are two recounts.
    const std::vector<PointStatus> expected{
        PointStatus::Recount,   PointStatus::InControl, PointStatus::OutOfService,
        PointStatus::InControl, PointStatus::Recount,   PointStatus::OutOfService,
        PointStatus::Recount,   PointStatus::Recount,   PointStatus::InControl};
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(chart.points[20 + i].status, expected[i]) << i;
    EXPECT_EQ(chart.points[0].value, 102.0);  // the moved point, now in its day's place
    EXPECT_EQ(chart.flagged.size(), 6u);
}

TEST(ControlChartTest, ShortBaselineIsProvisionalAndClippedAtZero) {
    const ControlChart chart = BuildControlChart(
        "background_rate_cps", 0, Points({1.0, 1.2, 0.8, 9}, 0.5), {20, CivilDate{2026, 3, 2}});
    ASSERT_EQ(chart.points.size(), 3u);  // the first day lies before the baseline's start
    EXPECT_TRUE(chart.limits->provisional);
    EXPECT_NEAR(chart.limits->mean, (1.2 + 0.8 + 9) / 3, 1e-12);
    EXPECT_EQ(chart.limits->sigma, 0.5);  // Poisson, though the values scatter far more
    EXPECT_EQ(chart.limits->actionLow, 2.1666666666666665);
    const ControlChart low = BuildControlChart("background_rate_cps", 0, Points({1.0}, 1.0), {});
    EXPECT_EQ(low.limits->warningLow, 0.0);
    // An efficiency lost in the background's noise: no clipping, its own point is in control.
    const ControlChart lost = BuildControlChart("efficiency", 0, Points({-0.05}, 0.07), {});
    EXPECT_EQ(lost.points[0].status, PointStatus::InControl);
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
    EXPECT_FALSE(r.runs[0].uncertain);
    // A hundredth of the counts: the same curve, but no slope can be told within the limit.
    const PlateauResult thin = FindPlateau(Curve(0.05));
    ASSERT_FALSE(thin.runs.empty());
    EXPECT_TRUE(thin.runs[0].uncertain);
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

}  // namespace
}  // namespace pulsedesk::analysis
