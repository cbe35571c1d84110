// The saver's growth runs, called directly on an open saver window: whole
// clusters, their limits, colours, time-out and pause.
#include <map>
#include <string>

#include "saver_fixture.h"

namespace {

using savertest::centredistance;
using savertest::entrycolor;

class Runs : public savertest::Saver {
protected:
    // Calls f(x, y, colour) for every non-black canvas pixel, checking on
    // the way that the window shows exactly what the canvas holds.
    template <typename F>
    void forEachClusterPixel(F f) {
        for (int y = 0; y < yscreen; ++y)
            for (int x = 0; x < xscreen; ++x) {
                const COLORREF c = canvas(x, y);
                if (c != shown(x, y)) {
                    ADD_FAILURE() << "window and canvas differ at " << x << ", " << y;
                    return;
                }
                if (c != bkgd) f(x, y, c);
            }
    }

    // Whether some 8-neighbour of (x, y) is cluster.
    bool touchesCluster(int x, int y) const {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if ((dx || dy) && canvas(x + dx, y + dy) != bkgd) return true;
        return false;
    }
};

struct WholeRun {
    int palindex;
    std::int64_t calendar;
};

class WholeOutwardRun : public Runs, public ::testing::WithParamInterface<WholeRun> {};

TEST_P(WholeOutwardRun, GrowsToTheLimitInBlocksOf65AndPausesWithTheClusterShown) {
    screen.calendar = GetParam().calendar;
    screen.ticks = 5000;
    open();
    palindex = GetParam().palindex;

    EXPECT_EQ(dla1(), 0);
    EXPECT_EQ(palindex, (GetParam().palindex + 1) % 7);
    EXPECT_EQ(screen.ticks, 8000u) << "a complete cluster stays 3 seconds";
    EXPECT_TRUE(screen.boxes.empty());

    const int p = GetParam().palindex;
    EXPECT_EQ(canvas(xcenter, ycenter), entrycolor(p, 1)) << "the seed";
    std::map<COLORREF, int> counts;
    int pixels = 0;
    double farthest = 0;
    forEachClusterPixel([&](int x, int y, COLORREF c) {
        ++pixels;
        ++counts[c];
        farthest = std::max(farthest, centredistance(x, y));
        if ((x != xcenter || y != ycenter) && !touchesCluster(x, y))
            ADD_FAILURE() << "a particle stuck to nothing at " << x << ", " << y;
    });
    // The run ends at the first touch of a cluster pixel 191 or more pixels
    // out; that pixel is there, and the particle that touched it is not.
    EXPECT_GE(farthest, 191.0);
    EXPECT_LT(farthest, 191.0 + std::sqrt(2.0));

    // Seed and 65 particles in entry 1, then 65 per entry.
    std::map<COLORREF, int> expected;
    ++expected[entrycolor(p, 1)];
    for (int k = 0; k < pixels - 1; ++k) ++expected[entrycolor(p, 1 + (k / 65) % 255)];
    EXPECT_EQ(counts, expected);
    EXPECT_GT(pixels, 1000) << "a whole cluster";
}

std::string runName(const ::testing::TestParamInfo<WholeRun>& info) {
    return "Palette" + std::to_string(info.param.palindex) + "At" + std::to_string(info.param.calendar);
}

INSTANTIATE_TEST_SUITE_P(Seeds, WholeOutwardRun,
                         ::testing::Values(WholeRun{0, 1700000000}, WholeRun{4, 1700000123},
                                           WholeRun{6, 1700000555}),
                         runName);

class WholeInwardRun : public Runs, public ::testing::WithParamInterface<WholeRun> {};

TEST_P(WholeInwardRun, StaysInsideItsSeedCircleAndEndsNearTheCentre) {
    screen.calendar = GetParam().calendar;
    screen.ticks = 0xFFFFFFFFu - 1000;  // the tick count wraps during the pause
    open();
    palindex = GetParam().palindex;
    const COLORREF seedcolor = entrycolor(palindex, 1);

    EXPECT_EQ(dla2(), 0);
    EXPECT_EQ(palindex, (GetParam().palindex + 1) % 7);
    EXPECT_EQ(screen.ticks, 1999u);

    // The seed circle, drawn with a 2-pixel pen in entry 1 however dark,
    // is whole: no walker got out of it.
    for (int a = 0; a < 360; a += 5) {
        const double t = a * 0.017453292519943295;
        const int x = xcenter + static_cast<int>(std::lround(199.5 * std::cos(t)));
        const int y = ycenter + static_cast<int>(std::lround(199.5 * std::sin(t)));
        SCOPED_TRACE("angle " + std::to_string(a));
        bool found = false;
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx) found = found || canvas(x + dx, y + dy) == seedcolor;
        EXPECT_TRUE(found);
    }
    double nearest = 1e9, farthest = 0;
    int inside = 0;
    forEachClusterPixel([&](int x, int y, COLORREF) {
        const double d = centredistance(x, y);
        nearest = std::min(nearest, d);
        farthest = std::max(farthest, d);
        if (d < 198) {
            ++inside;
            if (!touchesCluster(x, y)) ADD_FAILURE() << "a particle stuck to nothing at " << x << ", " << y;
        }
    });
    EXPECT_LE(farthest, 201.5) << "everything lies on or within the seed circle";
    // The run ends at the first touch less than 20 pixels from the centre;
    // that pixel is there, and no particle stuck by touching nearer in.
    EXPECT_LT(nearest, 20.0);
    EXPECT_GE(nearest, 20.0 - std::sqrt(2.0));
    EXPECT_GT(inside, 1000) << "a whole cluster";
}

