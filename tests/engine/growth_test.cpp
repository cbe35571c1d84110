// The growth runs on a headless main window: help, escape, contact rules,
// stickiness, colouring, limits, stops and resumes, live drawing, statistics.
#include <gtest/gtest.h>

#include <climits>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <vector>

#include "canvas/canvas.h"
#include "engine/growth.h"
#include "engine/random.h"
#include "engine/settings.h"
#include "platform/backend.h"
#include "platform/headless/headless.h"

namespace {

constexpr COLORREF kWall = RGB(1, 2, 3);  // a cluster colour no palette entry uses

class Growth : public ::testing::Test {
protected:
    headless::Backend screen;

    void SetUp() override {
        resetsettings();
        firsttime = 0;  // the help box has its own test
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hCursor = LoadCursorA(nullptr, IDC_CROSS);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH));
        wc.lpszClassName = "Main";
        RegisterClassA(&wc);
    }
    void TearDown() override {
        screen.onPump = nullptr;
        platform::SetPumpInterval(64);
        releasecanvas();
    }

    // A w x h canvas on a main window whose client area is 20 pixels larger, or client x client.
    void open(int w, int h = -1, int client = -1) {
        xres = w;
        yres = h < 0 ? w : h;
        const int cw = client < 0 ? xres + 20 : client, ch = client < 0 ? yres + 20 : client;
        g_hWnd = CreateWindowExA(0, "Main", "", WS_POPUP, 0, 0, cw, ch, nullptr, nullptr, nullptr, nullptr);
        ASSERT_TRUE(createcanvas(g_hWnd));
        serve();
    }
    static void serve() {  // what the message loop does between two calls
        MSG m;
        while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageA(&m);
        }
    }
    static void plot() {  // Plot Image
        okdla = 1;
        terminate = 0;
    }
    static GrowthState& state() { return growth ? centripetalstate() : centrifugalstate(); }
    static int call() { return growth ? dla_centripetal() : dla_centrifugal(); }

    // Calls the run as the loop does until it stops; returns the last result.
    int grow() {
        if (!screen.onPump) stopafter(2'000'000);  // a walk that never ends fails instead of hanging
        int r = -1;
        while (okdla) {
            r = call();
            serve();
        }
        return r;
    }
    // Posts PAUSE (or a button press) at the `pumps`-th pump from now.
    void stopafter(long pumps, UINT message = WM_KEYDOWN) {
        auto count = std::make_shared<long>(0);
        screen.onPump = [this, count, pumps, message] {
            if (++*count != pumps) return;
            if (message == WM_KEYDOWN) screen.keyDown(g_hWnd, VK_PAUSE);
            else screen.mouseDown(g_hWnd, message, 5, 5);
        };
    }
    static COLORREF can(int x, int y) { return GetPixel(g_vhdc, x, y); }
    COLORREF win(int x, int y) const { return screen.pixel(g_hWnd, x, y); }
    static std::vector<COLORREF> canvas() {
        std::vector<COLORREF> v;
        for (int y = 0; y < yres; ++y)
            for (int x = 0; x < xres; ++x) v.push_back(can(x, y));
        return v;
    }
    static long clusterpixels() {
        const std::vector<COLORREF> v = canvas();
        return std::count_if(v.begin(), v.end(), [](COLORREF c) { return c != bkgd; });
    }
    // Paints every pixel at distance d from the centre with lo < d <= hi
    // (with lowerright, only those right of and below the centre).
    static void ring(double lo, double hi, bool lowerright = false) {
        const int xc = xres >> 1, yc = yres >> 1;
        for (int y = 0; y < yres; ++y)
            for (int x = 0; x < xres; ++x) {
                const double d = std::hypot(x - xc, y - yc);
                if (d > lo && d <= hi && (!lowerright || (x > xc && y > yc))) SetPixel(g_vhdc, x, y, kWall);
            }
    }
    // A new image has been started and its first particle walked; then the
    // canvas is all `paint` and the circle is back at `radius`.
    void begin(int radius, COLORREF paint = CLR_INVALID) {
        firstloop = 1;
        plot();
        call();
        serve();
        for (int y = 0; y < yres; ++y)
            for (int x = 0; x < xres; ++x) SetPixel(g_vhdc, x, y, paint == CLR_INVALID ? bkgd : paint);
        GrowthState& s = state();
        s.radius = radius;
        s.distancemax = 0.0;
        s.distancemin = s.xcenter;
    }
};

