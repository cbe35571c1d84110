// One image grown by the parallel driver: the same particles and pixels for any number of threads and any
// look-ahead, each particle's draws with their chances, growth that ends when a hook says so or after the particles
// asked for, and maps that agree with the canvas. (The driver's clusters against the plain walk's: growth_test.cpp.)
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "canvas/canvas.h"
#include "engine/growthrun.h"
#include "engine/parallel.h"
#include "engine/stream.h"
#include "platform/headless/headless.h"

namespace {

// Where a particle came to rest, and its walk.
struct Rest {
    int x = 0, y = 0;
    std::int64_t steps = 0, escapes = 0, refused = 0;
    bool operator==(const Rest&) const = default;
};

struct Image {
    std::vector<COLORREF> pixels;
    std::vector<Rest> rests;  // each particle, in the order they came to rest
    std::int64_t moves = 0;
    zorv::grow::Result result;
};

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

    // Grows one image of the settings in force on a fresh canvas, on `threads` threads (0: one, walkers 4 particles
    // ahead), until it completes, a hook says no or `particles` have come to rest.
    Image grow(std::uint64_t seed, int threads, zorv::grow::Hooks hooks = {}, std::int64_t particles = 0) {
        releasecanvas();
        EXPECT_TRUE(createcanvas(g_hWnd));
        Image image;
        const GrowthState& s = growth ? centripetalstate() : centrifugalstate();
        auto settled = hooks.settled;
        hooks.settled = [&image, &s, settled] {
            image.rests.push_back({s.restx, s.resty, s.reststeps, s.restescapes, s.restrefused});
            return !settled || settled();
        };
        zorv::grow::Options o;
        o.seed = seed;
        o.threads = threads ? threads : 1;
        o.lookahead = threads ? 0 : 4;
        o.particles = particles;
        image.result = zorv::grow::growimage(o, hooks);
        image.pixels.assign(g_vhdc->bits, g_vhdc->bits + xres * yres);
        image.moves = s.moves;
        EXPECT_TRUE(zorv::walk::agrees(zorv::growth::canvasmap(), g_vhdc, bkgd)) << "the maps after growth";
        return image;
    }
    static std::string label(int threads) { return threads ? std::to_string(threads) + " threads" : "4 ahead"; }
};

struct Case {
    const char* name;
    int width, height, rule, inward, stickiness, radius, coloring, grey;
};

// Every case on 1, 2, 3 and 8 threads and with walkers 4 particles ahead gives the same particles in the same
// places with the same walks, the same pixels and the same moves, which are the particles' steps and the last walk,
// the one that reached the limit: plain runs of each rule, inward growth that rests particles off the
// canvas, grey particles that erase the cluster, distance colouring, the smallest and largest radius, and a small
// crowded image where walks are often taken back.
TEST_F(Parallel, TheSameImageForAnyNumberOfThreads) {
    const Case cases[] = {
        {"rule 0", 200, 200, 0, 0, 100, 10, 0, 0},
        {"rule 1", 200, 200, 1, 0, 100, 10, 0, 0},
        {"rule 2", 200, 200, 2, 0, 100, 10, 0, 0},
        {"inward 600 x 400 at stickiness 30", 600, 400, 1, 1, 30, 10, 0, 0},
        {"grey on grey at stickiness 40", 200, 200, 2, 1, 40, 10, 0, 1},
        {"distance colouring", 200, 200, 0, 1, 100, 10, 1, 0},
        {"radius 5", 200, 200, 1, 0, 100, 5, 0, 0},
        {"radius 50", 200, 200, 2, 1, 100, 50, 0, 0},
        {"crowded", 100, 100, 0, 0, 100, 5, 0, 0},
    };
    std::int64_t takenback = 0, offcanvas = 0, erased = 0, escapes = 0, refused = 0;
    for (const Case& c : cases) {
        releasecanvas();
        resetsettings();
        std::tie(xres, yres, algorithm, growth, probability, startradius, coloring, greyscale) =
            std::tie(c.width, c.height, c.rule, c.inward, c.stickiness, c.radius, c.coloring, c.grey);
        if (c.grey) {
            rback = gback = bback = 128;
            repackbackground();
        }
        for (std::uint64_t seed : {11u, 12u}) {
            if (c.width == 600 && seed == 12) break;  // one seed of the largest image is enough
            SCOPED_TRACE(std::string(c.name) + ", seed " + std::to_string(seed));
            const Image one = grow(seed, 1);
            ASSERT_GT(one.rests.size(), 100u);
            EXPECT_EQ(one.result.walked, one.moves) << "one thread walks nothing twice";
            std::int64_t steps = one.result.finalwalk;
            for (const Rest& r : one.rests) {
                offcanvas += r.x < 0 || r.y < 0 || r.x >= xres || r.y >= yres;
                steps += r.steps;
                if (c.stickiness == 100) escapes += r.escapes;
                refused += r.refused;
                EXPECT_TRUE(c.stickiness < 100 || r.refused == 0) << "every contact holds at 100%";
            }
            EXPECT_EQ(steps, one.moves) << "the walks of the particles at rest and the last one";
            if (c.grey) erased += std::count(one.pixels.begin(), one.pixels.end(), bkgd);
            for (int threads : {2, 3, 8, 0}) {
                const Image other = grow(seed, threads);
                SCOPED_TRACE(label(threads));
                EXPECT_EQ(other.rests, one.rests);
                EXPECT_EQ(other.pixels, one.pixels);
                EXPECT_EQ(other.moves, one.moves);
                EXPECT_EQ(other.result.finalwalk, one.result.finalwalk);
                EXPECT_GE(other.result.walked, other.moves);
                takenback += other.result.continued + other.result.restarted;
            }
        }
    }
    EXPECT_GT(takenback, 100) << "walks were taken back and walked on";
    EXPECT_GT(offcanvas, 0) << "particles came to rest off the canvas";
    EXPECT_GT(erased, 0);
    EXPECT_GT(escapes, 1000) << "walkers were put back, also where every contact holds";
    EXPECT_GT(refused, 1000) << "contacts were refused below 100% stickiness";
}

