// The chart description and the scales: what pulsectl writes reads back the same, a faulty
// description is refused with its place named, and ticks fall where a reader expects them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "journal/ChartJson.h"
#include "plot/ChartReader.h"
#include "plot/Scale.h"

namespace pulsedesk::plot {
namespace {

Chart TimeChart() {
    Chart c;
    c.title = "Background \"A\", 150 mV";
    c.note = "baseline: 3 points\nprovisional";
    c.x = {AxisKind::Time, "Date", "", false, false};
    c.y = {AxisKind::Number, "Rate", "1/s", true, false};
    c.series = {{"rate",
                 true,
                 {{1.7e9, 0.52, 0.03, Flag::None, false},
                  {1.7e9 + 86400, 0.1 / 3, 0, Flag::Action, true}}}};
    c.levels = {{0.5, LineKind::Mean, "mean 0.50", false, {}},
                {0.6, LineKind::Warning, "+2σ", true, {{1.7e9, 0.65}, {1.7e9 + 43200, 0.6}}}};
    c.bands = {{1.7e9, 1.7e9 + 3600, "run"}};
    c.markers = {{1.7e9 + 60, "chosen"}};
    return c;
}

// Written, read and written again, the description is the same: no key is lost or misread on
// the way, and every number comes back exactly.
TEST(ChartJson, ReadsBackAsWritten) {
    Chart number = TimeChart();
    number.x = {AxisKind::Number, "Threshold", "mV", false, true};
    number.series[0].points[0].flag = Flag::Warning;
    const std::string json = journal::ChartsJson({TimeChart(), number});
    EXPECT_EQ(journal::ChartsJson(ReadCharts(QByteArray::fromStdString(json))), json);
    for (const char* used :
         {"\"note\"", "\"joined\"", "\"error\"", "\"flag\":\"action\"", "\"flag\":\"warning\"",
          "\"provisional\"", "\"integer\"", "\"zero\"", "\"unit\"", "\"bands\":[{",
          "\"markers\":[{", "\"kind\":\"time\"", "\"hollow\"", "\"steps\":[{"})
        EXPECT_NE(json.find(used), std::string::npos) << used;
}

// A byte that is not UTF-8 (a damaged description) becomes a replacement character, never an
// error that loses the picture.
TEST(ChartJson, TextThatIsNotUtf8StillReadsBack) {
    Chart c = TimeChart();
    c.title = "Soil \xff sample";
    const std::vector<Chart> charts =
        ReadCharts(QByteArray::fromStdString(journal::ChartsJson({c})));
    ASSERT_EQ(charts.size(), 1u);
    EXPECT_EQ(charts[0].title, "Soil \xef\xbf\xbd sample");
}

// The journal's times are naive local times: a night when the clocks go forward must not shift
// or lose them, whatever the machine's zone.
TEST(ChartJson, LocalTimesIgnoreTheMachinesZone) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    bool ok = false;
    const double at = ParseLocalTime(QStringLiteral("2024-03-31T02:30"), ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(journal::LocalTimeText(at), "2024-03-31T02:30:00");
    EXPECT_EQ(LocalTimeText(at, "yyyy-MM-dd HH:mm"), QStringLiteral("2024-03-31 02:30"));
    EXPECT_EQ(journal::LocalTimeText(ParseLocalTime(QStringLiteral("1999-12-31T23:59:59"), ok)),
              "1999-12-31T23:59:59");
    unsetenv("TZ");
    tzset();
}

struct BadDescription {
    std::string json;
    const char* message;  // a part of the error's text
};

TEST(ChartReader, RefusesFaultsNamingTheirPlace) {
    const char* axes = R"("x":{"kind":"time"},"y":{})";
    const std::string head = std::string(R"({"charts":[{)") + axes;
    const BadDescription cases[] = {
        {"[1,2", "not JSON at byte"},
        {"[]", "not a JSON object"},
        {R"({"charts":[]})", "\"charts\" is empty"},
        {R"({"chart":[]})", "unknown key \"chart\""},
        {R"({"charts":[{"y":{}}]})", "charts[0]: \"x\" is missing"},
        {R"({"charts":[{"x":{"kind":"log"},"y":{}}]})",
         "charts[0].x: \"kind\" has no kind \"log\""},
        {R"({"charts":[{"x":{},"y":{"kind":"time"}}]})", "y axis cannot be a time axis"},
        {head + R"(,"series":[{"points":[{"x":"2024-03-05T10:15","y":1,"eror":2}]}]}]})",
         "charts[0].series[0].points[0]: unknown key \"eror\""},
        {head + R"(,"series":[{"points":[{"x":"2024-03-05T10:15"}]}]}]})", "\"y\" is missing"},
        {head + R"(,"series":[{"points":[{"x":5,"y":1}]}]}]})", "\"x\" is not a local time"},
        {head + R"(,"series":[{"points":[{"x":"2024-13-05T10:15","y":1}]}]}]})", "not a time YYYY"},
        {head + R"(,"series":[{"points":[{"x":"2024-03-05T10:15Z","y":1}]}]}]})",
         "not a time YYYY"},
        {head + R"(,"series":[{"points":[{"x":"2024-03-05T10:15","y":1,"error":-1}]}]}]})",
         "negative"},
        {head + R"(,"series":[{"points":[{"x":"2024-03-05T10:15","y":1e300}]}]}]})",
         "out of range"},
        {head + R"(,"series":[{"points":[{"x":"2024-03-05T10:15","y":"1"}]}]}]})",
         "\"y\" is not a number"},
        {head + R"(,"bands":[{"from":"2024-03-05T10:15","to":"2024-03-04T10:15"}]}]})",
         "lies before"},
        {head + R"(,"levels":[{"y":1,"provisional":"yes"}]}]})",
         "charts[0].levels[0]: \"provisional\" is not true"},
        {head + R"(,"markers":[3]}]})", "charts[0].markers[0]: not an object"},
        {head + R"(,"title":7}]})", "\"title\" is not a string"},
    };
    for (const BadDescription& c : cases) {
        try {
            ReadCharts(QByteArray::fromStdString(c.json));
            ADD_FAILURE() << "accepted: " << c.json;
        } catch (const ChartError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos)
                << c.json << "\n -> " << e.what();
        }
    }
}

std::vector<double> Values(const Scale& s) {
    std::vector<double> v;
    for (const Tick& t : s.ticks) v.push_back(t.value);
    return v;
}
std::vector<QString> Labels(const Scale& s, QString Tick::*text = &Tick::label) {
    std::vector<QString> v;
    for (const Tick& t : s.ticks) v.push_back(t.*text);
    return v;
}

TEST(Scale, NumberTicksAreRoundAndCoverTheRange) {
    struct Case {
        double lo, hi;
        bool integer, snap;
        int maxTicks;
        double wantLo, wantHi;
        std::vector<double> ticks;
    };
    const Case cases[] = {
        {0.43, 0.71, false, true, 6, 0.4, 0.8, {0.4, 0.5, 0.6, 0.7, 0.8}},
        {0.43, 0.71, false, true, 8, 0.4, 0.75, {0.4, 0.45, 0.5, 0.55, 0.6, 0.65, 0.7, 0.75}},
        {0, 1003, false, true, 6, 0, 1250, {0, 250, 500, 750, 1000, 1250}},
        {0.5, 3.5, true, false, 12, 0.5, 3.5, {1, 2, 3}},  // measurement numbers
        {0.5, 40.5, true, false, 12, 0.5, 40.5, {5, 10, 15, 20, 25, 30, 35, 40}},
        {5, 5, false, true, 5, 4.5, 5.5, {4.5, 4.75, 5, 5.25, 5.5}},  // one value: widened
        {0, 0, false, true, 5, -1, 1, {-1, -0.5, 0, 0.5, 1}},
        {-37, 12, false, false, 6, -37, 12, {-30, -20, -10, 0, 10}},
    };
    for (const Case& c : cases) {
        const Scale s = NumberScale(c.lo, c.hi, c.integer, c.snap, c.maxTicks);
        EXPECT_DOUBLE_EQ(s.lo, c.wantLo) << c.lo << ".." << c.hi;
        EXPECT_DOUBLE_EQ(s.hi, c.wantHi) << c.lo << ".." << c.hi;
        const std::vector<double> got = Values(s);
        ASSERT_EQ(got.size(), c.ticks.size()) << c.lo << ".." << c.hi;
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], c.ticks[i], 1e-12);
    }
    EXPECT_EQ(Labels(NumberScale(-0.2, 0.2, false, true, 5)),
              (std::vector<QString>{QStringLiteral("−0.2"), QStringLiteral("−0.1"), "0.0", "0.1",
                                    "0.2"}));
    EXPECT_EQ(Labels(NumberScale(0, 1, false, true, 5)),
              (std::vector<QString>{"0.00", "0.25", "0.50", "0.75", "1.00"}));
}

