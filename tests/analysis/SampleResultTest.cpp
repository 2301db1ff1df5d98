// Sample results against their formulas worked out here by other routes (y# as a quadratic's
// root, quantiles by bisection on erfc), the worked example's figures and seeded blanks; the
// SAMPLE marker, half-lives and decay factors.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>
#include <numbers>
#include <random>
#include <sstream>

#include "analysis/Decay.h"
#include "analysis/Json.h"
#include "analysis/SampleMarker.h"
#include "analysis/SampleResult.h"

namespace pulsedesk::analysis {
namespace {

// Upper quantiles of the standard normal distribution, from tables.
constexpr double kUpper005 = 1.6448536269514722;
constexpr double kUpper001 = 2.3263478740408408;

double Phi(double x) { return 0.5 * std::erfc(-x / std::sqrt(2.0)); }
double PhiInverse(double p) {
    double low = -40, high = 40;
    for (int i = 0; i < 200; ++i) (Phi((low + high) / 2) < p ? low : high) = (low + high) / 2;
    return (low + high) / 2;
}
double K(double tail) { return tail == 0.05 ? kUpper005 : kUpper001; }

struct Case {
    const char* name;
    std::uint32_t grossCount;
    double grossSeconds;
    std::uint64_t backgroundCounts;    // a baseline's pooled counts, or one paired record's
    double backgroundSeconds, sigmaX;  // sigma_x: the baseline's extra spread, cps
    bool paired;
    double eps, epsSd, certificateU;  // a 9-point source baseline; U in percent at k = 2
    std::optional<Aliquot> aliquot;
    double yield, yieldU;
    double halfLifeH;  // 0: no decay correction; else sampled 2 h before the count
    double alpha, beta;
};

constexpr Aliquot kMass{Aliquot::Kind::Mass, 0.100, 0.005};

const Case kCases[] = {
    {"worked example", 1500, 3600, 14400, 72000, 0, false, 0.30, 0, 4, kMass, 1, 0, 0, .05, .05},
    {"N_g = 760", 760, 3600, 14400, 72000, 0, false, 0.30, 0, 4, kMass, 1, 0, 0, .05, .05},
    {"sigma_x", 1500, 3600, 14400, 72000, 0.01, false, 0.30, 0.009, 3, kMass, 1, 0, 0, .05, .05},
    {"no detection limit", 760, 3600, 14400, 72000, 0, false, 0.30, 0, 124, kMass, 1, 0, 0, .05,
     .05},
    {"paired", 1500, 3600, 760, 3600, 0, true, 0.30, 0.009, 4, kMass, 1, 0, 0, .05, .05},
    {"volume", 1500, 3600, 14400, 72000, 0, false, 0.30, 0, 4,
     Aliquot{Aliquot::Kind::Volume, 0.5, 0.01}, 1, 0, 0, .05, .05},
    {"yield", 1500, 3600, 14400, 72000, 0, false, 0.30, 0, 4, kMass, 0.8, 0.03, 0, .05, .05},
    {"decay", 1500, 3600, 14400, 72000, 0, false, 0.30, 0, 4, kMass, 1, 0, 6.01, .05, .05},
    {"just detected, in Bq", 800, 3600, 14400, 72000, 0, false, 0.30, 0, 4, std::nullopt, 1, 0, 0,
     .05, .05},
    {"no background count", 5, 3600, 0, 72000, 0, false, 0.30, 0, 4, kMass, 1, 0, 0, .05, .05},
    {"alpha 0.01", 800, 3600, 14400, 72000, 0, false, 0.30, 0, 4, kMass, 1, 0, 0, .01, .05},
};

double DecayOf(const Case& c) {
    if (c.halfLifeH == 0) return 1;
    const double lambda = std::log(2.0) / (c.halfLifeH * 3600);
    return std::pow(2.0, -2 / c.halfLifeH) * (1 - std::exp(-lambda * c.grossSeconds)) /
           (lambda * c.grossSeconds);
}

SampleInputs InputsOf(const Case& c) {
    SampleInputs in;
    in.sample = c.name;
    in.gross = {{c.grossCount / 2, c.grossSeconds / 2},
                {c.grossCount - c.grossCount / 2, c.grossSeconds / 2}};
    in.background =
        c.paired ? PairedBackground(
                       {{static_cast<std::uint32_t>(c.backgroundCounts), c.backgroundSeconds}})
                 : BaselineBackground(c.backgroundCounts, c.backgroundSeconds, c.sigmaX);
    in.efficiency = BaselineEfficiency(c.eps, c.epsSd, 9, c.certificateU, 2);
    in.aliquot = c.aliquot;
    in.yield = c.yield;
    in.yieldRelativeU = c.yieldU;
    if (c.halfLifeH > 0)
        in.decayFactor = DecayFactor({{7200, c.grossSeconds}}, c.halfLifeH * 3600).value;
    in.alpha = c.alpha;
    in.beta = c.beta;
    return in;
}

// Every figure from the formulas, worked out here.
struct Worked {
    double w, wU, y, u, decision;
    std::optional<double> detection;
    double lower, upper, best, bestU, lc, ld, mda;
};

Worked Work(const Case& c) {
    const double kA = K(c.alpha), kB = K(c.beta), gamma = 0.05;
    const double r0 = c.backgroundCounts / c.backgroundSeconds;
    const double v0 = r0 / c.backgroundSeconds + c.sigmaX * c.sigmaX;
    const double m = c.aliquot ? c.aliquot->value : 1;
    const double mU = c.aliquot ? c.aliquot->relativeU : 0;
    const double epsU2 = std::pow(c.epsSd / 3 / c.eps, 2) + std::pow(c.certificateU / 200, 2);
    Worked e{};
    e.w = 1 / (c.eps * m * c.yield * DecayOf(c));
    const double wU2 = epsU2 + mU * mU + c.yieldU * c.yieldU;
    e.wU = std::sqrt(wU2);
    const double tg = c.grossSeconds, rg = c.grossCount / tg;
    e.y = e.w * (rg - r0);
    e.u = std::sqrt(e.w * e.w * (rg / tg + v0) + e.y * e.y * wU2);
    // u~^2(y) = A + B y + C y^2
    const double A = e.w * e.w * (r0 / tg + v0), B = e.w / tg, C = wU2;
    e.decision = kA * std::sqrt(A);
    // (y# - y*)^2 = kB^2 (A + B y# + C y#^2): the larger root of a y^2 + b y + c = 0.
    const double a = 1 - kB * kB * C, b = -(2 * e.decision + kB * kB * B),
                 c0 = e.decision * e.decision - kB * kB * A;
    if (a > 0) e.detection = (-b + std::sqrt(b * b - 4 * a * c0)) / (2 * a);
    const double omega = Phi(e.y / e.u);
    e.lower = e.y - PhiInverse(omega * (1 - gamma / 2)) * e.u;
    e.upper = e.y + PhiInverse(1 - omega * gamma / 2) * e.u;
    e.best = e.y + e.u * std::exp(-e.y * e.y / (2 * e.u * e.u)) /
                       (omega * std::sqrt(2 * std::numbers::pi));
    e.bestU = std::sqrt(e.u * e.u - (e.best - e.y) * e.best);
    const double variance0 = r0 * tg * (1 + tg / c.backgroundSeconds);
    e.lc = kA * std::sqrt(variance0);
    e.ld = kA * kA + 2 * e.lc;
    // Other risks: L_D = L_C + k_b sqrt(L_D + B (1 + t_g / t_0)) by iteration.
    for (int i = 0; c.alpha != c.beta && i < 100; ++i)
        e.ld = e.lc + kB * std::sqrt(e.ld + variance0);
    e.mda = e.ld * e.w / tg;
    return e;
}

// Every number of the result, through its JSON, finite.
void ExpectFinite(const SampleResult& r) {
    const Json json = r;
    for (const auto& [key, value] : json.items())
        EXPECT_TRUE(!value.is_number() || std::isfinite(value.get<double>())) << key;
}

TEST(SampleResultTest, EveryFigureAsItsFormulaGivesIt) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const SampleResult r = ComputeSampleResult(InputsOf(c));
        const Worked e = Work(c);
        ASSERT_FALSE(r.refused) << *r.refused;
        ExpectFinite(r);
        EXPECT_EQ(r.unit, !c.aliquot                               ? "Bq"
                          : c.aliquot->kind == Aliquot::Kind::Mass ? "Bq/kg"
                                                                   : "Bq/L");
        EXPECT_EQ(r.grossCount, c.grossCount);
        const bool detected = e.y > e.decision;
        EXPECT_EQ(r.detected, detected);
        EXPECT_EQ(r.detectionLimit.has_value(), e.detection.has_value());
        EXPECT_EQ(r.lower.has_value() && r.upper && r.bestEstimate && r.bestEstimateU, detected);
        using Figure = std::pair<std::optional<double>, std::optional<double>>;
        for (const auto& [got, want] :
             {Figure{r.w, e.w}, Figure{r.wRelativeU, e.wU}, Figure{r.activity, e.y},
              Figure{r.u, e.u}, Figure{r.decisionThreshold, e.decision},
              Figure{r.detectionLimit, e.detection}, Figure{r.lower, e.lower},
              Figure{r.upper, e.upper}, Figure{r.bestEstimate, e.best},
              Figure{r.bestEstimateU, e.bestU}, Figure{r.currieLc, e.lc}, Figure{r.currieLd, e.ld},
              Figure{r.mda, e.mda}}) {
            if (!got || !want) continue;  // presence checked above
            EXPECT_NEAR(*got, *want, 1e-8 * std::max(1.0, std::abs(*want)));
        }
    }
}

