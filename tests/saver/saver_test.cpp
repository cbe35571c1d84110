// The saver on the headless screen with the tick count driven: start-up
// checks, the first run, the ways it ends, the run sequence and whole clusters.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <tuple>

#include "platform/headless/headless.h"
#include "saver/palettes.h"
#include "saver/saver.h"

namespace {

COLORREF entrycolor(int p, int i) { return RGB(palette[p][i][0], palette[p][i][1], palette[p][i][2]); }

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
    }
    int runWinMain(std::string args = "") { return WinMain(&saverModule, nullptr, args.data(), SW_SHOWNORMAL); }
};

struct StartupCase {
    int width, height, bits;
    std::string text;
};
class Startup : public Saver, public ::testing::WithParamInterface<StartupCase> {};

TEST_P(Startup, RefusesTheScreenWithABoxAndExitCodeZero) {
    screen.setScreen(GetParam().width, GetParam().height, GetParam().bits);
    EXPECT_EQ(runWinMain(), 0);
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(screen.boxes[0].text, GetParam().text);
    EXPECT_TRUE(screen.cursorVisible);
}

INSTANTIATE_TEST_SUITE_P(Screens, Startup,
                         ::testing::Values(StartupCase{639, 480, 32, "Couldn't create main window."},
                                           StartupCase{640, 479, 32, "Couldn't create main window."},
                                           StartupCase{1024, 768, 16, "Couldn't initialize graphics."},
                                           StartupCase{1024, 768, 24, "Couldn't initialize graphics."}));

// The first run is dla1 in palette 0: the seed and the first 65 particles in
// (0, 72, 208), then entry 2; the command line is ignored.
TEST_F(Saver, FirstRunGrowsOutwardInPaletteZero) {
    screen.setScreen(1024, 768, 32);
    const COLORREF first = RGB(0, 72, 208), second = entrycolor(0, 2);
    std::map<COLORREF, int> counts;
    screen.onPump = [&] {
        if (!g_vhdc) return;
        EXPECT_FALSE(screen.cursorVisible);
        counts.clear();
        for (int y = ycenter - 60; y <= ycenter + 60; ++y)
            for (int x = xcenter - 60; x <= xcenter + 60; ++x)
                if (COLORREF c = GetPixel(g_vhdc, x, y)) ++counts[c];
        if (counts.count(second)) screen.keyDown(g_hWnd, VK_ESCAPE);
    };
    EXPECT_EQ(runWinMain("\"/c:1234\""), 0);
    EXPECT_EQ(counts[first], 66);
    EXPECT_EQ(counts.size(), 2u);
    EXPECT_EQ(palindex, 0);
}

struct InputCase {
    const char* name;
    std::function<void(headless::Backend&, HWND)> act;  // the cursor stands at (10, 10)
    bool endsDuringRun, endsBetweenRuns;
};
const InputCase inputs[] = {
    {"Key", [](headless::Backend& s, HWND w) { s.keyDown(w, 'Q'); }, true, true},
    {"LeftClick", [](headless::Backend& s, HWND w) { s.click(w, WM_LBUTTONDOWN, 10, 10); }, true, true},
    {"RightClick", [](headless::Backend& s, HWND w) { s.click(w, WM_RBUTTONDOWN, 10, 10); }, true, true},
    {"MiddleClick", [](headless::Backend& s, HWND w) { s.click(w, WM_MBUTTONDOWN, 10, 10); }, false, true},
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

// Seven self-ended runs, dla1 and dla2 in turn: each complete cluster stays 3
// seconds and advances the palette, back to 0 after the seventh. dla1 ends at
// its first touch 191 or more pixels out, that particle not drawn; dla2 stays
// inside its seed circle and ends at its first touch nearer than 20 pixels.
TEST_F(Saver, SevenWholeClustersCycleThePalettes) {
    screen.setScreen(640, 480, 32);
    ASSERT_EQ(InitWindowClass(&saverModule), 0);
    ASSERT_EQ(CreateMainWindow(&saverModule, SW_SHOWNORMAL), 0);
    screen.ticks = 0xFFFFFFFFu - 10000;
    for (int k = 0; k < 7; ++k) {
        SCOPED_TRACE("run " + std::to_string(k));
        const DWORD before = screen.ticks;
        EXPECT_EQ(k % 2 ? dla2() : dla1(), 0);
        EXPECT_EQ(DWORD(screen.ticks - before), 3000u);
        EXPECT_EQ(palindex, (k + 1) % 7);
        double nearest = 1e9, farthest = 0;
        for (int y = 0; y < yscreen; ++y)
            for (int x = 0; x < xscreen; ++x)
                if (GetPixel(g_vhdc, x, y) != bkgd) {
                    const double d = std::hypot(x - xcenter, y - ycenter);
                    nearest = std::min(nearest, d), farthest = std::max(farthest, d);
                }
        if (k % 2) {
            EXPECT_LE(farthest, 201.5) << "on or within the seed circle";
            EXPECT_LT(nearest, 20.0);
        } else {
            EXPECT_GE(farthest, 191.0);
            EXPECT_LT(farthest, 191.0 + std::sqrt(2.0));
        }
    }
}

}  // namespace
