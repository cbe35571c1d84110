// links: zorv_engine zorv_headless zorv_qt
// Growth speed on the desktop backend against the headless one: whole default
// 400 x 400 centrifugal clusters through the runs' real entry, with the queue
// poll, window drawing and the native pump in place; walk steps per second.
// Runs off screen unless QT_QPA_PLATFORM or a DISPLAY says otherwise.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <memory>

#include "canvas/canvas.h"
#include "engine/growth.h"
#include "engine/settings.h"
#include "platform/headless/headless.h"
#include "platform/qt/qt_backend.h"

namespace {

void serve() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

LRESULT paintProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        presentcanvas(hwnd);
        return 0;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

template <class B>
void grow(benchmark::State& state) {
    B backend;
    resetsettings();
    firsttime = 0;
    WNDCLASSA wc{};
    wc.lpfnWndProc = paintProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = "Bench";
    RegisterClassA(&wc);
    g_hWnd = CreateWindowExA(0, "Bench", "", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 460, 480, nullptr, nullptr,
                             nullptr, nullptr);
    createcanvas(g_hWnd);
    serve();
    long long moves = 0;
    double seconds = 0;
    for (auto _ : state) {
        firstloop = 1;
        okdla = 1;
        terminate = 0;
        auto t0 = std::chrono::steady_clock::now();
        while (okdla) {
            dla_centrifugal();
            serve();
        }
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        moves += centrifugalstate().moves;
    }
    releasecanvas();
    state.counters["steps_per_s"] = static_cast<double>(moves) / seconds;
    state.counters["ns_per_step"] = seconds * 1e9 / static_cast<double>(moves);
}

}  // namespace

BENCHMARK(grow<headless::Backend>)->Name("CentrifugalCluster/headless")->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(grow<qtbackend::Backend>)->Name("CentrifugalCluster/qt")->Unit(benchmark::kMillisecond)->Iterations(5);

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
