// AddMeasurement on a month's report of 100, 1 000 and 10 000 lines, with and without the disk
// flushes. Every write reads the whole file and replaces it (and its backup), so the time per
// call grows with the file; the summary prints by how much, what the flushes cost, and the ratio
// against the limit: a write runs on the panel's thread, which must not freeze for 100 ms.
#include <benchmark/benchmark.h>
#include <ftw.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "reports/ReportStore.h"

namespace {

using namespace pulsedesk::reports;

constexpr double kLimitMs = 100.0;
const int kSizes[] = {100, 1000, 10000};

struct Result {
    double msPerCall = 0;
    std::size_t fileBytes = 0;
};
std::map<std::pair<bool, int>, Result> results;  // (flushed, lines) -> last complete run

class ScratchFolder {
  public:
    ScratchFolder() {
        char pattern[] = "/tmp/pulsedesk-reports-bench-XXXXXX";
        path = ::mkdtemp(pattern);
    }
    ~ScratchFolder() {
        ::nftw(
            path.c_str(), [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); },
            16, FTW_DEPTH | FTW_PHYS);
    }
    std::string path;
};

std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void Spit(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

// The report after a record and enough measurement lines to make `lines` lines in all.
std::string MonthOf(ReportStore& store, int lines) {
    store.AddRecord("Benchmark sample");
    std::string bytes = Slurp(store.ReportPath());
    std::string line =
        "          /A:  14.05  Ut= 0120mV  Tm=00-01-40.00  N=00000002  D=00000.020  Cat=N\r\n";
    for (int n = 12; n < lines; ++n) bytes += line;
    return bytes;
}

void AddMeasurement(benchmark::State& state, bool flushed) {
    const int lines = static_cast<int>(state.range(0));
    ScratchFolder scratch;
    DeviceInfo device{.programVersion = 268,
                      .firmwareVersion = 15,
                      .modelName = "QEV-C2",
                      .serialNumber = 123,
                      .warningThreshold = 30,
                      .alarmThreshold = 60};
    DurableWriterOptions options;
    options.sync = flushed;
    ReportStore store(
        scratch.path, device, [](const std::string& key) { return key; },
        [] { return LocalTime{.year = 2026, .month = 12, .day = 7, .hour = 14, .minute = 5}; },
        std::make_shared<DurableFileWriter>(options));
    const std::string month = MonthOf(store, lines);

    double totalSeconds = 0;
    for (auto _ : state) {
        Spit(store.ReportPath(), month);  // every call sees a file of the same size
        auto start = std::chrono::steady_clock::now();
        store.AddMeasurement(120, 6789, CountTime{0, 1, 40, 0});
        std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        state.SetIterationTime(took.count());
        totalSeconds += took.count();
    }
    results[{flushed, lines}] = {1000.0 * totalSeconds / static_cast<double>(state.iterations()),
                                 month.size()};
}

void Flushed(benchmark::State& state) { AddMeasurement(state, true); }
void NotFlushed(benchmark::State& state) { AddMeasurement(state, false); }

BENCHMARK(Flushed)->Arg(100)->Arg(1000)->Arg(10000)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(NotFlushed)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void PrintSummary() {
    if (results.size() != 6) return;  // a filtered run: nothing to compare
    std::printf(
        "\nAddMeasurement, ms per call (file replaced through a temporary file, plus its "
        "backup)\n");
    std::printf("%8s %10s %10s %10s %8s %14s\n", "lines", "bytes", "flushed", "no flush", "flush %",
                "vs 100 ms");
    for (int lines : kSizes) {
        const Result& flushed = results[{true, lines}];
        const Result& bare = results[{false, lines}];
        std::printf("%8d %10zu %10.3f %10.3f %7.0f%% %13.3fx\n", lines, flushed.fileBytes,
                    flushed.msPerCall, bare.msPerCall,
                    100.0 * (flushed.msPerCall - bare.msPerCall) / flushed.msPerCall,
                    flushed.msPerCall / kLimitMs);
    }
    for (bool flushed : {true, false}) {
        double base = results[{flushed, 100}].msPerCall;
        std::printf(
            "growth %-9s 1000/100 lines: %.1fx   10000/100 lines: %.1fx   "
            "(file 10x and 100x)\n",
            flushed ? "flushed" : "no flush", results[{flushed, 1000}].msPerCall / base,
            results[{flushed, 10000}].msPerCall / base);
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary();
    return 0;
}
