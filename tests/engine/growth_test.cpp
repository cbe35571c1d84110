// The growth runs on a headless main window; their walk against a plain one, DLA's dimension, the maps and the canvas.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <numeric>
#include <set>

#include "canvas/canvas.h"
#include "engine/directions.h"
#include "engine/parallel.h"
#include "platform/headless/headless.h"
#include "tests/engine/reference_walk.h"
#include "tests/texts.h"

namespace {

constexpr COLORREF kWall = RGB(1, 2, 3);  // a cluster colour no palette entry uses

class Growth : public ::testing::Test {
protected:
    headless::Backend screen;
    GrowthState before;            // the state before the last call of grow()
    int particles = 0, pumps = 0;  // the particles grow() saw drawn; the pumps of the current call
    void SetUp() override {
        resetsettings();
        firsttime = 0;
        WNDCLASSA wc{0, DefWindowProcA, 0, 0, nullptr, nullptr, LoadCursorA(nullptr, IDC_CROSS), nullptr, nullptr,
                     "Main"};
        RegisterClassA(&wc);
        stopafter(2'000'000);  // a walk that never ends fails instead of hanging
    }
    void TearDown() override {
        platform::SetPumpInterval(64);
        releasecanvas();
        seedplanted = nullptr;
    }
    // A w x h canvas on a main window whose client area is 20 pixels larger, or client x client.
    void open(int w, int h, int client = 0) {
        xres = w;
        yres = h;
        g_hWnd = CreateWindowExA(0, "Main", "", WS_POPUP, 0, 0, client ? client : w + 20, client ? client : h + 20,
                                 nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(createcanvas(g_hWnd));
    }
    // From now on PAUSE (or a button press) comes at the n-th pump of a call.
    void stopafter(int n, UINT message = WM_KEYDOWN) {
        screen.onPump = [this, n, message] {
            if (++pumps != n) return;
            message == WM_KEYDOWN ? screen.keyDown(g_hWnd, VK_PAUSE) : screen.mouseDown(g_hWnd, message, 5, 5);
        };
    }
    static void plot() {  // Plot Image
        okdla = 1;
        terminate = 0;
    }
    static GrowthState& state() { return growth ? centripetalstate() : centrifugalstate(); }
    int call() {
        pumps = 0;
        return growth ? dla_centripetal() : dla_centrifugal();
    }
    // Calls the run as the message loop does until it stops, in a new image seeded at `second` unless 0.
    int grow(std::int64_t second = 0) {
        if (second) {
            screen.calendar = second;
            firstloop = 1;
        }
        plot();
        int r = -1;
        for (particles = 0; okdla; particles += r == GROWTH_CONTINUES) {
            before = state();
            r = call();
            for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) DispatchMessageA(&m);
        }
        return r;
    }
    static COLORREF can(int x, int y) { return GetPixel(g_vhdc, x, y); }
    static std::vector<COLORREF> canvas() { return {g_vhdc->bits, g_vhdc->bits + xres * yres}; }
    static long clusterpixels(const std::vector<COLORREF>& v = canvas()) {
        return std::ranges::count_if(v, [](COLORREF c) { return c != bkgd; });
    }
    // A new image past its first particle, its canvas all `paint`, its circle at `radius`, its colours at their start.
    void begin(int radius, COLORREF paint = bkgd) {
        firstloop = 1;
        plot();
        call();
        for (int i = 0; i < xres * yres; ++i) SetPixel(g_vhdc, i % xres, i / xres, paint);
        GrowthState& s = state();
        s.radius = radius;
        s.distancemax = 0.0;
        s.distancemin = s.xcenter;
        s.moves = 0;
        s.color = s.colorfactor = 1;
        s.colorcount = 0;
    }
};

// The exact chance, under zorvrandom's arithmetic, that trunc(u x scale) is below k.
double zorvchance(double scale, int k) {
    const double c = 3.051850947599719e-05;
    std::uint64_t count = 0;
    for (int coarse = 0; coarse < 32767; ++coarse) {
        if (static_cast<int>((30518 * 1e-9 + coarse * c) * scale) < k) count += 30519;
        else if (static_cast<int>(coarse * c * scale) < k)
            for (int fine = 0; fine < 30519; ++fine) count += static_cast<int>((fine * 1e-9 + coarse * c) * scale) < k;
    }
    return static_cast<double>(count) / (32767.0 * 30519.0);
}

// The walk's escapes decide as the square root would for every bound a run can reach (sqrt being monotone, n = b*b - 1,
// b*b and b*b + 1 settle every n), and its steps and stickiness draws keep zorvrandom's chances within 2^-30.
TEST(Walk, EscapesAndDrawsDecideAsTheSquareRootAndZorvrandom) {
    for (std::int64_t b = 0; b <= 40000; ++b)
        for (std::int64_t n = std::max<std::int64_t>(b * b - 1, 0); n <= b * b + 1; ++n) {
            const double distance = std::sqrt(static_cast<double>(n));
            ASSERT_EQ(distance > static_cast<double>(b), n > zorv::walk::escapebound(true, b)) << n << " " << b;
            ASSERT_EQ(distance < static_cast<double>(b), n < zorv::walk::escapebound(false, b)) << n << " " << b;
        }
    EXPECT_TRUE(0 > zorv::walk::escapebound(true, -1) && !(0 < zorv::walk::escapebound(false, -1)));
    const double two32 = std::ldexp(1.0, 32), tolerance = std::ldexp(1.0, -30);
    const std::uint64_t runs[4] = {0, 0x55555556, 0xAAAAAAAB, std::uint64_t{1} << 32};
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(unitstep(std::uint32_t(runs[k])) == k - 1 && unitstep(std::uint32_t(runs[k + 1] - 1)) == k - 1);
        EXPECT_NEAR((runs[k + 1] - runs[k]) / two32, zorvchance(3.0, k + 1) - zorvchance(3.0, k), tolerance) << k;
    }
    for (int p = 1; p <= 100; ++p)
        EXPECT_NEAR(stickthreshold(p) / two32, zorvchance(100.0, p), tolerance) << "stickiness " << p;
    EXPECT_EQ(stickthreshold(100), std::uint64_t{1} << 32) << "at 100 every contact holds";
}

