// One image grown by the parallel driver: the same pixels for any number of threads and any look-ahead, the same
// model as the single-stream run, and maps that agree with the canvas.
#include <gtest/gtest.h>

#include <vector>

#include "canvas/canvas.h"
#include "engine/growthrun.h"
#include "engine/parallel.h"
#include "platform/headless/headless.h"

namespace {

class Parallel : public ::testing::Test {
protected:
    headless::Backend screen;
    void SetUp() override {
        resetsettings();
        firsttime = 0;
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "Main";
        RegisterClassA(&wc);
        g_hWnd = CreateWindowExA(0, "Main", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    }
    void TearDown() override { releasecanvas(); }

    struct Image {
        std::vector<COLORREF> pixels;
        zorv::grow::Result result;
        std::int64_t moves = 0;
        std::vector<std::pair<int, int>> rests;  // where each particle came to rest, in order
    };
    Image grow(std::uint64_t seed, int threads, int lookahead = 0) {
        releasecanvas();
        EXPECT_TRUE(createcanvas(g_hWnd));
        Image image;
        zorv::grow::Options o;
        o.seed = seed;
        o.threads = threads;
        o.lookahead = lookahead;
        const GrowthState& s = growth ? centripetalstate() : centrifugalstate();
        zorv::grow::Hooks hooks;
        hooks.settled = [&] {
            image.rests.emplace_back(s.restx, s.resty);
            return true;
        };
        image.result = zorv::grow::growimage(o, hooks);
        image.pixels.assign(g_vhdc->bits, g_vhdc->bits + xres * yres);
        image.moves = s.moves;
        EXPECT_TRUE(zorv::walk::agrees(zorv::growth::canvasmap(), g_vhdc, bkgd));
        return image;
    }
};

TEST_F(Parallel, TheSameImageForAnyNumberOfThreads) {
    xres = 300;
    yres = 300;
    for (int rule : {0, 1, 2}) {
        algorithm = rule;
        const Image one = grow(7, 1);
        EXPECT_GT(one.rests.size(), 100u);
        for (int threads : {2, 3, 8}) {
            const Image many = grow(7, threads);
            EXPECT_EQ(many.rests, one.rests) << rule << " " << threads;
            EXPECT_EQ(many.pixels, one.pixels) << rule << " " << threads;
            EXPECT_EQ(many.moves, one.moves);
            printf("rule %d threads %d: walked %lld moves %lld continued %lld restarted %lld replayed %lld\n", rule,
                   threads, (long long)many.result.walked, (long long)many.moves, (long long)many.result.continued,
                   (long long)many.result.restarted, (long long)many.result.replayed);
        }
        for (int w : {2, 8, 32}) {
            const Image ahead = grow(7, 1, w);
            EXPECT_EQ(ahead.rests, one.rests) << rule << " ahead " << w;
            EXPECT_EQ(ahead.pixels, one.pixels);
            printf("rule %d ahead %d: walked %lld moves %lld continued %lld restarted %lld replayed %lld\n", rule, w,
                   (long long)ahead.result.walked, (long long)ahead.moves, (long long)ahead.result.continued,
                   (long long)ahead.result.restarted, (long long)ahead.result.replayed);
        }
    }
}

}  // namespace
