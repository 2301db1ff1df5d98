// Sample results gathered from journals the report store writes: the worked example's published
// figures from the QC baselines on, the options over the marker against their formulas worked
// here, the refusals with their reasons, the CSV's keys and the page's text.
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

const char kSource[] = "QC SOURCE Sr90 A=1000 REF=2026-01-01 HALF=1000000000";

// The worked example's journal: a background baseline of 14 400 counts in 72 000 s at 250 mV
// with no extra spread, and a check source of efficiency 0.30 (300.2/s beside 0.2/s from 1000 Bq;
// 10^9 days of half-life keep it to 1e-9) whose certificate says 4 % at k = 2.
class SampleResultsTest : public reports::testing::StoreFixture {
  protected:
    void SetUp() override {
        for (int day = 1; day <= 4; ++day) Record(day, 8, "QC BACKGROUND", {{3600, 18000}});
        for (int day = 1; day <= 3; ++day) Record(day, 14, kSource, {{30020, 100}});
    }
    // The lines counted one after the other from the hour of the day (from 2026-01-01).
    int Record(int day, int hour, const std::string& marker, const std::vector<Line>& lines) {
        const auto d =
            an::CivilDate::FromDayNumber(an::CivilDate{2026, 1, 1}.DayNumber() + day - 1);
        int s = hour * 3600;
        if (!store) store = Open();
        now = {d.year, d.month, d.day, hour, 0, 0};
        store->AddRecord(marker);
        for (const Line& l : lines) {
            s += l.seconds;
            now = {d.year, d.month, d.day, s / 3600, s / 60 % 60, s % 60};
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
                       ? std::optional(config::SourceCertificate{"test", "", "", "", "4"})
                       : std::nullopt;
        };
        return SampleResults(journal, {}, options, certificate)
            .Of(r, *an::ParseSampleMarker(r.FirstLine()));
    }
    an::SampleResult One(int record, const SampleOptions& options = {}) {
        return Of(record, options).at(0).result;
    }

    std::unique_ptr<reports::ReportStore> store;
    an::Journal journal;
    int records = 0;
};

TEST_F(SampleResultsTest, TheWorkedExampleFromTheJournal) {
    const int detected = Record(5, 8, "SAMPLE S1 M=0.100 SRC=Sr90", {{1500, 3600}});
    const int small = Record(5, 10, "SAMPLE S2 M=0.100", {{760, 3600}});
    SampleOptions massU;
    massU.aliquotUPercent = 0.5;
    const SampleReport report = Of(detected, massU).at(0);
    const an::SampleResult& r = report.result;
    ASSERT_FALSE(r.refused) << *r.refused;
    const double expected[] = {33.3333, 7.22222, 0.392244, 0.418759, 0.863563, 6.45344, 7.99101};
    const std::optional<double> got[] = {
        r.w, r.activity, r.u, r.decisionThreshold, r.detectionLimit, r.lower, r.upper};
    for (int i = 0; i < 7; ++i) EXPECT_NEAR(got[i].value_or(0), expected[i], 6e-6 * expected[i]);
    EXPECT_EQ(ResultLine(r), "7.22 ± 0.78 Bq/kg (k = 2)");
    const std::string text = ResultText(report);
    for (const char* shown : {"QC BACKGROUND baseline at 250 mV: 4 points 2026-01-01 … 2026-01-04",
                              "certificate U 4 % (k = 2), test", "0.1 kg, u_rel 0.5 %"})
        EXPECT_NE(text.find(shown), std::string::npos) << shown << "\n" << text;
    // The only source charted at the threshold gives the efficiency when the marker names none.
    const an::SampleResult notDetected = One(small, massU);
    EXPECT_EQ(notDetected.source, "Sr90");
    EXPECT_NEAR(*notDetected.activity, 0.370370, 1e-6);
    EXPECT_EQ(ResultLine(notDetected), "< 0.86 Bq/kg");
}