// Each particle's launch angle, grey shade and steps come from its own stream: others for another seed or particle,
// with zorvrand's chances (chi-square over 36 angle bins and the 3 shades, p = 1e-4).
TEST(Streams, EachParticleDrawsWithTheSingleStreamsChances) {
    const std::uint64_t key = zorv::stream::streamkey(2017);
    const auto a = zorv::stream::particledraws(key, 5);  // the same for the same seed: the identical images show it
    EXPECT_NE(zorv::stream::particledraws(key, 6).steps, a.steps);
    EXPECT_NE(zorv::stream::particledraws(zorv::stream::streamkey(2018), 5).steps, a.steps);
    const int n = 90000;
    std::vector<double> angles(36, 0), greys(3, 0);
    for (int i = 1; i <= n; ++i) {
        const auto d = zorv::stream::particledraws(key, i);
        ASSERT_TRUE(d.angle >= 0 && d.angle < 1 && d.grey >= -1 && d.grey <= 1);
        ++angles[static_cast<std::size_t>(d.angle * 36)];
        ++greys[static_cast<std::size_t>(d.grey + 1)];
    }
    auto chi2 = [](const std::vector<double>& bins) {
        double sum = 0, expected = static_cast<double>(n) / static_cast<double>(bins.size());
        for (double o : bins) sum += (o - expected) * (o - expected) / expected;
        return sum;
    };
    EXPECT_LT(chi2(angles), 77.0);  // 35 degrees of freedom
    EXPECT_LT(chi2(greys), 18.4);   // 2
}

// A hook that says no ends growth with what was committed; so does an outward cluster erased by grey particles.
TEST_F(Parallel, GrowthEndsWhenAHookSaysSo) {
    xres = yres = 200;
    for (int threads : {1, 2}) {
        int settled = 0;
        zorv::grow::Hooks hooks;
        hooks.settled = [&settled] { return ++settled < 50; };
        const Image stopped = grow(3, threads, hooks);
        EXPECT_TRUE(stopped.result.end == zorv::grow::End::STOPPED && stopped.rests.size() == 50u);
        EXPECT_EQ(stopped.result.particles, 50);
        EXPECT_EQ(std::count_if(stopped.pixels.begin(), stopped.pixels.end(), [](COLORREF c) { return c != bkgd; }),
                  51);
        EXPECT_TRUE(okdla == 0 && firstloop == 0);
        int polls = 0;
        hooks = {};
        hooks.poll = [&polls] { return ++polls < 3; };
        const Image polled = grow(3, threads, hooks);
        EXPECT_TRUE(polled.result.end == zorv::grow::End::STOPPED && polls == 3);
        const Image complete = grow(3, threads);
        EXPECT_TRUE(complete.result.end == zorv::grow::End::COMPLETE && firstloop == 1 && okdla == 0);
        EXPECT_GT(complete.result.finalwalk, 0);
        EXPECT_EQ(std::vector(complete.rests.begin(), complete.rests.begin() + 50), stopped.rests);
    }
    // Grey particles of the background's shade at stickiness 5 erase a small outward cluster to nothing.
    xres = yres = 100;
    greyscale = 1;
    algorithm = 2;
    probability = 5;
    rback = gback = bback = 128;
    repackbackground();
    int gone = 0;
    for (std::uint64_t seed = 1; seed <= 40 && !gone; ++seed) {
        const Image image = grow(seed, 2);
        if (std::count(image.pixels.begin(), image.pixels.end(), bkgd) == xres * yres) {
            ++gone;
            EXPECT_TRUE(image.result.end == zorv::grow::End::COMPLETE && image.result.finalwalk == 0);
        }
    }
    EXPECT_EQ(gone, 1) << "a cluster erased to nothing ends its image";
}

// Asked for 300 particles, growth ends once the 300th has come to rest, on any number of threads: the image holds the
// first 300 particles of the complete image, with their walks, and the moves are theirs alone; inward too.
TEST_F(Parallel, GrowthEndsAfterTheParticlesAskedFor) {
    xres = yres = 200;
    for (int inward : {0, 1}) {
        growth = inward;
        const Image complete = grow(5, 1);
        ASSERT_GT(complete.rests.size(), 300u);
        const std::vector<Rest> first(complete.rests.begin(), complete.rests.begin() + 300);
        std::int64_t steps = 0;
        for (const Rest& r : first) steps += r.steps;
        for (int threads : {1, 2, 8, 0}) {
            SCOPED_TRACE(std::string(inward ? "inward, " : "outward, ") + label(threads));
            const Image image = grow(5, threads, {}, 300);
            EXPECT_EQ(std::tuple(image.result.end, image.result.particles, image.result.finalwalk, image.moves),
                      std::tuple(zorv::grow::End::PARTICLES, 300, 0, steps));
            EXPECT_EQ(image.rests, first);
        }
    }
}

}  // namespace