// Reading the map with the ring just past the escape bound gives exactly the walk that looks at the distance every
// step, in both directions, for rules 0 and 2, at stickiness 100 and 30, from a partly grown cluster, also for inward
// walkers whose point of return lies past the bound, which leave the folded loop when put back.
TEST_F(Growth, TheRingInTheMapGivesTheSameWalks) {
    using namespace zorv::walk;
    using zorv::growth::Centrifugal;
    using zorv::growth::Centripetal;
    using zorv::growth::launch;
    auto end = [](const WalkEnd& e) {
        return std::tuple(e.xpos1, e.ypos1, e.xpos2, e.ypos2, e.steps, e.escapes, e.refused, e.distance2);
    };
    open(200, 160);
    int walks = 0, backpast = 0;
    for (int g : {0, 1})
        for (int rule : {0, 2})
            for (int percent : {100, 30}) {
                std::tie(growth, algorithm, probability) = std::tuple(g, rule, percent);
                screen.calendar = 77 + g;
                firstloop = 1;
                plot();
                for (int i = 0; i < 300 && okdla; ++i) call();
                const GrowthState& s = state();
                g ? zorv::growth::syncring<Centripetal>(s) : zorv::growth::syncring<Centrifugal>(s);
                ContactMap& map = zorv::growth::canvasmap();
                const std::uint64_t stick = stickthreshold(percent);
                zorvsrand(5);
                for (int i = 0; i < 2000; ++i) {
                    const double angle = zorvrandom();
                    const Walker w = g ? launch<Centripetal>(s.radius, s.xcenter, s.ycenter, stick, angle)
                                       : launch<Centrifugal>(s.radius, s.xcenter, s.ycenter, stick, angle);
                    ASSERT_TRUE(foldsfor(map, Rule(rule), !g, w));
                    ++walks;
                    if (escaped(w, !g, w.backx, w.backy)) ++backpast;
                    // The same walk from the same draws, with the ring in the map and without.
                    auto once = [&](bool fold) {
                        const ContactMap::Ring ring = map.ring;
                        if (!fold) map.ring = ContactMap::Ring{};
                        zorv::detail::g_stepState = 1000u + static_cast<unsigned>(i);
                        auto never = [] { return false; };
                        const WalkEnd e = g ? (rule ? walk<false, NEIGHBOURS_AFTER>(w, map, never)
                                                    : walk<false, LANDING>(w, map, never))
                                            : (rule ? walk<true, NEIGHBOURS_AFTER>(w, map, never)
                                                    : walk<true, LANDING>(w, map, never));
                        map.ring = ring;
                        return e;
                    };
                    ASSERT_EQ(end(once(false)), end(once(true))) << g << rule << percent << " walk " << i;
                }
            }
    EXPECT_EQ(walks, 16000);
    EXPECT_GT(backpast, 100) << "inward walkers put back past their bound";
}