// The draws a run makes after launching without initialising: the launch
// angle, then the first step. Peeking reseeds, so the run sees the same draws.
struct FirstDraws {
    double angle;
    int dx, dy;
};
FirstDraws peek(unsigned seed) {
    zorvsrand(seed);
    FirstDraws d{};
    d.angle = zorvrandom() * 0.017453292519943295 * 360.0;
    d.dx = static_cast<int>(zorvrandom() * 3.0) - 1;
    d.dy = static_cast<int>(zorvrandom() * 3.0) - 1;
    zorvsrand(seed);
    return d;
}
POINT launchpoint(double angle, int radius, int xc, int yc) {
    return POINT{static_cast<int>(std::cos(angle) * radius) + xc, static_cast<int>(std::sin(angle) * radius) + yc};
}

// 100 x 100 with a start radius of 41 to 50 leaves no room: the first particle
// ends the run, leaving only the seed (or the seed ellipse). The help text comes
// before the first centrifugal image only, never from a stop at entry or the centripetal run.
TEST_F(Growth, SmallImagesCompleteAtTheFirstParticleAndHelpShowsOnce) {
    open(100);
    firsttime = 1;
    terminate = 1;
    EXPECT_EQ(dla_centrifugal(), 2);
    for (int g : {1, 0})
        for (int r : {41, 45, 50}) {
            SCOPED_TRACE(r);
            growth = g;
            startradius = r;
            plot();
            EXPECT_EQ(call(), 0);
            EXPECT_EQ(firstloop, 1);
            for (COLORREF c : canvas()) ASSERT_TRUE(c == bkgd || c == palettecolor(1));
            EXPECT_TRUE(g || clusterpixels() == 1);
            EXPECT_EQ(can(50, 50), g ? bkgd : palettecolor(1));
            EXPECT_EQ(screen.boxes.size(), g ? 0u : 1u);
        }
    EXPECT_EQ(screen.boxes[0].caption, "HELP");
    EXPECT_EQ(screen.boxes[0].text,
              "Start or resume using 'Plot Image' (F1)\n\nStop with PAUSE key or mouse click\n\n"
              "Rendering stops automatically when seeding\n   circle approaches limit\n\n"
              "Press D to toggle debugging information:\n   animated seeding circle, elapsed time,\n"
              "   and values of variables");
    EXPECT_TRUE(screen.boxes[0].owner == nullptr && screen.boxes[0].type == MB_ICONINFORMATION);
}

// A default image grown call by call as the message loop does ends at the first
// particle whose last step reached 181, undrawn; every other particle adds one
// pixel, inside the seeding circle, drawn live on the window too.
class WholeCluster : public Growth, public ::testing::WithParamInterface<int> {};
TEST_P(WholeCluster, DefaultImageGrowsToTheLimit) {
    open(400);
    algorithm = GetParam();
    screen.calendar = 1700000777;
    stopafter(2'000'000);
    int particles = 0, last = -1, radiusbefore = 0;
    while (okdla) {
        radiusbefore = centrifugalstate().radius;
        last = dla_centrifugal();
        serve();
        particles += last == GROWTH_CONTINUES;
    }
    const GrowthState& s = centrifugalstate();
    EXPECT_EQ(last, 0);
    EXPECT_EQ(firstloop, 1);
    EXPECT_LE(radiusbefore, 190);
    EXPECT_GE(s.distancemax, 181.0);
    EXPECT_EQ(s.radius, static_cast<int>(s.distancemax) + startradius);
    EXPECT_EQ(clusterpixels(), particles + 1);
    for (int y = 0; y < 400; ++y)
        for (int x = 0; x < 400; ++x) {
            if (can(x, y) == bkgd) continue;
            ASSERT_LE(std::hypot(x - 200, y - 200), radiusbefore) << x << "," << y;
            ASSERT_EQ(win(x, y), can(x, y));
        }
}
INSTANTIATE_TEST_SUITE_P(Rules, WholeCluster, ::testing::Values(0, 1, 2));

