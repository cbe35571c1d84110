// The fast walk against the model: its escape test and its draws decide as
// the square root and zorvrandom did, whole clusters grown by the real runs
// match a plain walk written from the model in distribution, clusters keep
// the fractal dimension of DLA, and the cluster maps never disagree with the
// canvas, whatever draws on it between two particles.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "canvas/canvas.h"
#include "engine/growth.h"
#include "engine/growthrun.h"
#include "engine/random.h"
#include "engine/settings.h"
#include "engine/walk.h"
#include "platform/headless/headless.h"
#include "tests/engine/reference_walk.h"

namespace {

// sqrt(n) > b exactly when n > b * b, and sqrt(n) < b exactly when n < b * b,
// for every whole b a run can reach (radius + 2 up to 9600, and far beyond):
// sqrt is monotone and correctly rounded, so checking n = b*b - 1, b*b and
// b*b + 1 for every b settles every n.
TEST(Walk, EscapeOnSquaredDistancesDecidesAsTheSquareRoot) {
    for (std::int64_t b = 0; b <= 40000; ++b) {
        for (std::int64_t n = std::max<std::int64_t>(b * b - 1, 0); n <= b * b + 1; ++n) {
            const double distance = std::sqrt(static_cast<double>(n));
            ASSERT_EQ(distance > static_cast<double>(b), n > zorv::walk::escapebound(true, b)) << n << " " << b;
            ASSERT_EQ(distance < static_cast<double>(b), n < zorv::walk::escapebound(false, b)) << n << " " << b;
        }
    }
    // A bound below zero: an outward walker is always past it, an inward one never.
    EXPECT_TRUE(0 > zorv::walk::escapebound(true, -1));
    EXPECT_FALSE(0 < zorv::walk::escapebound(false, -1));
}

// The exact chance, under zorvrandom's arithmetic, that trunc(u x scale) is
// below k: all fine values count for coarse values wholly below the
// threshold, none wholly above it, and the fine values of the one or two
// coarse values in between are enumerated one by one.
double zorvchance(double scale, int k) {
    const double c = 3.051850947599719e-05;
    std::uint64_t count = 0;
    for (int coarse = 0; coarse < 32767; ++coarse) {
        const double lo = 0 * 1e-9 + coarse * c, hi = 30518 * 1e-9 + coarse * c;
        if (static_cast<int>(hi * scale) < k) count += 30519;
        else if (static_cast<int>(lo * scale) < k)
            for (int fine = 0; fine < 30519; ++fine) count += static_cast<int>((fine * 1e-9 + coarse * c) * scale) < k;
    }
    return static_cast<double>(count) / (32767.0 * 30519.0);
}

// Each unit step keeps zorvrandom's chance of -1, 0 and +1, and the
// stickiness test its chance of holding for every stickiness, within 2^-30.
TEST(Walk, StepAndStickinessChancesMatchZorvrandom) {
    const double tolerance = std::ldexp(1.0, -30);
    // unitstep maps the 2^32 values onto -1, 0, +1 in three runs.
    std::uint64_t firstzero = 0, firstone = 0;
    for (std::uint64_t v : {0x55555555ull, 0x55555556ull, 0xAAAAAAAAull, 0xAAAAAAABull}) {
        if (unitstep(static_cast<std::uint32_t>(v)) == 0 && !firstzero) firstzero = v;
        if (unitstep(static_cast<std::uint32_t>(v)) == 1 && !firstone) firstone = v;
    }
    ASSERT_EQ(unitstep(0u), -1);
    ASSERT_EQ(unitstep(0xFFFFFFFFu), 1);
    ASSERT_EQ(unitstep(static_cast<std::uint32_t>(firstzero - 1)), -1);
    ASSERT_EQ(unitstep(static_cast<std::uint32_t>(firstone - 1)), 0);
    const double two32 = std::ldexp(1.0, 32);
    const double chances[3] = {firstzero / two32, (firstone - firstzero) / two32, 1 - firstone / two32};
    for (int k = 0; k < 3; ++k) {
        const double zorv = zorvchance(3.0, k + 1) - (k ? zorvchance(3.0, k) : 0.0);
        EXPECT_NEAR(chances[k], zorv, tolerance) << "step " << k - 1;
    }
    for (int p = 1; p <= 100; ++p) {
        const double zorv = zorvchance(100.0, p);  // trunc(u x 100) + 1 <= p
        EXPECT_NEAR(static_cast<double>(stickthreshold(p)) / two32, zorv, tolerance) << "stickiness " << p;
    }
    EXPECT_EQ(stickthreshold(100), std::uint64_t{1} << 32) << "at 100 every contact holds";
}

// A headless main window with a canvas, for whole runs.
class Runs : public ::testing::Test {
protected:
    headless::Backend screen;
    void SetUp() override {
        resetsettings();
        firsttime = 0;
        WNDCLASSA wc{0, DefWindowProcA, 0, 0, nullptr, nullptr, LoadCursorA(nullptr, IDC_CROSS),
                     static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)), nullptr, "Main"};
        RegisterClassA(&wc);
        // A walk that never ends is stopped by PAUSE and fails the test instead of hanging.
        screen.onPump = [this] {
            if (++pumps == 1'000'000) screen.keyDown(g_hWnd, VK_PAUSE);
        };
    }
    void TearDown() override { releasecanvas(); }
    long pumps = 0;
    void open(int w, int h) {
        xres = w, yres = h;
        g_hWnd = CreateWindowExA(0, "Main", "", WS_POPUP, 0, 0, w + 20, h + 20, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(createcanvas(g_hWnd));
    }
    static void serve() {
        for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) TranslateMessage(&m), DispatchMessageA(&m);
    }
    static GrowthState& state() { return growth ? centripetalstate() : centrifugalstate(); }
    int call() {
        pumps = 0;
        return growth ? dla_centripetal() : dla_centrifugal();
    }
    // One whole image from a new start; the particles drawn and the steps.
    reference::Image image(std::int64_t seed) {
        screen.calendar = seed;
        firstloop = 1, okdla = 1, terminate = 0;
        reference::Image got;
        while (okdla) {
            if (call() == GROWTH_CONTINUES) ++got.particles;
            serve();
        }
        got.moves = state().moves;
        return got;
    }
};

