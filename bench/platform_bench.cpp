// links: zorv_headless zorv_random
// The hot path's primitives: an empty-queue poll, pixel access on a memory
// DC, and the random source.
#include <benchmark/benchmark.h>

#include "engine/random.h"
#include "platform/headless/headless.h"

namespace {

void BM_PeekMessageEmptyQueue(benchmark::State& state) {
    headless::Backend screen;
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "B";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "B", "", WS_POPUP, 0, 0, 100, 100, nullptr, nullptr, nullptr, nullptr);
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    for (auto _ : state) benchmark::DoNotOptimize(PeekMessageA(&m, w, 0x100, 0x209, PM_NOREMOVE));
}
BENCHMARK(BM_PeekMessageEmptyQueue);

struct Memory {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, 400, 400);
    Memory() { SelectObject(dc, bitmap); }
    ~Memory() {
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

void BM_GetPixel(benchmark::State& state) {
    headless::Backend screen;
    Memory mem;
    int x = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GetPixel(mem.dc, x & 511, 200));
        ++x;
    }
}
BENCHMARK(BM_GetPixel);

void BM_SetPixel(benchmark::State& state) {
    headless::Backend screen;
    Memory mem;
    int x = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(SetPixel(mem.dc, x & 511, 200, 0x123456));
        ++x;
    }
}
BENCHMARK(BM_SetPixel);

void BM_Zorvrandom(benchmark::State& state) {
    zorvsrand(1);
    for (auto _ : state) benchmark::DoNotOptimize(zorvrandom());
}
BENCHMARK(BM_Zorvrandom);

}  // namespace

BENCHMARK_MAIN();
