// `pulsectl status` as a script sees it, from process start to exit, against pulsesim on a
// pseudo-terminal, beside its limit of 0.2 s: one poll is two exchanges, each ended by the
// 50 ms gap, so about 0.1 s is the line's share and the rest is the program's.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include "support/SimProcess.h"

namespace {

using namespace pulsedesk;
using Clock = std::chrono::steady_clock;

constexpr double kLimitSeconds = 0.2;

void BM_PulsectlStatus(benchmark::State& state) {
    testing::TempDir dir;
    const std::string port = dir.File("counter");
    testing::SimProcess sim({"--link", port});
    const int devNull = open("/dev/null", O_RDWR | O_CLOEXEC);
    const std::string program = testing::BinDir() + "/pulsectl";
    double total = 0;
    int failed = 0;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const pid_t child =
            testing::SpawnChild(program, {"--port", port, "status"}, devNull, devNull);
        int status = 0;
        waitpid(child, &status, 0);
        const double seconds = std::chrono::duration<double>(Clock::now() - t0).count();
        state.SetIterationTime(seconds);
        total += seconds;
        failed += WIFEXITED(status) && WEXITSTATUS(status) == 0 ? 0 : 1;
    }
    close(devNull);
    const double mean = total / static_cast<double>(state.iterations());
    state.counters["seconds"] = mean;
    state.counters["limit"] = kLimitSeconds;
    state.counters["ratio"] = mean / kLimitSeconds;
    state.counters["failed"] = failed;
}
BENCHMARK(BM_PulsectlStatus)->Iterations(20)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
