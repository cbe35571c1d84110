// The growth runs on a headless main window: help, escape, contact rules,
// stickiness, colouring, limits, stops and resumes, live drawing, statistics.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <set>
#include <tuple>
#include <vector>

#include "canvas/canvas.h"
#include "engine/growth.h"
#include "engine/random.h"
#include "engine/settings.h"
#include "platform/backend.h"
#include "platform/headless/headless.h"
#include "tests/texts.h"

namespace {

constexpr COLORREF kWall = RGB(1, 2, 3);  // a cluster colour no palette entry uses

class Growth : public ::testing::Test {
protected:
    headless::Backend screen;
    GrowthState before;  // the state before the last call of grow()
    int particles = 0;   // the particles grow() saw drawn

    void SetUp() override {
        resetsettings();
        firsttime = 0;  // the help box has its own test
        WNDCLASSA wc{0, DefWindowProcA, 0, 0, nullptr, nullptr, LoadCursorA(nullptr, IDC_CROSS),
                     static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)), nullptr, "Main"};
        RegisterClassA(&wc);
    }
    void TearDown() override { platform::SetPumpInterval(64), releasecanvas(); }
    // A w x h canvas on a main window whose client area is 20 pixels larger, or client x client.
    void open(int w, int h = 0, int client = 0) {
        xres = w, yres = h ? h : w;
        const int cw = client ? client : xres + 20, ch = client ? client : yres + 20;
        g_hWnd = CreateWindowExA(0, "Main", "", WS_POPUP, 0, 0, cw, ch, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(createcanvas(g_hWnd));
    }
    static void serve() {  // what the message loop does between two calls
        for (MSG m; PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);) TranslateMessage(&m), DispatchMessageA(&m);
    }
    static void plot() { okdla = 1, terminate = 0; }  // Plot Image
    static GrowthState& state() { return growth ? centripetalstate() : centrifugalstate(); }
    static int call() { return growth ? dla_centripetal() : dla_centrifugal(); }
    // Calls the run as the loop does until it stops; returns the last result.
    int grow() {
        if (!screen.onPump) stopafter(2'000'000);  // a walk that never ends fails instead of hanging
        int r = -1;
        for (particles = 0; okdla; particles += r == GROWTH_CONTINUES, serve()) before = state(), r = call();
        return r;
    }
    // Posts PAUSE (or a button press) at the `pumps`-th pump from now.
    void stopafter(long pumps, UINT message = WM_KEYDOWN) {
        screen.onPump = [this, n = 0L, pumps, message]() mutable {
            if (++n != pumps) return;
            message == WM_KEYDOWN ? screen.keyDown(g_hWnd, VK_PAUSE) : screen.mouseDown(g_hWnd, message, 5, 5);
        };
    }
    static COLORREF can(int x, int y) { return GetPixel(g_vhdc, x, y); }
    COLORREF win(int x, int y) const { return screen.pixel(g_hWnd, x, y); }
    static std::vector<COLORREF> canvas() {
        std::vector<COLORREF> v;
        for (int i = 0; i < xres * yres; ++i) v.push_back(can(i % xres, i / xres));
        return v;
    }
    static long clusterpixels(const std::vector<COLORREF>& v = canvas()) {
        return std::count_if(v.begin(), v.end(), [](COLORREF c) { return c != bkgd; });
    }
    // Paints every pixel at distance d from the centre with lo < d <= hi
    // (with lowerright, only those right of and below the centre).
    static void ring(double lo, double hi, bool lowerright = false) {
        for (int i = 0, x = 0, y = 0; i < xres * yres; ++i, x = i % xres, y = i / xres) {
            const double d = std::hypot(x - xres / 2, y - yres / 2);
            if (d > lo && d <= hi && (!lowerright || (x > xres / 2 && y > yres / 2))) SetPixel(g_vhdc, x, y, kWall);
        }
    }
    // A new image has been started and its first particle walked; then the canvas
    // is all `paint`, the circle is back at `radius` and a walk that never ends fails.
    void begin(int radius, COLORREF paint = bkgd) {
        firstloop = 1;
        plot();
        call();
        serve();
        for (int i = 0; i < xres * yres; ++i) SetPixel(g_vhdc, i % xres, i / xres, paint);
        GrowthState& s = state();
        s.radius = radius, s.distancemax = 0.0, s.distancemin = s.xcenter, s.moves = 0;
        stopafter(100000);
    }
};