struct Sample {
    std::vector<double> values;
    double mean() const {
        double s = 0;
        for (double v : values) s += v;
        return s / static_cast<double>(values.size());
    }
    double sd() const {
        const double m = mean();
        double s = 0;
        for (double v : values) s += (v - m) * (v - m);
        return std::sqrt(s / static_cast<double>(values.size() - 1));
    }
    double se() const { return sd() / std::sqrt(static_cast<double>(values.size())); }
};

// The two samples agree: means within 4 standard errors of their
// difference, spreads within a factor 1.8 (F(39, 39) at p = 0.0002).
// Steps per particle have too heavy a tail on small images for their spread
// to be compared.
void agree(const char* what, const Sample& fast, const Sample& plain, bool spread = true) {
    SCOPED_TRACE(what);
    const double se = std::hypot(fast.se(), plain.se());
    EXPECT_LE(std::abs(fast.mean() - plain.mean()), 4 * se)
        << "mean " << fast.mean() << " against " << plain.mean() << ", standard error " << se;
    if (!spread) return;
    EXPECT_LE(fast.sd() / plain.sd(), 1.8) << "spread " << fast.sd() << " against " << plain.sd();
    EXPECT_GE(fast.sd() / plain.sd(), 1 / 1.8) << "spread " << fast.sd() << " against " << plain.sd();
}

struct Model {
    int rule;
    bool outward;
    int probability;
};

