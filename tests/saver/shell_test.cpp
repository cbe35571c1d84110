// The whole saver through WinMain on the headless screen: start-up checks,
// the window, the alternating runs and the ways it ends.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "saver_fixture.h"

namespace {

using savertest::entrycolor;
using Saver = savertest::Saver;

// ---------------------------------------------------------------- start-up

struct StartupCase {
    const char* name;
    int width, height, bits;
    const char* text;
};

class StartupError : public savertest::Saver, public ::testing::WithParamInterface<StartupCase> {};

TEST_P(StartupError, ShowsItsBoxAndEndsWithCodeZero) {
    const StartupCase& c = GetParam();
    screen.setScreen(c.width, c.height, c.bits);
    EXPECT_EQ(runWinMain(), 0);
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(screen.boxes[0].text, c.text);
    EXPECT_EQ(screen.boxes[0].caption, "Error");
    EXPECT_EQ(screen.boxes[0].type, MB_OK | MB_ICONEXCLAMATION);
    EXPECT_EQ(screen.boxes[0].owner, nullptr);
    EXPECT_TRUE(screen.cursorVisible);
    EXPECT_EQ(ShowCursor(FALSE), -1) << "the cursor was hidden and shown the same number of times";
    EXPECT_EQ(g_vhdc, nullptr) << "no canvas is kept";
    EXPECT_EQ(g_hBitmap, nullptr);
    // Only the depth check comes after the window; that window stays, unused.
    EXPECT_EQ(platform::Windows().size(), c.bits == 32 ? 0u : 1u);
    if (g_hWnd) {
        EXPECT_EQ(screen.pixel(g_hWnd, xcenter, ycenter), 0u) << "no run started";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Screens, StartupError,
    ::testing::Values(StartupCase{"TooNarrow", 639, 480, 32, "Couldn't create main window."},
                      StartupCase{"TooLow", 640, 479, 32, "Couldn't create main window."},
                      StartupCase{"SixteenBits", 1024, 768, 16, "Couldn't initialize graphics."},
                      StartupCase{"TwentyFourBits", 1024, 768, 24, "Couldn't initialize graphics."},
                      // Wider than any canvas bitmap can be.
                      StartupCase{"NoCanvas", 70000, 480, 32, "Couldn't create main window."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(Saver, ATakenClassNameIsReported) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "ZORVWindow";
    ASSERT_TRUE(RegisterClassA(&wc));
    EXPECT_EQ(runWinMain(), 0);
    ASSERT_EQ(screen.boxes.size(), 1u);
    EXPECT_EQ(screen.boxes[0].text, "Couldn't register main window class.");
    EXPECT_TRUE(platform::Windows().empty());
}

// -------------------------------------------------- the window and first run

struct FirstRunCase {
    int width, height;
    const char* args;
};

class FirstRun : public savertest::Saver, public ::testing::WithParamInterface<FirstRunCase> {};

// Whatever the screen and the switches, the saver opens full screen and its
// first run is dla1 in palette 0: the seed and the first 65 particles in
// (0, 72, 208), the next ones in entry 2.
TEST_P(FirstRun, OpensFullScreenAndGrowsOutwardInPaletteZero) {
    const FirstRunCase& c = GetParam();
    screen.setScreen(c.width, c.height, 32);
    const COLORREF first = RGB(0, 72, 208), second = entrycolor(0, 2);
    ASSERT_EQ(entrycolor(0, 1), first);

    std::map<COLORREF, int> atStop;
    HWND window = nullptr;
    screen.onPump = [&] {
        if (!g_vhdc || !atStop.empty()) return;
        window = g_hWnd;
        EXPECT_FALSE(screen.cursorVisible);
        EXPECT_EQ(GetFocus(), g_hWnd);
        // The early cluster is small: look near the centre until the
        // second colour shows, then count the whole canvas and stop.
        bool later = false;
        for (int y = ycenter - 40; y <= ycenter + 40 && !later; ++y)
            for (int x = xcenter - 40; x <= xcenter + 40 && !later; ++x) {
                const COLORREF px = GetPixel(g_vhdc, x, y);
                later = px != 0 && px != first;
            }
        if (!later) return;
        for (int y = 0; y < yscreen; ++y)
            for (int x = 0; x < xscreen; ++x)
                if (GetPixel(g_vhdc, x, y) != 0) ++atStop[GetPixel(g_vhdc, x, y)];
        screen.keyDown(g_hWnd, VK_ESCAPE);
    };
    EXPECT_EQ(runWinMain(c.args), 0);
    ASSERT_NE(window, nullptr);

    EXPECT_EQ(xcenter, c.width / 2);
    EXPECT_EQ(ycenter, c.height / 2);
    const RECT frame = window->frame;
    EXPECT_EQ(frame.left, 0);
    EXPECT_EQ(frame.top, 0);
    EXPECT_EQ(frame.right, c.width);
    EXPECT_EQ(frame.bottom, c.height);
    EXPECT_EQ(window->clientWidth, c.width);
    EXPECT_EQ(window->clientHeight, c.height);
    EXPECT_EQ(window->style, WS_POPUP);
    EXPECT_EQ(window->title, "ZORV DLA");
    EXPECT_TRUE(window->visible);

    EXPECT_EQ(screen.pixel(window, c.width / 2, c.height / 2), first) << "the seed";
    EXPECT_EQ(atStop[first], 66);
    EXPECT_GE(atStop[second], 1);
    EXPECT_EQ(atStop.size(), 2u);
    // The screen shows what the canvas held when the key came.
    std::map<COLORREF, int> onScreen;
    for (int y = 0; y < c.height; ++y)
        for (int x = 0; x < c.width; ++x)
            if (screen.pixel(window, x, y) != 0) ++onScreen[screen.pixel(window, x, y)];
    EXPECT_EQ(onScreen, atStop);

    EXPECT_EQ(palindex, 0);
    EXPECT_TRUE(screen.cursorVisible);
    EXPECT_FALSE(IsWindow(window));
}

INSTANTIATE_TEST_SUITE_P(ScreensAndSwitches, FirstRun,
                         ::testing::Values(FirstRunCase{640, 480, ""}, FirstRunCase{1024, 768, "\"/s\""},
                                           FirstRunCase{1025, 769, "\"/c:1234\""},
                                           FirstRunCase{1920, 1080, "\"/p\" \"5678\""}));

TEST_F(Saver, WindowClassIsBlackWithACrosshairAndTheIcon) {
    open();
    const WindowClass* cls = g_hWnd->cls;
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(cls->name, "ZORVWindow");
    EXPECT_EQ(cls->style, 0x2Bu);
    EXPECT_EQ(cls->background, GetStockObject(BLACK_BRUSH));
    ASSERT_NE(cls->cursor, nullptr);
    EXPECT_EQ(cls->cursor->shape, CursorShape::Cross);
    EXPECT_EQ(cls->menu, nullptr);
    ASSERT_NE(cls->icon, nullptr);
    EXPECT_EQ(cls->icon->width, 32);
    EXPECT_EQ(cls->icon->height, 32);
    ASSERT_EQ(cls->icon->pixels.size(), 32u * 32u);
    int lit = 0;
    for (COLORREF px : cls->icon->pixels) lit += px != 0;
    EXPECT_GT(lit, 50) << "the icon shows a picture";
    EXPECT_EQ(GetPixel(g_vhdc, 0, 0), 0u);
    EXPECT_EQ(GetPixel(g_vhdc, xscreen - 1, yscreen - 1), 0u) << "the canvas starts black";
    EXPECT_EQ(ClientRes.right, 1024);
    EXPECT_EQ(ClientRes.bottom, 768);
}

// ------------------------------------------------------------- ending on input

struct InputCase {
    const char* name;
    std::function<void(headless::Backend&, HWND)> act;  // the cursor stands at (10, 10)
    bool endsDuringRun;
    bool endsBetweenRuns;
};

const std::vector<InputCase> inputs = {
    {"KeyDown", [](headless::Backend& s, HWND w) { s.keyDown(w, 'Q'); }, true, true},
    {"KeyUp", [](headless::Backend& s, HWND w) { s.keyUp(w, VK_SHIFT); }, false, false},
    {"LeftClick", [](headless::Backend& s, HWND w) { s.click(w, WM_LBUTTONDOWN, 10, 10); }, true, true},
    {"RightClick", [](headless::Backend& s, HWND w) { s.click(w, WM_RBUTTONDOWN, 10, 10); }, true, true},
    {"MiddleClick", [](headless::Backend& s, HWND w) { s.click(w, WM_MBUTTONDOWN, 10, 10); }, false, true},
    {"MoveThreeAcross", [](headless::Backend& s, HWND w) { s.mouseMove(w, 13, 10); }, true, true},
    {"MoveThreeUp", [](headless::Backend& s, HWND w) { s.mouseMove(w, 10, 7); }, true, true},
    {"MoveTwoOnBothAxes", [](headless::Backend& s, HWND w) { s.mouseMove(w, 12, 8); }, false, true},
    {"MoveOne", [](headless::Backend& s, HWND w) { s.mouseMove(w, 11, 10); }, false, true},
};

// Polls between an input and the key that ends any run, when the input
// itself did not.
constexpr long kLater = 300;

class InputDuringRun : public savertest::Saver, public ::testing::WithParamInterface<InputCase> {};

TEST_P(InputDuringRun, EndsTheSaverOnlyForKeysOuterButtonsAndRealMoves) {
    platform::SetPumpInterval(1);
    long pumps = 0;
    constexpr long actAt = 200;
    screen.onPump = [&] {
        ++pumps;
        if (pumps == actAt) GetParam().act(screen, g_hWnd);
        if (pumps == actAt + kLater) screen.keyDown(g_hWnd, VK_SPACE);
        if (g_vhdc) {
            EXPECT_FALSE(screen.cursorVisible);
        }
    };
    EXPECT_EQ(runWinMain(), 0);
    if (GetParam().endsDuringRun)
        EXPECT_LT(pumps, actAt + 5) << "the run stopped at once and the saver closed";
    else
        EXPECT_GE(pumps, actAt + kLater) << "the saver went on until the key";
    EXPECT_EQ(palindex, 0) << "still the first run; input never advances the palette";
    EXPECT_TRUE(screen.cursorVisible);
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_EQ(g_vhdc, nullptr);
    EXPECT_TRUE(screen.boxes.empty());
}

INSTANTIATE_TEST_SUITE_P(Inputs, InputDuringRun, ::testing::ValuesIn(inputs),
                         [](const auto& info) { return std::string(info.param.name); });

// Between runs every move and a middle click end the saver too.
class InputBetweenRuns : public savertest::Saver, public ::testing::WithParamInterface<InputCase> {};

TEST_P(InputBetweenRuns, EndsTheSaverForAnyMoveOrButton) {
    platform::SetPumpInterval(1);
    long pumps = 0, actedAt = 0;
    HWND window = nullptr;
    screen.onPump = [&] {
        ++pumps;
        if (pumps == 100) screen.ticks += 120001;  // the first run times out
        if (palindex == 1 && !actedAt) {
            // The first poll after a run is the loop's own.
            actedAt = pumps;
            window = g_hWnd;
            GetParam().act(screen, g_hWnd);
        }
        if (actedAt && pumps == actedAt + kLater) screen.keyDown(g_hWnd, VK_SPACE);
    };
    EXPECT_EQ(runWinMain(), 0);
    ASSERT_NE(window, nullptr);
    const bool ends = GetParam().endsBetweenRuns;
    // The second run, dla2, draws its circle; the first only its seed.
    const bool secondRan = screen.pixel(window, xcenter + 199, ycenter) != 0;
    EXPECT_EQ(secondRan, !ends);
    if (ends)
        EXPECT_LT(pumps, actedAt + 5);
    else
        EXPECT_GE(pumps, actedAt + kLater);
    EXPECT_TRUE(screen.cursorVisible);
    EXPECT_EQ(ShowCursor(FALSE), -1);
}

INSTANTIATE_TEST_SUITE_P(Inputs, InputBetweenRuns, ::testing::ValuesIn(inputs),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(Saver, SeveralInputsBetweenRunsReleaseTheCanvasOnce) {
    platform::SetPumpInterval(1);
    long pumps = 0;
    bool acted = false;
    screen.onPump = [&] {
        ++pumps;
        if (pumps == 50) screen.ticks += 120001;
        if (palindex == 1 && !acted) {
            acted = true;
            // Each of these posts a WM_DESTROY before the quit takes effect.
            screen.mouseMove(g_hWnd, 11, 11);
            screen.keyDown(g_hWnd, 'X');
            screen.click(g_hWnd, WM_MBUTTONDOWN, 11, 11);
            screen.mouseMove(g_hWnd, 12, 11);
        }
    };
    EXPECT_EQ(runWinMain(), 0);
    EXPECT_TRUE(acted);
    EXPECT_EQ(g_vhdc, nullptr);
    EXPECT_EQ(g_hBitmap, nullptr);
    EXPECT_EQ(ShowCursor(FALSE), -1) << "the cursor was shown once only";
}

// ----------------------------------------------------------- the run sequence

// Runs alternate dla1, dla2, ... each in the next palette when the one
// before ended by itself; a timed-out run is followed at once by the next,
// which starts on a cleared screen.
TEST_F(Saver, RunsAlternateAndStepThroughTheSevenPalettes) {
    struct Seen {
        int palindex;
        bool circle;
        COLORREF seed;
        DWORD ticks;
    };
    std::vector<Seen> seen;
    long pumpsInRun = 0;
    int last = -1;
    screen.ticks = 1000;
    screen.onPump = [&] {
        if (!g_vhdc) return;
        if (palindex != last) {
            last = palindex;
            pumpsInRun = 0;
        }
        // By its second poll a run has drawn its seed.
        if (++pumpsInRun == 2) {
            const COLORREF ring = GetPixel(g_vhdc, xcenter + 199, ycenter);
            seen.push_back(Seen{palindex, ring != 0, ring != 0 ? ring : GetPixel(g_vhdc, xcenter, ycenter), screen.ticks});
            if (seen.size() == 16) {
                screen.keyDown(g_hWnd, VK_SPACE);
                return;
            }
        }
        if (pumpsInRun == 20) screen.ticks += 120001;
    };
    EXPECT_EQ(runWinMain(), 0);
    ASSERT_EQ(seen.size(), 16u);
    for (std::size_t k = 0; k < seen.size(); ++k) {
        SCOPED_TRACE("run " + std::to_string(k));
        EXPECT_EQ(seen[k].palindex, static_cast<int>(k % 7));
        EXPECT_EQ(seen[k].circle, k % 2 == 1) << "dla1 on even runs, dla2 on odd ones";
        EXPECT_EQ(seen[k].seed, entrycolor(seen[k].palindex, 1));
        EXPECT_EQ(seen[k].ticks, 1000u + 120001u * k) << "no pause after a time-out";
    }
    EXPECT_EQ(palindex, 1) << "seven self-ended runs bring the palette back to 0, twice";
}

}  // namespace