TEST_F(SampleResultsTest, OptionsOverrideTheMarker) {
    const int sample = Record(5, 8, "SAMPLE S1 M=0.100 Y=0.9:5 SRC=Sr90", {{1500, 3600}});
    // Sampled at midnight, counted 08:00 to 09:00: f = 2^(-8 / T) (1 - e^(-lambda t)) / lambda t.
    const double lambda = std::log(2.0) / (6.01 * 3600);
    const double f = std::exp2(-8 / 6.01) * -std::expm1(-lambda * 3600) / (lambda * 3600);
    const struct {
        const char* name;
        void (*set)(SampleOptions&);
        double w, wRelativeU2, backgroundVariance;  // worked from the inputs
    } cases[] = {
        {"the marker's mass and yield", [](SampleOptions&) {}, 1 / (0.3 * 0.1 * 0.9),
         0.02 * 0.02 + 0.05 * 0.05, 0.2 / 72000},
        {"a volume, a yield without uncertainty",
         [](SampleOptions& o) { o.volumeL = 0.5, o.aliquotUPercent = 1, o.yield = 0.8; },
         1 / (0.3 * 0.5 * 0.8), 0.02 * 0.02 + 0.01 * 0.01, 0.2 / 72000},
        {"the yield's uncertainty alone", [](SampleOptions& o) { o.yieldUPercent = 3; },
         1 / (0.3 * 0.1 * 0.9), 0.02 * 0.02 + 0.03 * 0.03, 0.2 / 72000},
        {"record 1 paired: 3600 counts in 18000 s",
         [](SampleOptions& o) {
             o.background = an::RecordRef{0, 1};
         },
         1 / (0.3 * 0.1 * 0.9), 0.02 * 0.02 + 0.05 * 0.05, 0.2 / 18000},
        {"decay to the sampling time",
         [](SampleOptions& o) {
             o.sampled = an::CivilDate{2026, 1, 5}, o.halfLifeSeconds = 6.01 * 3600;
         },
         1 / (0.3 * 0.1 * 0.9 * f), 0.02 * 0.02 + 0.05 * 0.05, 0.2 / 72000},
    };
    for (const auto& c : cases) {
        SampleOptions o;
        c.set(o);
        const an::SampleResult r = One(sample, o);
        ASSERT_FALSE(r.refused) << c.name << ": " << *r.refused;
        const double y = c.w * (1500 / 3600.0 - 0.2);
        const double u = std::sqrt(c.w * c.w * (1500 / 3600.0 / 3600 + c.backgroundVariance) +
                                   y * y * c.wRelativeU2);
        EXPECT_EQ(r.unit, o.volumeL ? "Bq/L" : "Bq/kg") << c.name;
        EXPECT_NEAR(*r.activity, y, 2e-6 * y) << c.name;
        EXPECT_NEAR(*r.u, u, 2e-6 * u) << c.name;
    }
}

TEST_F(SampleResultsTest, RefusedWithTheirReasonsAndNoFigure) {
    const int good = Record(5, 8, "SAMPLE S1 M=0.1", {{1500, 3600}});
    const int elsewhere = Record(5, 10, "SAMPLE S2 M=0.1", {{1500, 3600, 400}});
    const int malformed = Record(5, 12, "SAMPLE S3 <b>x</b>", {{1500, 3600}});
    Record(6, 8, kSource, {{20020, 100}});  // 0.20 on day 6: out of service that day
    const int afterFailedCheck = Record(6, 10, "SAMPLE S4", {{1500, 3600}});
    SampleOptions massU, sampledLater, otherSource, paired;
    massU.aliquotUPercent = 1;
    sampledLater.sampled = an::CivilDate{2026, 1, 6};
    sampledLater.halfLifeSeconds = 3600;
    otherSource.source = "Cs137";
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
        {good, otherSource, "no efficiency at this threshold"},
        {good, paired, "no background at this threshold"},
    };
    for (const auto& c : cases) {
        const an::SampleResult r = One(c.record, c.options);
        ASSERT_TRUE(r.refused) << c.reason;
        EXPECT_EQ(r.refused->rfind(c.reason, 0), 0u) << *r.refused;
        EXPECT_FALSE(r.activity || r.u || r.decisionThreshold || r.detected || r.mda) << c.reason;
    }
    EXPECT_FALSE(One(good).refused) << "the check before day 5 was in control";
    for (int day = 1; day <= 3; ++day)
        Record(day, 16, "QC SOURCE Cs137 A=1000 REF=2026-01-01 HALF=1000000000", {{20020, 100}});
    EXPECT_EQ(One(good).refused.value_or(""),
              "check sources Cs137, Sr90 are charted at 250 mV: name one with --source or SRC=");
    EXPECT_FALSE(One(good, otherSource).refused);
}