// The draws a run makes after launching without initialising: the launch angle,
// then the first step, both unit steps from one 64-bit step draw. Peeking
// reseeds, so the run sees the same draws.
struct FirstDraws {
    double angle; int dx, dy;
    POINT launch(int radius, int centre) const {
        return {int(std::cos(angle) * radius) + centre, int(std::sin(angle) * radius) + centre};
    }
};
FirstDraws peek(unsigned seed) {
    zorvsrand(seed);
    std::uint64_t steps = zorv::detail::g_stepState;
    const std::uint64_t step = zorvsteps(steps);
    const FirstDraws d{zorvrandom() * 0.017453292519943295 * 360.0, unitstep(static_cast<std::uint32_t>(step)),
                       unitstep(static_cast<std::uint32_t>(step >> 32))};
    zorvsrand(seed);
    return d;
}

// 100 x 100 with a start radius of 41 to 50 leaves no room: the first particle
// ends the run, leaving only the seed (or the seed ellipse). The help text comes
// before the first centrifugal image only, never from a stop at entry or the centripetal run.
TEST_F(Growth, SmallImagesCompleteAtTheFirstParticleAndHelpShowsOnce) {
    open(100);
    firsttime = 1, terminate = 1;
    EXPECT_EQ(dla_centrifugal(), 2);
    for (int g : {1, 0})
        for (int r : {41, 45, 50}) {
            SCOPED_TRACE(r);
            growth = g, startradius = r;
            plot();
            EXPECT_TRUE(call() == 0 && firstloop == 1);
            for (COLORREF c : canvas()) ASSERT_TRUE(c == bkgd || c == palettecolor(1));
            EXPECT_EQ(can(50, 50), g ? bkgd : palettecolor(1));
            EXPECT_TRUE(g || clusterpixels() == 1);
            EXPECT_EQ(screen.boxes.size(), g ? 0u : 1u);
        }
    const headless::BoxRecord& help = screen.boxes[0];
    EXPECT_TRUE(help.text == texts::help && help.caption == "HELP" && !help.owner && help.type == MB_ICONINFORMATION);
}

// A 300 x 200 image grown call by call as the message loop does ends at the
// first particle whose last step reached 81 (the circle would come within
// 10 pixels of the top and bottom), undrawn; every other particle adds one
// pixel inside the seeding circle, drawn live on the window too. Rule 2
// grows in grey shades, where only the seed keeps entry 1.
class WholeCluster : public Growth, public ::testing::WithParamInterface<int> {};
TEST_P(WholeCluster, WideImageGrowsToTheLimitOfItsHeight) {
    open(300, 200);
    algorithm = GetParam(), greyscale = algorithm == 2;
    screen.calendar = 1700000777;
    EXPECT_EQ(grow(), 0);
    const GrowthState& s = centrifugalstate();
    EXPECT_TRUE(firstloop == 1 && before.distancemax < 81.0 && s.distancemax >= 81.0 && before.radius <= 90);
    EXPECT_EQ(s.radius, static_cast<int>(s.distancemax) + startradius);
    EXPECT_EQ(clusterpixels(), particles + 1);
    for (int i = 0, x = 0, y = 0; i < 300 * 200; ++i, x = i % 300, y = i / 300)
        ASSERT_TRUE(can(x, y) == bkgd || (std::hypot(x - 150, y - 100) <= before.radius && win(x, y) == can(x, y)))
            << x << "," << y;
    const std::vector<COLORREF> v = canvas();
    const std::set<COLORREF> grey{bkgd, RGB(108, 108, 108), RGB(128, 128, 128), RGB(148, 148, 148), palettecolor(1)};
    EXPECT_TRUE(!greyscale || (std::set<COLORREF>(v.begin(), v.end()) == grey && can(150, 100) == palettecolor(1) &&
                               std::count(v.begin(), v.end(), palettecolor(1)) == 1));
}
INSTANTIATE_TEST_SUITE_P(Rules, WholeCluster, ::testing::Values(0, 1, 2), ::testing::PrintToStringParamName());

