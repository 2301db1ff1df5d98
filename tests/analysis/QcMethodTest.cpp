// The QC method on journals the report store writes: the cases a QA officer met, each with the
// verdict worked out here by hand, and seeded simulations of in-control counters.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>

#include "analysis/QcCharts.h"
#include "reports/StoreFixture.h"

namespace pulsedesk::analysis {
namespace {

struct Line {
    std::uint32_t count;
    double seconds;
    std::int32_t thresholdMv = 120;
};

class QcMethodTest : public reports::testing::StoreFixture {
  protected:
    // A record at 08:00 of the day (from 2026-01-01), its lines counted one after the other.
    void Record(int day, const std::string& marker, const std::vector<Line>& lines) {
        const CivilDate d = CivilDate::FromDayNumber(CivilDate{2026, 1, 1}.DayNumber() + day);
        int seconds = 8 * 3600;
        now = {d.year, d.month, d.day, 8, 0, 0};
        if (!store) store = Open();
        store->AddRecord(marker);
        for (const Line& l : lines) {
            seconds += static_cast<int>(l.seconds);
            now.hour = seconds / 3600;
            now.minute = seconds / 60 % 60;
            now.second = seconds % 60;
            const auto whole = static_cast<int>(l.seconds);
            store->AddMeasurement(l.thresholdMv, l.count,
                                  {static_cast<std::uint8_t>(whole / 3600),
                                   static_cast<std::uint8_t>(whole / 60 % 60),
                                   static_cast<std::uint8_t>(whole % 60), 0});
        }
    }
    // n background records from day 1, counts alternating -/+ their Poisson spread.
    void Backgrounds(int n, double expected, double seconds) {
        for (int i = 0; i < n; ++i)
            Record(1 + i, "QC BACKGROUND",
                   {{static_cast<std::uint32_t>(
                         std::lround(expected + (i % 2 ? 1 : -1) * std::sqrt(expected))),
                     seconds}});
    }
    // An empty work folder for the next case.
    void Fresh() {
        store.reset();
        std::filesystem::remove_all(Work());
    }
    ControlChart Background() {
        auto charts = BackgroundCharts(ReadJournal(Work()), {});
        EXPECT_EQ(charts.size(), 1u);
        return charts.at(0);
    }
    ControlChart Source(const std::string& name) {
        auto charts = SourceCharts(ReadJournal(Work()), name, {});
        EXPECT_EQ(charts.size(), 1u);
        return charts.at(0);
    }
    std::unique_ptr<reports::ReportStore> store;
};

// A source of eps A0 t expected counts per 100 s, on a half-life long beside the days.
std::uint32_t SourceCount(double expected, double zOfCounting) {
    return static_cast<std::uint32_t>(std::lround(expected + zOfCounting * std::sqrt(expected)));
}

TEST_F(QcMethodTest, ADecayedSourceIsJudgedByItsOwnPrecision) {
    // 20 fresh points of 160 000 counts, then one four half-lives on at 10 000 counts, one
    // counting sigma low: the fresh baseline's own sigma would put it at -4 sigma.
    const std::string marker = "QC SOURCE Sr90 A=4000 REF=2026-01-01 HALF=85";
    const auto expected = [](int day) {
        return 0.4 * 4000 * 100 * std::exp2(-((day + 8 / 24.0) * 86400 - 100) / (85 * 86400.0));
    };
    for (int day = 1; day <= 20; ++day)
        Record(day, marker, {{SourceCount(expected(day), day % 2 ? 1 : -1), 100}});
    Record(341, marker, {{SourceCount(expected(341), -1), 100}});
    const ControlChart chart = Source("Sr90");
    const ChartPoint& decayed = chart.points.back();
    EXPECT_NEAR(expected(341), 10000, 300);
    EXPECT_EQ(decayed.status, PointStatus::InControl) << decayed.rule;
    EXPECT_NEAR(decayed.z, -1.0, 0.1);
}

TEST_F(QcMethodTest, BackgroundsJudgedByTheirOwnCountTime) {
    const struct {
        const char* what;
        int baseline;
        double expected, seconds;
        Line newest;
        PointStatus verdict;
    } cases[] = {
        // mu t = 60: z = 15 / sqrt(60) = 1.94; P(N >= 75) = 0.034
        {"60 s after 6000 s counts", 20, 6000, 6000, {75, 60}, PointStatus::InControl},
        {"90 counts in 60 s", 20, 6000, 6000, {90, 60}, PointStatus::OutOfService},
        {"one count after zero counts", 20, 0, 600, {1, 600}, PointStatus::InControl},
        {"three counts after zero counts", 20, 0, 600, {3, 600}, PointStatus::OutOfService},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Fresh();
        Backgrounds(c.baseline, c.expected, c.seconds);
        Record(c.baseline + 1, "QC BACKGROUND", {c.newest});
        const ChartPoint p = Background().points.back();
        EXPECT_EQ(p.status, c.verdict) << p.rule;
        ASSERT_TRUE(p.limits);
        EXPECT_TRUE(std::isfinite(p.limits->actionHigh));
        EXPECT_GT(p.limits->actionHigh, 0.0);
    }
}

// The tail beside a baseline that is all but exact is the Poisson tail, worked here.
TEST(CountTailTest, TheExactPoissonTailBesideALongBaseline) {
    const auto poissonUpper = [](int n, double mean) {
        double term = std::exp(-mean), below = 0;
        for (int k = 0; k < n; ++k, term *= mean / k) below += term;
        return 1 - below;
    };
    EXPECT_NEAR(CountTail(75, 60, 60'000'000, 60'000'000), poissonUpper(75, 60), 1e-5);
    EXPECT_NEAR(CountTail(4, 1, 2'000'000, 1'000'000), poissonUpper(4, 2), 1e-5);
    // Beside a baseline of no count in 20 times the time, one count has a chance of 1/21.
    EXPECT_NEAR(CountTail(1, 600, 0, 12000), 1.0 / 21, 1e-12);
    EXPECT_NEAR(CountTail(0, 1, 3'000'000, 1'000'000), std::exp(-3.0), 1e-5);
}

TEST_F(QcMethodTest, TheCertificatesUncertaintyStaysOutOfTheChart) {
    // 10 000 counts a point (1 %); U = 3 % is the same for every point: a 7 % drop is seen.
    const std::string marker = "QC SOURCE Cs137 A=1000 REF=2026-01-01 HALF=11000 U=3%";
    const double expected = 0.1 * 1000 * 100;
    for (int day = 1; day <= 20; ++day)
        Record(day, marker, {{SourceCount(expected, day % 2 ? 1 : -1), 100}});
    Record(21, marker, {{static_cast<std::uint32_t>(expected * 0.93), 100}});
    const ControlChart chart = Source("Cs137");
    EXPECT_EQ(chart.points.back().status, PointStatus::OutOfService);
    EXPECT_NEAR(chart.points.back().efficiency->activityRelativeU.value(), 0.03, 1e-12);
}

TEST_F(QcMethodTest, PositioningScatterIsEstimatedAsExtraVariance) {
    // 1e6 counts (0.1 %) a point, 1 % positioning scatter, twelve points: a provisional baseline.
    const double scatter[] = {1, -1, 0.5, -0.5, 0, 1.2, -1.1, 0.3, -0.8, 0.9, -0.2, 0.6};
    const std::string marker = "QC SOURCE Am241 A=5000 REF=2026-01-01 HALF=158000";
    for (int i = 0; i < 12; ++i)
        Record(1 + i, marker, {{static_cast<std::uint32_t>(1e6 * (1 + scatter[i] / 100)), 400}});
    const ControlChart chart = Source("Am241");
    EXPECT_TRUE(chart.limits->provisional);
    EXPECT_GT(chart.limits->extraSd, 5 * chart.limits->poissonSd);
    for (const ChartPoint& p : chart.points)
        EXPECT_TRUE(p.status == PointStatus::InControl || p.status == PointStatus::NotJudged)
            << p.record.Text() << " " << p.rule;
}

TEST_F(QcMethodTest, TheDetectionLimitComesFromTheBaseline) {
    Backgrounds(20, 1000, 1000);  // 1/s
    Record(21, "QC BACKGROUND", {{0, 1000}});
    const auto limit = ChartDetectionLimit(Background(), 1000.0);
    ASSERT_TRUE(limit);
    // Currie with B = 1000 counts, t_s / t_b = 1000 / 20000.
    const double k = 1.6448536269514722, sigma0 = std::sqrt(1000 * (1 + 0.05));
    EXPECT_NEAR(limit->decisionCounts, k * sigma0, 1e-6);
    EXPECT_NEAR(limit->limitCounts, k * k + 2 * k * sigma0, 1e-6);
    EXPECT_GT(limit->limitCounts, 30 * 2.71);
    EXPECT_FALSE(limit->provisional);
}

TEST_F(QcMethodTest, AShortLivedSourceIsAveragedOverEachCount) {
    // T = 6 h, six 600 s counts from the reference at 08:00; eps = 0.3 comes back, not 6 % more.
    const double half = 6 * 3600.0, lambda = std::log(2.0) / half, a0 = 10000, eps = 0.3;
    std::vector<Line> lines;
    for (int k = 0; k < 6; ++k)
        lines.push_back(
            {static_cast<std::uint32_t>(std::lround(eps * a0 * std::exp2(-600.0 * k / half) *
                                                    -std::expm1(-lambda * 600) / lambda)),
             600});
    Record(3, "QC SOURCE Tc99m A=10000 REF=2026-01-04T08:00 HALF=0.25", lines);
    const ChartPoint p = Source("Tc99m").points.at(0);
    EXPECT_NEAR(p.value / eps, 1, 5e-4);
}

TEST_F(QcMethodTest, ImplausiblePointsAreRefusedAndNeverUsed) {
    const struct {
        const char* marker;
        std::uint32_t count;
        const char* reason;
    } cases[] = {
        {"QC SOURCE Cs137 A=1000 REF=2000-01-01 HALF=30.17", 30000,
         "check the half-life's unit: days"},
        {"QC SOURCE Cs137 A=1000 REF=2025-12-01 HALF=1", 30000, "check the half-life's unit: days"},
        {"QC SOURCE Cs137 A=0.001 REF=2025-12-01 HALF=11000", 30000, "outside (0, 1]: implausible"},
        {"QC SOURCE Cs137 A=1000 REF=2026-02-01 HALF=11000", 30000, "lies after the count"},
        {"QC SOURCE Cs137 A=1000 REF=2025-12-01 HALF=11000", kSaturatedCount,
         "the counter's maximum: saturated"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.marker);
        Fresh();
        for (int day = 1; day <= 4; ++day)
            Record(day, "QC SOURCE Cs137 A=1000 REF=2025-12-01 HALF=11000", {{30000, 100}});
        Record(5, c.marker, {{c.count, 100}});
        Record(6, "QC SOURCE Cs137 A=1000 REF=2025-12-01 HALF=11000", {{30000, 100}});
        const ControlChart chart = Source("Cs137");
        const ChartPoint& refused = chart.points.at(4);
        EXPECT_EQ(refused.status, PointStatus::Refused);
        EXPECT_NE(refused.rule.find(c.reason), std::string::npos) << refused.rule;
        EXPECT_EQ(refused.value, 0.0);
        EXPECT_EQ(chart.limits->baselinePoints, 5);  // the refused point is not one of them
    }
}

TEST_F(QcMethodTest, AnExcludedPointIsKeptHollowWithItsReason) {
    Backgrounds(5, 1000, 1000);
    Record(6, "QC BACKGROUND", {{5000, 1000}});
    Record(7, "QC EXCLUDE 6 door left open", {});
    Record(8, "QC BACKGROUND", {{1000, 1000}});
    const ControlChart chart = Background();
    EXPECT_EQ(chart.points.at(5).status, PointStatus::Excluded);
    EXPECT_EQ(chart.points.at(5).rule, "door left open");
    EXPECT_EQ(chart.points.at(6).status, PointStatus::InControl);
    EXPECT_EQ(chart.limits->baselinePoints, 6);
}

TEST_F(QcMethodTest, NineSuccessivePointsLowFireARunRule) {
    Backgrounds(20, 10000, 1000);
    // sigma_x^2 = s^2 - mu / t: the alternating baseline leaves 1/19 of the counting variance.
    const double sigma = std::sqrt(10000 * (1 + 1.0 / 19));
    for (int i = 0; i < 9; ++i)
        Record(21 + i, "QC BACKGROUND",
               {{static_cast<std::uint32_t>(std::lround(10000 - 1.7 * sigma)), 1000}});
    const ControlChart chart = Background();
    EXPECT_NEAR(chart.points.at(20).z, -1.7, 0.05);
    EXPECT_EQ(chart.points.at(22).status, PointStatus::InControl);
    EXPECT_EQ(chart.points.at(23).status, PointStatus::Trend);
    EXPECT_EQ(chart.points.at(23).rule, "four of five beyond 1σ on one side");
}

TEST_F(QcMethodTest, AChiSquareFailureIsRecountedOnceThenOutOfService) {
    const std::vector<Line> fails{{100, 10}, {200, 10}, {100, 10}, {200, 10}};
    const std::vector<Line> passes{{100, 10}, {110, 10}, {95, 10}, {105, 10}};  // p = 0.75
    using V = ChiSquareVerdict;
    const struct {
        std::vector<std::pair<const char*, bool>> earlier;  // marker, passed
        V verdict;
    } cases[] = {
        {{}, V::Recount},
        {{{"QC CHI2 a", false}}, V::OutOfService},
        {{{"QC CHI2 a", false}, {"QC CHI2 a", true}}, V::Recount},
        {{{"QC CHI2 a", false}, {"QC CHI2 b", true}}, V::OutOfService},
        {{{"QC CHI2 b", false}}, V::Recount},
    };
    for (const auto& c : cases) {
        Fresh();
        int day = 1;
        for (const auto& [marker, passed] : c.earlier)
            Record(day++, marker, passed ? passes : fails);
        Record(day, "QC CHI2 a", fails);
        const Journal j = ReadJournal(Work());
        EXPECT_EQ(JudgeChiSquare(j, j.records.back()), c.verdict) << c.earlier.size();
    }
    Fresh();
    Record(1, "QC CHI2 a", passes);
    EXPECT_EQ(JudgeChiSquare(ReadJournal(Work()), ReadJournal(Work()).records.back()), V::Pass);
}

TEST_F(QcMethodTest, EachThresholdOfARecordIsItsOwnSeries) {
    std::vector<Line> sweep;
    for (int mv = 100; mv <= 500; mv += 100)
        sweep.push_back({static_cast<std::uint32_t>(60000 / mv), 2, mv});
    sweep.push_back({590, 2, 100});
    Record(1, "PLATEAU", sweep);
    const auto series = RecordThresholdSeries(ReadJournal(Work()).records.at(0));
    ASSERT_EQ(series.size(), 5u);
    EXPECT_EQ(series[0].thresholdMv, 100);
    ASSERT_TRUE(series[0].stats.chiSquare);  // two lines at 100 mV
    EXPECT_NEAR(series[0].stats.chiSquare->chiSquare, 2 * 5.0 * 5.0 / 595, 1e-9);
    for (std::size_t i = 1; i < series.size(); ++i) EXPECT_FALSE(series[i].stats.chiSquare);
}

// Share of points beyond 2 and 3 sigma among in-control backgrounds: `charts` charts, each a
// baseline of 20 and then `points` more, so that the share is the method's and not one
// baseline's luck.
std::pair<double, double> FalseAlarms(double expected, int charts, int points, unsigned seed) {
    std::mt19937 random(seed);
    std::poisson_distribution<int> count(expected);
    int beyond2 = 0, beyond3 = 0;
    for (int c = 0; c < charts; ++c) {
        std::vector<ChartInput> inputs;
        for (int i = 0; i < 20 + points; ++i) {
            ChartInput p;
            p.record = {2026, static_cast<std::uint32_t>(i + 1)};
            p.when = {CivilDate::FromDayNumber(20000 + i), 8, 0};
            p.counts = static_cast<std::uint64_t>(count(random));
            p.seconds = 100;
            p.value = static_cast<double>(p.counts) / p.seconds;
            inputs.push_back(p);
        }
        const ControlChart chart = BuildControlChart("background_rate_cps", 0, inputs, {});
        for (std::size_t i = 20; i < chart.points.size(); ++i) {
            const ChartPoint& p = chart.points[i];
            beyond2 += p.status == PointStatus::Recount || p.status == PointStatus::OutOfService;
            beyond3 += p.rule == "beyond 3σ";
        }
    }
    const double n = static_cast<double>(charts) * points;
    return {beyond2 / n, beyond3 / n};
}

TEST(QcSimulationTest, InControlBackgroundsRaiseFewAlarmsAtEveryLevel) {
    for (double expected : {0.5, 2.0, 50.0}) {
        SCOPED_TRACE(expected);
        const auto [beyond2, beyond3] = FalseAlarms(expected, 100, 20, 27);
        EXPECT_LE(beyond3, 0.006);
        EXPECT_LE(beyond2, 0.07);
        if (expected < 50) continue;
        EXPECT_GE(beyond3, 0.001);
        EXPECT_GE(beyond2, 0.03);
    }
}

TEST(QcSimulationTest, ASevenPercentDropIsOutOfServiceWithTheCertificateGiven) {
    std::mt19937 random(7);
    std::normal_distribution<double> noise;
    int seen = 0;
    for (int trial = 0; trial < 500; ++trial) {
        std::vector<ChartInput> inputs;
        for (int i = 0; i <= 20; ++i) {
            const double counts = (i < 20 ? 10000 : 9300) + 100 * noise(random);
            ChartInput p;
            p.record = {2026, static_cast<std::uint32_t>(i + 1)};
            p.when = {CivilDate::FromDayNumber(20000 + i), 8, 0};
            p.value = counts / 1e5;  // eps of 1e5 decays counted
            p.uncertainty = std::sqrt(counts) / 1e5;
            p.efficiency = EfficiencyTerms{};
            p.efficiency->activityRelativeU = 0.03;
            inputs.push_back(p);
        }
        seen += BuildControlChart("efficiency", 0, inputs, {}).points.back().status ==
                PointStatus::OutOfService;
    }
    EXPECT_GE(seen, 475);
}

}  // namespace
}  // namespace pulsedesk::analysis