TEST(SampleResultTest, TheWorkedExampleFigures) {
    struct Row {
        std::uint32_t gross;
        double y;
        bool detected;
    };
    for (const Row& row :
         {Row{1500, 7.22222, true}, Row{760, 0.370370, false}, Row{700, -0.185185, false}}) {
        Case c = kCases[0];
        c.grossCount = row.gross;
        const SampleResult r = ComputeSampleResult(InputsOf(c));
        EXPECT_EQ(r.detected, row.detected);
        std::vector<std::pair<std::optional<double>, double>> quoted{
            {r.w, 33.3333},
            {r.activity, row.y},
            {r.decisionThreshold, 0.418759},
            {r.detectionLimit, 0.863563}};
        if (row.detected)
            quoted.insert(quoted.end(), {{r.u, 0.392244}, {r.lower, 6.45344}, {r.upper, 7.99101}});
        for (const auto& [got, figure] : quoted) {
            ASSERT_TRUE(got) << figure;
            EXPECT_NEAR(*got, figure, 6e-6 * std::abs(figure));
        }
    }
}

TEST(SampleResultTest, RefusedWithAReasonAndNoFigure) {
    struct Row {
        const char* reason;
        void (*spoil)(SampleInputs&);
    };
    const Row rows[] = {
        {"no background", [](SampleInputs& in) { in.background.reset(); }},
        {"no efficiency", [](SampleInputs& in) { in.efficiency.reset(); }},
        {"a count time of zero",
         [](SampleInputs& in) { in.gross[0].seconds = in.gross[1].seconds = 0; }},
        {"16777215", [](SampleInputs& in) { in.gross[1].count = kSaturatedCount; }},
        {"saturated", [](SampleInputs& in) { in.background->saturated = true; }},
        {"outside (0, 1]", [](SampleInputs& in) { in.efficiency->value = 1.2; }},
        {"outside (0, 1]", [](SampleInputs& in) { in.yield = 85; }},
        {"not a finite number", [](SampleInputs& in) { in.efficiency->value = NAN; }},
        {"not a finite number", [](SampleInputs& in) { in.gross[0].seconds = INFINITY; }},
        {"not a finite number", [](SampleInputs& in) { in.decayFactor = INFINITY; }},
        {"above zero", [](SampleInputs& in) { in.aliquot->value = 0; }},
        {"negative", [](SampleInputs& in) { in.background->rate = -1; }},
        {"alpha and beta", [](SampleInputs& in) { in.beta = 0.7; }},
        {"out of service", [](SampleInputs& in) { in.refused = "Sr90 out of service"; }},
        // 100 counts in an hour beside 0.2/s: z = (100/3600 - 0.2) / sqrt(100/3600^2 + 0.2/72000)
        // = -12.7, beyond what a sample can do to the background.
        {"implausible", [](SampleInputs& in) { in.gross[0].count = in.gross[1].count = 50; }},
        // Finite inputs whose rate overflows.
        {"not a finite number",
         [](SampleInputs& in) { in.gross[0].seconds = in.gross[1].seconds = 1e-320; }},
    };
    for (const Row& row : rows) {
        SampleInputs in = InputsOf(kCases[0]);
        row.spoil(in);
        const SampleResult r = ComputeSampleResult(in);
        ASSERT_TRUE(r.refused) << row.reason;
        EXPECT_NE(r.refused->find(row.reason), std::string::npos) << *r.refused;
        EXPECT_FALSE(r.w || r.activity || r.u || r.decisionThreshold || r.detectionLimit ||
                     r.detected || r.lower || r.currieLc || r.mda)
            << row.reason;
        ExpectFinite(r);
    }
    EXPECT_FALSE(BaselineBackground(10, 0, 0));
    EXPECT_FALSE(PairedBackground({}));
    EXPECT_FALSE(BaselineEfficiency(0.3, 0.01, 0, 3, 2));
}