// The centripetal run starts from the seed ellipse alone (grey 127 in
// greyscale, else entry 1), launches at half the width less 10 also on a
// wide image, and grows inward until the circle is within startradius + 10.
TEST_F(Growth, CentripetalGrowsInwardFromTheEllipseToItsLimit) {
    open(300, 200);
    growth = 1, screen.calendar = 1700000555;
    platform::SetPumpInterval(1);
    for (int grey : {1, 0}) {
        greyscale = grey, firstloop = 1;
        plot();
        stopafter(2);
        ASSERT_EQ(dla_centripetal(), 1);
        EXPECT_TRUE(centripetalstate().radius == 140 && centripetalstate().distancemin == 150.0);
        const COLORREF ink = grey ? RGB(127, 127, 127) : palettecolor(1);
        for (int i = 0, x = 0, y = 0; i < 300 * 200; ++i, x = i % 300, y = i / 300) {
            const double e = std::hypot((x - 149) / 148.0, (y - 99) / 98.0);  // 1 on the ellipse
            ASSERT_TRUE(win(x, y) == can(x, y) && (can(x, y) == bkgd || (can(x, y) == ink && std::abs(e - 1) < 0.03)))
                << x << "," << y;
        }
    }
    const long ellipse = clusterpixels();
    EXPECT_GT(ellipse, 2 * 700);
    platform::SetPumpInterval(64);
    screen.onPump = nullptr;
    plot();
    EXPECT_EQ(grow(), 0);
    EXPECT_TRUE(centripetalstate().radius < 10 && centripetalstate().distancemin < startradius + 10.0);
    EXPECT_TRUE(before.distancemin >= startradius + 10.0 && particles > 100);
}

// Only the four pixels at exactly radius + 2 on the axes are cluster: a walker
// that steps there is not put back, so it finds them. Pixels one step further
// are never read: with a ring beyond radius + 2 the walk only ends by PAUSE.
TEST_F(Growth, OutwardExactlyRadiusPlusTwoIsNoEscapeButOneStepFurtherIs) {
    open(100);
    for (unsigned seed = 1; seed <= 5; ++seed) {
        SCOPED_TRACE(seed);
        begin(10);
        ring(11.99, 12.0);  // the four pixels on the axes
        zorvsrand(seed);
        ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
        EXPECT_EQ(centrifugalstate().distancemax, 12.0);
    }
    begin(10);
    ring(12.0, 20.0);
    stopafter(3000);  // about 190 000 steps
    EXPECT_TRUE(dla_centrifugal() == 1 && centrifugalstate().moves > 100000);
}

// Cluster at exactly 18 on two axes, a wall beyond 28, and pixels just inside
// 18 that only a walker that was not put back could reach; all lie where the
// put-back point (right and below the launch point) never comes inside 19.
TEST_F(Growth, InwardExactlyRadiusMinusTwoIsNoEscapeButOneStepFurtherIs) {
    open(100);
    growth = 1;
    startradius = 5;  // keeps the circle above its limit
    int atexactly = 0;
    for (unsigned seed = 1; seed <= 200 && atexactly < 3; ++seed) {
        SCOPED_TRACE(seed);
        begin(20);
        ring(28.0, 31.0);
        ring(15.0, 17.9, true);
        SetPixel(g_vhdc, 68, 50, kWall), SetPixel(g_vhdc, 50, 68, kWall);
        zorvsrand(seed);
        ASSERT_EQ(dla_centripetal(), GROWTH_CONTINUES);
        EXPECT_GE(centripetalstate().distancemin, 18.0);
        atexactly += centripetalstate().distancemin == 18.0;
    }
    EXPECT_GT(atexactly, 0);
}

