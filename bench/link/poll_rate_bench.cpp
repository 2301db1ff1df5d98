// Polls per second through TSerialCom to pulsesim on a pseudo-terminal, beside the limit that
// the 50 ms gap rule allows: each exchange ends with 50 ms of silence, a poll is two exchanges,
// and the link thread sleeps 50 ms after a good poll.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "link/tser_com.h"
#include "support/SimProcess.h"

namespace {

using namespace pulsedesk;
using Clock = std::chrono::steady_clock;

constexpr double kGapSeconds = 0.050;
constexpr double kPollNowLimit = 1.0 / (2 * kGapSeconds);                // 10 polls/s
constexpr double kLinkThreadLimit = 1.0 / (2 * kGapSeconds + 0.050);     // 6.7 polls/s

struct PollCounter : link::StatusListener {
    std::atomic<int> polls{0};
    bool IsListening() const override { return true; }
    void OnStatusPolled() override { ++polls; }
};

void BM_LinkThreadPollRate(benchmark::State& state) {
    testing::TempDir dir;
    testing::SimProcess sim({"--link", dir.Path() + "/counter"});
    link::TSerialCom com(dir.Path() + "/counter");
    PollCounter counter;
    com.SetListener(&counter);
    double rate = 0;
    for (auto _ : state) {
        const int before = counter.polls;
        const auto t0 = Clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        rate = (counter.polls - before) / std::chrono::duration<double>(Clock::now() - t0).count();
    }
    com.SetListener(nullptr);
    state.counters["polls_per_s"] = rate;
    state.counters["limit"] = kLinkThreadLimit;
    state.counters["ratio"] = rate / kLinkThreadLimit;
}
BENCHMARK(BM_LinkThreadPollRate)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_PollNowLatency(benchmark::State& state) {
    testing::TempDir dir;
    testing::SimProcess sim({"--link", dir.Path() + "/counter"});
    link::TSerialCom com(dir.Path() + "/counter");
    com.Terminate();
    com.WaitFor();
    int good = 0;
    const auto t0 = Clock::now();
    for (auto _ : state) good += com.PollNow() ? 1 : 0;
    const double rate = good / std::chrono::duration<double>(Clock::now() - t0).count();
    state.counters["polls_per_s"] = rate;
    state.counters["limit"] = kPollNowLimit;
    state.counters["ratio"] = rate / kPollNowLimit;
}
BENCHMARK(BM_PollNowLatency)->Iterations(20)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
