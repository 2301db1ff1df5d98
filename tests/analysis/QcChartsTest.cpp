// The QC records of a journal written by the report store, as charts and markers; the reader's
// edge cases that only hand-made text reaches.
#include <gtest/gtest.h>

#include <cmath>

#include "analysis/Export.h"
#include "analysis/QcCharts.h"
#include "reports/StoreFixture.h"

namespace pulsedesk::analysis {
namespace {

constexpr const char* kSource = "QC SOURCE Sr90 A=1000 REF=2026-03-01 HALF=10";

class QcChartsTest : public reports::testing::StoreFixture {
  protected:
    // Records at 10:00 of the day, each line counted 100 s.
    void Record(int day, const std::string& marker,
                const std::vector<std::pair<std::int32_t, std::uint32_t>>& lines) {
        now = {2026, 3, day, 10, 0, 0};
        if (!store) store = Open();
        store->AddRecord(marker);
        for (const auto& [threshold, count] : lines)
            store->AddMeasurement(threshold, count, hundredSeconds);
    }
    Journal Read() { return ReadJournal(Work()); }
    std::unique_ptr<reports::ReportStore> store;
};

TEST_F(QcChartsTest, EfficiencyTakesTheLatestBackgroundOnOrBeforeItsDay) {
    Record(2, kSource, {{120, 30000}});  // before any background: the baseline mean
    Record(3, "QC BACKGROUND", {{120, 1000}, {250, 400}});
    Record(11, kSource, {{120, 21000}, {500, 100}});  // day 3's background; none at 500 mV
    Record(12, "QC BACKGROUND", {{120, 3000}});
    Record(13, "QC SOURCE Co60 A=5 REF=2026-01-01 HALF=1925", {{120, 50}});  // another source
    const Journal j = Read();

    const auto backgrounds = BackgroundCharts(j, {});
    ASSERT_EQ(backgrounds.size(), 2u);  // one chart per threshold
    EXPECT_EQ(backgrounds[0].thresholdMv, 120);
    EXPECT_EQ(backgrounds[0].points.size(), 2u);
    EXPECT_NEAR(backgrounds[0].limits->mean, 20, 1e-12);
    EXPECT_EQ(backgrounds[1].points.size(), 1u);

    const auto charts = SourceCharts(j, "Sr90", {});
    ASSERT_EQ(charts.size(), 2u);
    // The activity averaged over a 100 s count ending at 10:00, days after the reference.
    const auto activity = [](double days) {
        const double half = 10 * 86400.0, t = 100, lambda = std::log(2.0) / half;
        return 1000 * std::exp2(-(days * 86400 - t) / half) * -std::expm1(-lambda * t) /
               (lambda * t);
    };
    const ChartPoint& early = charts[0].points.at(0);
    EXPECT_EQ(early.efficiency->backgroundFrom, "baseline mean");
    const double a2 = activity(1 + 10.0 / 24);
    EXPECT_NEAR(early.value, (300 - 20) / a2, 1e-9);
    const ChartPoint& later = charts[0].points.at(1);
    EXPECT_EQ(later.efficiency->backgroundFrom, "record 2026:2");
    const double a11 = activity(10 + 10.0 / 24);
    EXPECT_NEAR(later.value, (210 - 10) / a11, 1e-9);
    EXPECT_NEAR(later.uncertainty, std::sqrt(21000 / 1e4 + 1000 / 1e4) / a11, 1e-9);
    EXPECT_EQ(charts[1].points.at(0).efficiency->backgroundFrom, "none");

    // From the background baseline's pooled counts and the source baseline's mean efficiency.
    const auto limit = ChartDetectionLimit(charts[0], 1000.0);
    ASSERT_TRUE(limit);
    EXPECT_EQ(limit->backgroundRate, 20);
    EXPECT_EQ(limit->backgroundSeconds, 200);
    EXPECT_TRUE(limit->provisional);
    EXPECT_NEAR(*limit->mdaBq, limit->limitCounts / ((early.value + later.value) / 2 * 1000), 1e-9);
}

TEST_F(QcChartsTest, MarkersOfSixtyEightCharactersSurviveTheStore) {
    QcMarker source{QcMarker::Kind::Source, "Sr90-planchet", 12345.5, {2026, 3, 1}, 10519, 2.5};
    const std::string text = MarkerText(source);
    EXPECT_EQ(text, "QC SOURCE Sr90-planchet A=12345.5 REF=2026-03-01 HALF=10519 U=2.5%");
    source.name += "xx";  // 68 characters
    const std::string longest = MarkerText(source);
    ASSERT_EQ(longest.size(), 68u);
    source.name += "x";
    EXPECT_EQ(MarkerText(source), "");
    Record(1, longest, {{120, 5}});
    const Journal j = Read();
    ASSERT_EQ(j.records.size(), 1u);
    EXPECT_EQ(j.records[0].FirstLine(), longest);
    const auto parsed = ParseQcMarker(j.records[0].FirstLine());
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->name, "Sr90-planchetxx");
    EXPECT_EQ(parsed->activityBq, 12345.5);
    EXPECT_EQ(*parsed->activityUPercent, 2.5);
    for (const char* other : {"QC BACKGROUND now", "QC SOURCE Sr90 A=0 REF=2026-03-01 HALF=1",
                              "QC SOURCE Sr90 A=1 REF=2026-02-30 HALF=1", "PLATEAU a b", "qc chi2"})
        EXPECT_FALSE(ParseQcMarker(other)) << other;
    EXPECT_EQ(ParseQcMarker("QC CHI2")->kind, QcMarker::Kind::ChiSquare);
    // Words split at every blank a typed line may hold, however many.
    const std::pair<std::string, std::vector<std::string>> splits[] = {
        {"  QC\tCHI2 \v a\f\rb  ", {"QC", "CHI2", "a", "b"}}, {" \t ", {}}, {"x", {"x"}}};
    for (const auto& [line, words] : splits) EXPECT_EQ(MarkerWords(line), words) << line;
}

// One name rule for the markers qa writes and the ones read back, whoever typed them.
TEST_F(QcChartsTest, AMarkerNameThatCouldBeMarkupIsRefusedBothWays) {
    const struct {
        std::string name;
        bool allowed;
    } names[] = {
        {"Sr-90/Y-90", true}, {"Am241(2)", true}, {"#3_a.b+c", true}, {"<img/src=http://x>", false},
        {"a&b", false},       {"x\"y", false},    {"it's", false},    {"k=v", false},
        {"\x1B[31m", false},  {"\xD0\xAF", false}};
    for (const auto& n : names) {
        SCOPED_TRACE(n.name);
        for (const std::string& line : {"QC CHI2 " + n.name, "PLATEAU " + n.name,
                                        "QC SOURCE " + n.name + " A=1 REF=2026-03-01 HALF=2"}) {
            std::string refusal;
            const auto marker = ParseQcMarker(line, &refusal);
            EXPECT_EQ(marker.has_value(), n.allowed) << line;
            EXPECT_EQ(refusal.find("whose name is not one word") != std::string::npos, !n.allowed);
        }
        EXPECT_EQ(MarkerText({QcMarker::Kind::Plateau, n.name, 0, {}, 0, std::nullopt}).empty(),
                  !n.allowed);
    }
    std::string refusal;
    EXPECT_FALSE(ParseQcMarker("PLATEAU a b", &refusal));
    EXPECT_EQ(refusal, "") << "no marker at all: nothing to refuse";
}

TEST_F(QcChartsTest, ALineWithoutCountTimeIsReadButHasNoRate) {
    Record(1, "QC BACKGROUND", {{120, 100}});
    store->AddMeasurement(120, 7, {});
    const Journal j = Read();
    ASSERT_TRUE(j.problems.empty()) << j.problems[0].reason;
    ASSERT_EQ(j.records[0].measurements.size(), 2u);
    EXPECT_EQ(j.records[0].measurements[1].category, '-');
    EXPECT_NE(ExportCsv(j).find(",0.00,7,,,-,"), std::string::npos);
    EXPECT_NE(ExportJson(j).find("\"rate_cps\":null"), std::string::npos);
    EXPECT_EQ(BackgroundCharts(j, {})[0].points[0].seconds, 100);  // left out of the point
}

// The fuzzer's seeds: the whole files read clean with every line ending, the damaged ones do not.
TEST(ReportTextTest, TheFuzzCorpusHoldsWholeAndDamagedReports) {
    const struct {
        const char* name;
        std::size_t problems, records;
    } files[] = {{"well-formed.rep", 0, 4}, {"lf-only.rep", 0, 4},
                 {"cr-only.rep", 0, 4},     {"damaged-lines.rep", 2, 4},
                 {"cut-header.rep", 1, 0},  {"garbage-first-line.rep", 1, 4}};
    for (const auto& f : files) {
        SCOPED_TRACE(f.name);
        Journal j;
        ReadReportText(
            pulsedesk::testing::ReadBytes(std::string(PULSEDESK_JOURNAL_CORPUS "/") + f.name),
            f.name, 1, j);
        EXPECT_EQ(j.problems.size(), f.problems);
        EXPECT_EQ(j.records.size(), f.records);
    }
}

TEST(ReportTextTest, SevenDigitNumbersAndATypedClosingLine) {
    const std::string dash69(69, '-');
    const std::string text = "h\r\nh\r\nh\r\nh\r\n;" + std::string(79, '-') +
                             "\r\n\r\n\r\nDate: 01-03-2026 ;" + std::string(62, '=') +
                             "\r\n\r\n<000001>  ;" + dash69 +
                             "\r\n          ;second\r\n          ;" + dash69 + "\r\n";
    Journal j;
    ReadReportText(text, "f", 999999, j);
    ASSERT_EQ(j.records.size(), 1u);
    EXPECT_EQ(j.records[0].id.number, 1000001u);
    EXPECT_EQ(j.records[0].description, (std::vector<std::string>{dash69, "second"}));
    EXPECT_TRUE(j.problems.empty());
}

}  // namespace
}  // namespace pulsedesk::analysis