// Whole wide images, drawn live too: centripetal (colour, then grey) from the seed ellipse and a circle at half the
// width less 10 until within startradius + 10; centrifugal (after the help box) from the centre pixel until a particle
// reaches 221, with the mass within r growing as r^1.7.
TEST_F(Growth, WideImagesGrowToTheirLimits) {
    const int w = 640, h = 480, xc = w / 2, yc = h / 2;
    open(w, h);
    firsttime = 1;
    static std::vector<COLORREF> seed;
    static GrowthState planted;
    seedplanted = [] {
        seed = canvas();
        planted = state();
    };
    for (int run = 0; run < 3; ++run) {
        growth = run < 2;
        greyscale = run > 0;
        const COLORREF ink = growth && greyscale ? RGB(127, 127, 127) : palettecolor(1);
        EXPECT_EQ(grow(1700000777 + run), 0) << run;
        const GrowthState& s = state();
        std::vector<double> mass(yc, 0.0);  // cluster pixels by whole distance from the centre
        for (int i = 0; i < w * h; ++i) {
            const int x = i % w, y = i / w;
            const double d = std::hypot(x - xc, y - yc);
            const double e = std::hypot((x - xc + 1.0) / (xc - 2), (y - yc + 1.0) / (yc - 2));  // 1 on the ellipse
            ASSERT_TRUE(seed[i] == bkgd || (seed[i] == ink && (growth ? std::abs(e - 1) < 0.03 : d == 0))) << i;
            ASSERT_TRUE(screen.pixel(g_hWnd, x, y) == can(x, y) && (growth || can(x, y) == bkgd || d <= before.radius))
                << x << "," << y;
            if (can(x, y) != bkgd && d < yc) ++mass[static_cast<int>(d)];
        }
        const std::vector<COLORREF> v = canvas();
        const std::set<COLORREF> grey{bkgd, RGB(108, 108, 108), RGB(128, 128, 128), RGB(148, 148, 148), ink};
        EXPECT_TRUE(!greyscale || (std::set<COLORREF>(v.begin(), v.end()) == grey &&
                                   (growth || std::count(v.begin(), v.end(), ink) == 1)));
        EXPECT_TRUE(firstloop == 1 && particles > 1000);
        EXPECT_EQ(screen.boxes.size(), growth ? 0u : 1u) << "the help box before the first centrifugal image";
        if (growth) {
            EXPECT_TRUE(planted.radius == xc - 10 && planted.distancemin == xc && clusterpixels(seed) > 4000);
            EXPECT_TRUE(s.radius < 10 && s.distancemin < startradius + 10 && before.distancemin >= startradius + 10);
            continue;
        }
        EXPECT_TRUE(before.distancemax < yc - 19 && s.distancemax >= yc - 19 && before.radius <= yc - 10);
        EXPECT_TRUE(s.radius == static_cast<int>(s.distancemax) + startradius && clusterpixels() == particles + 1);
        std::partial_sum(mass.begin(), mass.end(), mass.begin());  // cluster pixels within each distance
        const int far = static_cast<int>(s.distancemax / 2);
        const double dimension = std::log(mass[far] / mass[10]) / std::log(far / 10.0);
        EXPECT_TRUE(dimension > 1.55 && dimension < 1.85) << dimension;
    }
}

