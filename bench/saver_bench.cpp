// links: zorv_saver zorv_headless
// Whole screen-saver clusters on a 1024 x 768 headless screen: how long one
// outward and one inward cluster take, and how many walk steps a second the
// runs make (steps counted from the layer's native pumps, one per 64 polls).
#include <benchmark/benchmark.h>

#include "platform/headless/headless.h"
#include "saver/saver.h"

namespace {

void wholeRun(benchmark::State& state, int (*run)()) {
    headless::Backend screen(1024, 768, 32);
    resetsaver();
    platform::SetPumpInterval(64);
    if (InitWindowClass(&saverModule) != 0 || CreateMainWindow(&saverModule, SW_SHOWNORMAL) != 0) {
        state.SkipWithError("the saver window could not be opened");
        return;
    }
    long pumps = 0;
    screen.onPump = [&] { ++pumps; };
    std::int64_t seed = 1700000000;
    for (auto _ : state) {
        screen.calendar = seed++;  // a new cluster each time
        palindex = 0;
        benchmark::DoNotOptimize(run());
    }
    state.counters["steps/s"] = benchmark::Counter(static_cast<double>(pumps) * 64.0, benchmark::Counter::kIsRate);
    state.counters["steps/run"] =
        benchmark::Counter(static_cast<double>(pumps) * 64.0, benchmark::Counter::kAvgIterations);
    screen.onPump = nullptr;
    DestroyWindow(g_hWnd);
    resetsaver();
}

void BM_OutwardCluster(benchmark::State& state) { wholeRun(state, dla1); }
void BM_InwardCluster(benchmark::State& state) { wholeRun(state, dla2); }

BENCHMARK(BM_OutwardCluster)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_InwardCluster)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
