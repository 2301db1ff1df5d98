// The panel's side of a status notification, drawing and painting included, beside the 1 ms it
// may hold the link thread (2 % of the 50 ms the thread waits between polls); and the CPU that
// polling alone costs, the base the panel process's own figure is compared with
// (scripts/bench-panel.sh).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <filesystem>
#include <thread>
#include <time.h>

#include "app/Fmmain.h"
#include "link/tser_com.h"
#include "support/QtTestApp.h"
#include "support/SimLink.h"
#include "support/SimProcess.h"
#include "support/TempDir.h"

namespace {

using namespace pulsedesk;
namespace fs = std::filesystem;

constexpr double kNotificationLimitMs = 1.0;

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void BM_StatusNotification(benchmark::State& state) {
    testing::EnsureQtApp();
    testing::TempDir dir;
    for (const char* name : {"pulsedesk.cfg", "pulsedesk.msg"})
        fs::copy_file(testing::BinDir() + "/" + name, dir.File(name));
    config::MessageFile messages(dir.File("pulsedesk"));
    config::ConfigFile settings(dir.File("pulsedesk"));
    testing::ManualClock clock;
    sim::DeviceModel device(sim::Identity{}, 5000.0, 1, [&] { return clock.Now(); });
    std::unique_ptr<link::TSerial> line = std::make_unique<testing::TSerialSim>(device);
    app::PanelContext context{messages, settings, line, dir.Path() + "/",
                              app::TickClock{[&] { return clock.Now(); }, 1000}};
    app::TmainForm panel(context);
    line->Terminate();
    line->WaitFor();
    line->PollNow();  // the first status: link change, identification, report store
    line->SendCommand(0x02, {link::StartStop, 1});
    line->SetListener(nullptr);  // from here the benchmark calls the handler itself
    for (auto _ : state) {
        state.PauseTiming();
        clock.Advance(50);
        line->PollNow();  // a new count and time for every notification
        state.ResumeTiming();
        panel.OnDeviceStatus();
        QApplication::processEvents();  // the repaint of what changed
    }
    // Real time per iteration against the limit: ratio < 1 meets it.
    state.counters["ratio_to_1ms"] = benchmark::Counter(
        static_cast<double>(state.iterations()) / 1000.0 / kNotificationLimitMs,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StatusNotification)->Iterations(400)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_PollingAloneCpu(benchmark::State& state) {
    testing::TempDir dir;
    testing::SimProcess sim({"--link", dir.File("counter")});
    link::TSerialCom com(dir.File("counter"));
    double share = 0;
    for (auto _ : state) {
        const double cpu0 = ProcessCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(10));
        const double wall =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        share = (ProcessCpuSeconds() - cpu0) / wall;
    }
    state.counters["cpu_percent_of_core"] = share * 100;
}
BENCHMARK(BM_PollingAloneCpu)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