// Walkers past radius +/- 2 are put back before contact is read, those at it are not: with pixels past the bound
// painted, particles rest only against those at it (or, inward, a wall at 28-31). Amid cluster (rule 1) pixel-count
// colouring gives entry 1 to particles 1-64, 2 to 65, 1 after 255 entries, then 256 each; distance trunc(d) % 255 + 1.
TEST_F(Growth, BoundsAndColouring) {
    open(600, 600);
    startradius = 5;  // keeps the inward circle above its limit
    auto ring = [](double lo, double hi, bool quadrant) {  // paints lo < d <= hi (only x, y >= the centre's)
        for (int y = -50; y < 50; ++y)
            for (int x = -50; x < 50; ++x)
                if (std::hypot(x, y) > lo && std::hypot(x, y) <= hi && (!quadrant || (x >= 0 && y >= 0)))
                    SetPixel(g_vhdc, x + 300, y + 300, kWall);
    };
    for (int g : {0, 1}) {
        growth = g;
        int atbound = 0;
        for (unsigned seed = 1; seed <= 40; ++seed) {
            begin(g ? 20 : 10);
            ring(g ? -1 : 11.99, g ? 18.0 : 60.0, g);  // outward all past 12; inward a quarter within 18
            if (g) ring(28.0, 31.0, false);             // and a wall at 28-31
            zorvsrand(seed);
            ASSERT_EQ(call(), GROWTH_CONTINUES);
            const double reach = g ? centripetalstate().distancemin : centrifugalstate().distancemax;
            EXPECT_TRUE(g ? reach >= 18.0 : reach == 12.0) << reach;
            atbound += reach == (g ? 18.0 : 12.0);
        }
        EXPECT_GT(atbound, 0) << growth;
    }
    growth = 0;
    algorithm = 1;
    GrowthState& s = centrifugalstate();
    const std::pair<int, int> entries[] = {{1, 1}, {64, 1}, {65, 2}, {16320, 255}, {16321, 1}, {16576, 1}, {16577, 2}};
    begin(10, kWall);
    for (int n = 1, next = 0; n <= 16577; ++n) {
        s.radius = 10;
        ASSERT_EQ(call(), GROWTH_CONTINUES);
        if (n == entries[next].first) { EXPECT_EQ(s.frgd, palettecolor(entries[next++].second)) << n; }
    }
    EXPECT_EQ(s.moves, 16577);
    coloring = 1;
    begin(254, kWall);
    std::set<int> seen;
    for (int n = 0; n < 2000; ++n) {
        s.radius = 254;
        s.distancemax = 0;
        ASSERT_EQ(call(), GROWTH_CONTINUES);
        const int want = static_cast<int>(s.distancemax) % 255 + 1;
        ASSERT_TRUE(s.restindex == want && can(s.restx, s.resty) == palettecolor(want)) << s.distancemax;
        seen.insert(want);
    }
    EXPECT_TRUE(seen.count(255) && seen.count(1));
}