void PrintTo(const Model& m, std::ostream* os) {
    *os << (m.outward ? "centrifugal" : "centripetal") << ", rule " << m.rule << ", stickiness " << m.probability;
}

std::string modelname(const ::testing::TestParamInfo<Model>& info) {
    return std::string(info.param.outward ? "Centrifugal" : "Centripetal") + "Rule" + std::to_string(info.param.rule) +
           "Stickiness" + std::to_string(info.param.probability);
}

// 40 clusters of 160 x 160 from the real runs and 40 from the plain walk,
// each with its own fixed seeds: particles per cluster and steps per
// particle agree in mean and spread.
class Distribution : public Runs, public ::testing::WithParamInterface<Model> {};
TEST_P(Distribution, MatchesThePlainWalk) {
    const Model m = GetParam();
    const int size = 160, clusters = 40;
    open(size, size);
    algorithm = m.rule, growth = m.outward ? 0 : 1, probability = m.probability;
    Sample particles[2], steps[2];
    for (int i = 0; i < clusters; ++i) {
        const reference::Image fast = image(1000 + i);
        particles[0].values.push_back(static_cast<double>(fast.particles));
        steps[0].values.push_back(static_cast<double>(fast.moves) / static_cast<double>(fast.particles + 1));
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, size, size);
    HGDIOBJ old = SelectObject(dc, bitmap);
    reference::Options o;
    o.xres = o.yres = size;
    o.algorithm = m.rule, o.outward = m.outward, o.probability = m.probability;
    for (int i = 0; i < clusters; ++i) {
        const reference::Image plain = reference::grow(dc, o, 5000 + i);
        particles[1].values.push_back(static_cast<double>(plain.particles));
        steps[1].values.push_back(static_cast<double>(plain.moves) / static_cast<double>(plain.particles + 1));
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    agree("particles per cluster", particles[0], particles[1]);
    agree("steps per particle", steps[0], steps[1], false);
}
INSTANTIATE_TEST_SUITE_P(Walks, Distribution,
                         ::testing::Values(Model{0, true, 100}, Model{2, true, 100}, Model{1, false, 100},
                                           Model{1, true, 30}),
                         modelname);

// Walks of single particles from one fixed, partly grown cluster, 8000 by
// the real run and 8000 by the plain walk: where they come to rest, how
// far their last step reached and how many steps they took agree. Many
// short samples make this far sharper than whole clusters: a stickiness
// off by a few percent, a bound or put-back point off by a pixel, or a
// neighbour rule that also reads the centre shows here.
class SingleWalks : public Runs, public ::testing::WithParamInterface<Model> {};
TEST_P(SingleWalks, MatchThePlainWalk) {
    const Model m = GetParam();
    const int size = 160, walks = 8000;
    open(size, size);
    algorithm = m.rule, growth = m.outward ? 0 : 1, probability = m.probability;
    // Part of a cluster, grown by the real run.
    screen.calendar = 4242;
    firstloop = 1, okdla = 1, terminate = 0;
    for (int i = 0; i < 150; ++i) ASSERT_EQ(call(), GROWTH_CONTINUES), serve();
    GrowthState start = state();
    start.color = 200, start.colorcount = 0;  // a colour no pixel has yet
    const COLORREF marker = palettecolor(200);
    std::vector<COLORREF> snapshot(static_cast<std::size_t>(size * size));
    for (int i = 0; i < size * size; ++i) snapshot[static_cast<std::size_t>(i)] = GetPixel(g_vhdc, i % size, i / size);

    std::map<int, int> rests[2];
    Sample steps[2], reach[2];
    for (int i = 0; i < walks; ++i) {
        GrowthState& s = state();
        s = start;
        s.distancemax = 0.0, s.distancemin = 1e9;  // so the run's reach is this walk's distance
        okdla = 1, terminate = 0;
        ASSERT_EQ(call(), GROWTH_CONTINUES);
        steps[0].values.push_back(static_cast<double>(s.moves - start.moves));
        reach[0].values.push_back(m.outward ? s.distancemax : s.distancemin);
        int rest = -1;  // off the canvas: a walker that crossed the ellipse
        for (int p = 0; p < size * size && rest < 0; ++p)
            if (GetPixel(g_vhdc, p % size, p / size) == marker) rest = p;
        ++rests[0][rest];
        if (rest >= 0)
            zorv::walk::plot(zorv::growth::canvasmap(), g_vhdc, rest % size, rest / size,
                             snapshot[static_cast<std::size_t>(rest)]);
    }

    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(nullptr, size, size);
    HGDIOBJ old = SelectObject(dc, bitmap);
    for (int i = 0; i < size * size; ++i) SetPixel(dc, i % size, i / size, snapshot[static_cast<std::size_t>(i)]);
    reference::Options o;
    o.xres = o.yres = size;
    o.algorithm = m.rule, o.outward = m.outward, o.probability = m.probability, o.background = bkgd;
    const reference::Circle circle{start.xcenter, start.ycenter, start.radius, 0.0};
    zorvsrand(777);
    for (int i = 0; i < walks; ++i) {
        const reference::Rest r = reference::walkone(dc, o, circle);
        steps[1].values.push_back(static_cast<double>(r.steps));
        reach[1].values.push_back(r.distance);
        ++rests[1][r.x >= 0 && r.x < size && r.y >= 0 && r.y < size ? r.y * size + r.x : -1];
    }
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);

    for (auto [what, sample] : {std::pair{"steps per walk", steps}, std::pair{"distance of the last step", reach}}) {
        const double se = std::hypot(sample[0].se(), sample[1].se());
        EXPECT_LE(std::abs(sample[0].mean() - sample[1].mean()), 4 * se)
            << what << ": " << sample[0].mean() << " against " << sample[1].mean() << ", standard error " << se;
    }
    // Two-sample chi-square over the resting places; places seen fewer than
    // 10 times in both together share one bin.
    std::map<int, std::pair<int, int>> bins;
    for (int k : {0, 1})
        for (auto [place, n] : rests[k]) (k ? bins[place].second : bins[place].first) += n;
    double chi2 = 0, pooleda = 0, pooledb = 0;
    int df = -1;
    for (auto [place, n] : bins) {
        if (n.first + n.second < 10) {
            pooleda += n.first, pooledb += n.second;
            continue;
        }
        chi2 += (n.first - n.second) * double(n.first - n.second) / (n.first + n.second), ++df;
    }
    if (pooleda + pooledb > 0) chi2 += (pooleda - pooledb) * (pooleda - pooledb) / (pooleda + pooledb), ++df;
    // The chi-square quantile for p = 1e-4 (Wilson and Hilferty).
    const double h = 2.0 / (9.0 * df), critical = df * std::pow(1 - h + 3.719 * std::sqrt(h), 3);
    EXPECT_LT(chi2, critical) << "resting places differ over " << df + 1 << " places";
}
INSTANTIATE_TEST_SUITE_P(Walks, SingleWalks,
                         ::testing::Values(Model{0, true, 100}, Model{1, true, 100}, Model{2, false, 100},
                                           Model{0, false, 30}, Model{2, true, 30}),
                         modelname);