// The centripetal run starts from the seed ellipse alone, launches at half the
// width less 10, and grows inward until the circle is within startradius + 10.
TEST_F(Growth, CentripetalGrowsInwardFromTheEllipseToItsLimit) {
    open(200);
    growth = 1;
    screen.calendar = 1700000555;
    platform::SetPumpInterval(1);
    stopafter(2);
    ASSERT_EQ(dla_centripetal(), 1);
    EXPECT_EQ(centripetalstate().radius, 90);
    EXPECT_EQ(centripetalstate().distancemin, 100.0);
    int onring = 0;
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 200; ++x) {
            ASSERT_EQ(win(x, y), can(x, y));
            if (can(x, y) == bkgd) continue;
            ASSERT_EQ(can(x, y), palettecolor(1));
            ASSERT_NEAR(std::hypot(x - 99, y - 99), 98, 2.5) << x << "," << y;
            ++onring;
        }
    EXPECT_GT(onring, 6 * 196);
    platform::SetPumpInterval(64);
    screen.onPump = nullptr;
    stopafter(2'000'000);
    plot();
    int last = -1, particles = 0;
    double nearest = 1e9;
    while (okdla) {
        last = dla_centripetal();
        serve();
        if (last != GROWTH_CONTINUES) continue;
        ++particles;
        nearest = std::min(nearest, centripetalstate().distancemin);
    }
    EXPECT_EQ(last, 0);
    EXPECT_LT(centripetalstate().radius, 10);
    EXPECT_LT(centripetalstate().distancemin, startradius + 10.0);
    EXPECT_GE(nearest, startradius + 10.0) << "the particle that ended the run is not drawn";
    EXPECT_GT(particles, 100);
}

// Only the four pixels at exactly radius + 2 on the axes are cluster: a walker
// that steps there is not put back, so it finds them. Pixels one step further
// are never read: with a ring beyond radius + 2 the walk only ends by PAUSE.
TEST_F(Growth, OutwardExactlyRadiusPlusTwoIsNoEscapeButOneStepFurtherIs) {
    open(100);
    for (unsigned seed = 1; seed <= 5; ++seed) {
        SCOPED_TRACE(seed);
        begin(10);
        for (POINT p : {POINT{62, 50}, POINT{38, 50}, POINT{50, 62}, POINT{50, 38}}) SetPixel(g_vhdc, p.x, p.y, kWall);
        zorvsrand(seed);
        stopafter(20000);
        ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
        EXPECT_EQ(centrifugalstate().distancemax, 12.0);
    }
    begin(10);
    ring(12.0, 20.0);
    const std::vector<COLORREF> before = canvas();
    stopafter(3000);  // about 190 000 steps
    EXPECT_EQ(dla_centrifugal(), 1);
    EXPECT_GT(centrifugalstate().moves, 100000);
    EXPECT_EQ(canvas(), before);
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
        SetPixel(g_vhdc, 68, 50, kWall);
        SetPixel(g_vhdc, 50, 68, kWall);
        zorvsrand(seed);
        stopafter(20000);
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
        const POINT l = launchpoint(d.angle, 10, 50, 50), c{l.x + 1, l.y + 1}, land{l.x + d.dx, l.y + d.dy};
        SetPixel(g_vhdc, c.x, c.y, kWall);
        const std::int64_t moves = centrifugalstate().moves;
        stopafter(20000);
        ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
        const bool first = centrifugalstate().moves - moves == 1;
        const bool on = land.x == c.x && land.y == c.y, near = std::abs(land.x - c.x) <= 1 && std::abs(land.y - c.y) <= 1;
        // Rule 0 reads the landing pixel, rule 1 the neighbours before the step, rule 2 those after it.
        EXPECT_EQ(first, algorithm == 0 ? on : algorithm == 1 || (near && !on));
        POINT rest{-1, -1};
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x)
                if (can(x, y) != bkgd && can(x, y) != kWall) rest = {x, y};
        const int cheb = std::max(std::abs(rest.x - c.x), std::abs(rest.y - c.y));
        EXPECT_TRUE(algorithm >= 2 ? cheb <= 2 : cheb == 1) << cheb;
        EXPECT_TRUE(!first || (rest.x == l.x && rest.y == l.y)) << "rests where the step came from";
        atonce += first;
        twoaway += cheb == 2;
    }
    EXPECT_GT(atonce, 0);
    EXPECT_EQ(twoaway > 0, algorithm >= 2);
}
INSTANTIATE_TEST_SUITE_P(Rules, Contact, ::testing::Values(0, 1, 2, 7));