// Only PAUSE or a left or right click during a walk stops it (1), not earlier or other input; a stop at entry gives 2
// and, debugging, the statistics; neither draws; Plot Image resumes the cluster; no live drawing off the client area.
TEST_F(Growth, OnlyPauseOrAClickStopsAWalkAndAResumeKeepsTheCluster) {
    struct { UINT input; int client, growth, rule, colouring; } cases[] = {
        {WM_KEYDOWN, 50, 0, 0, 0}, {WM_LBUTTONDOWN, 51, 0, 1, 1}, {WM_RBUTTONDOWN, 120, 1, 5, 0}};
    for (auto c : cases) {
        releasecanvas();
        open(100, 100, c.client);
        std::tie(growth, algorithm, coloring, probability) = std::tuple(c.growth, c.rule, c.colouring, 97);
        debug = firstloop = 1;
        screen.mouseMove(g_hWnd, 3, 3);  // the mouse move puts the class cursor
        screen.keyDown(g_hWnd, VK_PAUSE);
        screen.click(g_hWnd, WM_LBUTTONDOWN, 5, 5);
        PostMessageA(g_hWnd, WM_USER, 0, 0);
        screen.calendar = 1700000042;
        screen.ticks = 0xFFFFF000u;
        screen.boxes.clear();
        platform::SetPumpInterval(1);
        screen.onPump = [this, n = 0]() mutable {  // the 20th pump comes during a walk, after the start's own polls
            if (++pumps == 2'000'000) screen.keyDown(g_hWnd, VK_PAUSE);  // a walk that never ends fails
            if (++n != 20) return;
            for (int vk : {int('A'), VK_ESCAPE, VK_F1, VK_F6, VK_SPACE, int('D')}) screen.key(g_hWnd, vk);
            screen.click(g_hWnd, WM_MBUTTONDOWN, 5, 5);
            screen.mouseMove(g_hWnd, 9, 9);
        };
        for (int i = 0; i < 30; ++i) ASSERT_EQ(call(), GROWTH_CONTINUES) << c.client;
        MSG m;
        EXPECT_FALSE(PeekMessageA(&m, g_hWnd, 0x100, 0x209, PM_NOREMOVE)) << "the walks took the input";
        EXPECT_TRUE(PeekMessageA(&m, g_hWnd, WM_USER, WM_USER, PM_REMOVE)) << "other messages stay queued";
        const int side = std::min(c.client, 100);
        for (int i = 0; i < side * side; ++i) {
            const int x = i % side, y = i / side;
            ASSERT_TRUE(can(x, y) == bkgd || (screen.pixel(g_hWnd, x, y) == can(x, y)) == (c.client > 50)) << i;
        }
        const GrowthState s = state();
        const std::vector<COLORREF> drawn = canvas();
        screen.ticks += 3723999u;  // 1 h 2 min 3.999 s
        terminate = 1;
        EXPECT_TRUE(call() == 2 && state().moves == s.moves);
        char text[600];
        const int reach = static_cast<int>(growth ? s.distancemin : s.distancemax), moves = static_cast<int>(s.moves);
        std::snprintf(text, sizeof text, texts::statistics[growth], 1, 2, 3, 10, 97, '%', reach, s.radius, 30, moves);
        ASSERT_EQ(screen.boxes.size(), 1u);
        EXPECT_EQ(screen.boxes[0].text, text + std::string(texts::ruleLine[std::min(algorithm, 2)]) +
                                            texts::coloringLine[coloring]);
        EXPECT_TRUE(screen.boxes[0].caption == texts::program && screen.boxes[0].type == MB_OK &&
                    !screen.boxes[0].owner);
        plot();
        stopafter(1, c.input);
        EXPECT_TRUE(call() == 1 && terminate == 1 && okdla == 0 && firstloop == 0 && canvas() == drawn);
        EXPECT_TRUE(screen.cursor.x == 100 && screen.cursor.y == 100 && screen.cursorShape == CursorShape::Cross);
        plot();
        stopafter(2'000'000);
        ASSERT_EQ(call(), GROWTH_CONTINUES);
        EXPECT_TRUE(state().starttime == s.starttime && state().pixelcount == s.pixelcount + 1);
        EXPECT_EQ(clusterpixels(), clusterpixels(drawn) + 1);
    }
}

