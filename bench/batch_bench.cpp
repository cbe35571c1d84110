// links: zorv_batch
// Whole default clusters through zorv-dla-batch's own run, per contact rule
// and image size: wall time, steps per second and nanoseconds per step.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <sstream>

#include "batch/batch.h"
#include "engine/growth.h"

namespace {

void BM_BatchCluster(benchmark::State& state) {
    int side = static_cast<int>(state.range(0));
    BatchOptions options;
    options.output = (std::filesystem::temp_directory_path() / "zorv-batch-bench.tga").string();
    options.width = options.height = side;
    options.algorithm = static_cast<int>(state.range(1));
    options.quiet = true;
    std::int64_t moves = 0;
    for (auto _ : state) {
        options.seed = 1000 + state.iterations();
        std::ostringstream out, err;
        if (runbatch(options, out, err) != 0) state.SkipWithError(err.str().c_str());
        moves += centrifugalstate().moves;
    }
    state.counters["steps/s"] = benchmark::Counter(static_cast<double>(moves), benchmark::Counter::kIsRate);
    // Seconds per step, shown with an SI prefix (n for nanoseconds).
    state.counters["time/step"] =
        benchmark::Counter(static_cast<double>(moves), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.counters["steps"] = static_cast<double>(moves) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_BatchCluster)
    ->ArgsProduct({{400}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK(BM_BatchCluster)
    ->ArgsProduct({{1600}, {0, 1, 2}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