// The launch point's lower right neighbour is the only cluster pixel; where the
// first step lands decides whether the particle rests at once.
class Contact : public Growth, public ::testing::WithParamInterface<int> {};
TEST_P(Contact, WhereTheParticleRests) {
    open(100);
    algorithm = GetParam();
    int atonce = 0, twoaway = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        SCOPED_TRACE(seed);
        begin(10);
        const FirstDraws d = peek(seed);
        const POINT l = d.launch(10, 50), c{l.x + 1, l.y + 1}, land{l.x + d.dx, l.y + d.dy};
        SetPixel(g_vhdc, c.x, c.y, kWall);
        ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
        const bool first = centrifugalstate().moves == 1, on = land.x == c.x && land.y == c.y;
        const bool near = std::abs(land.x - c.x) <= 1 && std::abs(land.y - c.y) <= 1;
        // Rule 0 reads the landing pixel, rule 1 the neighbours before the step, rule 2 those after it.
        EXPECT_EQ(first, algorithm == 0 ? on : algorithm == 1 || (near && !on));
        POINT rest{-1, -1};
        for (int i = 0; i < 100 * 100; ++i)
            if (can(i % 100, i / 100) != bkgd && can(i % 100, i / 100) != kWall) rest = {i % 100, i / 100};
        const int cheb = std::max(std::abs(rest.x - c.x), std::abs(rest.y - c.y));
        EXPECT_TRUE(algorithm >= 2 ? cheb <= 2 : cheb == 1) << cheb;
        EXPECT_TRUE(!first || (rest.x == l.x && rest.y == l.y)) << "rests where the step came from";
        atonce += first, twoaway += cheb == 2;
    }
    EXPECT_GT(atonce, 0);
    EXPECT_EQ(twoaway > 0, algorithm >= 2);
}
INSTANTIATE_TEST_SUITE_P(Rules, Contact, ::testing::Values(0, 1, 2, 7), ::testing::PrintToStringParamName());

// Under rule 1 amid cluster every step is a contact and only the stickiness draw
// decides. At 100 % every particle rests after one step, and the pixel-count rule
// gives entry 1 to particles 1 to 64, entry 2 to particle 65, and after 255 entries
// starts again at entry 1 with 256 particles each. Below, the steps per particle
// follow a geometric law with chance probability / 100.
TEST_F(Growth, StickinessAndPixelCountColouring) {
    open(100);
    algorithm = 1;
    const std::vector<std::pair<int, int>> entries{{1, 1},     {64, 1},    {65, 2},    {16320, 255},
                                                   {16321, 1}, {16576, 1}, {16577, 2}, {1 << 30, 0}};
    for (int percent : {100, 99, 50, 1}) {
        SCOPED_TRACE(percent);
        begin(10, kWall);
        GrowthState& s = centrifugalstate();
        s.color = s.colorfactor = 1, s.colorcount = 0, probability = percent;
        const int total = percent == 100 ? 16577 : percent == 1 ? 3000 : 20000;
        for (int n = 1, next = 0; n <= total; ++n) {
            s.radius = 10, s.distancemax = 0;
            ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
            if (n == entries[next].first) { EXPECT_EQ(s.frgd, palettecolor(entries[next++].second)) << n; }
        }
        const double p = percent / 100.0, mean = static_cast<double>(s.moves) / total;
        EXPECT_NEAR(mean, 1 / p, 4 * std::sqrt((1 - p) / total) / p + 1e-12);
    }
}

// The first step's landing decides the distance; a launch radius is picked so that
// it lands just short of 255 (entry 255) or at exactly 255.0 (entry 1 again).
TEST_F(Growth, DistanceColouringWrapsAt255) {
    open(600);
    algorithm = coloring = 1;
    bool found[2] = {false, false};
    for (unsigned seed = 1; seed < 3000 && !(found[0] && found[1]); ++seed) {
        const FirstDraws d = peek(seed);
        for (int radius = 245; radius <= 265; ++radius) {
            const POINT l = d.launch(radius, 0);
            const double dist = std::hypot(l.x + d.dx, l.y + d.dy);
            const int which = dist == 255.0 ? 1 : (dist >= 254.9 && dist < 255.0 ? 0 : -1);
            if (which < 0 || found[which]) continue;
            found[which] = true;
            begin(radius, kWall);
            zorvsrand(seed);
            ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES) << dist;
            EXPECT_EQ(centrifugalstate().distancemax, dist);
            EXPECT_EQ(can(l.x + 300, l.y + 300), palettecolor(which ? 1 : 255)) << dist;
            break;
        }
    }
    EXPECT_TRUE(found[0] && found[1]);
}

