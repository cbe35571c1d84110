// links: zorv_batch
// zorv-dla-batch's own runs: whole default clusters per contact rule and
// image size (wall time, steps per second, nanoseconds per step); eight
// default images with --count against eight runs one after the other; and
// what --points and --frames add to a 1600 x 1600 run.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "batch/batch.h"
#include "engine/growth.h"

namespace {

namespace fs = std::filesystem;

// A folder of its own for the files the runs write, removed at the end.
struct Folder {
    fs::path path = fs::temp_directory_path() / ("zorv-batch-bench-" + std::to_string(getpid()));
    Folder() { fs::create_directories(path); }
    ~Folder() { fs::remove_all(path); }
    std::string operator/(const std::string& name) const { return (path / name).string(); }
};

void grow(benchmark::State& state, const BatchOptions& options) {
    std::ostringstream out, err;
    if (runbatch(options, out, err) != 0) state.SkipWithError(err.str().c_str());
}

void BM_BatchCluster(benchmark::State& state) {
    Folder folder;
    int side = static_cast<int>(state.range(0));
    BatchOptions options;
    options.output = folder / "cluster.tga";
    options.width = options.height = side;
    options.algorithm = static_cast<int>(state.range(1));
    options.quiet = true;
    std::int64_t moves = 0;
    for (auto _ : state) {
        options.seed = 1000 + state.iterations();
        grow(state, options);
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

// Eight default images, seeds 2017 to 2024: --count 8 (arg 1), which runs
// one process per image on every core, or eight runs one after the other (arg 0).
void BM_EightImages(benchmark::State& state) {
    Folder folder;
    BatchOptions options;
    options.output = folder / "many.tga";
    options.quiet = true;
    for (auto _ : state) {
        if (state.range(0)) {
            options.count = 8;
            options.seed = 2017;
            grow(state, options);
        } else {
            for (int i = 0; i < 8; ++i) {
                options.seed = 2017 + i;
                grow(state, options);
            }
        }
    }
}
BENCHMARK(BM_EightImages)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

// One 1600 x 1600 image, seed 2017: plain (arg 0), with --points (1), with
// --frames every 1000 particles (2), with both (3).
void BM_ExtraOutputs(benchmark::State& state) {
    Folder folder;
    BatchOptions options;
    options.output = folder / "big.tga";
    options.width = options.height = 1600;
    options.seed = 2017;
    options.quiet = true;
    if (state.range(0) & 1) options.points = folder / "big.csv";
    for (auto _ : state) {
        if (state.range(0) & 2) {
            state.PauseTiming();
            fs::remove_all(folder / "frames");
            options.frames = folder / "frames";
            state.ResumeTiming();
        }
        grow(state, options);
    }
}
BENCHMARK(BM_ExtraOutputs)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