// The mass within radius r of the seed grows as r^D with D about 1.7 for a
// DLA cluster in the plane (a filled disc would give 2, a line 1).
TEST_F(Runs, CentrifugalClustersHaveTheDimensionOfDla) {
    open(600, 600);
    for (int rule : {1}) {
        SCOPED_TRACE(rule);
        algorithm = rule;
        image(77);
        std::vector<double> mass(300, 0.0);
        for (int y = 0; y < yres; ++y)
            for (int x = 0; x < xres; ++x)
                if (GetPixel(g_vhdc, x, y) != bkgd) {
                    const int r = static_cast<int>(std::hypot(x - xres / 2, y - yres / 2));
                    if (r < 300) mass[static_cast<std::size_t>(r)] += 1;
                }
        for (std::size_t r = 1; r < mass.size(); ++r) mass[r] += mass[r - 1];
        // Least squares of log mass on log radius, from 10 pixels to half the cluster.
        const int outer = static_cast<int>(centrifugalstate().distancemax / 2);
        double sx = 0, sy = 0, sxx = 0, sxy = 0, n = 0;
        for (int r = 10; r <= outer; ++r) {
            const double lx = std::log(r), ly = std::log(mass[static_cast<std::size_t>(r)]);
            sx += lx, sy += ly, sxx += lx * lx, sxy += lx * ly, n += 1;
        }
        const double dimension = (n * sxy - sx * sy) / (n * sxx - sx * sx);
        EXPECT_GT(dimension, 1.55);
        EXPECT_LT(dimension, 1.85);
    }
}