TEST(Scale, LogTicksSpanWholeDecades) {
    const Scale s = LogScale(3, 4000);
    EXPECT_EQ(s.lo, 1);
    EXPECT_EQ(s.hi, 10000);
    EXPECT_EQ(Labels(s).front(), "1");
    EXPECT_EQ(Labels(s).size(), 13u);  // 1, 2, 5 in each of four decades, and 10000
    EXPECT_NEAR(s.Map(100, 0, 1), 0.5, 1e-12);
    EXPECT_EQ(s.Map(0, 0, 1), 0);  // no room for 0: at the bottom
    EXPECT_EQ(Labels(LogScale(0.02, 0.5)).front(), "0.01");
}

TEST(Scale, NumberTicksThinOutToFitTheirLabels) {
    const TextWidth sixPerChar = [](const QString& s) { return 6.0 * s.size(); };
    const Scale wide = NumberScaleFitting(0, 1000, false, false, 400, sixPerChar);
    const Scale narrow = NumberScaleFitting(0, 1000, false, false, 100, sixPerChar);
    EXPECT_GE(wide.ticks.size(), 6u);
    EXPECT_LE(narrow.ticks.size(), 3u);
}

double At(const char* text) {
    bool ok = false;
    return ParseLocalTime(QString::fromLatin1(text), ok);
}