// Input made before a start is discarded; a stop seen at entry returns 2 and a
// PAUSE or click during a walk returns 1, both drawing nothing, the latter
// restoring the cursor; Plot Image then resumes the same cluster. Nothing is
// drawn live while the centre (50, 50) lies outside the client area.
class UserStop : public Growth, public ::testing::WithParamInterface<std::pair<UINT, int>> {};
TEST_P(UserStop, StopsDrawNothingAndAResumeKeepsTheCluster) {
    const int client = GetParam().second, n = std::min(client, 100);
    open(100, 100, client);
    screen.mouseMove(g_hWnd, 3, 3);  // the class cursor is in force
    screen.keyDown(g_hWnd, VK_PAUSE);
    screen.click(g_hWnd, WM_LBUTTONDOWN, 5, 5);
    PostMessageA(g_hWnd, WM_USER, 0, 0);
    screen.calendar = 1700000042;
    for (int i = 0; i < 30; ++i) ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
    int inview = 0;
    for (int i = 0, x = 0, y = 0; i < n * n; ++i, x = i % n, y = i / n) {
        inview += can(x, y) != bkgd;
        ASSERT_TRUE(can(x, y) == bkgd || (win(x, y) == can(x, y)) == (client > 50)) << x << "," << y;
    }
    EXPECT_GT(inview, 0);
    MSG m;
    EXPECT_TRUE(PeekMessageA(&m, g_hWnd, WM_USER, WM_USER, PM_REMOVE)) << "other messages stay queued";
    const GrowthState s = centrifugalstate();
    const std::vector<COLORREF> drawn = canvas();
    terminate = 1;
    EXPECT_TRUE(dla_centrifugal() == 2 && centrifugalstate().moves == s.moves);
    plot();
    stopafter(1, GetParam().first);
    EXPECT_EQ(dla_centrifugal(), 1);
    EXPECT_TRUE(terminate == 1 && okdla == 0 && firstloop == 0);
    EXPECT_EQ(canvas(), drawn);
    EXPECT_TRUE(screen.cursor.x == 100 && screen.cursor.y == 100 && screen.cursorShape == CursorShape::Cross);
    plot();
    screen.calendar += 100;  // no reseeding either
    ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
    EXPECT_TRUE(centrifugalstate().starttime == s.starttime && centrifugalstate().colorcount == s.colorcount + 1);
    EXPECT_EQ(clusterpixels(), clusterpixels(drawn) + 1);
}
using Stop = std::pair<UINT, int>;  // the input, and the client area's size
INSTANTIATE_TEST_SUITE_P(Inputs, UserStop,
                         ::testing::Values(Stop{WM_KEYDOWN, 50}, Stop{WM_LBUTTONDOWN, 51}, Stop{WM_RBUTTONDOWN, 120}));