TEST(SampleResultTest, JsonHasEveryKeyAndNullForWhatIsAbsent) {
    const Json result = ComputeSampleResult(InputsOf(kCases[1]));
    std::istringstream keys(
        "record sample threshold_mv gross_count gross_time_s background_rate_cps background_u_cps "
        "background_time_s background_from efficiency efficiency_u_rel source unit w w_u_rel "
        "activity u decision_threshold detection_limit detected lower upper best_estimate "
        "best_estimate_u currie_lc currie_ld mda alpha beta gamma refused");
    auto at = result.begin();
    for (std::string key; keys >> key; ++at) ASSERT_EQ(at.key(), key);
    EXPECT_EQ(at, result.end());
    EXPECT_EQ(result["detected"], false);
    EXPECT_TRUE(result["lower"].is_null() && result["refused"].is_null());
    SampleInputs none = InputsOf(kCases[0]);
    none.efficiency.reset();
    const Json refused = ComputeSampleResult(none);
    EXPECT_TRUE(refused["activity"].is_null() && refused["detected"].is_null());
    EXPECT_EQ(refused["refused"], "no efficiency at this threshold");
}

// Blanks: both the baseline and the sample count the background alone; with k = 1.645 about
// 5 % are judged detected.
TEST(SampleResultTest, SeededBlanksAreNotDetectedNineteenTimesInTwenty) {
    std::mt19937 random(20260428);
    std::poisson_distribution<std::uint32_t> baseline(0.2 * 72000), blank(0.2 * 3600);
    int notDetected = 0;
    for (int i = 0; i < 200; ++i) {
        SampleInputs in = InputsOf(kCases[0]);
        in.background = BaselineBackground(baseline(random), 72000, 0);
        in.gross = {{blank(random), 3600}};
        notDetected += !ComputeSampleResult(in).detected.value();
    }
    EXPECT_GE(notDetected, 180);
    EXPECT_LE(notDetected, 198);
}

