// The saver on the headless screen with the clocks driven: start-up checks,
// the ways a run ends, the run sequence, and the runs' constants read from
// what they draw on a canvas the test prepares (launch radius, put-back
// point, end limits, 65 particles per colour, the wrap back to entry 1).
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <tuple>

#include "engine/random.h"
#include "platform/headless/headless.h"
#include "saver/palettes.h"
#include "saver/saver.h"
#include "tests/texts.h"

namespace {

COLORREF entrycolor(int p, int i) { return RGB(palette[p][i][0], palette[p][i][1], palette[p][i][2]); }
constexpr COLORREF kWall = RGB(9, 9, 9);  // cluster painted by a test

class Saver : public ::testing::Test {
protected:
    headless::Backend screen;

    void SetUp() override {
        resetsaver();
        platform::SetPumpInterval(1);
    }
    void TearDown() override {
        screen.onPump = nullptr;
        if (g_hWnd && IsWindow(g_hWnd)) DestroyWindow(g_hWnd);
        resetsaver();
        initpalettes();
        platform::SetPumpInterval(64);
    }
    int runWinMain(std::string args = "") { return WinMain(&saverModule, nullptr, args.data(), SW_SHOWNORMAL); }

    // Where the first particle of a run seeded at `second` is launched on a
    // circle of `radius` about the centre.
    static POINT launch(std::int64_t second, int radius) {
        zorvsrand(static_cast<unsigned>(second));
        const double angle = zorvrandom() * 0.017453292519943295 * 360.0;
        return {static_cast<int>(std::cos(angle) * radius) + xcenter, static_cast<int>(std::sin(angle) * radius) + ycenter};
    }
    static bool ring(int x, int y, double lo, double hi) {
        const double d = std::hypot(x - xcenter, y - ycenter);
        return d >= lo && d < hi;
    }
    // One run (dla1 outward, else dla2) on a 640 x 480 screen, seeded at
    // `second`: `paint` draws on the cleared canvas before the seed is
    // planted; `done` is asked at every pump whether to end the run by a key.
    void open() {
        screen.setScreen(640, 480, 32);
        ASSERT_EQ(InitWindowClass(&saverModule), 0);
        ASSERT_EQ(CreateMainWindow(&saverModule, SW_SHOWNORMAL), 0);
    }
    // Pumps come at every poll until the canvas is painted, then at every
    // `interval`-th.
    int probe(bool outward, std::int64_t second, std::function<void()> paint, std::function<bool()> done,
              int interval = 1) {
        screen.calendar = second;
        bool painted = false, ended = false;
        platform::SetPumpInterval(1);
        screen.onPump = [&] {
            if (!painted) return painted = true, platform::SetPumpInterval(interval), paint();
            if (!ended && done()) ended = true, screen.keyDown(g_hWnd, 'K');
        };
        return outward ? dla1() : dla2();
    }
    static void paintwhere(std::function<bool(int, int)> where) {
        for (int y = 0; y < yscreen; ++y)
            for (int x = 0; x < xscreen; ++x)
                if (where(x, y)) SetPixel(g_vhdc, x, y, kWall);
    }
};

TEST_F(Saver, RefusesSmallOrShallowScreensWithABox) {
    for (auto [w, h, bits, text] : {std::tuple{639, 480, 32, 1}, {640, 479, 32, 1}, {1024, 768, 24, 2}}) {
        screen.setScreen(w, h, bits);
        screen.boxes.clear();
        EXPECT_EQ(runWinMain(), 0);
        ASSERT_EQ(screen.boxes.size(), 1u);
        EXPECT_EQ(std::tuple(screen.boxes[0].caption, screen.boxes[0].text, screen.boxes[0].type),
                  std::tuple(std::string(texts::startupCaption), std::string(texts::startupError[text]),
                             UINT(MB_OK | MB_ICONEXCLAMATION)));
        EXPECT_TRUE(screen.cursorVisible);
        resetsaver();
        platform::SetBackend(&screen);  // a fresh process
    }
}

// The first run is dla1 in palette 0: the seed pixel and the first 65
// particles in entry 1, then entry 2; the window is titled, the command
// line ignored.
TEST_F(Saver, FirstRunSixtyFiveParticlesPerColour) {
    screen.setScreen(1024, 768, 32);
    int first = 0, second = 0;
    screen.onPump = [&] {
        if (!g_vhdc) return;
        EXPECT_FALSE(screen.cursorVisible);
        first = second = 0;
        for (int y = ycenter - 40; y <= ycenter + 40; ++y)
            for (int x = xcenter - 40; x <= xcenter + 40; ++x) {
                first += GetPixel(g_vhdc, x, y) == entrycolor(0, 1);
                second += GetPixel(g_vhdc, x, y) == entrycolor(0, 2);
            }
        if (second) screen.keyDown(g_hWnd, VK_ESCAPE);
    };
    EXPECT_EQ(runWinMain("\"/c:1234\""), 0);
    EXPECT_EQ(std::pair(first, second), std::pair(66, 1));
    EXPECT_EQ(entrycolor(0, 1), RGB(0, 72, 208));
    EXPECT_EQ(palindex, 0);
    EXPECT_EQ(g_hWnd->title, texts::saverTitle);
}

// With entries 2 to 255 black, particles 66 to 16575 are invisible; the
// 16576th takes entry 1 again, never entry 0.
TEST_F(Saver, ColoursWrapToEntryOne) {
    for (int i = 2; i < 256; ++i) palette[0][i][0] = palette[0][i][1] = palette[0][i][2] = 0;
    palette[0][0][0] = 200;
    open();
    int ones = 0, zeros = 0;
    probe(true, 1700000000, [] {}, [&] {
        ones = zeros = 0;
        for (int y = ycenter - 20; y <= ycenter + 20; ++y)
            for (int x = xcenter - 20; x <= xcenter + 20; ++x) {
                ones += GetPixel(g_vhdc, x, y) == entrycolor(0, 1);
                zeros += GetPixel(g_vhdc, x, y) == entrycolor(0, 0);
            }
        return ones > 66 || zeros > 0;
    }, 256);
    EXPECT_EQ(zeros, 0);
    EXPECT_GT(ones, 66);
}

// On a canvas that is cluster everywhere, the first particle rests where it
// was launched: radius 10 about the centre for dla1, 190 for dla2.
TEST_F(Saver, LaunchRadiusTenOutwardAndOneHundredNinetyInward) {
    open();
    for (bool outward : {true, false})
        for (std::int64_t second = 1700000001; second <= 1700000005; ++second) {
            SCOPED_TRACE(testing::Message() << (outward ? "dla1 " : "dla2 ") << second);
            const int p = palindex;
            probe(outward, second, [] { paintwhere([](int, int) { return true; }); }, [] { return false; });
            const POINT l = launch(second, outward ? 10 : 190);
            EXPECT_EQ(GetPixel(g_vhdc, l.x, l.y), entrycolor(p, 1));
        }
}

// A walker that strays past its bound is put back beside its launch point,
// (-1, -1) outward and (+1, +1) inward. Made cluster, that point stops it at
// once where it strayed from, away from every cluster pixel; a walker that
// touches the cluster by walking always rests next to it.
TEST_F(Saver, StrayWalkersArePutBackBesideTheirLaunchPoint) {
    open();
    for (bool outward : {true, false}) {
        int away = 0;  // about half of the seeds stray before they touch
        for (std::int64_t second = 1700000011; second <= 1700000030; ++second) {
            const int p = palindex, d = outward ? -1 : 1;
            const POINT l = launch(second, outward ? 10 : 190), back{l.x + d, l.y + d};
            const double lo = outward ? 2 : 185, hi = outward ? 14 : 197.5;  // where the first particle rests
            POINT rest{-1, -1};
            probe(outward, second, [&] { SetPixel(g_vhdc, back.x, back.y, kWall); }, [&] {
                for (int y = ycenter - int(hi); y <= ycenter + int(hi); ++y)
                    for (int x = xcenter - int(hi); x <= xcenter + int(hi); ++x)
                        if (ring(x, y, lo, hi) && GetPixel(g_vhdc, x, y) == entrycolor(p, 1)) rest = {x, y};
                return rest.x >= 0;
            });
            bool near = false;
            for (int dy = -1; dy <= 1; ++dy)
                for (int dx = -1; dx <= 1; ++dx)
                    near = near || ((dx || dy) && GetPixel(g_vhdc, rest.x + dx, rest.y + dy) != 0);
            away += rest.x >= 0 && !near;
        }
        EXPECT_GE(away, 5) << (outward ? "dla1" : "dla2");
    }
}

// With every particle drawn in black (invisible, no cluster), a painted disc
// or ring decides how far the cluster reaches: dla1 completes when a walker
// touches a pixel 191 or more from the centre, dla2 when one touches a pixel
// nearer than 20; completing advances the palette after a 3-second pause.
TEST_F(Saver, ClustersCompleteAtTheirLimits) {
    for (int p = 0; p < 7; ++p)
        for (int i = 1; i < 256; ++i) palette[p][i][0] = palette[p][i][1] = palette[p][i][2] = 0;
    open();
    struct Case {
        bool outward;
        double lo, hi;  // the painted ring
        bool completes;
    };
    for (Case c : {Case{true, 0, 191, false}, Case{true, 0, 192, true}, Case{false, 20, 1000, false},
                   Case{false, 19, 1000, true}}) {
        SCOPED_TRACE(testing::Message() << (c.outward ? "dla1 " : "dla2 ") << c.lo << " " << c.hi);
        const int p = palindex;
        const DWORD ticks = screen.ticks;
        long pumps = 0;
        const int r = probe(c.outward, 1700000021, [&] { paintwhere([&](int x, int y) { return ring(x, y, c.lo, c.hi); }); },
                            [&] { return ++pumps == 40000; }, 64);
        EXPECT_EQ(r, c.completes ? 0 : 1);
        EXPECT_EQ(palindex, c.completes ? (p + 1) % 7 : p);
        EXPECT_EQ(screen.ticks - ticks, c.completes ? 3000u : 0u);
    }
}

struct InputCase {
    const char* name;
    std::function<void(headless::Backend&, HWND)> act;  // the cursor stands at (10, 10)
    bool endsDuringRun, endsBetweenRuns;
};
void PrintTo(const InputCase& c, std::ostream* os) { *os << c.name; }
const InputCase inputs[] = {
    {"Key", [](headless::Backend& s, HWND w) { s.keyDown(w, 'Q'); }, true, true},
    {"LeftClick", [](headless::Backend& s, HWND w) { s.click(w, WM_LBUTTONDOWN, 10, 10); }, true, true},
    {"RightClick", [](headless::Backend& s, HWND w) { s.click(w, WM_RBUTTONDOWN, 10, 10); }, true, true},
    {"MiddleClick", [](headless::Backend& s, HWND w) { s.click(w, WM_MBUTTONDOWN, 10, 10); }, false, true},
    {"KeyRelease", [](headless::Backend& s, HWND w) { s.keyUp(w, 'Q'); }, false, false},
    {"MoveThreeAcross", [](headless::Backend& s, HWND w) { s.mouseMove(w, 13, 10); }, true, true},
    {"MoveThreeUp", [](headless::Backend& s, HWND w) { s.mouseMove(w, 10, 7); }, true, true},
    {"MoveTwoOnBothAxes", [](headless::Backend& s, HWND w) { s.mouseMove(w, 12, 8); }, false, true},
    // Each posts a WM_DESTROY before the quit takes effect: nothing is released twice.
    {"SeveralAtOnce", [](headless::Backend& s, HWND w) { s.mouseMove(w, 20, 20), s.keyDown(w, 'X'); }, true, true},
};
class Input : public Saver, public ::testing::WithParamInterface<std::tuple<InputCase, bool>> {};

// An input during the first run, or at the loop's own poll once it timed out.
TEST_P(Input, EndsTheSaverOrIsIgnored) {
    const auto& [input, betweenRuns] = GetParam();
    long pumps = 0, actedAt = 0;
    screen.onPump = [&] {
        ++pumps;
        if (betweenRuns && pumps == 100) screen.ticks += 120001;
        if (!actedAt && (betweenRuns ? palindex == 1 : pumps == 200)) input.act(screen, g_hWnd), actedAt = pumps;
        if (actedAt && pumps == actedAt + 300) screen.keyDown(g_hWnd, VK_SPACE);
    };
    EXPECT_EQ(runWinMain(), 0);
    if (betweenRuns ? input.endsBetweenRuns : input.endsDuringRun)
        EXPECT_LT(pumps, actedAt + 10) << "ended at once";
    else
        EXPECT_GE(pumps, actedAt + 300) << "went on until the key";
    EXPECT_EQ(palindex, betweenRuns ? 1 : 0);
    EXPECT_TRUE(screen.cursorVisible);
    EXPECT_EQ(ShowCursor(FALSE), -1) << "hidden and shown the same number of times";
    EXPECT_EQ(g_vhdc, nullptr);
}

INSTANTIATE_TEST_SUITE_P(Inputs, Input, ::testing::Combine(::testing::ValuesIn(inputs), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).name) +
                                    (std::get<1>(info.param) ? "BetweenRuns" : "DuringRun");
                         });

