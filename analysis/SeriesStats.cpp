#include "analysis/SeriesStats.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <cmath>
#include <map>

namespace pulsedesk::analysis {

namespace {

constexpr double kTail = 0.05;

boost::math::chi_squared Distribution(int degreesOfFreedom) {
    return boost::math::chi_squared(static_cast<double>(degreesOfFreedom));
}

}  // namespace

ChiSquareQuantiles ChiSquareQuantilesOf(int degreesOfFreedom) {
    const auto d = Distribution(degreesOfFreedom);
    return {boost::math::quantile(d, kTail),
            boost::math::quantile(boost::math::complement(d, kTail))};
}

double ChiSquareUpperTail(double x, int degreesOfFreedom) {
    return boost::math::cdf(boost::math::complement(Distribution(degreesOfFreedom), x));
}

SeriesStats SeriesStatsOf(const std::vector<CountSample>& all) {
    std::vector<CountSample> samples;
    for (const CountSample& s : all)
        if (s.seconds > 0) samples.push_back(s);
    SeriesStats st;
    st.n = static_cast<int>(samples.size());
    if (st.n == 0) return st;
    for (const CountSample& s : samples) {
        st.totalCount += s.count;
        st.totalSeconds += s.seconds;
    }
    st.meanCount = static_cast<double>(st.totalCount) / st.n;
    st.meanRate = static_cast<double>(st.totalCount) / st.totalSeconds;
    st.meanRateStdError = std::sqrt(static_cast<double>(st.totalCount)) / st.totalSeconds;
    st.poissonSdCount = std::sqrt(st.meanCount);
    if (st.n < 2) return st;
    double squares = 0;
    double chi2 = 0;
    for (const CountSample& s : samples) {
        squares += (s.count - st.meanCount) * (s.count - st.meanCount);
        const double expected = st.meanRate * s.seconds;
        if (expected > 0) chi2 += (s.count - expected) * (s.count - expected) / expected;
    }
    st.sampleSdCount = std::sqrt(squares / (st.n - 1));
    if (st.totalCount == 0) return st;
    ChiSquareTest test;
    test.chiSquare = chi2;
    test.degreesOfFreedom = st.n - 1;
    test.pValue = ChiSquareUpperTail(chi2, test.degreesOfFreedom);
    test.quantiles = ChiSquareQuantilesOf(test.degreesOfFreedom);
    test.pass = test.pValue >= kTail && test.pValue <= 1 - kTail;
    st.chiSquare = test;
    return st;
}

SeriesStats RecordSeriesStats(const JournalRecord& record) {
    std::vector<CountSample> samples;
    for (const JournalMeasurement& m : record.measurements)
        samples.push_back({m.count, m.CountTimeS()});
    return SeriesStatsOf(samples);
}

std::vector<ThresholdSeries> RecordThresholdSeries(const JournalRecord& record) {
    std::map<std::int32_t, std::vector<CountSample>> lines;
    for (const JournalMeasurement& m : record.measurements)
        lines[m.thresholdMv].push_back({m.count, m.CountTimeS()});
    std::vector<ThresholdSeries> series;
    for (const auto& [threshold, samples] : lines)
        series.push_back({threshold, SeriesStatsOf(samples)});
    return series;
}

}  // namespace pulsedesk::analysis
