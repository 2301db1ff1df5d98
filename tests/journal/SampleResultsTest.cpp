// Sample results gathered from journals the report store writes: the worked example's published
// figures through the whole path from the QC baselines, the options over the marker against
// their formulas worked here, every refusal with its reason, the CSV's keys and the page's text.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "analysis/Export.h"
#include "ctl/CommandLine.h"
#include "journal/ResultsPage.h"
#include "journal/SampleResults.h"
#include "reports/StoreFixture.h"

namespace pulsedesk::journal {
namespace {

namespace an = pulsedesk::analysis;

struct Line {
    std::uint32_t count;
    int seconds;
    std::int32_t thresholdMv = 250;
};

// The worked example's journal: a background baseline of 14 400 counts in 72 000 s at 250 mV
// with no extra spread, a check source of efficiency 0.30 whose certificate says 4 % at k = 2
// (2 %), and the samples from day 5 on, each counted from 08:00.
class SampleResultsTest : public reports::testing::StoreFixture {
  protected:
    void SetUp() override {
        for (int day = 1; day <= 4; ++day) Record(day, 8, "QC BACKGROUND", {{3600, 18000}});
        // 300.2/s counted 100 s beside 0.2/s: 0.30 of 1000 Bq, which a half-life of 10^9 days
        // keeps to within 1e-9.
        for (int day = 1; day <= 3; ++day) Record(day, 14, kSource, {{30020, 100}});
    }
    // Counted one line after the other from the hour of the day (from 2026-01-01).
    int Record(int day, int hour, const std::string& marker, const std::vector<Line>& lines) {
        const an::CivilDate d =
            an::CivilDate::FromDayNumber(an::CivilDate{2026, 1, 1}.DayNumber() + day - 1);
        int seconds = hour * 3600;
        now = {d.year, d.month, d.day, hour, 0, 0};
        if (!store) store = Open();
        store->AddRecord(marker);
        for (const Line& l : lines) {
            seconds += l.seconds;
            now.hour = seconds / 3600;
            now.minute = seconds / 60 % 60;
            now.second = seconds % 60;
            store->AddMeasurement(l.thresholdMv, l.count,
                                  {static_cast<std::uint8_t>(l.seconds / 3600),
                                   static_cast<std::uint8_t>(l.seconds / 60 % 60),
                                   static_cast<std::uint8_t>(l.seconds % 60), 0});
        }
        return ++records;
    }
    std::vector<SampleReport> Of(int record, const SampleOptions& options = {}) {
        journal = an::ReadJournal(Work());
        const an::JournalRecord& r = *journal.Find({2026, static_cast<std::uint32_t>(record)});
        const auto certificate = [](const std::string& name) {
            return name == "Sr90"
                       ? std::optional(config::SourceCertificate{"test", "", "", "", "4", "2"})
                       : std::nullopt;
        };
        return SampleResults(journal, {}, options, certificate)
            .Of(r, *an::ParseSampleMarker(r.FirstLine()));
    }
    an::SampleResult One(int record, const SampleOptions& options = {}) {
        const auto reports = Of(record, options);
        EXPECT_EQ(reports.size(), 1u);
        return reports.at(0).result;
    }

