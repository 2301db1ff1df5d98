// Cost of the digit renderer against the panel's 100 ms indicator refresh: one DrawNumber and
// one DrawCodedText on the big sheets, and a redraw of all six indicators as the panel does it.
#include <benchmark/benchmark.h>

#include <QImage>
#include <cstdio>
#include <vector>

#include "display/Digits.h"

namespace {

using namespace pulsedesk::display;

constexpr double kRefreshPeriodNs = 100e6;

void BM_DrawNumberBig(benchmark::State& state) {
    DigitSheet sheet(BigGreenDigs);
    QImage counter(331, 59, QImage::Format_RGB32);
    std::int32_t value = 0;
    for (auto _ : state) {
        sheet.SetFormatText("00000000");
        sheet.DrawNumber(value++, counter, kLitBackgroundColour);
        benchmark::DoNotOptimize(counter.constBits());
    }
}
BENCHMARK(BM_DrawNumberBig);

void BM_DrawCodedTextBig(benchmark::State& state) {
    DigitSheet sheet(BigBlueDigs);
    QImage timer(331, 59, QImage::Format_RGB32);
    std::uint8_t seconds = 0;
    for (auto _ : state) {
        const std::uint8_t data[] = {0x12, 0x34, ToBcd(seconds++)};
        sheet.SetFormatText("00:00:00");
        sheet.DrawCodedText(data, timer, kLitBackgroundColour);
        benchmark::DoNotOptimize(timer.constBits());
    }
}
BENCHMARK(BM_DrawCodedTextBig);

// Counter, count limit, timer, count time, threshold and record number, each into an image of
// its control's size, lit.
void BM_RedrawAllSixIndicators(benchmark::State& state) {
    std::vector<DigitSheet> sheets;
    for (int i = 0; i < SheetCount; ++i) sheets.emplace_back(static_cast<SheetIndex>(i));
    QImage counter(331, 59, QImage::Format_RGB32), limit(157, 29, QImage::Format_RGB32),
        timer(331, 59, QImage::Format_RGB32), duration(157, 29, QImage::Format_RGB32),
        threshold(99, 29, QImage::Format_RGB32), records(89, 21, QImage::Format_RGB32);
    std::int32_t tick = 0;
    for (auto _ : state) {
        ++tick;
        sheets[BigGreenDigs].SetFormatText("00000000");
        sheets[BigGreenDigs].DrawNumber(tick, counter, kLitBackgroundColour);
        sheets[MiddleBlueDigs].SetFormatText("00000000");
        sheets[MiddleBlueDigs].DrawNumber(100000, limit, kLitBackgroundColour);
        const std::uint8_t elapsed[] = {0x00, 0x12, ToBcd(static_cast<std::uint8_t>(tick % 60))};
        sheets[BigBlueDigs].SetFormatText("00:00:00");
        sheets[BigBlueDigs].DrawCodedText(elapsed, timer, kLitBackgroundColour);
        const std::uint8_t preset[] = {0x00, 0x05, 0x00};
        sheets[MiddleBlueDigs].SetFormatText("00:00:00");
        sheets[MiddleBlueDigs].DrawCodedText(preset, duration, kLitBackgroundColour);
        const std::uint8_t volts[] = {0x01, 0x25};
        sheets[MiddleBlueDigs].SetFormatText(":0.000");
        sheets[MiddleBlueDigs].DrawCodedText(volts, threshold, kLitBackgroundColour);
        sheets[SmallGreenDigs].SetFormatText("0000000");
        sheets[SmallGreenDigs].DrawNumber(tick, records, kLitBackgroundColour);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_RedrawAllSixIndicators);

// Prints each result's mean time per call as a share of the refresh period as well.
class ShareOfRefreshReporter : public benchmark::ConsoleReporter {
  public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const double ns = run.real_accumulated_time * 1e9 / static_cast<double>(run.iterations);
            std::printf("  %-28s %9.2f us per call = %.4f %% of the 100 ms refresh period\n",
                        run.benchmark_name().c_str(), ns / 1e3, 100.0 * ns / kRefreshPeriodNs);
        }
    }
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    ShareOfRefreshReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