// With debugging on a stop shows the statistics; the tick counter wraps meanwhile.
struct StatsCase {
    int growth, rule, colouring;
};
void PrintTo(const StatsCase& c, std::ostream* os) {
    *os << (c.growth ? "centripetal" : "centrifugal") << ", rule " << c.rule << ", colouring " << c.colouring;
}
class Statistics : public Growth, public ::testing::WithParamInterface<StatsCase> {};
TEST_P(Statistics, TextCharacterForCharacter) {
    open(100);
    const StatsCase c = GetParam();
    growth = c.growth, algorithm = c.rule, coloring = c.colouring;
    probability = 97, debug = 1, screen.ticks = 0xFFFFF000u;
    for (int i = 0; i < 5; ++i) ASSERT_EQ(call(), GROWTH_CONTINUES);
    screen.ticks = 0xFFFFF000u + 3723999u;  // 1 h 2 min 3.999 s
    terminate = 1;
    ASSERT_EQ(call(), 2);
    ASSERT_EQ(screen.boxes.size(), 1u);
    const GrowthState& s = state();
    char text[600];
    std::snprintf(text, sizeof text, texts::statistics[growth], 1, 2, 3, 10, 97, '%',
                  static_cast<int>(growth ? s.distancemin : s.distancemax), s.radius, 5, static_cast<int>(s.moves));
    const std::string want = text + std::string(texts::ruleLine[std::min(algorithm, 2)]) + texts::coloringLine[coloring];
    EXPECT_EQ(screen.boxes[0].text, want);
    EXPECT_TRUE(screen.boxes[0].caption == texts::program && screen.boxes[0].type == MB_OK);
}
INSTANTIATE_TEST_SUITE_P(Texts, Statistics,
                         ::testing::Values(StatsCase{0, 0, 0}, StatsCase{0, 1, 1}, StatsCase{1, 5, 0}));

// A walk goes on through every other key, key release and middle click, and
// ends only at PAUSE. An image started in the same second as another walks
// the same way; one a second later does not.
TEST_F(Growth, OnlyPauseOrAClickStopsAWalkAndEachSecondSeedsAnImage) {
    open(100);
    screen.calendar = 1700000100;
    firstloop = 1;
    ASSERT_EQ(call(), GROWTH_CONTINUES);
    platform::SetPumpInterval(1);
    screen.onPump = [this, n = 0]() mutable {
        if (++n != 2) return;
        for (int vk : {int('A'), VK_ESCAPE, VK_F1, VK_F6, VK_SPACE, int('D')}) screen.key(g_hWnd, vk);
        screen.click(g_hWnd, WM_MBUTTONDOWN, 5, 5);
        screen.mouseMove(g_hWnd, 9, 9);
    };
    for (int i = 0; i < 3; ++i) ASSERT_EQ(call(), GROWTH_CONTINUES);
    MSG m;
    EXPECT_FALSE(PeekMessageA(&m, g_hWnd, 0x100, 0x209, PM_NOREMOVE)) << "the walks took them";
    stopafter(3);
    EXPECT_EQ(call(), 1);
    platform::SetPumpInterval(64);
    std::vector<COLORREF> images[3];
    screen.onPump = nullptr;
    for (int k = 0; k < 3; ++k) {
        screen.calendar = 1700000200 + k / 2, firstloop = 1;
        for (int i = 0; i < 40; ++i) {
            plot();
            ASSERT_EQ(call(), GROWTH_CONTINUES);
        }
        images[k] = canvas();
    }
    EXPECT_EQ(images[0], images[1]);
    EXPECT_NE(images[1], images[2]);
}

// Settings outside their legal ranges must not make a run misbehave: no
// undefined arithmetic (the sanitizer build checks), no endless walk, nothing
// drawn outside the canvas.
TEST_F(Growth, SettingsOutOfRangeStaySafe) {
    struct Bad { int growth, startradius, probability, algorithm, xres; };
    for (Bad b : {Bad{0, INT_MAX, 100, 0, 100}, Bad{0, INT_MIN, 100, 1, 100}, Bad{0, 10, -50, 2, 100},
                  Bad{0, 10, 100, 0, INT_MIN}, Bad{1, INT_MAX, 100, 0, 100}, Bad{1, INT_MIN, 100, 2, 100},
                  Bad{1, 10, 100, 1, INT_MAX}, Bad{1, 10, 100, 0, INT_MIN}}) {
        SCOPED_TRACE(testing::Message() << b.growth << " " << b.startradius << " " << b.probability << " " << b.xres);
        releasecanvas();
        resetsettings();
        open(100);
        growth = b.growth, startradius = b.startradius, probability = b.probability;
        algorithm = b.algorithm, xres = b.xres;
        stopafter(200000);
        for (int i = 0; i < 50 && okdla; ++i) ASSERT_NE(call(), 1) << "a walk did not end";
        xres = 100;
        for (COLORREF c : canvas()) ASSERT_NE(c, CLR_INVALID);
    }
}

}  // namespace
