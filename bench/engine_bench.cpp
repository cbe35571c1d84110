// links: zorv_engine zorv_headless
// The growth runs through their real entry on the headless backend, with the
// queue poll in place, side by side with a plain loop of the walk as first
// written (three zorvrandom draws, a square root and GetPixel reads per
// step): whole clusters for each contact rule and direction at 400 x 400 and
// 1600 x 1600, as nanoseconds per walk step and seconds per cluster.
// Per-step times are thread CPU time, so another job on the machine skews
// them less; both walks of a row run one after the other.
//
//   engine_bench [--sizes 400,1600] [--clusters N]
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "canvas/canvas.h"
#include "engine/growth.h"
#include "engine/settings.h"
#include "platform/headless/headless.h"
#include "tests/engine/reference_walk.h"

// Every allocation of the process is counted, so the benchmark can show that
// the walk allocates nothing per particle beyond the window DC of each call.
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

double cputime() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

struct Measure {
    double seconds = 0;
    long long steps = 0, particles = 0, allocated = 0;
    int clusters = 0;
    double nsperstep() const { return seconds * 1e9 / static_cast<double>(steps); }
};

void serve() {
    MSG m;
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
}

// Whole clusters through dla_centrifugal / dla_centripetal as the message
// loop calls them.
Measure realruns(headless::Backend& screen, int size, int rule, int grow, int clusters, unsigned seed) {
    xres = yres = size;
    algorithm = rule;
    growth = grow;
    createcanvas(g_hWnd);
    serve();
    Measure m;
    for (int i = 0; i < clusters; ++i) {
        screen.calendar = seed + i;
        firstloop = 1;
        okdla = 1;
        terminate = 0;
        const long long before = allocations.load();
        const double t0 = cputime();
        while (okdla) {
            grow ? dla_centripetal() : dla_centrifugal();
            ++m.particles;
            serve();
        }
        m.seconds += cputime() - t0;
        m.allocated += allocations.load() - before;
        m.steps += (grow ? centripetalstate() : centrifugalstate()).moves;
        ++m.clusters;
    }
    releasecanvas();
    return m;
}

Measure plainloop(int size, int rule, int grow, int clusters, unsigned seed) {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, size, size);
    HGDIOBJ old = SelectObject(dc, bitmap);
    reference::Options o;
    o.xres = o.yres = size;
    o.algorithm = rule;
    o.outward = grow == 0;
    o.pollwindow = g_hWnd;
    Measure m;
    for (int i = 0; i < clusters; ++i) {
        const double t0 = cputime();
        const reference::Image image = reference::grow(dc, o, seed + i);
        m.seconds += cputime() - t0;
        m.steps += image.moves;
        m.particles += image.particles;
        ++m.clusters;
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return m;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<int> sizes{400, 1600};
    int clusters = 0;  // 0: 3 at 400, 1 at 1600
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--sizes")) {
            sizes.clear();
            for (const char* p = argv[i + 1]; *p;) {
                sizes.push_back(std::atoi(p));
                p = std::strchr(p, ',');
                if (!p) break;
                ++p;
            }
        } else if (!std::strcmp(argv[i], "--clusters")) {
            clusters = std::atoi(argv[i + 1]);
        }
    }

    headless::Backend screen(2000, 2000, 32);
    resetsettings();
    firsttime = 0;
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
    wc.lpszClassName = "Bench";
    RegisterClassA(&wc);
    g_hWnd = CreateWindowExA(0, "Bench", "", WS_POPUP, 0, 0, 420, 420, nullptr, nullptr, nullptr, nullptr);

    std::printf("%-12s %5s %4s | %10s %10s %6s | %10s %10s | %9s %12s %9s\n", "direction", "size", "rule",
                "real ns", "plain ns", "ratio", "real s", "plain s", "particles", "steps", "allocs");
    std::printf("%-12s %5s %4s | %10s %10s %6s | %10s %10s | %9s %12s %9s\n", "", "", "", "/step", "/step", "",
                "/cluster", "/cluster", "/cluster", "/cluster", "/particle");
    for (int size : sizes)
        for (int grow : {0, 1})
            for (int rule : {0, 1, 2}) {
                const int n = clusters ? clusters : size <= 400 ? 3 : 1;
                const unsigned seed = 1700000000u + static_cast<unsigned>(size * 10 + rule);
                const Measure real = realruns(screen, size, rule, grow, n, seed);
                const Measure plain = plainloop(size, rule, grow, n, seed);
                std::printf("%-12s %5d %4d | %10.2f %10.2f %6.2f | %10.3f %10.3f | %9lld %12lld %9.3f\n",
                            grow ? "centripetal" : "centrifugal", size, rule, real.nsperstep(), plain.nsperstep(),
                            real.nsperstep() / plain.nsperstep(), real.seconds / n, plain.seconds / n,
                            real.particles / n, real.steps / n,
                            static_cast<double>(real.allocated) / static_cast<double>(real.particles));
                std::fflush(stdout);
            }
    DestroyWindow(g_hWnd);
    return 0;
}