TEST(Scale, TimeTicksPickCalendarStepsAndShowTheDateWhereItChanges) {
    const TextWidth sixPerChar = [](const QString& s) { return 6.0 * s.size(); };
    // Hours across midnight: the date under the first tick and under midnight only.
    const Scale night = TimeScale(At("2024-03-04T21:10"), At("2024-03-05T04:50"), 400, sixPerChar);
    EXPECT_EQ(Labels(night).front(), QStringLiteral("22:00"));
    EXPECT_EQ(Labels(night, &Tick::below).front(), QStringLiteral("2024-03-04"));
    for (const Tick& t : night.ticks)
        EXPECT_EQ(t.below.isEmpty(), t.label != "00:00" && t.value != night.ticks.front().value);
    // Weeks of daily QC points: whole days at midnight, no hours.
    const Scale month = TimeScale(At("2024-02-20T08:30"), At("2024-03-21T09:10"), 400, sixPerChar);
    for (const Tick& t : month.ticks) {
        EXPECT_EQ(std::fmod(t.value, 86400.0), 0.0) << t.label.toStdString();
        EXPECT_FALSE(t.label.contains(u':'));
    }
    // Months across a new year: the year under the first tick and under January.
    const Scale winter = TimeScale(At("2023-11-15T00:00"), At("2024-04-10T00:00"), 200, sixPerChar);
    EXPECT_EQ(Labels(winter), (std::vector<QString>{"Dec", "Jan", "Feb", "Mar", "Apr"}));
    EXPECT_EQ(Labels(winter, &Tick::below), (std::vector<QString>{"2023", "2024", "", "", ""}));
    // One instant: widened to two hours around it.
    const Scale one = TimeScale(At("2024-03-05T10:15"), At("2024-03-05T10:15"), 400, sixPerChar);
    EXPECT_DOUBLE_EQ(one.hi - one.lo, 7200);
    EXPECT_GE(one.ticks.size(), 2u);
}

}  // namespace
}  // namespace pulsedesk::plot
