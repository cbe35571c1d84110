// links: zorv_engine zorv_headless
// The growth runs through their real entry on the headless backend, with the
// queue poll in place: whole default 400 x 400 clusters for each contact
// rule, reported as seconds per cluster and nanoseconds per walk step.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <new>

#include "canvas/canvas.h"
#include "engine/growth.h"
#include "engine/settings.h"
#include "platform/headless/headless.h"

// Every allocation of the process is counted, so the benchmark can show that
// the walk allocates nothing.
namespace {
std::atomic<long long> allocations{0};
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t n) {
    ++allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop

namespace {

struct Session {
    headless::Backend screen;
    Session() {
        resetsettings();
        firsttime = 0;
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "Bench";
        RegisterClassA(&wc);
        g_hWnd = CreateWindowExA(0, "Bench", "", WS_POPUP, 0, 0, 420, 420, nullptr, nullptr, nullptr, nullptr);
        createcanvas(g_hWnd);
        serve();
    }
    ~Session() { releasecanvas(); }
    // What the message loop does between two calls of a run.
    static void serve() {
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    }
};

void growclusters(benchmark::State& state, int grow) {
    Session session;
    algorithm = static_cast<int>(state.range(0));
    growth = grow;
    long long moves = 0, particles = 0, allocated = 0;
    double seconds = 0;
    int image = 0;
    for (auto _ : state) {
        session.screen.calendar = 1700000000 + image++;
        firstloop = 1;
        okdla = 1;
        terminate = 0;
        auto t0 = std::chrono::steady_clock::now();
        long long before = allocations.load();
        while (okdla) {
            grow ? dla_centripetal() : dla_centrifugal();
            ++particles;
            Session::serve();
        }
        allocated += allocations.load() - before;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        moves += (grow ? centripetalstate() : centrifugalstate()).moves;
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["ns_per_step"] = seconds * 1e9 / static_cast<double>(moves);
    state.counters["s_per_cluster"] = seconds / n;
    state.counters["steps_per_cluster"] = static_cast<double>(moves) / n;
    state.counters["particles_per_cluster"] = static_cast<double>(particles) / n;
    state.counters["allocs_per_particle"] = static_cast<double>(allocated) / static_cast<double>(particles);
}

void BM_CentrifugalCluster(benchmark::State& state) { growclusters(state, 0); }
void BM_CentripetalCluster(benchmark::State& state) { growclusters(state, 1); }

BENCHMARK(BM_CentrifugalCluster)->ArgName("rule")->DenseRange(0, 2)->Iterations(3)->Unit(benchmark::kSecond);
BENCHMARK(BM_CentripetalCluster)->ArgName("rule")->DenseRange(0, 2)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

BENCHMARK_MAIN();