// Whatever draws on the canvas between two particles is what the next walk
// touches: a wall painted across the walkers' way, a preview saved and
// restored over the cluster, a new background, a canvas made anew. After
// every call the maps agree with the canvas, also where a particle drawn in
// the background's own colour (greyscale) or resting on a cluster pixel
// (stickiness below 100) leaves a pixel empty.
TEST_F(Runs, TheMapsNeverDisagreeWithTheCanvas) {
    open(160, 120);  // not square: the maps' rows and columns stay apart
    auto& map = zorv::growth::canvasmap();
    auto check = [&](const char* when) {
        SCOPED_TRACE(when);
        ASSERT_TRUE(zorv::walk::agrees(map, g_vhdc, bkgd));
    };
    for (int rule : {0, 2}) {
        algorithm = rule;
        screen.calendar = 1234;
        firstloop = 1, okdla = 1, terminate = 0;
        for (int i = 0; i < 50 && okdla; ++i) call(), serve(), check("growing");

        // A ring of wall just outside the seeding circle: the next particles
        // can only rest against it or the cluster, never pass through.
        const int r = centrifugalstate().radius + 1;
        HPEN pen = CreatePen(PS_SOLID, 2, RGB(1, 2, 3));
        HGDIOBJ old = SelectObject(g_vhdc, pen);
        Arc(g_vhdc, 80 - r, 60 - r, 80 + r, 60 + r, 80 - r, 60 - r, 80 - r, 60 - r);
        SelectObject(g_vhdc, old);
        DeleteObject(pen);
        EXPECT_EQ(call(), GROWTH_CONTINUES) << "the walker was held by the wall";
        check("after a wall was drawn");

        // A preview over the top-left corner, then the corner restored.
        savepreviewarea(g_hWnd);
        RECT corner{0, 0, 60, 40};
        FillRect(g_vhdc, &corner, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        call();
        check("while a preview covers the corner");
        restorepreviewarea(g_hWnd);
        call();
        check("after the corner was restored");
    }

    // A background that changes between calls: everything not of the new
    // colour is cluster now.
    bkgd = RGB(0, 0, 0);
    call();
    check("after the background changed");

    // Greyscale particles in the background's grey, resting on cluster pixels.
    bkgd = RGB(128, 128, 128), greyscale = 1, probability = 40, algorithm = 0;
    screen.calendar = 99;
    firstloop = 1, okdla = 1, terminate = 0;
    for (int i = 0; i < 300 && okdla; ++i) call(), serve(), check("greyscale");

    // A canvas made anew at another size.
    xres = 130, yres = 100;
    ASSERT_TRUE(resizecanvas(g_hWnd));
    algorithm = 1, greyscale = 0, probability = 100, bkgd = RGB(255, 245, 230), growth = 1;
    firstloop = 1, okdla = 1, terminate = 0;
    for (int i = 0; i < 50 && okdla; ++i) call(), serve(), check("on a new canvas");
}

}  // namespace