// Means within 4 standard errors of their difference, and with `spread` deviations within 1.8 (F(39, 39), p = 2e-4).
void agree(const char* what, const std::vector<double> (&v)[2], bool spread = false) {
    double mean[2], sd[2], se[2];
    for (int k : {0, 1}) {
        const double n = static_cast<double>(v[k].size());
        mean[k] = std::accumulate(v[k].begin(), v[k].end(), 0.0) / n;
        sd[k] = std::sqrt((std::inner_product(v[k].begin(), v[k].end(), v[k].begin(), 0.0) - n * mean[k] * mean[k]) /
                          (n - 1));
        se[k] = sd[k] / std::sqrt(n);
    }
    EXPECT_LE(std::abs(mean[0] - mean[1]), 4 * std::hypot(se[0], se[1])) << what << ": " << mean[0] << ", " << mean[1];
    EXPECT_TRUE(!spread || (sd[0] / sd[1] < 1.8 && sd[1] / sd[0] < 1.8)) << what << ": " << sd[0] << ", " << sd[1];
}

// 40 whole clusters by the real run, by the driver on two threads and by the plain walk agree in particles (mean and
// spread); 8000 single walks by each from one cluster agree in steps, reach and (chi-square) resting places, which
// shows any wrong rule.
class Walks : public Growth, public ::testing::WithParamInterface<std::tuple<int, bool, int>> {};  // rule, outward, %
TEST_P(Walks, MatchThePlainWalk) {
    const auto [rule, outward, percent] = GetParam();
    open(160, 160);
    std::tie(algorithm, growth, probability) = std::tuple(rule, !outward, percent);
    const reference::Options o{.xres = 160, .yres = 160, .probability = percent, .algorithm = rule, .outward = outward};
    std::vector<double> count[2], walked[2], reach[2];
    for (int i = 0; i < 40; ++i) {
        grow(1000 + i);
        count[0].push_back(particles);
        count[1].push_back(reference::grow(g_vhdc, o, 5000 + i).particles);
    }
    agree("particles per cluster", count, true);
    // The driver of growth on several threads, with its streams of one per particle, grows the same model.
    std::vector<double> threaded[2] = {{}, count[1]};
    for (int i = 0; i < 40; ++i) {
        zorv::grow::Options options;
        options.seed = 9000 + i;
        options.threads = 2;
        threaded[0].push_back(static_cast<double>(zorv::grow::growimage(options, {}).particles));
    }
    agree("particles per cluster on two threads", threaded, true);
    screen.calendar = 4242;
    firstloop = 1;
    plot();
    for (int i = 0; i < 150; ++i) ASSERT_EQ(call(), GROWTH_CONTINUES);
    const GrowthState start = state();
    const std::vector<COLORREF> snapshot = canvas();
    auto place = [](int x, int y) { return x >= 0 && x < 160 && y >= 0 && y < 160 ? y * 160 + x : -1; };
    std::map<int, std::pair<int, int>> rests;  // by place (-1: off the canvas, past the ellipse), real and plain
    for (int i = 0; i < 8000; ++i) {
        GrowthState& s = state();
        s = start;
        s.distancemax = 0.0;  // so the run's reach is this walk's distance
        s.distancemin = 1e9;  // likewise inward
        ASSERT_EQ(call(), GROWTH_CONTINUES);
        walked[0].push_back(s.moves - start.moves);
        reach[0].push_back(outward ? s.distancemax : s.distancemin);
        const int p = place(s.restx, s.resty);
        ++rests[p].first;
        if (p >= 0) zorv::walk::plot(zorv::growth::canvasmap(), g_vhdc, s.restx, s.resty, snapshot[p]);
    }
    zorvsrand(777);
    for (int i = 0; i < 8000; ++i) {
        const reference::Rest r = reference::walkone(g_vhdc, o, start.xcenter, start.ycenter, start.radius);
        walked[1].push_back(r.steps);
        reach[1].push_back(r.distance);
        ++rests[place(r.x, r.y)].second;
    }
    agree("steps per walk", walked);
    agree("distance of the last step", reach);
    // Two-sample chi-square over the resting places; places seen fewer than 10 times in both together share a bin.
    std::map<int, std::pair<int, int>> bins;
    for (auto [where, n] : rests) {
        auto& bin = bins[n.first + n.second < 10 ? INT_MIN : where];
        bin.first += n.first;
        bin.second += n.second;
    }
    double chi2 = 0, df = static_cast<double>(bins.size()) - 1;
    for (auto [where, n] : bins) chi2 += (n.first - n.second) * double(n.first - n.second) / (n.first + n.second);
    const double h = 2.0 / (9.0 * df), critical = df * std::pow(1 - h + 3.719 * std::sqrt(h), 3);  // p = 1e-4
    EXPECT_LT(chi2, critical) << "resting places differ over " << df + 1 << " places";
}
INSTANTIATE_TEST_SUITE_P(Models, Walks, ::testing::Values(std::tuple{0, true, 100}, std::tuple{1, true, 30},
                                                          std::tuple{2, true, 100}, std::tuple{0, false, 100},
                                                          std::tuple{1, false, 100}, std::tuple{2, false, 30}));