// RFC 4180 cells, the fixed keys as the header; the page's text never becomes markup.
TEST_F(SampleResultsTest, CsvRowsAndThePageSection) {
    const int sample = Record(5, 8, "SAMPLE S1 M=0.100 SRC=Sr90", {{1500, 3600}, {10, 60, 400}});
    const int malformed = Record(5, 12, "SAMPLE S3 <b>x</b>", {{1500, 3600}});
    journal = an::ReadJournal(Work());
    const auto reports = SampleResults(journal, {}, {}, {}).InPeriod({});
    ASSERT_EQ(reports.size(), 3u);
    std::vector<an::SampleResult> results;
    for (const SampleReport& r : reports) results.push_back(r.result);
    const std::string csv = an::SampleResultsCsv(results);
    const std::string record = "2026:" + std::to_string(sample);
    for (const std::string& line :
         {std::string("record,sample,threshold_mv,gross_count,gross_time_s,background_rate_cps,"
                      "background_u_cps,background_time_s,background_from,efficiency,"
                      "efficiency_u_rel,source,unit,w,w_u_rel,activity,u,decision_threshold,"
                      "detection_limit,detected,lower,upper,best_estimate,best_estimate_u,"
                      "currie_lc,currie_ld,mda,alpha,beta,gamma,refused\r\n"),
          record + ",S1,250,1500,3600,0.2,",
          record + ",S1,400,10,60,,,,,,,Sr90,Bq/kg" + std::string(15, ',') +
              "0.05,0.05,0.05,no background at this threshold\r\n",
          std::string(",\"SAMPLE marker: unknown word \"\"<b>x</b>\"\" (M=, V=, Y=, SRC=)\"\r\n")})
        EXPECT_NE(csv.find(line), std::string::npos) << line << "\n" << csv;
    const std::size_t at = csv.find(record + ",S1,250");
    const std::string detected = csv.substr(at, csv.find('\n', at) - at);
    EXPECT_NE(detected.find(",Bq/kg,33.33333"), std::string::npos) << detected;
    EXPECT_NE(detected.find(",true,"), std::string::npos) << detected;

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
          "2026-01-05T08:30", "--half-life", "2.6 d"},
         ""},
        {{"html", "--out", "d", "--results-only"}, ""},
        {{"result"}, "--record [YYYY:]N is needed"},
        {{"result", "--record", "1", "--mass", "1", "--volume", "1"}, "--mass or --volume"},
        {{"result", "--record", "1", "--yield", "1.2"}, "out of range"},
        {{"result", "--record", "1", "--alpha", "0.5"}, "a probability above 0 and below 0.5"},
        {{"result", "--record", "1", "--background", "paired"}, "want baseline or [YYYY:]M"},
        {{"result", "--record", "1", "--source", "<b>"}, "--source <b>"},
        {{"result", "--record", "1", "--sampled", "2026-01-05"}, "go together"},
        {{"result", "--record", "1", "--half-life", "30", "y", "--sampled", "2026-01-05"},
         "unknown half-life unit \"y\""},
        {{"result", "--record", "1", "--sample-time", "0:10:00"}, "unknown option --sample-time"},
        {{"results", "--record", "1"}, "unknown option --record"},
        {{"qc", "background", "--mass", "1"}, "unknown option --mass"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"report"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        try {
            EXPECT_EQ(ctl::ParseCommandLine(args).journal.action, c.args[0]);
            EXPECT_EQ(c.message, "") << "accepted: " << args[2];
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