    static constexpr const char* kSource = "QC SOURCE Sr90 A=1000 REF=2026-01-01 HALF=1000000000";
    std::unique_ptr<reports::ReportStore> store;
    an::Journal journal;
    int records = 0;
};

void ExpectNear(double actual, double expected, const char* what) {
    EXPECT_NEAR(actual, expected, 2e-6 * std::abs(expected)) << what;
}

TEST_F(SampleResultsTest, TheWorkedExampleFromTheJournal) {
    const int detected = Record(5, 8, "SAMPLE S1 M=0.100 SRC=Sr90", {{1500, 3600}});
    const int small = Record(5, 10, "SAMPLE S2 M=0.100", {{760, 3600}});
    SampleOptions massU;
    massU.aliquotUPercent = 0.5;
    const auto reports = Of(detected, massU);
    ASSERT_EQ(reports.size(), 1u);
    const an::SampleResult& r = reports[0].result;
    ASSERT_FALSE(r.refused) << *r.refused;
    EXPECT_EQ(r.backgroundFrom, "baseline");
    EXPECT_EQ(r.source, "Sr90");
    EXPECT_EQ(r.unit, "Bq/kg");
    const std::pair<std::optional<double>, double> figures[] = {{r.w, 33.3333},
                                                                {r.activity, 7.22222},
                                                                {r.u, 0.392244},
                                                                {r.decisionThreshold, 0.418759},
                                                                {r.detectionLimit, 0.863563},
                                                                {r.lower, 6.45344},
                                                                {r.upper, 7.99101}};
    for (const auto& [figure, expected] : figures) {
        ASSERT_TRUE(figure) << expected;
        EXPECT_NEAR(*figure, expected, 6e-6 * expected);
    }
    EXPECT_EQ(ResultLine(r), "7.22 ± 0.78 Bq/kg (k = 2)");
    const std::string text = ResultText(reports[0]);
    for (const char* shown : {"QC BACKGROUND baseline at 250 mV: 4 points 2026-01-01 … 2026-01-04",
                              "certificate U 4 % (k = 2), test", "last check 2026-01-03",
                              "6.45344 … 7.99101 Bq/kg (γ = 0.05)", "0.1 kg, u_rel 0.5 %"})
        EXPECT_NE(text.find(shown), std::string::npos) << shown << "\n" << text;

    // The only source charted at the threshold gives the efficiency when the marker names none.
    const an::SampleResult notDetected = One(small, massU);
    EXPECT_EQ(notDetected.source, "Sr90");
    ExpectNear(*notDetected.activity, 0.370370, "y");
    EXPECT_FALSE(*notDetected.detected);
    EXPECT_EQ(ResultLine(notDetected), "< 0.86 Bq/kg");
}

// y and u(y) worked from the model for the cases the options make.
struct Expected {
    double grossRate, grossSeconds, backgroundRate, backgroundVariance, w, wRelativeU2;
    double Y() const { return w * (grossRate - backgroundRate); }
    double U() const {
        return std::sqrt(w * w * (grossRate / grossSeconds + backgroundVariance) +
                         Y() * Y() * wRelativeU2);
    }
};

TEST_F(SampleResultsTest, OptionsOverrideTheMarker) {
    const int sample = Record(5, 8, "SAMPLE S1 M=0.100 Y=0.9:5 SRC=Sr90", {{1500, 3600}});
    const double rate = 1500 / 3600.0;
    const double eps2 = 0.02 * 0.02;
    struct Case {
        const char* name;
        std::function<void(SampleOptions&)> set;
        const char* unit;
        Expected expected;
    };
    const double baselineVariance = 0.2 / 72000;
    const Case cases[] = {
        {"the marker's mass and yield",
         [](SampleOptions&) {},
         "Bq/kg",
         {rate, 3600, 0.2, baselineVariance, 1 / (0.3 * 0.1 * 0.9), eps2 + 0.05 * 0.05}},
        {"a volume and a yield without uncertainty",
         [](SampleOptions& o) {
             o.volumeL = 0.5;
             o.aliquotUPercent = 1;
             o.yield = 0.8;
         },
         "Bq/L",
         {rate, 3600, 0.2, baselineVariance, 1 / (0.3 * 0.5 * 0.8), eps2 + 0.01 * 0.01}},
        {"the yield's uncertainty alone",
         [](SampleOptions& o) { o.yieldUPercent = 3; },
         "Bq/kg",
         {rate, 3600, 0.2, baselineVariance, 1 / (0.3 * 0.1 * 0.9), eps2 + 0.03 * 0.03}},
        {"a paired background: record 1, 3600 counts in 18000 s",
         [](SampleOptions& o) {
             o.background = an::RecordRef{0, 1};
         },
         "Bq/kg",
         {rate, 3600, 0.2, 0.2 / 18000, 1 / (0.3 * 0.1 * 0.9), eps2 + 0.05 * 0.05}},
    };
    for (const Case& c : cases) {
        SampleOptions o;
        c.set(o);
        const an::SampleResult r = One(sample, o);
        ASSERT_FALSE(r.refused) << c.name << ": " << *r.refused;
        EXPECT_EQ(r.unit, c.unit) << c.name;
        ExpectNear(*r.w, c.expected.w, c.name);
        ExpectNear(*r.activity, c.expected.Y(), c.name);
        ExpectNear(*r.u, c.expected.U(), c.name);
    }

    // Sampled at midnight, counted 08:00 to 09:00: f = 2^(-8 / T) (1 - e^(-lambda t)) / lambda t.
    SampleOptions decay;
    decay.sampled = an::CivilDate{2026, 1, 5};
    decay.halfLifeSeconds = 6.01 * 3600;
    decay.halfLife = "6.01 h";
    const double lambda = std::log(2.0) / decay.halfLifeSeconds;
    const double f = std::exp2(-8 / 6.01) * (1 - std::exp(-lambda * 3600)) / (lambda * 3600);
    const auto decayed = Of(sample, decay);
    ExpectNear(*decayed.at(0).result.activity, cases[0].expected.Y() / f, "decay");
    EXPECT_NE(decayed[0].decayNote.find("2026-01-05T00:00, half-life 6.01 h"), std::string::npos)
        << decayed[0].decayNote;
}

TEST_F(SampleResultsTest, RefusedWithTheirReasonsAndNoFigure) {
    const int good = Record(5, 8, "SAMPLE S1 M=0.1", {{1500, 3600}});
    const int elsewhere = Record(5, 10, "SAMPLE S2 M=0.1", {{1500, 3600, 400}});
    const int malformed = Record(5, 12, "SAMPLE S3 <b>x</b>", {{1500, 3600}});
    // An efficiency of 0.20 on day 6: far beyond the action limits, out of service that day.
    Record(6, 8, kSource, {{20020, 100}});
    const int afterFailedCheck = Record(6, 10, "SAMPLE S4", {{1500, 3600}});
    SampleOptions massU, sampledLater, secondSource, paired;
    massU.aliquotUPercent = 1;
    sampledLater.sampled = an::CivilDate{2026, 1, 6};
    sampledLater.halfLifeSeconds = 3600;
    secondSource.source = "Cs137";
    paired.background = an::RecordRef{0, static_cast<std::uint32_t>(elsewhere)};
    const struct {
        int record;
        SampleOptions options;
        const char* reason;
    } cases[] = {
        {elsewhere, {}, "no background at this threshold"},
        {malformed, {}, "SAMPLE marker: unknown word \"<b>x</b>\""},
        {afterFailedCheck, {}, "the check source Sr90 at 250 mV is out of service on 2026-01-06"},
        {afterFailedCheck, massU, "--mass-u without a mass or volume"},
        {good, sampledLater, "the decay to the sampling time 2026-01-06T00:00: the count starts"},
        {good, secondSource, "no efficiency at this threshold"},
        {good, paired, "no background at this threshold"},
    };
    for (const auto& c : cases) {
        const an::SampleResult r = One(c.record, c.options);
        ASSERT_TRUE(r.refused) << c.reason;
        EXPECT_EQ(r.refused->rfind(c.reason, 0), 0u) << *r.refused;
        EXPECT_FALSE(r.activity || r.u || r.decisionThreshold || r.detected || r.mda) << c.reason;
    }
    EXPECT_FALSE(One(good).refused) << "the check before day 5 was in control";

    // Two sources charted at the threshold: the sample must name its own.
    for (int day = 1; day <= 3; ++day)
        Record(day, 16, "QC SOURCE Cs137 A=1000 REF=2026-01-01 HALF=1000000000", {{20020, 100}});
    const an::SampleResult unnamed = One(good);
    ASSERT_TRUE(unnamed.refused);
    EXPECT_EQ(*unnamed.refused,
              "check sources Cs137, Sr90 are charted at 250 mV: name one with --source or SRC=");
    EXPECT_FALSE(One(good, secondSource).refused);
}

// The CSV's header is the fixed key list; an absent figure is an empty cell; the page's text
// never becomes markup.
TEST_F(SampleResultsTest, CsvRowsAndThePageSection) {
    const int sample = Record(5, 8, "SAMPLE S1 M=0.100 SRC=Sr90", {{1500, 3600}, {10, 60, 400}});
    const int malformed = Record(5, 12, "SAMPLE S3 <b>x</b>", {{1500, 3600}});
    journal = an::ReadJournal(Work());
    const auto reports = SampleResults(journal, {}, {}, {}).InPeriod({});
    ASSERT_EQ(reports.size(), 3u);
    std::vector<an::SampleResult> results;
    for (const SampleReport& r : reports) results.push_back(r.result);
    std::istringstream csv(an::SampleResultsCsv(results));
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(csv, line);) {
        ASSERT_EQ(line.back(), '\r') << "RFC 4180 lines end in CR LF";
        rows.emplace_back(1);
        for (char c : line.substr(0, line.size() - 1)) {
            if (c == ',')
                rows.back().emplace_back();
            else
                rows.back().back() += c;
        }
    }
    ASSERT_EQ(rows.size(), 4u);
    const std::vector<std::string> keys{"record",
                                        "sample",
                                        "threshold_mv",
                                        "gross_count",
                                        "gross_time_s",
                                        "background_rate_cps",
                                        "background_u_cps",
                                        "background_time_s",
                                        "background_from",
                                        "efficiency",
                                        "efficiency_u_rel",
                                        "source",
                                        "unit",
                                        "w",
                                        "w_u_rel",
                                        "activity",
                                        "u",
                                        "decision_threshold",
                                        "detection_limit",
                                        "detected",
                                        "lower",
                                        "upper",
                                        "best_estimate",
                                        "best_estimate_u",
                                        "currie_lc",
                                        "currie_ld",
                                        "mda",
                                        "alpha",
                                        "beta",
                                        "gamma",
                                        "refused"};
    EXPECT_EQ(rows[0], keys);
    const auto cell = [&](std::size_t row, const std::string& key) {
        return rows[row].at(std::find(keys.begin(), keys.end(), key) - keys.begin());
    };
    const std::string record = "2026:" + std::to_string(sample);
    EXPECT_EQ(cell(1, "record"), record);
    EXPECT_EQ(cell(1, "threshold_mv"), "250");
    EXPECT_EQ(cell(1, "gross_count"), "1500");
    EXPECT_EQ(cell(1, "background_rate_cps"), "0.2");
    EXPECT_EQ(cell(1, "detected"), "true");
    EXPECT_NEAR(std::stod(cell(1, "w")), 1 / (0.3 * 0.1), 1e-6);
    EXPECT_EQ(cell(1, "refused"), "");
    // No baseline at 400 mV: every figure an empty cell, the reason in the last.
    for (const char* key :
         {"background_rate_cps", "efficiency", "w", "activity", "detected", "lower", "mda"})
        EXPECT_EQ(cell(2, key), "") << key;
    EXPECT_EQ(cell(2, "refused"), "no background at this threshold");
    for (std::size_t row = 0; row < 3; ++row) EXPECT_EQ(rows[row].size(), keys.size());
    // A reason with commas and quotes is one quoted cell.
    const std::string csvText = an::SampleResultsCsv(results);
    EXPECT_NE(
        csvText.find(",\"SAMPLE marker: unknown word \"\"<b>x</b>\"\" (M=, V=, Y=, SRC=)\"\r\n"),
        std::string::npos)
        << csvText;
    EXPECT_EQ(cell(2, "alpha"), "0.05");