TEST(SampleMarkerTest, MarkersAndTheirReasons) {
    const auto sample = ParseSampleMarker("SAMPLE W-12 Y=0.85:3 SRC=Sr90 M=0.25");
    ASSERT_TRUE(sample && sample->value);
    EXPECT_EQ(*sample->value, (SampleMarker{"W-12", 0.25, std::nullopt, 0.85, 0.03, "Sr90"}));
    EXPECT_EQ(*ParseSampleMarker("SAMPLE 7 V=1.5")->value,
              (SampleMarker{"7", {}, 1.5, {}, {}, ""}));
    for (const char* line : {"QC BACKGROUND", "SAMPLES 3", "sample 3", ""})
        EXPECT_FALSE(ParseSampleMarker(line)) << line;
    const std::string longest = "SAMPLE " + std::string(61, 'x');
    EXPECT_TRUE(ParseSampleMarker(longest)->value);
    using Bad = std::pair<std::string, const char*>;
    for (const auto& [line, reason] :
         {Bad{"SAMPLE", "no sample id"}, Bad{"SAMPLE M=0.1", "no sample id"},
          Bad{"SAMPLE a M=0.1 V=1", "at most one of M= and V="},
          Bad{"SAMPLE a M=0.1 M=0.2", "at most one of M= and V="}, Bad{"SAMPLE a M=-1", "mass M"},
          Bad{"SAMPLE a V=x", "volume V"}, Bad{"SAMPLE a Y=1.2", "yield Y"},
          Bad{"SAMPLE a Y=0.9:", "uncertainty"}, Bad{"SAMPLE a Y=0.9 Y=0.8", "twice"},
          Bad{"SAMPLE a SRC=", "source"}, Bad{"SAMPLE a kg=1", "unknown word \"kg=1\""},
          Bad{"SAMPLE \xc3\xa9t\xc3\xa9", "ASCII"}, Bad{longest + "x", "68"}}) {
        const auto parsed = ParseSampleMarker(line);
        ASSERT_TRUE(parsed && !parsed->value) << line;
        EXPECT_NE(parsed->reason.find(reason), std::string::npos) << parsed->reason;
    }
}

