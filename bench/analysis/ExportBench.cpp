// A year of heavy use read for export: 12 monthly files of 10 000 lines each, as the report
// format writes them. `pulsectl report export` from process start to exit against its limit of
// 0.5 s and against 8 times `cat` of the same bytes (the floor the disk and the kernel set), both
// timed in turn in one run; and the reading and the CSV alone, in process.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <limits>

#include "analysis/Export.h"
#include "analysis/Journal.h"
#include "reports/ReportFormat.h"
#include "support/SimProcess.h"

namespace {

using namespace pulsedesk;
using Clock = std::chrono::steady_clock;

constexpr double kLimitSeconds = 0.5;
constexpr double kTimesCatLimit = 8;
constexpr int kLinesPerFile = 10000;
constexpr int kLinesPerRecord = 40;

// The month's report written directly in the store's format: the store rewrites the whole
// file for every line, which would take hours here.
std::vector<std::string> MonthLines(int month, std::uint32_t& record) {
    const reports::DeviceInfo device{268, 15, "QEV-C2", 123, 30, 60};
    reports::LocalTime now{2026, month, 1, 8, 0, 0};
    auto lines = reports::HeaderLines(device, now, [](const std::string& key) { return key; });
    while (lines.size() < kLinesPerFile) {
        now.day = 1 + static_cast<int>(lines.size() / 400) % 28;
        lines.insert(lines.end(), {"", "", reports::DateLine(now)});
        auto block = reports::RecordBlock(++record,
                                          "QC SOURCE Sr90 A=2000 REF=2026-01-01 HALF=10519\n"
                                          "Planchet 4, dried");
        lines.insert(lines.end(), block.begin(), block.end());
        std::string label = "@";
        for (int i = 0; i < kLinesPerRecord && lines.size() < kLinesPerFile; ++i) {
            label = reports::NextLabel(label);
            now.minute = i % 60;
            lines.push_back(reports::MeasurementLine(label, now, -350 + i, 1000 + 7 * i,
                                                     {0, 1, 40, 0}, device));
        }
    }
    return lines;
}

struct Year {
    testing::TempDir dir;
    std::vector<std::string> files;

    Year() {
        const std::string folder = dir.File("2026");
        ::mkdir(folder.c_str(), 0777);
        std::uint32_t record = 0;
        for (int month = 1; month <= 12; ++month) {
            const std::uint32_t first = record + 1;
            const auto lines = MonthLines(month, record);
            reports::ReportFileName name{2026,
                                         static_cast<std::uint8_t>(month),
                                         static_cast<std::int32_t>(first),
                                         record,
                                         {}};
            files.push_back(folder + "/" + name.Build());
            testing::WriteBytes(files.back(), reports::JoinLines(lines));
        }
    }
};

Year& TheYear() {
    static Year year;
    return year;
}

// One program's run: seconds from start to exit, and the processor time it used.
struct Timing {
    double seconds = 0;
    double cpuSeconds = 0;
};

double Seconds(const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; }

// Runs the program with its output to /dev/null.
Timing TimeProgram(const std::string& program, const std::vector<std::string>& args, int& failed) {
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    const auto t0 = Clock::now();
    const pid_t child = testing::SpawnChild(program, args, devNull, devNull);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
    close(devNull);
    failed += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
    return {seconds, Seconds(usage.ru_utime) + Seconds(usage.ru_stime)};
}

// The fastest of the runs: on a shared machine the others waited for the processor.
struct Fastest {
    double seconds = std::numeric_limits<double>::infinity();
    double cpuSeconds = std::numeric_limits<double>::infinity();
    void Add(const Timing& t) {
        seconds = std::min(seconds, t.seconds);
        cpuSeconds = std::min(cpuSeconds, t.cpuSeconds);
    }
};

// Export and cat take turns, so that both meet the same load.
void BM_PulsectlExport(benchmark::State& state) {
    Year& year = TheYear();
    double total = 0;
    int failed = 0;
    Fastest exported, cat;
    for (auto _ : state) {
        const Timing t = TimeProgram(
            testing::BinDir() + "/pulsectl",
            {"report", "export", "--format", "csv", "--report-folder", year.dir.Path()}, failed);
        cat.Add(TimeProgram("/bin/cat", year.files, failed));
        exported.Add(t);
        state.SetIterationTime(t.seconds);
        total += t.seconds;
    }
    const double mean = total / static_cast<double>(state.iterations());
    state.counters["seconds"] = mean;
    state.counters["limit"] = kLimitSeconds;
    state.counters["ratio"] = mean / kLimitSeconds;
    state.counters["failed"] = failed;
    state.counters["cat_seconds"] = cat.seconds;
    state.counters["times_cat"] = exported.seconds / cat.seconds;
    state.counters["times_cat_cpu"] = exported.cpuSeconds / cat.cpuSeconds;
    state.counters["times_cat_limit"] = kTimesCatLimit;
}
BENCHMARK(BM_PulsectlExport)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_ReadAndCsvInProcess(benchmark::State& state) {
    Year& year = TheYear();
    std::size_t rows = 0;
    for (auto _ : state) {
        const analysis::Journal journal = analysis::ReadJournal(year.dir.Path());
        const std::string csv = analysis::ExportCsv(journal);
        rows = journal.records.size();
        benchmark::DoNotOptimize(csv.data());
    }
    state.counters["records"] = static_cast<double>(rows);
}
BENCHMARK(BM_ReadAndCsvInProcess)->Iterations(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