// Palette 3 starts with the nearly black (0, 4, 0): still cluster, not background.
INSTANTIATE_TEST_SUITE_P(Seeds, WholeInwardRun,
                         ::testing::Values(WholeRun{0, 1700000000}, WholeRun{3, 1700000777}), runName);

TEST_F(Runs, TimesOutOnlyPastTwoMinutesAndReturnsAtOnceWithTheNextPalette) {
    const DWORD start = 0xFFFFFFFFu - 50000;  // the two minutes span the wrap of the tick count
    screen.ticks = start;
    open();
    platform::SetPumpInterval(1);
    long pumps = 0, pumpsAfterLimit = 0;
    screen.onPump = [&] {
        ++pumps;
        if (pumps == 100) screen.ticks = start + 120000;  // exactly two minutes: keeps growing
        if (pumps == 300) screen.ticks = start + 120001;
        if (pumps > 300) ++pumpsAfterLimit;
    };
    EXPECT_EQ(dla1(), 0);
    EXPECT_EQ(pumps, 300) << "the run went on at exactly two minutes and stopped right after";
    EXPECT_EQ(pumpsAfterLimit, 0);
    EXPECT_EQ(palindex, 1);
    EXPECT_EQ(screen.ticks, start + 120001) << "no pause after a time-out";
}

TEST_F(Runs, EachRunClearsScreenAndCanvasAndHidesTheCursorInTheCorner) {
    open();
    platform::SetPumpInterval(1);
    HDC hdc = GetDC(g_hWnd);
    const RECT some{300, 300, 310, 310};
    HBRUSH white = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    FillRect(hdc, &some, white);
    FillRect(g_vhdc, &some, white);
    ReleaseDC(g_hWnd, hdc);
    screen.cursor = {500, 500};
    bool checked = false;
    int pumps = 0;
    screen.onPump = [&] {
        if (++pumps == 10) screen.keyDown(g_hWnd, VK_SPACE);
        if (checked) return;
        checked = true;
        EXPECT_EQ(screen.cursor.x, 10);
        EXPECT_EQ(screen.cursor.y, 10);
        EXPECT_EQ(canvas(305, 305), bkgd);
        EXPECT_EQ(shown(305, 305), bkgd);
        EXPECT_FALSE(screen.cursorVisible);
    };
    EXPECT_EQ(dla2(), 1);
    EXPECT_TRUE(checked);
    EXPECT_EQ(palindex, 0) << "input does not advance the palette";
}

TEST_F(Runs, InputWaitingWhenARunStartsIsDiscarded) {
    open();
    screen.keyDown(g_hWnd, 'A');
    screen.click(g_hWnd, WM_LBUTTONDOWN, 400, 400);
    screen.ticks = 0;
    platform::SetPumpInterval(1);
    screen.onPump = [&] { screen.ticks += 100; };  // runs until it times out
    EXPECT_EQ(dla1(), 0);
    EXPECT_EQ(palindex, 1);
}

TEST_F(Runs, RepaintCopiesTheInvalidPartOfTheCanvas) {
    open();
    for (int i = 0; i < 200; ++i) SetPixel(g_vhdc, 100 + i, 100 + i / 2, RGB(i, 255 - i, 7));
    HDC hdc = GetDC(g_hWnd);
    RECT all = ClientRes;
    FillRect(hdc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(g_hWnd, hdc);

    const RECT part{150, 100, 250, 200};
    InvalidateRect(g_hWnd, &part, TRUE);
    UpdateWindow(g_hWnd);
    for (int y = 90; y < 210; ++y)
        for (int x = 90; x < 310; ++x) {
            const bool inPart = x >= 150 && x < 250 && y >= 100 && y < 200;
            ASSERT_EQ(shown(x, y), inPart ? canvas(x, y) : RGB(255, 255, 255)) << x << ", " << y;
        }

    // A move or resize repaints everything.
    SendMessageA(g_hWnd, WM_SIZE, 0, MAKELPARAM(xscreen, yscreen));
    UpdateWindow(g_hWnd);
    for (int y = 0; y < yscreen; y += 3)
        for (int x = 0; x < xscreen; x += 3) ASSERT_EQ(shown(x, y), canvas(x, y)) << x << ", " << y;
}

}  // namespace