TEST(DecayTest, HalfLivesWithTheirUnits) {
    using Row = std::pair<const char*, double>;
    for (const auto& [text, seconds] :
         {Row{"30.08 a", 30.08 * 365.25 * 86400}, Row{"2.6 d", 2.6 * 86400},
          Row{"6.01 h", 6.01 * 3600}, Row{"  20.4   min ", 20.4 * 60}, Row{"55.6 s", 55.6}}) {
        EXPECT_NEAR(ParseHalfLife(text).value.value_or(0), seconds, 1e-9 * seconds) << text;
    }
    for (const char* text :
         {"30.08 y", "-1 d", "0 h", "d", "5", "1 d 2", "nan d", "inf a", "2.6d"}) {
        const Checked<double> half = ParseHalfLife(text);
        EXPECT_TRUE(!half.value && !half.reason.empty()) << text;
    }
    EXPECT_NE(ParseHalfLife("30.08 y").reason.find("unit"), std::string::npos);
}

TEST(DecayTest, FactorsOverTheCountAndTheirRefusals) {
    const double half = 6.01 * 3600, lambda = std::log(2.0) / half;
    const auto factor = [&](double hoursBefore, double seconds) {
        return std::pow(2.0, -hoursBefore / 6.01) * (1 - std::exp(-lambda * seconds)) /
               (lambda * seconds);
    };
    // Sampled 2 h before a count of 1 h; then a second count 4 h after, weighted by count time.
    EXPECT_NEAR(*DecayFactor({{7200, 3600}}, half).value, factor(2, 3600), 1e-14);
    EXPECT_NEAR(*DecayFactor({{7200, 3600}, {14400, 1800}}, half).value,
                (factor(2, 3600) * 3600 + factor(4, 1800) * 1800) / 5400, 1e-14);
    // A count far shorter than the half-life sees the activity at its start.
    EXPECT_NEAR(*DecayFactor({{0, 1e-6}}, 30.08 * 365.25 * 86400).value, 1, 1e-15);
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