    HtmlPage page("results");
    SampleResultsSection(page, reports);
    const std::string html = page.Text();
    EXPECT_EQ(html.find("<b>"), std::string::npos);
    EXPECT_NE(html.find("unknown word &quot;&lt;b&gt;x&lt;/b&gt;&quot;"), std::string::npos);
    EXPECT_NE(html.find("Sample S1 · record " + record + " · 250 mV"), std::string::npos);
    EXPECT_NE(html.find("<td>(no id), record 2026:" + std::to_string(malformed)), std::string::npos)
        << "each result with its inputs";
}

// Every option of result and results where it belongs; nothing read before the line is sound.
TEST(SampleResultCommandLine, RefusesWhatCannotBeComputed) {
    const struct {
        std::vector<std::string> args;
        std::string message;  // empty: accepted
    } cases[] = {
        {{"result", "--record",     "2026:7", "--mass",    "0.1",        "--mass-u",
          "0.5",    "--yield",      "0.8",    "--yield-u", "3",          "--alpha",
          "0.01",   "--beta",       "0.1",    "--gamma",   "0.1",        "--source",
          "Sr90",   "--background", "12",     "--json",    "--baseline", "10"},
         ""},
        {{"results", "--from", "2026-01", "--format", "json", "--volume", "0.25", "--sampled",
          "2026-01-05T08:30", "--half-life", "30.08", "a"},
         ""},
        {{"results", "--background", "baseline", "--half-life", "2.6 d", "--sampled", "2026-01-05"},
         ""},
        {{"html", "--out", "d", "--results-only"}, ""},
        {{"result"}, "--record [YYYY:]N is needed"},
        {{"result", "--record", "1", "--mass", "1", "--volume", "1"}, "--mass or --volume"},
        {{"result", "--record", "1", "--mass", "0"}, "out of range"},
        {{"result", "--record", "1", "--yield", "1.2"}, "out of range"},
        {{"result", "--record", "1", "--alpha", "0.5"}, "a probability above 0 and below 0.5"},
        {{"result", "--record", "1", "--gamma", "0"}, "a probability above 0 and below 1"},
        {{"result", "--record", "1", "--background", "paired"}, "want baseline or [YYYY:]M"},
        {{"result", "--record", "1", "--source", "<b>"}, "--source <b>"},
        {{"result", "--record", "1", "--sampled", "2026-01-05"}, "go together"},
        {{"result", "--record", "1", "--half-life", "30", "y", "--sampled", "2026-01-05"},
         "unknown half-life unit \"y\""},
        {{"result", "--record", "1", "--sampled", "2026-02-30", "--half-life", "1 d"},
         "want YYYY-MM-DD"},
        {{"result", "--record", "1", "--format", "csv"}, "unknown option --format"},
        {{"result", "--record", "1", "--sample-time", "0:10:00"}, "unknown option --sample-time"},
        {{"results", "--record", "1"}, "unknown option --record"},
        {{"results", "--json", "--format", "csv"}, "--json and --format csv"},
        {{"qc", "background", "--mass", "1"}, "unknown option --mass"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"report"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        try {
            const ctl::Invocation inv = ctl::ParseCommandLine(args);
            EXPECT_EQ(c.message, "") << "accepted: " << args[2];
            EXPECT_EQ(inv.journal.action, c.args[0]);
        } catch (const UsageError& e) {
            EXPECT_NE(c.message, "") << e.what();
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
    const SampleOptions s =
        ctl::ParseCommandLine({"report", "results", "--half-life", "30.08", "a", "--sampled",
                               "2026-01-05T08:30", "--background", "2025:12"})
            .journal.sample;
    EXPECT_DOUBLE_EQ(s.halfLifeSeconds, 30.08 * 365.25 * 86400);
    EXPECT_EQ(s.sampledMinute, 8 * 60 + 30);
    EXPECT_EQ(s.background->year, 2025);
}

}  // namespace
}  // namespace pulsedesk::journal