// Runs alternate dla1, dla2 on a cleared screen, each seeded in entry 1 of the
// next palette; a run goes on at exactly 120 000 ms and returns at once, with
// no pause, just past them (the tick count wrapping on the way).
TEST_F(Saver, TimedOutRunsAlternateAndStepThePalette) {
    const DWORD start = 0xFFFFFFFFu - 500000;
    screen.ticks = start;
    platform::SetPumpInterval(64);  // by its second poll a run has drawn its seed
    int runs = 0, last = -1;
    long pumpsInRun = 0;
    screen.onPump = [&] {
        if (!g_vhdc) return;
        if (palindex != last) last = palindex, pumpsInRun = 0, ++runs;
        if (++pumpsInRun == 2) {
            SCOPED_TRACE("run " + std::to_string(runs));
            const bool circle = GetPixel(g_vhdc, xcenter + 199, ycenter) != 0;
            EXPECT_EQ(palindex, (runs - 1) % 7);
            EXPECT_EQ(circle, runs % 2 == 0) << "dla1 first, then dla2";
            EXPECT_EQ(GetPixel(g_vhdc, circle ? xcenter + 199 : xcenter, ycenter), entrycolor(palindex, 1));
            EXPECT_EQ(screen.ticks, DWORD(start + 120001u * (runs - 1)));
        }
        if (runs >= 9 && pumpsInRun == 3) screen.keyDown(g_hWnd, VK_SPACE);
        if (pumpsInRun == 20) screen.ticks += 120000;
        if (pumpsInRun == 40) screen.ticks += 1;
    };
    EXPECT_EQ(runWinMain(), 0);
    EXPECT_EQ(runs, 9);
}

}  // namespace