// The maps agree with the canvas after every call, whatever drew between two particles: a wall, a preview and its
// restore, a new background, grey particles in the background's grey (erasing the cluster completes it), a new canvas.
TEST_F(Growth, TheMapsNeverDisagreeWithTheCanvas) {
    open(160, 120);  // not square: the maps' rows and columns stay apart
    auto grows = [&](const char* when, int calls, std::int64_t second = 0) {
        if (second) {
            screen.calendar = second;
            firstloop = 1;
            plot();
        }
        for (int i = 0; i < calls && okdla; ++i) {
            EXPECT_NE(call(), 1) << when;
            EXPECT_TRUE(zorv::walk::agrees(zorv::growth::canvasmap(), g_vhdc, bkgd)) << when;
        }
    };
    for (int rule : {0, 2}) {
        algorithm = rule;
        grows("growing", 50, 1234);
        const int r = centrifugalstate().radius + 1;  // the next particles can only rest against it or the cluster
        zorv::growth::drawellipse(g_vhdc, 80 - r, 60 - r, 80 + r, 60 + r, 2, kWall);
        grows("after a wall was drawn", 1);
        savepreviewarea(g_hWnd);
        RECT corner{0, 0, 60, 40};
        FillRect(g_vhdc, &corner, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
        grows("while a preview covers the corner", 1);
        restorepreviewarea(g_hWnd);
        grows("after the corner was restored", 1);
    }
    bkgd = RGB(0, 0, 0);
    grows("after the background changed", 1);
    bkgd = RGB(128, 128, 128);
    std::tie(greyscale, probability, algorithm) = std::tuple(1, 40, 0);
    grows("greyscale", 300, 99);
    std::tie(probability, algorithm) = std::tuple(5, 2);
    grows("grey particles erasing the cluster", 10, 35);  // then the image is complete
    EXPECT_TRUE(okdla == 0 && firstloop == 1 && clusterpixels() == 0 && zorv::growth::canvasmap().population == 0);
    xres = 130;
    yres = 100;
    ASSERT_TRUE(resizecanvas(g_hWnd));
    std::tie(algorithm, greyscale, probability, growth) = std::tuple(1, 0, 100, 1);
    bkgd = RGB(255, 245, 230);
    grows("on a new canvas", 50, 1);
}

}  // namespace
