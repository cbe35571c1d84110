// links: zorv_parallel zorv_headless
// One image grown by the parallel driver.
//
//   parallel_bench [--size 2000] [--seed 1] [--rule 0] [--threads 1,2] [--repeat 1]
//       wall time of the same image with each number of threads, side by side
//       (the threads' runs alternate when repeated);
//   parallel_bench --count [--size 1000] [--seeds 3] [--threads 2,4,8]
//       the counting run for each number of threads N: particle k walks against
//       the cluster committed through particle k - N (and k - 2N), so the counts
//       do not depend on the machine: walks taken back or begun again per
//       particle, wasted steps as a share of all steps walked, and the speed-up
//       they predict on N cores, N x committed steps / (walked + replayed).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "canvas/canvas.h"
#include "engine/growth.h"
#include "engine/parallel.h"
#include "engine/settings.h"
#include "platform/headless/headless.h"

namespace {

std::vector<int> list(const char* text) {
    std::vector<int> v;
    for (const char* p = text; p && *p; p = std::strchr(p, ',') ? std::strchr(p, ',') + 1 : nullptr)
        v.push_back(std::atoi(p));
    return v;
}

struct Run {
    zorv::grow::Result result;
    std::int64_t moves = 0;
    double seconds = 0;
};

Run grow(int size, std::uint64_t seed, int threads, int lookahead) {
    xres = yres = size;
    releasecanvas();
    if (!createcanvas(g_hWnd)) {
        std::fprintf(stderr, "no memory for the canvas\n");
        std::exit(1);
    }
    zorv::grow::Options o;
    o.seed = seed;
    o.threads = threads;
    o.lookahead = lookahead;
    const auto t0 = std::chrono::steady_clock::now();
    Run r;
    r.result = zorv::grow::growimage(o, {});
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    r.moves = (growth ? centripetalstate() : centrifugalstate()).moves;
    return r;
}

double loadaverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

}  // namespace

int main(int argc, char** argv) {
    int size = 0, rule = 0, repeat = 1, seeds = 3;
    std::uint64_t seed = 1;
    bool counting = false;
    std::vector<int> threads;
    for (int i = 1; i < argc; ++i) {
        const bool more = i + 1 < argc;
        if (!std::strcmp(argv[i], "--count")) counting = true;
        else if (!std::strcmp(argv[i], "--size") && more) size = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--seed") && more) seed = std::strtoull(argv[++i], nullptr, 10);
        else if (!std::strcmp(argv[i], "--seeds") && more) seeds = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--rule") && more) rule = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--repeat") && more) repeat = std::atoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--threads") && more) threads = list(argv[++i]);
    }
    if (!size) size = counting ? 1000 : 2000;
    if (threads.empty()) threads = counting ? std::vector<int>{2, 4, 8} : std::vector<int>{1, 2};

    headless::Backend screen(2000, 2000, 32);
    resetsettings();
    algorithm = rule;
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "Bench";
    RegisterClassA(&wc);
    g_hWnd = CreateWindowExA(0, "Bench", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);

    if (counting) {
        std::printf("%5s %4s %3s %5s | %9s %13s | %9s %9s %8s | %7s | %8s\n", "size", "rule", "N", "W", "particles",
                    "steps", "again/p", "wasted", "replayed", "speedup", "s/image");
        for (int n : threads)
            for (int w : {n, 2 * n}) {
                double particles = 0, moves = 0, walked = 0, replayed = 0, again = 0, seconds = 0;
                for (int k = 0; k < seeds; ++k) {
                    const Run r = grow(size, seed + static_cast<std::uint64_t>(k), 1, w);
                    particles += static_cast<double>(r.result.particles);
                    moves += static_cast<double>(r.moves);
                    walked += static_cast<double>(r.result.walked);
                    replayed += static_cast<double>(r.result.replayed);
                    again += static_cast<double>(r.result.continued + r.result.restarted);
                    seconds += r.seconds;
                }
                std::printf("%5d %4d %3d %5d | %9.0f %13.0f | %9.4f %8.2f%% %7.2f%% | %7.2f | %8.2f\n", size, rule, n,
                            w, particles / seeds, moves / seeds, again / particles, 100 * (walked - moves) / walked,
                            100 * replayed / walked, n * moves / (walked + replayed), seconds / seeds);
                std::fflush(stdout);
            }
        return 0;
    }

    std::printf("load average before: %.2f\n", loadaverage());
    std::printf("%5s %4s %7s | %8s %9s %13s %8s | %8s\n", "size", "rule", "threads", "seconds", "particles", "steps",
                "wasted", "speed-up");
    std::vector<double> best(threads.size(), 0);
    for (int k = 0; k < repeat; ++k)
        for (std::size_t i = 0; i < threads.size(); ++i) {
            const Run r = grow(size, seed, threads[i], 0);
            if (!best[i] || r.seconds < best[i]) best[i] = r.seconds;
            std::printf("%5d %4d %7d | %8.2f %9lld %13lld %7.2f%% | %8.2f\n", size, rule, threads[i], r.seconds,
                        static_cast<long long>(r.result.particles), static_cast<long long>(r.moves),
                        100.0 * static_cast<double>(r.result.walked - r.moves) / static_cast<double>(r.result.walked),
                        best[0] / r.seconds);
            std::fflush(stdout);
        }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("load average after: %.2f; peak memory %ld MB\n", loadaverage(), usage.ru_maxrss / 1024);
    return 0;
}
