// Status polls (01 28 then 01 31) per second through muxserver to the simulated counter on a
// pty, beside the limit the line's rule allows: every exchange ends with 50 ms of silence, so at
// most 20 exchanges, 10 polls, per second. The same polls straight on the line show what the
// server and the client library add.
#include <benchmark/benchmark.h>
#include <signal.h>

#include <chrono>
#include <memory>

#include "mux/shared_line.h"
#include "MuxHarness.h"
#include "SimulatedDevice.h"

namespace pulsedesk::muxtest {
namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<std::uint8_t>;

constexpr double kPollLimitPerSecond = 10.0;  // two exchanges, each ended by 50 ms of silence

// Runs polls, each as a pair of exchanges, and reports their rate beside the limit.
template <class Exchange>
void RunPolls(benchmark::State& state, Exchange exchange) {
    int failed = 0;
    const auto start = Clock::now();
    for (auto _ : state) {
        failed += exchange(Bytes{0x01, 0x28}) != 10;
        failed += exchange(Bytes{0x01, 0x31}) != 16;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double polls = static_cast<double>(state.iterations()) / seconds;
    state.counters["polls_per_s"] = polls;
    state.counters["limit_polls_per_s"] = kPollLimitPerSecond;
    state.counters["ratio"] = polls / kPollLimitPerSecond;
    state.counters["failed_exchanges"] = failed;
    if (failed > 0) state.SkipWithError("exchanges failed");
}

void StatusPollsThroughMuxServer(benchmark::State& state) {
    TempDir folder;
    SimulatedDevice device;
    const std::string link = folder.File("tty");
    const std::string address = "unix:" + folder.File("mux.sock");
    PointSymlink(link, device.SlavePath());
    setenv("PULSEDESK_MUX", address.c_str(), 1);
    ServerProcess server(link, address, folder.File("server.log"));
    if (!WaitForListener(address)) {
        state.SkipWithError("muxserver did not start");
        return;
    }
    ClientLibrary client;
    RunPolls(state, [&](const Bytes& request) {
        Bytes reply;
        return client.Call(request, reply);
    });
    server.Stop(SIGTERM);
}

void StatusPollsStraightOnTheLine(benchmark::State& state) {
    SimulatedDevice device;
    mux::SharedLine line(device.SlavePath(), [](const std::string&) {});
    std::string error;
    if (!line.Open(error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    RunPolls(state, [&](const Bytes& request) {
        std::uint8_t reply[20];
        return static_cast<int>(line.Transact(request.data(), request.size(), reply));
    });
}

BENCHMARK(StatusPollsThroughMuxServer)
    ->Iterations(40)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(StatusPollsStraightOnTheLine)
    ->Iterations(40)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pulsedesk::muxtest

BENCHMARK_MAIN();
