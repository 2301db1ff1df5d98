// The journal's figures as charts: judgements keep their meaning, the period picks the points,
// each point keeps the limits it was judged by, and a series with mixed count times is drawn as
// rates.
#include <gtest/gtest.h>

#include <cmath>

#include "journal/ChartJson.h"
#include "journal/JournalCharts.h"

namespace pulsedesk::journal {
namespace {

namespace an = pulsedesk::analysis;

// A point judged by limits mean 0.3 -/+ 2 and 3 sigma; none when sigma is 0.
an::ChartPoint Point(int month, int day, double value, an::PointStatus status, double sigma) {
    an::ChartPoint p;
    p.record = {2024, static_cast<std::uint32_t>(day)};
    p.when = {{2024, month, day}, 8, 30};
    p.value = value;
    p.uncertainty = 0.02;
    p.status = status;
    if (sigma > 0)
        p.limits = an::PointLimits{
            0.3,  sigma,       0.3 - 2 * sigma, 0.3 + 2 * sigma, 0.3 - 3 * sigma, 0.3 + 3 * sigma,
            true, std::nullopt};
    return p;
}

TEST(JournalCharts, ControlChartKeepsJudgementsAndEachPointsLimits) {
    an::ControlChart chart;
    chart.quantity = "efficiency";
    chart.thresholdMv = 150;
    chart.points = {Point(2, 1, 0.30, an::PointStatus::InControl, 0.02),
                    Point(3, 5, 0.36, an::PointStatus::Recount, 0.02),
                    Point(3, 9, 0.41, an::PointStatus::OutOfService, 0.03),
                    Point(3, 12, 0.2, an::PointStatus::Excluded, 0),
                    Point(3, 15, 0, an::PointStatus::Refused, 0)};
    chart.limits = an::ChartLimits{};
    chart.limits->baselinePoints = 3;
    chart.limits->provisional = true;
    const plot::Chart c =
        ControlChartOf(chart, "Sr90", {}, {an::YearMonth{2024, 3}, an::YearMonth{2024, 3}});
    EXPECT_EQ(c.title, "Efficiency, source Sr90, threshold 150 mV");
    EXPECT_EQ(c.x.kind, plot::AxisKind::Time);
    ASSERT_EQ(c.series.size(), 1u);
    ASSERT_EQ(c.series[0].points.size(), 3u) << "February outside the period, the refused undrawn";
    EXPECT_EQ(c.series[0].points[0].flag, plot::Flag::Warning);
    EXPECT_EQ(c.series[0].points[1].flag, plot::Flag::Action);
    EXPECT_TRUE(c.series[0].points[2].hollow);
    EXPECT_FALSE(c.series[0].points[1].hollow);
    EXPECT_EQ(journal::LocalTimeText(c.series[0].points[0].x), "2024-03-05T08:30:00");
    ASSERT_EQ(c.levels.size(), 5u);
    for (const plot::Level& l : c.levels)
        EXPECT_EQ(l.provisional, l.kind != plot::LineKind::Mean) << l.label;
    EXPECT_EQ(c.levels[3].label, "+3σ 0.390");
    ASSERT_EQ(c.levels[3].steps.size(), 2u);  // each point's own limit, stepping between them
    EXPECT_NEAR(c.levels[3].steps[0].second, 0.36, 1e-12);
    EXPECT_NEAR(c.levels[3].steps[1].second, 0.39, 1e-12);
    EXPECT_EQ(journal::LocalTimeText(c.levels[3].steps[1].first), "2024-03-07T08:30:00");
    EXPECT_NE(c.note.find("provisional"), std::string::npos);
}

TEST(JournalCharts, ACountingCurveSpanningDecadesHasALogarithmicRateAxis) {
    for (const auto& [low, log] : {std::pair(5.0, true), std::pair(15.0, false)}) {
        an::PlateauResult r;
        for (double rate : {100.0, 90.0, low, 0.0})
            r.points.push_back({0, static_cast<std::uint32_t>(rate), 1, rate, std::sqrt(rate)});
        EXPECT_EQ(PlateauChartOf(an::JournalRecord{}, r).logarithmicY, log) << low;
    }
}

TEST(JournalCharts, SeriesOfMixedCountTimesIsDrawnAsRates) {
    an::JournalRecord record;
    record.id = {2024, 7};
    record.description = {"QC CHI2 Sr90"};
    for (int hundredths : {6000, 6000, 12000}) {
        an::JournalMeasurement m;
        m.count = 1000;
        m.countTimeHundredths = hundredths;
        record.measurements.push_back(m);
    }
    an::JournalMeasurement noTime;  // a line without a count time has no rate to draw
    record.measurements.push_back(noTime);
    const plot::Chart mixed = SeriesChartOf(record, an::SeriesStats{});
    EXPECT_EQ(mixed.y.title, "Rate");
    ASSERT_EQ(mixed.series[0].points.size(), 3u);
    EXPECT_DOUBLE_EQ(mixed.series[0].points[2].y, 1000.0 / 120);
    record.measurements[2].countTimeHundredths = 6000;
    const plot::Chart same = SeriesChartOf(record, an::SeriesStats{});
    EXPECT_EQ(same.y.title, "Count");
    EXPECT_DOUBLE_EQ(same.series[0].points[2].error, std::sqrt(1000.0));
}

}  // namespace
}  // namespace pulsedesk::journal