// Under rule 1 amid cluster every step is a contact and only the stickiness draw
// decides. At 100 % every particle rests after one step, and the pixel-count rule
// gives entry 1 to particles 1 to 64, entry 2 to particle 65, and after 255 entries
// starts again at entry 1 with 256 particles each. Below, the steps per particle
// follow a geometric law with chance probability / 100.
TEST_F(Growth, StickinessAndPixelCountColouring) {
    open(100);
    algorithm = 1;
    stopafter(100000);  // a walk that never holds fails
    for (int percent : {100, 99, 50, 1}) {
        SCOPED_TRACE(percent);
        begin(10, kWall);
        GrowthState& s = centrifugalstate();
        s.color = s.colorfactor = 1;
        s.colorcount = 0;
        probability = percent;
        const std::vector<std::pair<int, int>> entries{{1, 1},       {64, 1},    {65, 2},    {16320, 255},
                                                       {16321, 1},   {16576, 1}, {16577, 2}, {1 << 30, 0}};
        const int particles = percent == 100 ? 16577 : percent == 1 ? 3000 : 20000;
        const std::int64_t start = s.moves;
        for (int n = 1, next = 0; n <= particles; ++n) {
            s.radius = 10;
            s.distancemax = 0;
            ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
            if (n == entries[next].first) {
                EXPECT_EQ(s.frgd, palettecolor(entries[next++].second)) << n;
            }
        }
        const double p = percent / 100.0, mean = static_cast<double>(s.moves - start) / particles;
        EXPECT_NEAR(mean, 1 / p, 4 * std::sqrt((1 - p) / particles) / p + 1e-12);
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
            const POINT l = launchpoint(d.angle, radius, 0, 0);
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

TEST_F(Growth, GreyShades) {
    open(100);
    greyscale = 1;
    screen.calendar = 1700000321;
    grow();
    std::set<COLORREF> seen;
    for (COLORREF c : canvas()) seen.insert(c);
    EXPECT_EQ(seen, (std::set<COLORREF>{bkgd, RGB(108, 108, 108), RGB(128, 128, 128), RGB(148, 148, 148), palettecolor(1)}));
    EXPECT_EQ(can(50, 50), palettecolor(1)) << "the seed keeps entry 1";
}

// Input made before a start is discarded; a stop seen at entry returns 2 and a
// PAUSE or click during a walk returns 1, both drawing nothing, the latter
// restoring the cursor; Plot Image then resumes the same cluster.
class UserStop : public Growth, public ::testing::WithParamInterface<UINT> {};
TEST_P(UserStop, StopsDrawNothingAndAResumeKeepsTheCluster) {
    open(100);
    screen.mouseMove(g_hWnd, 3, 3);  // the class cursor is in force
    screen.keyDown(g_hWnd, VK_PAUSE);
    screen.click(g_hWnd, WM_LBUTTONDOWN, 5, 5);
    PostMessageA(g_hWnd, WM_USER, 0, 0);
    screen.calendar = 1700000042;
    for (int i = 0; i < 30; ++i) ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
    MSG m;
    EXPECT_TRUE(PeekMessageA(&m, g_hWnd, WM_USER, WM_USER, PM_REMOVE)) << "other messages stay queued";
    const GrowthState s = centrifugalstate();
    const std::vector<COLORREF> before = canvas();
    terminate = 1;
    EXPECT_EQ(dla_centrifugal(), 2);
    EXPECT_EQ(centrifugalstate().moves, s.moves);
    plot();
    stopafter(1, GetParam());
    EXPECT_EQ(dla_centrifugal(), 1);
    EXPECT_TRUE(terminate == 1 && okdla == 0 && firstloop == 0);
    EXPECT_EQ(canvas(), before);
    EXPECT_TRUE(screen.cursor.x == 100 && screen.cursor.y == 100 && screen.cursorShape == CursorShape::Cross);
    screen.onPump = nullptr;
    plot();
    screen.calendar += 100;  // no reseeding either
    ASSERT_EQ(dla_centrifugal(), GROWTH_CONTINUES);
    EXPECT_EQ(centrifugalstate().starttime, s.starttime);
    EXPECT_EQ(centrifugalstate().colorcount, s.colorcount + 1);
    EXPECT_EQ(clusterpixels(), std::count_if(before.begin(), before.end(), [](COLORREF c) { return c != bkgd; }) + 1);
}
INSTANTIATE_TEST_SUITE_P(Inputs, UserStop, ::testing::Values(WM_KEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN));

// Nothing is drawn live while the centre (50, 50) lies outside the client area.
TEST_F(Growth, LiveDrawingOnlyWhileTheCentreIsInView) {
    for (int client : {50, 51}) {
        SCOPED_TRACE(client);
        open(100, 100, client);
        for (int i = 0; i < 20; ++i) dla_centrifugal();
        int drawn = 0, shown = 0;
        for (int y = 0; y < client; ++y)
            for (int x = 0; x < client; ++x) {
                drawn += can(x, y) != bkgd;
                shown += win(x, y) == can(x, y) && win(x, y) != bkgd;
            }
        EXPECT_GT(drawn, 0);
        EXPECT_EQ(shown, client > 50 ? drawn : 0);
        releasecanvas();
        firstloop = 1;
    }
}

// With debugging on a stop shows the statistics; the tick counter wraps meanwhile.
struct StatsCase {
    int growth, algorithm, coloring;
    const char* text;  // with the distance, radius and moves left to fill in
};
class Statistics : public Growth, public ::testing::WithParamInterface<StatsCase> {};
TEST_P(Statistics, TextCharacterForCharacter) {
    open(100);
    growth = GetParam().growth;
    algorithm = GetParam().algorithm;
    coloring = GetParam().coloring;
    probability = 97;
    debug = 1;
    screen.ticks = 0xFFFFF000u;
    for (int i = 0; i < 5; ++i) ASSERT_EQ(call(), GROWTH_CONTINUES);
    screen.ticks = 0xFFFFF000u + 3723999u;  // 1 h 2 min 3.999 s
    terminate = 1;
    ASSERT_EQ(call(), 2);
    ASSERT_EQ(screen.boxes.size(), 1u);
    const GrowthState& s = state();
    char text[600];
    std::snprintf(text, sizeof text, GetParam().text, static_cast<int>(growth ? s.distancemin : s.distancemax), s.radius,
                  static_cast<long long>(s.moves));
    EXPECT_EQ(screen.boxes[0].text, text);
    EXPECT_EQ(screen.boxes[0].caption, "ZORV DLA 2017");
    EXPECT_EQ(screen.boxes[0].type, MB_OK);
}
#define ZORV_STATS_HEAD "hours: 1\nminutes: 2\nseconds: 3\n\nstartradius: 10\nstickiness: 97 %%\n\n"
#define ZORV_STATS_MID "radius: %d\npixel count: 5\nrandom walk moves: %lld\n\nDLA algorithm: "
INSTANTIATE_TEST_SUITE_P(
    Texts, Statistics,
    ::testing::Values(
        StatsCase{0, 0, 0, ZORV_STATS_HEAD "distancemax: %d\n" ZORV_STATS_MID "Durero-Rudo\n\nColoring algorithm: pixel count"},
        StatsCase{0, 1, 1, ZORV_STATS_HEAD "distancemax: %d\n" ZORV_STATS_MID "Fractint\n\nColoring algorithm: distance from center"},
        StatsCase{1, 5, 0, ZORV_STATS_HEAD "distancemin: %d\n" ZORV_STATS_MID "Fractint with Spaces\n\nColoring algorithm: pixel count"}));


// Settings outside their legal ranges must not make a run misbehave: no
// undefined arithmetic (the sanitizer build checks), no endless walk, nothing
// drawn outside the canvas.
TEST_F(Growth, SettingsOutOfRangeStaySafe) {
    struct Bad {
        int growth, startradius, probability, algorithm, xres;
    };
    for (Bad b : {Bad{0, INT_MAX, 100, 0, 100}, Bad{0, INT_MIN, 100, 1, 100}, Bad{0, 10, -50, 2, 100},
                  Bad{0, 10, 100, 0, INT_MIN}, Bad{1, INT_MAX, 100, 0, 100}, Bad{1, INT_MIN, 100, 2, 100},
                  Bad{1, 10, 100, 1, INT_MAX}, Bad{1, 10, 100, 0, INT_MIN}}) {
        SCOPED_TRACE(testing::Message() << b.growth << " " << b.startradius << " " << b.probability << " " << b.xres);
        releasecanvas();
        resetsettings();
        open(100);
        growth = b.growth;
        startradius = b.startradius;
        probability = b.probability;
        algorithm = b.algorithm;
        xres = b.xres;
        stopafter(200000);
        for (int i = 0; i < 50 && okdla; ++i) ASSERT_NE(call(), 1) << "a walk did not end";
        xres = 100;
        for (COLORREF c : canvas()) ASSERT_NE(c, CLR_INVALID);
    }
}

}  // namespace
